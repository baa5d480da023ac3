// The silent output; everything it does is inline in the header.
#include "engine/SilentOutput.h"

SilentOutput::SilentOutput()
{
    setStatus(soundText(QT_TRANSLATE_NOOP("Sound", "silent output: nothing is played")));
}
