// The silent output; everything it does is inline in the header.
#include "engine/SilentOutput.h"

SilentOutput::SilentOutput()
{
    setStatus("silent output: nothing is played");
}
