// The instance table of a module whose processing has not landed yet: it passes audio through and
// records only the instance count and each instance's bypass flag.
#pragma once

#include "core/VykEngine.h"

class PassThroughTable
{
  public:
    /// Prepares `count` instances; -1 when count > 20.
    int init(int count)
    {
        if (count > kMaxInstances)
            return -1;
        numInstances = count;
        for (int& flag : bypass)
            flag = 0;
        return 0;
    }

    void setBypass(int instance, int flag)
    {
        if (isValid(instance))
            bypass[instance] = flag;
    }

    int getBypass(int instance) const { return isValid(instance) ? bypass[instance] : 0; }

  private:
    bool isValid(int instance) const { return instance >= 0 && instance < numInstances; }

    int numInstances = 0;
    int bypass[kMaxInstances] = {};
};
