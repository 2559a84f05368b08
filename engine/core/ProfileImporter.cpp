#include "core/ProfileImporter.h"

#include "core/Profiles.h"

#include <cstdio>
#include <cstring>
#include <initializer_list>

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

namespace
{
constexpr size_t kBandSize = sizeof(MultiBandBandBlock);
constexpr size_t kOldBandSize = 116;

bool flagsAtMostOne(const unsigned char* bytes, std::initializer_list<size_t> offsets)
{
    for (size_t offset : offsets)
        if (readWord(bytes, offset) > 1)
            return false;
    return true;
}

// Reads `size` bytes of record `index`; a record cut short by the end of the file keeps 0xFF in its
// tail, which every layout's last tested flag then rejects.
bool readRecord(const char* path, int index, unsigned char* buffer, size_t size)
{
    if (path == nullptr || index < 0)
        return false;
    FILE* file = std::fopen(path, "rb");
    if (file == nullptr)
        return false;
    const long position = static_cast<long>(index) * static_cast<long>(size);
    const bool seeked = std::fseek(file, position, SEEK_SET) == 0;
    std::memset(buffer, 0xFF, size);
    if (seeked)
        (void)std::fread(buffer, 1, size, file);
    std::fclose(file);
    return seeked;
}

unsigned char* bytesOf(MasterBlock* record)
{
    return reinterpret_cast<unsigned char*>(record);
}

const unsigned char* profileZeroBytes()
{
    return reinterpret_cast<const unsigned char*>(&gProfiles[0]);
}

// The 2036 layout lacks the karaoke wet gain; everything from the feedback suppressor on moves down 4.
void mapLayout2036(const unsigned char* old, MasterBlock* record, size_t oldSize)
{
    unsigned char* out = bytesOf(record);
    std::memcpy(out, old, 1932);
    record->karaoke.wetGain = 1.0f;
    std::memcpy(out + 1936, old + 1932, oldSize - 1932);
}

void mapLayout201104(const unsigned char* old, MasterBlock* record)
{
    unsigned char* out = bytesOf(record);
    std::memcpy(out + 0, old + 0, 24);    // engine and input blocks
    std::memcpy(out + 24, old + 24, 16);  // output gains and delays
    std::memcpy(out + 40, old + 44, 8);   // output polarity flags
    std::memcpy(out + 48, old + 56, 4);   // output bypass
    std::memcpy(out + 52, old + 60, 8);   // user gains
    std::memcpy(out + 60, old + 72, 40);  // user sections, position and bypass
    std::memcpy(out + 100, old + 112, 596 + 60 + 164 + 28 + 76); // info, bass AGC, EQ, gate, widener
    for (size_t band = 0; band < kNumBands; ++band)
    {
        const unsigned char* oldBand = old + 1036 + kOldBandSize * band;
        unsigned char* newBand = out + offsetof(MasterBlock, bands) + kBandSize * band;
        std::memcpy(newBand, oldBand, 24);
        std::memcpy(newBand + 28, oldBand + 24, 88);
        std::memcpy(newBand + offsetof(MultiBandBandBlock, bandOff), oldBand + 112, 4);
    }
    std::memcpy(out + 1784, old + 1616, 40); // core up to the subwoofer band mask
    std::memcpy(out + 1848, old + 1656, 4);  // core bypass
    std::memcpy(out + 1852, old + 1660, 44); // output compressor up to its output gain
    std::memcpy(out + 1896, old + 1708, 4);  // output compressor bypass
    std::memcpy(out + 1900, profileZeroBytes() + 1900, kMasterBlockSize - 1900);
}
} // namespace

bool ProfileImporter::validateMasterBlock2036(const unsigned char* record)
{
    return record != nullptr &&
           flagsAtMostOne(record, {4, 20, 48, 96, 752, 916, 944, 1020, 1848, 1896, 1956, 1992, 2004, 2040}) &&
           readWord(record, 2036) < kV3dSelectorLimit;
}

bool ProfileImporter::validateMasterBlock20123(const unsigned char* record)
{
    return record != nullptr &&
           flagsAtMostOne(record, {4, 20, 48, 96, 752, 916, 944, 1020, 1848, 1896, 1956, 1992}) &&
           readWord(record, 2004) < 2;
}

bool ProfileImporter::validateMasterBlock20120(const unsigned char* record)
{
    return record != nullptr &&
           flagsAtMostOne(record, {4, 20, 48, 96, 752, 916, 944, 1020, 1848, 1896, 1956}) &&
           readWord(record, 1992) < 2;
}

bool ProfileImporter::validateMasterBlock201104(const unsigned char* record)
{
    return record != nullptr &&
           flagsAtMostOne(record, {4, 20, 56, 108, 764, 928, 956, 1032, 1656, 1708, 1768}) &&
           readWord(record, 1804) < 2;
}

bool ProfileImporter::importFromFileCurrent(const char* path, MasterBlock* record, int index)
{
    unsigned char buffer[kLayoutSizeCurrent];
    if (record == nullptr || !readRecord(path, index, buffer, sizeof(buffer)))
        return false;
    MasterBlock candidate;
    std::memcpy(&candidate, buffer, sizeof(candidate));
    if (!validateMasterBlock(&candidate))
        return false;
    *record = candidate;
    return true;
}

bool ProfileImporter::importFromFile2036(const char* path, MasterBlock* record, int index)
{
    unsigned char buffer[kLayoutSize2036];
    if (record == nullptr || !readRecord(path, index, buffer, sizeof(buffer)) ||
        !validateMasterBlock2036(buffer))
        return false;
    mapLayout2036(buffer, record, sizeof(buffer));
    return true;
}

bool ProfileImporter::importFromFile20123(const char* path, MasterBlock* record, int index)
{
    unsigned char buffer[kLayoutSize20123];
    if (record == nullptr || !readRecord(path, index, buffer, sizeof(buffer)) ||
        !validateMasterBlock20123(buffer))
        return false;
    mapLayout2036(buffer, record, sizeof(buffer));
    record->v3d = gProfiles[0].v3d;
    return true;
}

bool ProfileImporter::importFromFile20120(const char* path, MasterBlock* record, int index)
{
    unsigned char buffer[kLayoutSize20120];
    if (record == nullptr || !readRecord(path, index, buffer, sizeof(buffer)) ||
        !validateMasterBlock20120(buffer))
        return false;
    mapLayout2036(buffer, record, sizeof(buffer));
    record->pitchShift = gProfiles[0].pitchShift;
    record->v3d = gProfiles[0].v3d;
    return true;
}

bool ProfileImporter::importFromFile201104(const char* path, MasterBlock* record, int index)
{
    unsigned char buffer[kLayoutSize201104];
    if (record == nullptr || !readRecord(path, index, buffer, sizeof(buffer)) ||
        !validateMasterBlock201104(buffer))
        return false;
    mapLayout201104(buffer, record);
    return true;
}

bool ProfileImporter::importFromKtvs(const char* path, MasterBlock* record, int index, int type)
{
    switch (type)
    {
    case 0:
        return importFromFileCurrent(path, record, index);
    case 1:
        return importFromFile2036(path, record, index);
    case 2:
        return importFromFile20123(path, record, index);
    case 3:
        return importFromFile20120(path, record, index);
    case 4:
        return importFromFile201104(path, record, index);
    default:
        return false;
    }
}
