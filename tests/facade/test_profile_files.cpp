// Profile files in the current and the four older layouts, and the buffer loader.
#include "facade/FacadeTestSupport.h"

#include <gtest/gtest.h>

#include <cstring>

namespace
{
void putWord(std::vector<unsigned char>& bytes, size_t offset, uint32_t value)
{
    std::memcpy(bytes.data() + offset, &value, 4);
}

void putFloat(std::vector<unsigned char>& bytes, size_t offset, float value)
{
    std::memcpy(bytes.data() + offset, &value, 4);
}

float floatAt(const MasterBlock& record, size_t offset)
{
    float value;
    std::memcpy(&value, reinterpret_cast<const unsigned char*>(&record) + offset, 4);
    return value;
}

// An old-layout record: the first `size` bytes of profile 7 mapped backwards through the 2036 shift,
// so that every tested flag holds a valid value.
std::vector<unsigned char> layout2036Record(size_t size)
{
    const auto current = bytesOf(gProfiles[7]);
    std::vector<unsigned char> old(size);
    std::memcpy(old.data(), current.data(), 1932);
    std::memcpy(old.data() + 1932, current.data() + 1936, size - 1932);
    return old;
}

std::vector<unsigned char> layout201104Record()
{
    std::vector<unsigned char> old(1808, 0);
    for (size_t offset : {4, 20, 56, 108, 764, 928, 956, 1032, 1656, 1708, 1768, 1804})
        putWord(old, offset, 1);
    putFloat(old, 60, 0.25f);  // user gain, channel 0
    putFloat(old, 64, 0.375f); // user gain, channel 1
    putFloat(old, 68, 9.0f);   // not carried
    putFloat(old, 72, 1.5f);   // user bass gain
    putWord(old, 1036 + 116 * 2 + 4, 2);     // band 2 type
    putFloat(old, 1036 + 116 * 2 + 24, 42.0f); // band 2 low-pass frequency (new offset 28)
    putWord(old, 1036 + 116 * 2 + 112, 1);   // band 2 off
    putFloat(old, 1616, 0.125f);             // core: virtual-bass recovery
    putFloat(old, 1700, 0.625f);             // output compressor output gain (new 1892)
    return old;
}
} // namespace

TEST(ProfileFiles, CurrentLayoutRecordsByIndex)
{
    std::vector<unsigned char> file;
    for (int profile : {5, 9, 13})
    {
        const auto record = bytesOf(gProfiles[profile]);
        file.insert(file.end(), record.begin(), record.end());
    }
    TempFile path("three.ktvs", file);
    VYKLib lib;
    const int profiles[] = {5, 9, 13};
    for (int index = 0; index < 3; ++index)
    {
        lib.loadEmbeddedProfile(0);
        lib.setToneBassGain(1.3f);
        ASSERT_TRUE(lib.loadProfileFromFile(path.c_str(), index));
        MasterBlock record;
        lib.getAll(&record);
        EXPECT_EQ(std::memcmp(&record, &gProfiles[profiles[index]], sizeof(record)), 0);
        EXPECT_FLOAT_EQ(lib.getToneBassGain(), 1.0f);
    }
    lib.loadEmbeddedProfile(2);
    EXPECT_FALSE(lib.loadProfileFromFile(path.c_str(), 3));
    EXPECT_FALSE(lib.loadProfileFromFile(path.c_str(), -1));
    EXPECT_FALSE(lib.loadProfileFromFile("/nonexistent/profile.ktvs", 0));
    MasterBlock record;
    lib.getAll(&record);
    EXPECT_EQ(std::memcmp(&record, &gProfiles[2], sizeof(record)), 0);
}

TEST(ProfileFiles, InvalidCurrentRecordFallsThroughEveryLayout)
{
    MasterBlock bad = gProfiles[4];
    bad.v3d.algo = 10;
    TempFile path("bad.ktvs", bytesOf(bad));
    MasterBlock scratch = gProfiles[1];
    EXPECT_FALSE(ProfileImporter::importFromFileCurrent(path.c_str(), &scratch, 0));
    for (int type = 0; type < 6; ++type)
        EXPECT_FALSE(ProfileImporter::importFromKtvs(path.c_str(), &scratch, 0, type)) << type;
    EXPECT_EQ(std::memcmp(&scratch, &gProfiles[1], sizeof(scratch)), 0);
}

TEST(ProfileFiles, LegacyLayoutsMapOntoTheCurrentRecord)
{
    struct Case
    {
        const char* name;
        size_t size;
        int expectedType;
        bool keepsPitch;
        bool keepsV3d;
    };
    const Case cases[] = {{"2036", 2044, 1, true, true}, {"20123", 2008, 2, true, false},
                          {"20120", 1996, 3, false, false}};
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        auto old = layout2036Record(c.size);
        if (c.keepsPitch)
            putFloat(old, 1996, 0.5f); // pitch-shift ratio
        if (c.keepsV3d)
            putWord(old, 2008 + 24, 64); // virtual-3D taps
        TempFile path(std::string("legacy") + c.name + ".ktvs", old);

        // The larger layouts fail on the short read; the shorter ones would read a prefix, so the loader's
        // order decides.
        for (int type = 0; type <= c.expectedType; ++type)
        {
            MasterBlock scratch = gProfiles[3];
            EXPECT_EQ(ProfileImporter::importFromKtvs(path.c_str(), &scratch, 0, type), type == c.expectedType)
                << type;
        }

        VYKLib lib;
        ASSERT_TRUE(lib.loadProfileFromFile(path.c_str(), 0));
        MasterBlock record;
        lib.getAll(&record);
        EXPECT_EQ(std::memcmp(&record, &gProfiles[7], 1932), 0);
        EXPECT_EQ(record.karaoke.wetGain, 1.0f);
        EXPECT_EQ(std::memcmp(&record.karaoke.reverbGain, &gProfiles[7].karaoke.reverbGain, 28), 0);
        EXPECT_EQ(std::memcmp(&record.fbx, &gProfiles[7].fbx, sizeof(FbxBlock)), 0);
        if (c.keepsPitch)
            EXPECT_EQ(record.pitchShift.pitchShift, 0.5f);
        else
            EXPECT_EQ(std::memcmp(&record.pitchShift, &gProfiles[0].pitchShift, sizeof(PitchShiftBlock)), 0);
        if (c.keepsV3d)
            EXPECT_EQ(record.v3d.numTaps, 64);
        else
            EXPECT_EQ(std::memcmp(&record.v3d, &gProfiles[0].v3d, sizeof(V3dBlock)), 0);
    }
}

TEST(ProfileFiles, Layout201104MapsFieldByField)
{
    TempFile path("old201104.ktvs", layout201104Record());
    for (int type = 0; type < 4; ++type)
    {
        MasterBlock scratch = gProfiles[0];
        EXPECT_FALSE(ProfileImporter::importFromKtvs(path.c_str(), &scratch, 0, type)) << type;
    }

    VYKLib lib;
    lib.loadEmbeddedProfile(9);
    ASSERT_TRUE(lib.loadProfileFromFile(path.c_str(), 0));
    MasterBlock record;
    lib.getAll(&record);
    EXPECT_EQ(record.vyk.bypass, 1);
    EXPECT_EQ(record.output.bypass, 1);
    EXPECT_EQ(record.user.gain[0], 0.25f);
    EXPECT_EQ(record.user.gain[1], 0.375f);
    EXPECT_EQ(record.user.sections[0].gain, 1.5f);
    EXPECT_EQ(record.user.bypass, 1);
    EXPECT_EQ(record.bands[2].bandType, 2);
    EXPECT_EQ(record.bands[2].lowPassFreq, 42.0f);
    EXPECT_EQ(record.bands[2].bandOff, 1);
    EXPECT_EQ(record.multiBandCore.virtualBassRecovery, 0.125f);
    EXPECT_EQ(record.multiBandCore.bypass, 1);
    EXPECT_EQ(record.outputCompressor.outputGain, 0.625f);
    EXPECT_EQ(record.outputCompressor.bypass, 1);
    // Fields without a source keep the instance's values; the newer blocks come from profile 0.
    EXPECT_EQ(record.bands[2].allPassMask, gProfiles[9].bands[2].allPassMask);
    EXPECT_EQ(std::memcmp(&record.bands[1].detectorEq, &gProfiles[9].bands[1].detectorEq,
                          sizeof(record.bands[1].detectorEq)),
              0);
    EXPECT_EQ(record.multiBandCore.allPassQ, gProfiles[9].multiBandCore.allPassQ);
    EXPECT_EQ(std::memcmp(reinterpret_cast<const unsigned char*>(&record) + 1900,
                          reinterpret_cast<const unsigned char*>(&gProfiles[0]) + 1900, 148),
              0);
    EXPECT_EQ(floatAt(record, 1892), 0.625f);
}

TEST(ProfileBuffer, LoadsByIndexAndRefusesWhatDoesNotFit)
{
    std::vector<MasterBlock> buffer(20);
    for (int i = 0; i < 20; ++i)
        buffer[i] = gProfiles[19 - i];
    const long size = static_cast<long>(buffer.size() * sizeof(MasterBlock));

    VYKLib lib;
    ASSERT_TRUE(lib.loadProfileFromBuffer(buffer.data(), 19));
    MasterBlock record;
    lib.getAll(&record);
    EXPECT_EQ(std::memcmp(&record, &gProfiles[0], sizeof(record)), 0);
    ASSERT_TRUE(lib.loadProfileFromBuffer(buffer.data(), size, 3));
    lib.getAll(&record);
    EXPECT_EQ(std::memcmp(&record, &gProfiles[16], sizeof(record)), 0);

    EXPECT_FALSE(lib.loadProfileFromBuffer(buffer.data(), size, 20));
    EXPECT_FALSE(lib.loadProfileFromBuffer(buffer.data(), size - 1, 19));
    EXPECT_FALSE(lib.loadProfileFromBuffer(buffer.data(), size, -1));
    buffer[2].eq.bypass = 2;
    EXPECT_FALSE(lib.loadProfileFromBuffer(buffer.data(), size, 2));
    lib.getAll(&record);
    EXPECT_EQ(std::memcmp(&record, &gProfiles[16], sizeof(record)), 0);
}
