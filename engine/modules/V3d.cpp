#include "modules/V3d.h"

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

int V3dInit(int count)
{
    if (count > kMaxInstances)
        return -1;
    sNumInstances = count;
    for (int i = 0; i < kMaxInstances; ++i)
        sBypass[i] = 0;
    return 0;
}

void V3dSetSampleRate(int, int)
{
}

// Nothing to clear: the stage keeps no audio history while it passes audio through.
void V3dResetAudio(int)
{
}

void V3dSetAll(int, V3dBlock*)
{
}

void V3dSetBypass(int instance, int flag)
{
    if (isValid(instance))
        sBypass[instance] = flag;
}

int V3dGetBypass(int instance)
{
    return isValid(instance) ? sBypass[instance] : 0;
}

void VykV3dProcess(int, float*, int, int)
{
}
