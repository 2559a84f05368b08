// The master record's byte image, the built-in profile table and the record validation rule.
// Values are read from the table's raw bytes at absolute record offsets, so a field that the struct
// declarations put in the wrong place shows up here even when the code agrees with itself.
#include "core/MasterBlock.h"
#include "core/ProfileImporter.h"
#include "core/Profiles.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

namespace
{

const unsigned char* profileBytes(int profile)
{
    // Profile n starts at byte 2048 x n of the table.
    return reinterpret_cast<const unsigned char*>(gProfiles) +
           static_cast<size_t>(kMasterBlockSize) * profile;
}

uint32_t wordAt(int profile, size_t offset)
{
    uint32_t word;
    std::memcpy(&word, profileBytes(profile) + offset, sizeof(word));
    return word;
}

int32_t intAt(int profile, size_t offset)
{
    int32_t value;
    std::memcpy(&value, profileBytes(profile) + offset, sizeof(value));
    return value;
}

float floatAt(int profile, size_t offset)
{
    float value;
    std::memcpy(&value, profileBytes(profile) + offset, sizeof(value));
    return value;
}

void setWord(MasterBlock& record, size_t offset, uint32_t word)
{
    std::memcpy(reinterpret_cast<unsigned char*>(&record) + offset, &word, sizeof(word));
}

// A gain given in decibels, as the profiles store it: 10^(dB / 20) rounded once to float.
float gainFromDb(double db)
{
    return static_cast<float>(std::pow(10.0, db / 20.0));
}

enum class Kind
{
    Int,   // int32, exact
    Float, // float, exactly the float nearest to the value
    Db,    // float, exactly the float nearest to 10^(value / 20)
    Shown  // float known only as a six-significant-digit figure
};

struct FieldValue
{
    size_t offset; // absolute record offset
    Kind kind;
    double value;
};

void expectField(int profile, const FieldValue& field)
{
    SCOPED_TRACE("profile " + std::to_string(profile) + ", offset " + std::to_string(field.offset));
    switch (field.kind)
    {
    case Kind::Int:
        EXPECT_EQ(intAt(profile, field.offset), static_cast<int32_t>(field.value));
        break;
    case Kind::Float:
        EXPECT_EQ(floatAt(profile, field.offset), static_cast<float>(field.value));
        break;
    case Kind::Db:
        EXPECT_EQ(floatAt(profile, field.offset), gainFromDb(field.value));
        break;
    case Kind::Shown:
        EXPECT_NEAR(floatAt(profile, field.offset), field.value, std::fabs(field.value) * 5e-6);
        break;
    }
}

// Every bypass flag with its absolute offset, and the virtual-3D selector.
constexpr size_t kBypassFlagOffsets[] = {4,    20,   48,   96,   752,  916,  944,
                                         1020, 1848, 1896, 1960, 1996, 2008, 2044};
constexpr size_t kV3dSelectorOffset = 2040;

// Sub-blocks by absolute offset and size.
struct ByteRange
{
    const char* name;
    size_t offset;
    size_t size;
};

constexpr ByteRange kInfoBlock = {"ProfileInfoBlock", 100, 596};

} // namespace

TEST(ProfileTable, TwentyRecordsBackToBack)
{
    EXPECT_EQ(gNumProfiles, 20);
    EXPECT_EQ(sizeof(gProfiles), 20u * 2048u);
    for (int n = 0; n < gNumProfiles; ++n)
        EXPECT_EQ(reinterpret_cast<const unsigned char*>(&gProfiles[n]), profileBytes(n));
}

TEST(ProfileValidation, EveryBuiltInProfileIsValid)
{
    for (int n = 0; n < gNumProfiles; ++n)
        EXPECT_TRUE(ProfileImporter::validateMasterBlock(&gProfiles[n])) << "profile " << n;
}

TEST(ProfileValidation, FlagsAndSelectorAreReadAsUnsigned)
{
    struct Case
    {
        const char* what;
        size_t offset;
        uint32_t word;
        bool valid;
    };
    const Case cases[] = {
        {"EQ bypass 2", 916, 2, false},
        {"EQ bypass -1", 916, 0xFFFFFFFFu, false},
        {"EQ bypass 0", 916, 0, true},
        {"EQ bypass 1", 916, 1, true},
        {"engine bypass 0x80000000", 4, 0x80000000u, false},
        {"V3d selector 0", kV3dSelectorOffset, 0, true},
        {"V3d selector 9", kV3dSelectorOffset, 9, true},
        {"V3d selector 10", kV3dSelectorOffset, 10, false},
        {"V3d selector -1", kV3dSelectorOffset, 0xFFFFFFFFu, false},
        // Fields that are not flags are taken as they are, NaN included.
        {"sample rate -1", 0, 0xFFFFFFFFu, true},
        {"input gain NaN", 8, 0x7FC00000u, true},
        {"V3d mode 99", 2032, 99, true},
        {"band 0 bypass-like word 2", 1024 + 56, 2, true},
    };
    for (const Case& c : cases)
    {
        MasterBlock record = gProfiles[0];
        setWord(record, c.offset, c.word);
        EXPECT_EQ(ProfileImporter::validateMasterBlock(&record), c.valid) << c.what;
    }
}

TEST(ProfileValidation, EachOfTheFourteenFlagsIsTested)
{
    for (size_t offset : kBypassFlagOffsets)
    {
        for (uint32_t word : {0u, 1u, 2u, 0xFFFFFFFFu})
        {
            MasterBlock record = gProfiles[0];
            setWord(record, offset, word);
            EXPECT_EQ(ProfileImporter::validateMasterBlock(&record), word <= 1)
                << "offset " << offset << ", word " << word;
        }
    }
}

TEST(ProfileValidation, InformationBlockAndSampleRateAreNotChecked)
{
    MasterBlock record = gProfiles[3];
    auto* bytes = reinterpret_cast<unsigned char*>(&record);
    uint32_t state = 12345;
    for (size_t i = 0; i < 4; ++i)
        bytes[i] = 0xA5;
    for (size_t i = kInfoBlock.offset; i < kInfoBlock.offset + kInfoBlock.size; ++i)
    {
        state = state * 1664525u + 1013904223u;
        bytes[i] = static_cast<unsigned char>(state >> 24);
    }
    EXPECT_TRUE(ProfileImporter::validateMasterBlock(&record));

    MasterBlock zeros;
    std::memset(&zeros, 0, sizeof(zeros));
    EXPECT_TRUE(ProfileImporter::validateMasterBlock(&zeros));

    MasterBlock ones;
    std::memset(&ones, 0xFF, sizeof(ones));
    EXPECT_FALSE(ProfileImporter::validateMasterBlock(&ones));

    EXPECT_FALSE(ProfileImporter::validateMasterBlock(nullptr));
}

TEST(DefaultProfile, FieldValuesOutsideTheMultiband)
{
    // clang-format off
    const FieldValue fields[] = {
        // VYKBlock
        {0, Kind::Int, 48000}, {4, Kind::Int, 0},
        // InputBlock
        {8, Kind::Float, 1}, {12, Kind::Float, 20}, {16, Kind::Int, 1}, {20, Kind::Int, 0},
        // OutputBlock
        {24, Kind::Float, 1}, {28, Kind::Float, 1}, {32, Kind::Float, 0}, {36, Kind::Float, 0},
        {40, Kind::Int, 0}, {44, Kind::Int, 0}, {48, Kind::Int, 0},
        // UserBlock
        {52, Kind::Float, 1}, {56, Kind::Float, 1}, {60, Kind::Float, 1}, {64, Kind::Float, 1.4},
        {68, Kind::Float, 160}, {72, Kind::Int, 1}, {76, Kind::Float, 1}, {80, Kind::Float, 1.4},
        {84, Kind::Float, 4000}, {88, Kind::Int, 1}, {92, Kind::Int, 0}, {96, Kind::Int, 0},
        // ProfileInfoBlock version word
        {180, Kind::Int, 1},
        // BagcBlock
        {696, Kind::Db, -12}, {700, Kind::Db, 12}, {704, Kind::Db, 9}, {708, Kind::Db, -9},
        {712, Kind::Db, -10}, {716, Kind::Float, 0.5}, {720, Kind::Float, 35}, {724, Kind::Float, 180},
        {728, Kind::Db, 4}, {732, Kind::Float, 1}, {736, Kind::Int, 0}, {740, Kind::Int, 0},
        {744, Kind::Int, 0}, {748, Kind::Int, 0}, {752, Kind::Int, 0},
        // EQBlock: band 3 and band 9, module bypass (every band is checked below)
        {756 + 48, Kind::Float, 1}, {760 + 48, Kind::Float, 1}, {764 + 48, Kind::Float, 400},
        {768 + 48, Kind::Int, 0}, {764 + 144, Kind::Float, 12800}, {916, Kind::Int, 0},
        // NoiseGateBlock
        {920, Kind::Float, 1}, {924, Kind::Float, 79}, {928, Kind::Db, 3}, {932, Kind::Db, -20},
        {936, Kind::Db, -40}, {940, Kind::Int, 90}, {944, Kind::Int, 1},
        // StereoWidenBlock
        {948, Kind::Db, -15}, {952, Kind::Float, 0.5}, {956, Kind::Float, 0}, {960, Kind::Float, 90},
        {964, Kind::Float, 1}, {968, Kind::Float, 1}, {972, Kind::Float, 0}, {976, Kind::Float, 0},
        {980, Kind::Float, 0}, {988, Kind::Float, 500}, {992, Kind::Float, 500}, {996, Kind::Db, -12},
        {1000, Kind::Db, 12}, {1004, Kind::Float, 1}, {1008, Kind::Db, 6}, {1012, Kind::Float, 1},
        {1016, Kind::Db, 6}, {1020, Kind::Int, 1},
        // MultiBandCoreBlock
        {1784, Kind::Db, -10}, {1788, Kind::Db, 10}, {1792, Kind::Db, -6}, {1796, Kind::Db, 10},
        {1800, Kind::Float, 1}, {1804, Kind::Float, 90}, {1808, Kind::Int, 50}, {1812, Kind::Int, 1},
        {1816, Kind::Int, 1}, {1820, Kind::Int, 0}, {1824, Kind::Float, 0.4}, {1828, Kind::Int, 0},
        {1832, Kind::Float, 1}, {1836, Kind::Float, 1}, {1840, Kind::Float, 0}, {1844, Kind::Int, 0},
        {1848, Kind::Int, 0},
        // OutputCompressorBlock
        {1852, Kind::Int, 1}, {1856, Kind::Float, 1}, {1860, Kind::Float, 1}, {1864, Kind::Float, 1},
        {1868, Kind::Float, 300}, {1872, Kind::Int, 0}, {1876, Kind::Int, 0}, {1880, Kind::Float, 1},
        {1884, Kind::Float, 1}, {1888, Kind::Int, 1}, {1892, Kind::Db, 6}, {1896, Kind::Int, 0},
        // KaraokeBlock
        {1900, Kind::Int, 0}, {1904, Kind::Int, 0}, {1908, Kind::Int, 1}, {1912, Kind::Float, 0.812830985},
        {1916, Kind::Float, 0.812830985}, {1920, Kind::Float, 0.812830985}, {1924, Kind::Float, 0.812830985},
        {1928, Kind::Float, 1}, {1932, Kind::Float, 1}, {1936, Kind::Float, 1}, {1940, Kind::Shown, 0.281838},
        {1944, Kind::Int, 250}, {1948, Kind::Int, 75}, {1952, Kind::Int, 8000}, {1956, Kind::Int, 4000},
        {1960, Kind::Int, 1},
        // FbxBlock
        {1964, Kind::Int, 0}, {1968, Kind::Int, 40}, {1972, Kind::Int, 500}, {1976, Kind::Int, 50},
        {1980, Kind::Int, 1024}, {1984, Kind::Int, 4}, {1988, Kind::Int, 5}, {1992, Kind::Int, 10},
        {1996, Kind::Int, 1},
        // PitchShiftBlock
        {2000, Kind::Float, 1}, {2004, Kind::Int, 512}, {2008, Kind::Int, 1},
        // V3dBlock
        {2012, Kind::Float, 1}, {2016, Kind::Float, 1}, {2020, Kind::Float, 1}, {2024, Kind::Float, 1},
        {2028, Kind::Int, 3}, {2032, Kind::Int, 0}, {2036, Kind::Int, 256}, {2040, Kind::Int, 1},
        {2044, Kind::Int, 1},
    };
    // clang-format on
    for (const FieldValue& field : fields)
        expectField(0, field);

    const double eqCentreHz[10] = {50, 100, 200, 400, 800, 1600, 3200, 6400, 9600, 12800};
    for (int b = 0; b < 10; ++b)
    {
        const size_t band = 756 + 16 * static_cast<size_t>(b);
        for (const FieldValue& field :
             {FieldValue{band, Kind::Float, 1}, FieldValue{band + 4, Kind::Float, 1},
              FieldValue{band + 8, Kind::Float, eqCentreHz[b]}, FieldValue{band + 12, Kind::Int, 0}})
            expectField(0, field);
    }
}

TEST(DefaultProfile, MultibandBands)
{
    struct Row
    {
        size_t offset; // within the band block
        Kind kind;
        double band[5];
    };
    const Row rows[] = {
        {0, Kind::Int, {0, 1, 2, 3, 4}},
        {4, Kind::Int, {0, 0, 0, 0, 0}},
        {8, Kind::Int, {1, 1, 1, 1, 0}},
        {12, Kind::Int, {0, 1, 1, 1, 1}},
        {16, Kind::Int, {0, 0, 0, 0, 0}},
        {20, Kind::Int, {0, 0, 0, 0, 0}},
        {24, Kind::Int, {1, 2, 4, 8, 8}}, // crossover-mode and is-last-band bytes 0
        {28, Kind::Float, {100, 300, 1000, 5000, 10000}},
        {32, Kind::Float, {30, 100, 300, 1000, 5000}},
        {36, Kind::Float, {1, 1, 1, 1, 1}},
        {40, Kind::Float, {1, 1, 1, 1, 1}},
        {44, Kind::Db, {-8, -8, -8, -8, -8}},
        {48, Kind::Db, {0, -8, -8, -8, -8}},
        {52, Kind::Float, {300, 300, 300, 300, 300}},
        {56, Kind::Int, {0, 0, 0, 0, 0}},
        {60, Kind::Db, {-10, -12, -14, -16, -16}},
        {64, Kind::Float, {0.5, 0.5, 0.5, 0.5, 0.5}},
        {68, Kind::Float, {30, 30, 30, 21, 15}},
        {72, Kind::Float, {250, 200, 140, 100, 50}},
        {76, Kind::Db, {-6, -6, -6, -6, -6}},
        {80, Kind::Int, {1065353216, 1065353216, 1065353216, 1065353216, 1065353216}},
        {84, Kind::Int, {0, 0, 0, 0, 0}},
        {88, Kind::Int, {1, 1, 1, 1, 1}},
        {92, Kind::Int, {1, 1, 1, 1, 1}},
        {96, Kind::Int, {0, 0, 0, 0, 0}},
        {100, Kind::Int, {0, 0, 1, 0, 0}},
        {104, Kind::Db, {6, 0, 6, 0, 0}},
        {108, Kind::Db, {-12, 0, -10, 0, 0}},
        {112, Kind::Int, {0, 0, 0, 0, 0}},
        {116, Kind::Db, {0, 5, 5, 6, 6}},
        {120, Kind::Float, {1, 1.4, 1.4, 1.4, 1.4}},
        {124, Kind::Shown, {42, 100, 300, 1000, 3571.43}},
        {128, Kind::Int, {1, 0, 0, 0, 0}},
        {132, Kind::Db, {1, 1, 6, 6, 0}},
        {136, Kind::Float, {1.4, 1.4, 1.4, 1.4, 1}},
        {140, Kind::Float, {100, 300, 1000, 7000, 100}},
        {144, Kind::Int, {0, 0, 0, 0, 1}},
        {148, Kind::Int, {0, 0, 0, 0, 0}},
    };
    for (const Row& row : rows)
    {
        for (int k = 0; k < 5; ++k)
            expectField(0, {1024 + 152 * static_cast<size_t>(k) + row.offset, row.kind, row.band[k]});
    }
}

TEST(BuiltInProfiles, TellingFields)
{
    struct Telling
    {
        float highPassHz;
        bool bassAgc;
        bool virtualBass;
        float virtualBassLowPassHz;
        int bandsInUse;
        int bandTypes[5];
        int compressorType;
        double outputGainDb;
    };
    // clang-format off
    const Telling table[20] = {
        // HP   bagc   vbass  vb LP   bands band types     type dB
        {20,   true,  false, 90,     5,  {0, 0, 0, 0, 0}, 1, 6}, // 0
        {20,   true,  true,  70.93f, 5,  {0, 0, 0, 0, 0}, 1, 6}, // 1
        {20,   true,  false, 70.93f, 5,  {0, 0, 0, 0, 0}, 1, 4}, // 2
        {20,   true,  true,  70.93f, 5,  {0, 0, 0, 0, 0}, 2, 3}, // 3
        {20,   true,  false, 90,     5,  {0, 0, 0, 0, 0}, 1, 6}, // 4
        {20,   true,  true,  90,     5,  {0, 0, 0, 0, 0}, 2, 6}, // 5
        {20,   true,  false, 90,     3,  {0, 3, 0, 0, 0}, 1, 0}, // 6
        {20,   true,  true,  90,     3,  {0, 2, 0, 0, 0}, 1, 0}, // 7
        {131,  true,  true,  119.2f, 3,  {2, 2, 1, 0, 0}, 1, 4}, // 8
        {131,  true,  true,  140.7f, 3,  {2, 2, 2, 0, 0}, 1, 6}, // 9
        {20,   false, false, 90,     3,  {1, 1, 1, 0, 0}, 1, 6}, // 10
        {20,   false, true,  90,     3,  {1, 1, 1, 0, 0}, 2, 4}, // 11
        {20,   false, false, 90,     5,  {1, 1, 1, 1, 1}, 1, 2}, // 12
        {20,   false, true,  60,     5,  {1, 1, 1, 1, 1}, 2, 0}, // 13
        {20,   true,  false, 60,     5,  {1, 1, 1, 1, 1}, 1, 0}, // 14
        {20,   true,  true,  60,     5,  {1, 1, 1, 1, 1}, 2, 0}, // 15
        {20,   true,  false, 90,     5,  {2, 2, 2, 2, 0}, 1, 4}, // 16
        {20,   true,  true,  90,     5,  {2, 2, 2, 0, 0}, 2, 0}, // 17
        {20,   true,  false, 90,     5,  {2, 2, 2, 2, 0}, 2, 0}, // 18
        {20,   true,  true,  55,     5,  {2, 2, 2, 2, 1}, 2, 0}, // 19
    };
    // clang-format on
    for (int n = 0; n < 20; ++n)
    {
        SCOPED_TRACE("profile " + std::to_string(n));
        const Telling& t = table[n];
        EXPECT_EQ(floatAt(n, 12), t.highPassHz);
        EXPECT_EQ(intAt(n, 752), t.bassAgc ? 0 : 1);
        EXPECT_EQ(intAt(n, 1812), t.virtualBass ? 0 : 1);
        EXPECT_EQ(floatAt(n, 1804), t.virtualBassLowPassHz);
        for (int k = 0; k < 5; ++k)
        {
            const size_t band = 1024 + 152 * static_cast<size_t>(k);
            EXPECT_EQ(intAt(n, band + 4), t.bandTypes[k]) << "band " << k;
            EXPECT_EQ(intAt(n, band + 148), k < t.bandsInUse ? 0 : 1) << "band " << k;
        }
        EXPECT_EQ(intAt(n, 1852), t.compressorType);
        EXPECT_EQ(floatAt(n, 1892), gainFromDb(t.outputGainDb));
        // Virtual bass is on in the odd profiles and in profile 8 only.
        EXPECT_EQ(t.virtualBass, n % 2 == 1 || n == 8);
    }
}

TEST(BuiltInProfiles, CommonSettings)
{
    const size_t enabledFlags[] = {20, 48, 96, 916, 1848, 1896};
    const size_t bypassedFlags[] = {944, 1020, 1960, 1996, 2008, 2044};
    for (int n = 0; n < gNumProfiles; ++n)
    {
        SCOPED_TRACE("profile " + std::to_string(n));
        EXPECT_EQ(intAt(n, 0), 48000);
        EXPECT_EQ(intAt(n, 4), 0);
        for (size_t offset : enabledFlags)
            EXPECT_EQ(intAt(n, offset), 0) << "offset " << offset;
        for (size_t offset : bypassedFlags)
            EXPECT_EQ(intAt(n, offset), 1) << "offset " << offset;
        EXPECT_EQ(floatAt(n, 8), 1.0f);     // input gain
        EXPECT_EQ(intAt(n, 16), 1);         // input high-pass bypassed
        EXPECT_EQ(intAt(n, 2040), 1);       // virtual-3D selector
        EXPECT_EQ(wordAt(n, 100 + 80), 1u); // information block version
    }
}

TEST(BuiltInProfiles, SubBlocksIdenticalInAll)
{
    const ByteRange identical[] = {
        {"OutputBlock", 24, 28},       {"UserBlock", 52, 48},      kInfoBlock,
        {"EQBlock", 756, 164},         {"KaraokeBlock", 1900, 64}, {"FbxBlock", 1964, 36},
        {"PitchShiftBlock", 2000, 12}, {"V3dBlock", 2012, 36},
    };
    for (int n = 1; n < gNumProfiles; ++n)
    {
        for (const ByteRange& block : identical)
        {
            EXPECT_EQ(std::memcmp(profileBytes(n) + block.offset, profileBytes(0) + block.offset, block.size),
                      0)
                << block.name << " of profile " << n;
        }
    }
}

TEST(BuiltInProfiles, InformationBlock)
{
    const unsigned char* info = profileBytes(0) + kInfoBlock.offset;
    for (size_t i = 0; i < 80; ++i)
        EXPECT_EQ(info[i], 0) << "reserved byte " << i;

    const char* description = reinterpret_cast<const char*>(info + 84);
    const size_t length = strnlen(description, 512);
    ASSERT_LT(length, 512u) << "description must be NUL-terminated";
    EXPECT_GT(length, 0u);
    for (size_t i = length; i < 512; ++i)
        EXPECT_EQ(description[i], '\0') << "description must be NUL-filled, byte " << i;
}

TEST(BuiltInProfiles, StereoWidenerVoicings)
{
    // Every profile holds the same widener values except the compressor times and the crossovers,
    // which are either 0 ms / 90 ms / 500 Hz or, in exactly two profiles, 32 ms / 400 ms / 675 Hz.
    const size_t widener = 948;
    const size_t voiced[] = {8, 12, 40, 44}; // attack, release, low and high crossover
    int slowProfiles = 0;
    for (int n = 0; n < gNumProfiles; ++n)
    {
        SCOPED_TRACE("profile " + std::to_string(n));
        for (size_t offset = 0; offset < 76; offset += 4)
        {
            bool isVoiced = false;
            for (size_t v : voiced)
                isVoiced = isVoiced || v == offset;
            if (!isVoiced)
            {
                EXPECT_EQ(wordAt(n, widener + offset), wordAt(0, widener + offset)) << "offset " << offset;
            }
        }
        const bool slow = floatAt(n, widener + 8) == 32.0f;
        slowProfiles += slow ? 1 : 0;
        EXPECT_EQ(floatAt(n, widener + 8), slow ? 32.0f : 0.0f);
        EXPECT_EQ(floatAt(n, widener + 12), slow ? 400.0f : 90.0f);
        EXPECT_EQ(floatAt(n, widener + 40), slow ? 675.0f : 500.0f);
        EXPECT_EQ(floatAt(n, widener + 44), slow ? 675.0f : 500.0f);
    }
    EXPECT_EQ(slowProfiles, 2);
    EXPECT_EQ(floatAt(0, widener + 8), 0.0f);
}

TEST(BuiltInProfiles, HighestBandInUseIsOpenEnded)
{
    for (int profile = 0; profile < gNumProfiles; ++profile)
    {
        SCOPED_TRACE(profile);
        int highest = 0;
        for (int band = 0; band < kNumBands; ++band)
            if (gProfiles[profile].bands[band].bandOff == 0)
                highest = band;
        EXPECT_EQ(gProfiles[profile].bands[highest].lowPassEnabled, 0);
    }
}
