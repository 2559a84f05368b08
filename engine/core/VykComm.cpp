#include "core/VykComm.h"

#include "core/Profiles.h"

#include <cstddef>
#include <cstring>

namespace
{
// One slot of the store. The previous record must follow the current one directly: the changed-field
// test compares a field with the bytes exactly one record further on.
struct InstanceBlock
{
    MasterBlock current;
    MasterBlock previous;
    MetersBlock meters;
    MultiBandBandBlock bandScratch;
    FbxStats fbxStats;
    int32_t profileNumber;
    float userGainAll;
    EqCoefBlock eqCoef;
    int32_t forceMute;
    int32_t profiling;
    ProfilingBlock profilingData;
};
static_assert(offsetof(InstanceBlock, previous) == kMasterBlockSize);
static_assert(offsetof(MasterBlock, multiBandCore) + sizeof(MultiBandCoreBlock) - offsetof(MasterBlock, bands) ==
              kMultiBandBlockSize);

InstanceBlock sInstanceBlocks[kNumSlots];
int32_t sInstanceMapping[kNumSlots];
int sDefaultStateLoaded = 0;

int32_t sSampleRate = 0;
int32_t sKaraokePreset = 0;
SystemInfoBlock sConfig;
int32_t sAutoMuteState = 1;

VykPlatformCallback sPlatformCallback = nullptr;
VykCommCallback sCommCallback = nullptr;

bool isSlot(int slot)
{
    return slot >= 0 && slot < kNumSlots;
}

template <typename T>
void* slotBlock(T* block, int* sizeOut)
{
    if (sizeOut != nullptr)
        *sizeOut = static_cast<int>(sizeof(T));
    return block;
}

void* globalBlock(void* block, int size, int* sizeOut)
{
    if (sizeOut != nullptr)
        *sizeOut = size;
    return block;
}
} // namespace

void VYKCommInit()
{
    for (int slot = 0; slot < kNumSlots; ++slot)
    {
        InstanceBlock& block = sInstanceBlocks[slot];
        std::memset(&block, 0, sizeof(block));
        std::memset(&block.previous, 0xFF, sizeof(block.previous));
        block.current = gProfiles[0];
        sInstanceMapping[slot] = slot;
    }
    sDefaultStateLoaded = 0;
    sSampleRate = 0;
    sKaraokePreset = 0;
    std::memset(&sConfig, 0, sizeof(sConfig));
    sAutoMuteState = 1;
}

void VYKCommLoadInitialState(int count)
{
    for (int i = 0; i < count; ++i)
        VYKLoadProfile(i, i, nullptr);
    sDefaultStateLoaded = 1;
}

int VYKLoadProfile(int profile, int slot, MasterBlock* copyOut)
{
    if (!isSlot(slot) || profile < 0 || profile >= gNumProfiles)
        return 0;
    if (copyOut != nullptr)
        *copyOut = gProfiles[profile];
    InstanceBlock& block = sInstanceBlocks[slot];
    block.previous = block.current;
    block.current = gProfiles[profile];
    if (sPlatformCallback != nullptr)
        return sPlatformCallback(kBlockMaster, slot, &block.current, nullptr);
    return 0;
}

void VYKCommSetInstanceMapping(int number, int slot)
{
    if (isSlot(number) && isSlot(slot))
        sInstanceMapping[number] = slot;
}

int VYKCommGetInstanceMapping(int number)
{
    return isSlot(number) ? sInstanceMapping[number] : 0;
}

void* VYKCommGetBlockData(int id, int slot, int* sizeOut)
{
    if (sizeOut != nullptr)
        *sizeOut = 0;
    id &= ~kBlockIdFlag;

    switch (id)
    {
    case 39:
    case 40:
        return globalBlock(&sSampleRate, 4, sizeOut);
    case 45:
        return globalBlock(&sKaraokePreset, 4, sizeOut);
    case 53:
        return globalBlock(&sConfig, sizeof(sConfig), sizeOut);
    case 55:
    case 56:
        return globalBlock(&sAutoMuteState, 4, sizeOut);
    default:
        break;
    }

    if (!isSlot(slot))
        return nullptr;
    InstanceBlock& block = sInstanceBlocks[slot];
    MasterBlock& master = block.current;
    switch (id)
    {
    case 1:
    case 2:
        return slotBlock(&master, sizeOut);
    case 3:
    case 4:
        return slotBlock(&master.vyk, sizeOut);
    case 5:
    case 6:
        return slotBlock(&master.input, sizeOut);
    case 7:
    case 8:
        return slotBlock(&master.output, sizeOut);
    case 9:
    case 10:
        return slotBlock(&master.user, sizeOut);
    case 11:
    case 12:
        return slotBlock(&master.info, sizeOut);
    case 13:
    case 14:
        return slotBlock(&master.bagc, sizeOut);
    case 15:
    case 16:
        return slotBlock(&master.eq, sizeOut);
    case 17:
    case 18:
        return slotBlock(&master.noiseGate, sizeOut);
    case 19:
    case 20:
        return slotBlock(&master.stereoWiden, sizeOut);
    case 21:
    case 22:
        // The five bands and the core block, back to back.
        return globalBlock(&master.bands[0], kMultiBandBlockSize, sizeOut);
    case 23:
    case 24:
        return slotBlock(&master.multiBandCore, sizeOut);
    case 25:
    case 26:
        return slotBlock(&block.bandScratch, sizeOut);
    case 27:
    case 28:
        return slotBlock(&master.outputCompressor, sizeOut);
    case 29:
        return slotBlock(&block.meters, sizeOut);
    case 32:
    case 33:
        return slotBlock(&block.profileNumber, sizeOut);
    case 35:
    case 36:
        return slotBlock(&block.forceMute, sizeOut);
    case 37:
        return slotBlock(&block.userGainAll, sizeOut);
    case 38:
        return slotBlock(&block.eqCoef, sizeOut);
    case 41:
    case 42:
        return slotBlock(&master.karaoke, sizeOut);
    case 43:
    case 44:
        return slotBlock(&master.fbx, sizeOut);
    case 47:
        return slotBlock(&block.fbxStats, sizeOut);
    case 49:
    case 50:
        return slotBlock(&master.pitchShift, sizeOut);
    case 51:
    case 52:
        return slotBlock(&master.v3d, sizeOut);
    case 58:
        return slotBlock(&block.profiling, sizeOut);
    case 59:
        return slotBlock(&block.profilingData, sizeOut);
    default:
        return nullptr;
    }
}

int VYKCommCheckParamChanged(const void* field)
{
    if (!sDefaultStateLoaded)
        return 1;
    // Only a field of some slot's current record has a snapshot to compare with; anything else
    // counts as changed rather than reading outside the store.
    const auto* bytes = static_cast<const unsigned char*>(field);
    const auto* base = reinterpret_cast<const unsigned char*>(sInstanceBlocks);
    if (bytes < base || bytes >= base + sizeof(sInstanceBlocks))
        return 1;
    const std::size_t offsetInSlot = static_cast<std::size_t>(bytes - base) % sizeof(InstanceBlock);
    if (offsetInSlot + 4 > kMasterBlockSize)
        return 1;
    return std::memcmp(bytes, bytes + kMasterBlockSize, 4) != 0 ? 1 : 0;
}

void VYKCommSaveState(int slot)
{
    if (sDefaultStateLoaded && isSlot(slot))
        sInstanceBlocks[slot].previous = sInstanceBlocks[slot].current;
}

void VYKCommUpdateParam(void* field, const void* value, int slot)
{
    if (!sDefaultStateLoaded || !isSlot(slot) || field == nullptr || value == nullptr)
        return;
    sInstanceBlocks[slot].previous = sInstanceBlocks[slot].current;
    std::memcpy(field, value, 4);
}

MasterBlock* VYKCommGetMasterBlock(int slot)
{
    return isSlot(slot) ? &sInstanceBlocks[slot].current : nullptr;
}

MasterBlock* VYKCommGetPreviousMasterBlock(int slot)
{
    return isSlot(slot) ? &sInstanceBlocks[slot].previous : nullptr;
}

MetersBlock* VYKCommGetMeters(int slot)
{
    return isSlot(slot) ? &sInstanceBlocks[slot].meters : nullptr;
}

int VYKCommIsDefaultStateLoaded()
{
    return sDefaultStateLoaded;
}

void VYKCommRegisterPlatformCallback(VykPlatformCallback fn)
{
    sPlatformCallback = fn;
}

void VYKCommRegisterCommCallback(VykCommCallback fn)
{
    sCommCallback = fn;
}

VykPlatformCallback VYKCommGetPlatformCallback()
{
    return sPlatformCallback;
}

VykCommCallback VYKCommGetCommCallback()
{
    return sCommCallback;
}
