#include "modules/Input.h"

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

int InputInit(int count)
{
    if (count > kMaxInstances)
        return -1;
    sNumInstances = count;
    for (int i = 0; i < kMaxInstances; ++i)
        sBypass[i] = 0;
    return 0;
}

void InputSetSampleRate(int, int)
{
}

void InputSetAll(int, InputBlock*)
{
}

void InputSetBypass(int instance, int flag)
{
    if (isValid(instance))
        sBypass[instance] = flag;
}

int InputGetBypass(int instance)
{
    return isValid(instance) ? sBypass[instance] : 0;
}

void VykInputProcess(int, float*, int, int)
{
}

void InputSetInputGain(int, float)
{
}
