#include "modules/NoiseGate.h"

#include "modules/PassThroughTable.h"

namespace
{
PassThroughTable sTable;
} // namespace

int NoiseGateInit(int count)
{
    return sTable.init(count);
}

void NoiseGateSetSampleRate(int, int)
{
}

// Nothing to clear: the stage keeps no audio history while it passes audio through.
void NoiseGateResetAudio(int)
{
}

void NoiseGateSetAll(int, NoiseGateBlock*)
{
}

void NoiseGateSetBypass(int instance, int flag)
{
    sTable.setBypass(instance, flag);
}

int NoiseGateGetBypass(int instance)
{
    return sTable.getBypass(instance);
}

void VykNoiseGateProcess(int, float*, int, int)
{
}
