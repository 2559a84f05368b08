#include "modules/MultiBand.h"

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

int MultiBandInit(int count)
{
    if (count > kMaxInstances)
        return -1;
    sNumInstances = count;
    for (int i = 0; i < kMaxInstances; ++i)
        sBypass[i] = 0;
    return 0;
}

void MultiBandSetSampleRate(int, int)
{
}

void MultiBandSetAll(int instance, MasterBlock* master)
{
    if (!isValid(instance) || master == nullptr)
        return;
    MultiBandSetCore(instance, &master->multiBandCore);
    for (auto& band : master->bands)
        MultiBandSetBand(instance, &band);
}

void MultiBandSetCore(int, MultiBandCoreBlock*)
{
}

void MultiBandSetBand(int, MultiBandBandBlock*)
{
}

void MultiBandSetBypass(int instance, int flag)
{
    if (isValid(instance))
        sBypass[instance] = flag;
}

int MultiBandGetBypass(int instance)
{
    return isValid(instance) ? sBypass[instance] : 0;
}

void VykMultiBandCompress(int, float*, float*, int, int)
{
}

int MultiBandGetLatency(int)
{
    return 0;
}
