#include "modules/Fbx.h"

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

int FbxInit(int count)
{
    if (count > kMaxInstances)
        return -1;
    sNumInstances = count;
    for (int i = 0; i < kMaxInstances; ++i)
        sBypass[i] = 0;
    return 0;
}

void FbxSetSampleRate(int, int)
{
}

// Nothing to clear: the stage keeps no audio history while it passes audio through.
void FbxResetAudio(int)
{
}

void FbxSetAll(int, FbxBlock*)
{
}

void FbxSetBypass(int instance, int flag)
{
    if (isValid(instance))
        sBypass[instance] = flag;
}

int FbxGetBypass(int instance)
{
    return isValid(instance) ? sBypass[instance] : 0;
}

void VykFbxProcess(int, float*, int, int)
{
}

void FbxReset(int)
{
}

void FbxGetStats(int, FbxStats*)
{
}
