#include "core/ProfileImporter.h"

#include <cstring>

namespace
{

// Absolute record offsets of the engine bypass and of every module's bypass flag, in record order, and
// of the virtual-3D selector. They are part of the profile-file format, so they are written out here
// and the record layout is checked against them rather than the other way round.
constexpr size_t kBypassFlagOffsets[] = {4,    20,   48,   96,   752,  916,  944,
                                         1020, 1848, 1896, 1960, 1996, 2008, 2044};
constexpr size_t kV3dSelectorOffset = 2040;

static_assert(kBypassFlagOffsets[0] == offsetof(MasterBlock, vyk.bypass));
static_assert(kBypassFlagOffsets[1] == offsetof(MasterBlock, input.bypass));
static_assert(kBypassFlagOffsets[2] == offsetof(MasterBlock, output.bypass));
static_assert(kBypassFlagOffsets[3] == offsetof(MasterBlock, user.bypass));
static_assert(kBypassFlagOffsets[4] == offsetof(MasterBlock, bagc.bypass));
static_assert(kBypassFlagOffsets[5] == offsetof(MasterBlock, eq.bypass));
static_assert(kBypassFlagOffsets[6] == offsetof(MasterBlock, noiseGate.bypass));
static_assert(kBypassFlagOffsets[7] == offsetof(MasterBlock, stereoWiden.bypass));
static_assert(kBypassFlagOffsets[8] == offsetof(MasterBlock, multiBandCore.bypass));
static_assert(kBypassFlagOffsets[9] == offsetof(MasterBlock, outputCompressor.bypass));
static_assert(kBypassFlagOffsets[10] == offsetof(MasterBlock, karaoke.bypass));
static_assert(kBypassFlagOffsets[11] == offsetof(MasterBlock, fbx.bypass));
static_assert(kBypassFlagOffsets[12] == offsetof(MasterBlock, pitchShift.bypass));
static_assert(kBypassFlagOffsets[13] == offsetof(MasterBlock, v3d.bypass));
static_assert(kV3dSelectorOffset == offsetof(MasterBlock, v3d.algo));

constexpr uint32_t kV3dSelectorLimit = 10; // algo 9 has no family but is accepted

uint32_t readWord(const unsigned char* bytes, size_t offset)
{
    uint32_t word;
    std::memcpy(&word, bytes + offset, sizeof(word));
    return word;
}

} // namespace

bool ProfileImporter::validateMasterBlock(const MasterBlock* record)
{
    if (record == nullptr)
        return false;
    const auto* bytes = reinterpret_cast<const unsigned char*>(record);
    for (size_t offset : kBypassFlagOffsets)
    {
        if (readWord(bytes, offset) > 1)
            return false;
    }
    return readWord(bytes, kV3dSelectorOffset) < kV3dSelectorLimit;
}
