#include "vyk.h"

#include <cstdio>
#include <vector>

int main()
{
    if (PlatformInit(nullptr, nullptr) != 0)
        return 1;
    std::vector<float> block(2 * 512, 0.25f);
    VykProcess(0, block.data(), nullptr, 512, 2);
    std::printf("engine %08x processed %d frames\n", static_cast<unsigned>(VykGetVersion()), 512);
    return 0;
}
