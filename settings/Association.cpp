// The file association: the player as the desktop's handler for MIDI files.
#include "settings/Association.h"

void SetDefaultPlayer([[maybe_unused]] bool Enable)
{
    // The association is not handled yet: the choice is only remembered.
}
