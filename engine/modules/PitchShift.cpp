#include "modules/PitchShift.h"

#include "modules/PassThroughTable.h"

namespace
{
PassThroughTable sTable;
} // namespace

int PitchShiftInit(int count)
{
    return sTable.init(count);
}

// Nothing to clear: the stage keeps no audio history while it passes audio through.
void PitchShiftResetAudio(int)
{
}

void PitchShiftSetAll(int, PitchShiftBlock*)
{
}

void PitchShiftSetBypass(int instance, int flag)
{
    sTable.setBypass(instance, flag);
}

int PitchShiftGetBypass(int instance)
{
    return sTable.getBypass(instance);
}

void VykPitchShiftProcess(int, float*, int, int)
{
}

int PitchShiftGetLatency(int)
{
    return 0;
}
