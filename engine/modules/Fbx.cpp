#include "modules/Fbx.h"

#include "modules/PassThroughTable.h"

namespace
{
PassThroughTable sTable;
} // namespace

int FbxInit(int count)
{
    return sTable.init(count);
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
    sTable.setBypass(instance, flag);
}

int FbxGetBypass(int instance)
{
    return sTable.getBypass(instance);
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
