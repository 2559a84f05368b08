#include "modules/Eq.h"

#include "modules/PassThroughTable.h"

namespace
{
PassThroughTable sTable;
} // namespace

int EqInit(int count)
{
    return sTable.init(count);
}

void EqSetSampleRate(int, int)
{
}

// Nothing to clear: the stage keeps no audio history while it passes audio through.
void EqResetAudio(int)
{
}

void EqSetAll(int, EQBlock*)
{
}

void EqSetBypass(int instance, int flag)
{
    sTable.setBypass(instance, flag);
}

int EqGetBypass(int instance)
{
    return sTable.getBypass(instance);
}

void VykEqProcess(int, float*, int, int)
{
}

void EqSetPeqCoefs(int, EqCoefBlock*)
{
}
