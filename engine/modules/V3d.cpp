#include "modules/V3d.h"

#include "modules/PassThroughTable.h"

namespace
{
PassThroughTable sTable;
} // namespace

int V3dInit(int count)
{
    return sTable.init(count);
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
    sTable.setBypass(instance, flag);
}

int V3dGetBypass(int instance)
{
    return sTable.getBypass(instance);
}

void VykV3dProcess(int, float*, int, int)
{
}
