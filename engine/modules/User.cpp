#include "modules/User.h"

#include "modules/PassThroughTable.h"

namespace
{
PassThroughTable sTable;
} // namespace

int UserInit(int count)
{
    return sTable.init(count);
}

void UserSetSampleRate(int, int)
{
}

// Nothing to clear: the stage keeps no audio history while it passes audio through.
void UserResetAudio(int)
{
}

void UserSetAll(int, UserBlock*)
{
}

void UserSetBypass(int instance, int flag)
{
    sTable.setBypass(instance, flag);
}

int UserGetBypass(int instance)
{
    return sTable.getBypass(instance);
}

void VykUserProcess(int, float*, int, int)
{
}

int UserGetEqPos(int)
{
    return 0;
}

void UserSetPeqCoefs(int, EqCoefBlock*)
{
}

void VykUserGainProcess(int, float*, int, int)
{
}
