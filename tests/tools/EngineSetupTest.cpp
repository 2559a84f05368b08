// Setting up the render's engine instance: control values as the plug-in's parameters would take
// them, profiles from the built-in table or a file, and the gain-reduction figure from the meters.
#include "EngineSetup.h"
#include "RenderError.h"
#include "RenderTestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>

namespace
{

using render::ControlSetting;
using render_test::ScratchDirectory;

struct SettleCase
{
    ControlId control;
    float given;
    float applied;
    const char* warningPart; // empty: no warning
};

TEST(EngineSetup, ControlsAreClampedAndSteppedLikeThePluginParameters)
{
    const SettleCase cases[] = {
        {kControlDrive, 3.0f, 3.0f, ""},
        {kControlDrive, -10.0f, -10.0f, ""},
        {kControlDrive, 1.3f, 1.5f, "--drive 1.3 dB is not on the 0.5 dB grid; using 1.5 dB"},
        {kControlDrive, 1.2f, 1.0f, "using 1 dB"},
        {kControlDrive, 12.0f, 10.0f, "--drive 12 dB is outside -10 to 10 dB; using 10 dB"},
        {kControlCeiling, -3.1f, -3.1f, ""}, // not exact in binary, still on the grid
        {kControlCeiling, -0.25f, -0.2f, "not on the 0.1 dB grid"},
        {kControlCeiling, 1.0f, 0.0f, "outside -10 to 0 dB"},
        {kControlLowGain, -12.5f, -12.0f, "outside -12 to 12 dB"},
        {kControlHighGain, 11.9f, 12.0f, "using 12 dB"},
        {kControlStereoWide, -1.0f, 0.0f, "--width -1 dB is outside 0 to 12 dB"},
        {kControlStereoWide, 6.5f, 6.5f, ""},
        {kControlStereoBypassed, 1.0f, 1.0f, ""},
        {kControlBypassed, 1.0f, 1.0f, ""},
    };
    for (const SettleCase& c : cases)
    {
        SCOPED_TRACE(std::string(kControlSpecs[c.control].id) + " " + std::to_string(c.given));
        std::optional<float> given[kNumControls];
        given[c.control] = c.given;
        const std::vector<ControlSetting> settings = render::settleControls(given);
        ASSERT_EQ(settings.size(), 1u);
        EXPECT_NEAR(settings[0].applied, c.applied, 1e-5f);
        const std::string warning = render::adjustmentWarning(settings[0]);
        if (*c.warningPart == '\0')
        {
            EXPECT_EQ(warning, "");
        }
        else
        {
            EXPECT_NE(warning.find(c.warningPart), std::string::npos) << warning;
        }
    }
}

TEST(EngineSetup, ControlsComeInThePluginsParameterOrder)
{
    std::optional<float> given[kNumControls];
    given[kControlStereoBypassed] = 1.0f;
    given[kControlHighGain] = 2.0f;
    given[kControlDrive] = 1.0f;
    given[kControlBypassed] = 1.0f;
    const std::vector<ControlSetting> settings = render::settleControls(given);
    ASSERT_EQ(settings.size(), 4u);
    EXPECT_EQ(settings[0].control, kControlBypassed);
    EXPECT_EQ(settings[1].control, kControlDrive);
    EXPECT_EQ(settings[2].control, kControlHighGain);
    EXPECT_EQ(settings[3].control, kControlStereoBypassed);
    EXPECT_EQ(render::appliedText(settings[0]), "on");
    EXPECT_EQ(render::appliedText(settings[1]), "1 dB");
}

void writeRecords(const std::string& path, const std::vector<MasterBlock>& records)
{
    std::string bytes(records.size() * sizeof(MasterBlock), '\0');
    std::memcpy(bytes.data(), records.data(), bytes.size());
    render_test::writeBytes(path, bytes);
}

MasterBlock engineRecord(const VYKLib& lib)
{
    MasterBlock master;
    lib.getAll(&master);
    return master;
}

TEST(EngineSetup, ProfileFileRecordEqualsTheBuiltInProfile)
{
    ScratchDirectory directory;
    const std::string path = directory.file("two.ktvs");
    writeRecords(path, {gProfiles[3], gProfiles[14]});

    MasterBlock fromFile;
    {
        VYKLib lib;
        render::ProfileChoice choice;
        choice.filePath = path;
        choice.fileIndex = 1;
        EXPECT_TRUE(render::configureEngine(lib, 44100, choice, {}).empty());
        fromFile = engineRecord(lib);
    }
    VYKLib lib;
    render::ProfileChoice builtIn;
    builtIn.builtIn = 14;
    render::configureEngine(lib, 44100, builtIn, {});
    const MasterBlock fromTable = engineRecord(lib);
    EXPECT_EQ(std::memcmp(&fromFile, &fromTable, sizeof(MasterBlock)), 0);
    EXPECT_EQ(std::memcmp(&fromTable.outputCompressor, &gProfiles[14].outputCompressor,
                          sizeof(OutputCompressorBlock)),
              0);
}

// Read back through the shared mapping, every control holds the value applied.
TEST(EngineSetup, ControlsReachTheEngineThroughTheSharedMapping)
{
    for (const int profile : {0, 3})
    {
        SCOPED_TRACE("profile " + std::to_string(profile));
        std::optional<float> given[kNumControls];
        given[kControlDrive] = -2.5f;
        given[kControlCeiling] = -1.3f;
        given[kControlLowGain] = 4.0f;
        given[kControlHighGain] = -3.0f;
        given[kControlStereoWide] = 7.5f;
        given[kControlStereoBypassed] = 1.0f;
        const std::vector<ControlSetting> settings = render::settleControls(given);
        VYKLib lib;
        render::ProfileChoice choice;
        choice.builtIn = profile;
        EXPECT_TRUE(render::configureEngine(lib, 48000, choice, settings).empty());
        for (const ControlSetting& setting : settings)
        {
            SCOPED_TRACE(kControlSpecs[setting.control].id);
            const std::optional<float> value = readControl(lib, setting.control);
            ASSERT_TRUE(value.has_value());
            EXPECT_NEAR(*value, setting.applied, 1e-4f);
        }
        EXPECT_TRUE(lib.getEnabled());
    }
}

TEST(EngineSetup, ControlsWithoutEffectAreReported)
{
    ScratchDirectory directory;
    MasterBlock compressorOut = gProfiles[0];
    compressorOut.outputCompressor.compressorType = kOutputCompressorTypeCompressor;
    writeRecords(directory.file("compressor.ktvs"), {compressorOut});

    std::optional<float> given[kNumControls];
    given[kControlCeiling] = -1.0f;
    given[kControlStereoWide] = 3.0f;
    VYKLib lib;
    render::ProfileChoice choice;
    choice.filePath = directory.file("compressor.ktvs");
    const std::vector<std::string> warnings =
        render::configureEngine(lib, 48000, choice, render::settleControls(given));
    ASSERT_EQ(warnings.size(), 2u);
    EXPECT_NE(warnings[0].find("--ceiling has no effect"), std::string::npos) << warnings[0];
    EXPECT_NE(warnings[1].find("--width has no effect"), std::string::npos) << warnings[1];

    given[kControlStereoBypassed] = 1.0f; // with the widener on, the width counts
    VYKLib second;
    EXPECT_EQ(render::configureEngine(second, 48000, choice, render::settleControls(given)).size(), 1u);
}

TEST(EngineSetup, UnusableProfileFilesAreInputErrors)
{
    ScratchDirectory directory;
    writeRecords(directory.file("one.ktvs"), {gProfiles[2]});
    render_test::writeBytes(directory.file("short.ktvs"), std::string(100, '\0'));
    render_test::writeBytes(directory.file("garbage.ktvs"), std::string(2048, '\xff'));
    std::filesystem::create_directory(directory.file("folder.ktvs"));

    const struct
    {
        const char* name;
        int index;
        const char* messagePart;
    } cases[] = {
        {"missing.ktvs", 0, "profile file '%' does not exist"},
        {"folder.ktvs", 0, "profile file '%' is a directory"},
        {"short.ktvs", 0, "(100 bytes) is too short to hold record 0"},
        {"one.ktvs", 1, "(2048 bytes) is too short to hold record 1"},
        {"garbage.ktvs", 0, "record 0 of profile file '%' is not a valid profile in any of the five layouts"},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.name);
        render::ProfileChoice choice;
        choice.filePath = directory.file(c.name);
        choice.fileIndex = c.index;
        std::string expected = c.messagePart;
        if (const size_t at = expected.find('%'); at != std::string::npos)
        {
            expected.replace(at, 1, choice.filePath);
        }
        VYKLib lib;
        try
        {
            render::configureEngine(lib, 48000, choice, {});
            ADD_FAILURE() << "no error";
        }
        catch (const render::RenderError& error)
        {
            EXPECT_EQ(error.exitCode(), render::kExitIoError);
            EXPECT_NE(std::string(error.what()).find(expected), std::string::npos) << error.what();
        }
    }
}

MetersBlock metersAtUnity()
{
    MetersBlock meters = {};
    for (float& value : meters.values)
    {
        value = 1.0f;
    }
    return meters;
}

// The plug-in's glow rule (bands in use and the bass AGC) with the output limiter added.
TEST(ChainReductionMeter, TakesTheSmallestGainOfTheStagesInUse)
{
    VYKLib lib;
    render::ProfileChoice choice;
    render::configureEngine(lib, 48000, choice, {});
    MultiBandBandBlock band;
    lib.getMultiBandBand(&band, 2);
    band.bandOff = 1;
    lib.setMultiBandBand(&band, 2);
    const render::ChainReductionMeter meter(lib);

    const struct
    {
        const char* name;
        int index;
        float value;
        float expectedGain;
    } cases[] = {
        {"nothing reduces", kMeterBandGain0, 1.0f, 1.0f},
        {"band 0", kMeterBandGain0, 0.5f, 0.5f},
        {"band 4", kMeterBandGain4, 0.7f, 0.7f},
        {"band 2 is off", kMeterBandGain2, 0.1f, 1.0f},
        {"bass AGC", kMeterBagcGain0, 0.8f, 0.8f},
        {"output limiter", kMeterOutputLimiterGain, 0.25f, 0.25f},
        {"other meters do not count", kMeterStereoWidenGain, 0.1f, 1.0f},
        {"a zero meter has measured nothing", kMeterOutputLimiterGain, 0.0f, 1.0f},
        {"nor has a broken one", kMeterBagcGain0, NAN, 1.0f},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.name);
        MetersBlock meters = metersAtUnity();
        meters.values[c.index] = c.value;
        EXPECT_EQ(meter.chainGain(meters), c.expectedGain);
    }
    EXPECT_EQ(meter.chainGain(MetersBlock{}), 1.0f);
}

TEST(ChainReductionMeter, LargestAndTimeWeightedMean)
{
    VYKLib lib;
    render::configureEngine(lib, 48000, render::ProfileChoice(), {});
    render::ChainReductionMeter meter(lib);
    EXPECT_EQ(meter.largestReductionDb(), 0.0);
    EXPECT_EQ(meter.meanReductionDb(), 0.0);

    MetersBlock meters = metersAtUnity();
    meters.values[kMeterOutputLimiterGain] = 0.5f; // 6.02 dB
    meter.addBlock(meters, 100);
    meters.values[kMeterOutputLimiterGain] = 2.0f; // a gain, not a reduction
    meter.addBlock(meters, 300);
    EXPECT_NEAR(meter.largestReductionDb(), 6.0206, 1e-4);
    EXPECT_NEAR(meter.meanReductionDb(), 6.0206 / 4.0, 1e-4);

    // A bypassed chain runs no stage that could reduce.
    lib.setEnabled(false);
    render::ChainReductionMeter bypassed(lib);
    meters.values[kMeterOutputLimiterGain] = 0.5f;
    bypassed.addBlock(meters, 100);
    EXPECT_EQ(bypassed.largestReductionDb(), 0.0);
}

} // namespace
