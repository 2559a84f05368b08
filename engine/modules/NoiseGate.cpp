#include "modules/NoiseGate.h"

#include "core/VykEngine.h"

// Pass-through until the module's processing lands: the instance table only records bypass.
namespace
{
int sNumInstances = 0;
int sBypass[kMaxInstances];

bool isValid(int instance)
{
    return instance >= 0 && instance < sNumInstances;
}
} // namespace

int NoiseGateInit(int count)
{
    if (count > kMaxInstances)
        return -1;
    sNumInstances = count;
    for (int i = 0; i < kMaxInstances; ++i)
        sBypass[i] = 0;
    return 0;
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
    if (isValid(instance))
        sBypass[instance] = flag;
}

int NoiseGateGetBypass(int instance)
{
    return isValid(instance) ? sBypass[instance] : 0;
}

void VykNoiseGateProcess(int, float*, int, int)
{
}
