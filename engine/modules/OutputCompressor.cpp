#include "modules/OutputCompressor.h"

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

int OutputCompressorInit(int count)
{
    if (count > kMaxInstances)
        return -1;
    sNumInstances = count;
    for (int i = 0; i < kMaxInstances; ++i)
        sBypass[i] = 0;
    return 0;
}

void OutputCompressorSetSampleRate(int, int)
{
}

void OutputCompressorSetAll(int, OutputCompressorBlock*)
{
}

void OutputCompressorSetBypass(int instance, int flag)
{
    if (isValid(instance))
        sBypass[instance] = flag;
}

int OutputCompressorGetBypass(int instance)
{
    return isValid(instance) ? sBypass[instance] : 0;
}

void VykOutputCompressorCompress(int, float*, int, int)
{
}

void OutputCompressorSetOutputGain(int, float)
{
}

int OutputCompressorGetLatency(int)
{
    return 0;
}
