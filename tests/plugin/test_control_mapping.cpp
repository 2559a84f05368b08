// The seven user controls: metadata, texts, snapping and their effect on the facade in both directions.
#include "ControlMapping.h"
#include "UlmarProfiles.h"
#include "vyk.h"

#include <gtest/gtest.h>

#include <cstring>

TEST(ControlMapping, IdsMatchIgnoringCase)
{
    EXPECT_EQ(findControl("vykdrive"), kControlDrive);
    EXPECT_EQ(findControl("VYKDRIVE"), kControlDrive);
    EXPECT_EQ(findControl("kparamvykstereobypassed"), kControlStereoBypassed);
    EXPECT_EQ(findControl("VykDrive2"), std::nullopt);
    EXPECT_EQ(findControl(""), std::nullopt);
    for (int control = 0; control < kNumControls; ++control)
        EXPECT_EQ(findControl(kControlSpecs[control].id), static_cast<ControlId>(control));
}

TEST(ControlMapping, TextsAndConversions)
{
    EXPECT_STREQ(bypassText(0.0f), "Enabled");
    EXPECT_STREQ(bypassText(1.0f), "Bypassed");
    EXPECT_STREQ(bypassText(0.5f), "Bypassed");
    EXPECT_EQ(valueText(-0.5f), "-0.5");
    EXPECT_EQ(valueText(10.0f), "10");
    EXPECT_EQ(valueText(-0.3f), "-0.3");
    EXPECT_EQ(valueText(0.0f), "0");

    EXPECT_FLOAT_EQ(gainFromDb(-10.0f), 0.3162278f);
    EXPECT_FLOAT_EQ(gainFromDb(10.0f), 3.162278f);
    EXPECT_EQ(gainFromDb(-100.0f), 0.0f);
    EXPECT_FLOAT_EQ(dbFromGain(2.0f), 6.0206f);
    EXPECT_EQ(dbFromGain(0.0f), -100.0f);
    EXPECT_EQ(dbFromGain(-1.0f), -100.0f);
    EXPECT_EQ(dbFromGain(1e-9f), -100.0f);
}

TEST(ControlMapping, SnapsToRangeAndStepLikeTheHostParameter)
{
    struct Case
    {
        ControlId control;
        float in;
        float out;
    };
    const Case cases[] = {{kControlDrive, 12.0f, 10.0f},    {kControlDrive, -11.0f, -10.0f},
                          {kControlDrive, 0.26f, 0.5f},     {kControlDrive, 0.24f, 0.0f},
                          {kControlCeiling, -0.25f, -0.2f}, {kControlCeiling, 0.5f, 0.0f},
                          {kControlStereoWide, -3.0f, 0.0f}, {kControlBypassed, 0.6f, 1.0f},
                          {kControlLowGain, 5.7f, 5.5f}};
    for (const Case& c : cases)
    {
        SCOPED_TRACE(testing::Message() << kControlSpecs[c.control].id << " " << c.in);
        EXPECT_NEAR(snapToControl(c.control, c.in), c.out, 1e-5f);
    }
}

class ControlFacadeTest : public ::testing::Test
{
protected:
    VYKLib lib;
};

TEST_F(ControlFacadeTest, DriveAndSwitches)
{
    applyControl(lib, kControlDrive, -10.0f);
    EXPECT_FLOAT_EQ(lib.getInputGain(), 0.3162278f);
    applyControl(lib, kControlDrive, 10.0f);
    EXPECT_FLOAT_EQ(lib.getInputGain(), 3.162278f);

    applyControl(lib, kControlBypassed, 1.0f);
    EXPECT_FALSE(lib.getEnabled());
    EXPECT_EQ(readControl(lib, kControlBypassed), 1.0f);
    applyControl(lib, kControlBypassed, 0.0f);
    EXPECT_TRUE(lib.getEnabled());

    applyControl(lib, kControlStereoBypassed, 0.0f);
    StereoWidenBlock widen;
    lib.getStereoWiden(&widen);
    EXPECT_EQ(widen.bypass, 1);
    EXPECT_EQ(readControl(lib, kControlStereoBypassed), 0.0f);
    applyControl(lib, kControlStereoBypassed, 1.0f);
    lib.getStereoWiden(&widen);
    EXPECT_EQ(widen.bypass, 0);

    applyControl(lib, kControlStereoWide, 6.0f);
    lib.getStereoWiden(&widen);
    EXPECT_FLOAT_EQ(widen.sGain, gainFromDb(6.0f));
    EXPECT_NEAR(*readControl(lib, kControlStereoWide), 6.0f, 1e-5f);
}

TEST_F(ControlFacadeTest, CeilingFollowsTheOutputCompressorType)
{
    OutputCompressorBlock block;
    lib.getOutputCompressor(&block);
    block.compressorType = kOutputCompressorTypeLimiter;
    lib.setOutputCompressor(&block);
    applyControl(lib, kControlCeiling, -3.0f);
    lib.getOutputCompressor(&block);
    EXPECT_FLOAT_EQ(block.limiterThreshold, 0.7079458f);
    EXPECT_FLOAT_EQ(block.limiterClip, 0.7079458f);
    EXPECT_NEAR(*readControl(lib, kControlCeiling), -3.0f, 1e-5f);

    block.compressorType = kOutputCompressorTypeClipper;
    lib.setOutputCompressor(&block);
    applyControl(lib, kControlCeiling, -6.0f);
    lib.getOutputCompressor(&block);
    EXPECT_FLOAT_EQ(block.clipperOutputGain, gainFromDb(-6.0f));
    EXPECT_FLOAT_EQ(block.limiterClip, 0.7079458f);
    EXPECT_NEAR(*readControl(lib, kControlCeiling), -6.0f, 1e-5f);

    block.compressorType = kOutputCompressorTypeGain;
    lib.setOutputCompressor(&block);
    const OutputCompressorBlock before = block;
    applyControl(lib, kControlCeiling, -9.0f);
    lib.getOutputCompressor(&block);
    EXPECT_EQ(std::memcmp(&block, &before, sizeof(block)), 0);
    EXPECT_EQ(readControl(lib, kControlCeiling), std::nullopt);
}

TEST_F(ControlFacadeTest, ToneControlsAreRelativeToTheLoadedProfile)
{
    lib.loadEmbeddedProfile(0);
    EXPECT_NEAR(*readControl(lib, kControlLowGain), 0.0f, 1e-5f);
    EXPECT_NEAR(*readControl(lib, kControlHighGain), 0.0f, 1e-5f);
    applyControl(lib, kControlLowGain, 3.0f);
    EXPECT_FLOAT_EQ(lib.getToneBassGain(), 1.4125375f);
    MultiBandBandBlock band;
    lib.getMultiBandBand(&band, 0);
    EXPECT_FLOAT_EQ(band.compMakeupGain, gProfiles[0].bands[0].compMakeupGain + 0.4125375f);
    EXPECT_NEAR(*readControl(lib, kControlLowGain), 3.0f, 1e-4f);
    applyControl(lib, kControlHighGain, -2.0f);
    EXPECT_NEAR(*readControl(lib, kControlHighGain), -2.0f, 1e-4f);
}

TEST(UlmarProfileList, TwentyShownEntriesMappedToEngineProfiles)
{
    for (int i = 0; i < kNumUlmarProfiles; ++i)
    {
        EXPECT_EQ(UlmarProfiles[i].identifier, i + 1);
        EXPECT_TRUE(UlmarProfiles[i].shown);
        EXPECT_EQ(findProfileByName(UlmarProfiles[i].name), i);
    }
    EXPECT_STREQ(UlmarProfiles[0].name, "Master Shine");
    EXPECT_EQ(findProfileByName("master shine"), 0);
    EXPECT_EQ(findProfileByName("Rich Warmth"), 19);
    EXPECT_EQ(findProfileByName("Rich"), std::nullopt);
}
