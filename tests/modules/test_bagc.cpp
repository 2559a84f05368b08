// Bass AGC: unlinked and linked modes against plain compressors and analytic shelves, ratio handling,
// sample-rate changes, meters, bypass and the whole-block routine.
#include "StagesTestSupport.h"

#include <cmath>
#include <complex>
#include <functional>

namespace
{
using signals::kPi;
using stages::changeBlock;
using stages::processInBlocks;

// Built-in profile 0: unlinked; pre shelves -12 dB low, +9 dB high, post shelves their inverses;
// threshold -10 dB, ratio 2, 35 ms / 180 ms, makeup +4 dB.
constexpr int kInstance = 0;

const MetersBlock& meters(int instance = kInstance)
{
    return *VYKCommGetMeters(instance);
}

void setFlatShelves(int instance = kInstance)
{
    for (int shelf = 0; shelf < kBagcNumShelves; ++shelf)
        BagcShelfSetGain(instance, shelf, 1.0f);
}

void setCompressor(float ratio, float threshold, float attackMs, float releaseMs, float makeup)
{
    BagcCompressorSetRatio(kInstance, ratio);
    BagcCompressorSetThreshold(kInstance, threshold);
    BagcCompressorSetAttack(kInstance, attackMs);
    BagcCompressorSetRelease(kInstance, releaseMs);
    BagcCompressorSetMakeupGain(kInstance, makeup);
}

std::vector<float> stereoTestSignal(int frames, double rate)
{
    std::vector<float> left = signals::noise(frames, 0.6, 3);
    const std::vector<float> tone = signals::sine(180.0, rate, frames, 0.5);
    for (int n = 0; n < frames; ++n)
        left[n] += tone[n];
    return signals::interleave({left, signals::sine(2500.0, rate, frames, 0.9)});
}

// First-order shelf at the engine's fixed transition: dm + (+-am) A(z), A the all-pass (a - z^-1) /
// (1 - a z^-1), for a cut of gain g <= 1, evaluated in double.
std::complex<double> shelfResponse(double g, bool lowShelf, double freqHz, double rate)
{
    const double t = 1000.0 * kPi / rate;
    const double a = (1.0 - t) / (1.0 + t);
    const std::complex<double> z1 = std::polar(1.0, -2.0 * kPi * freqHz / rate);
    const std::complex<double> allPass = (a - z1) / (1.0 - a * z1);
    const double am = (1.0 - g) / 2.0;
    return (1.0 + g) / 2.0 + (lowShelf ? am : -am) * allPass;
}
} // namespace

TEST_F(EngineTest, UnlinkedWithFlatShelvesIsAPlainCompressorPerChannel)
{
    constexpr int kRate = 48000;
    VykSetSampleRate(kInstance, kRate);
    setFlatShelves();
    setCompressor(3.0f, 0.1f, 5.0f, 50.0f, 1.5f);

    Compressor reference{};
    CompressorEnvelope envelopes[2];
    CompressorInit(&reference, envelopes);
    CompressorSetAttack(&reference, 5.0f, kRate);
    CompressorSetRelease(&reference, 50.0f, kRate);
    CompressorSetMakeupGain(&reference, 1.5f);
    CompressorSetThreshold(&reference, 0.1f);
    CompressorSetRatio(&reference, 3.0f);
    CompressorSetBypass(&reference, 0);

    const std::vector<float> input = stereoTestSignal(4096, kRate);
    std::vector<float> expected = input;
    std::vector<float> output = input;
    for (int start = 0; start < 4096; start += 512)
    {
        float smallest[2];
        for (int ch = 0; ch < 2; ++ch)
            smallest[ch] =
                vykcompress(2, expected.data() + 2 * start + ch, &reference, &envelopes[ch], 2, 512);
        VykBagcProcess(kInstance, output.data() + 2 * start, 512, 2);
        for (int ch = 0; ch < 2; ++ch)
        {
            EXPECT_EQ(meters().values[kMeterBagcGain0 + ch], smallest[ch]);
            float peak = 0.0f;
            EXPECT_EQ(meters().values[kMeterBagcPeak0 + ch],
                      computeMaxLevel(2, output.data() + 2 * start + ch, &peak, 512));
        }
    }
    EXPECT_EQ(output, expected);
    EXPECT_LT(meters().values[kMeterBagcGain0], 0.5f) << "the test signal is compressed";
}

TEST_F(EngineTest, LinkedModeShapesOnlyTheDetectorAndGivesBothChannelsOneGain)
{
    const std::vector<float> input = stereoTestSignal(4096, 44100);

    // No compression: the audio itself passes no shelf.
    BagcSetLinked(kInstance, 1);
    EXPECT_EQ(BagcGetLinked(kInstance), 1);
    BagcCompressorSetRatio(kInstance, 1.0f);
    BagcCompressorSetMakeupGain(kInstance, 1.0f);
    std::vector<float> output = input;
    processInBlocks(VykBagcProcess, kInstance, output, 2, 512);
    EXPECT_EQ(output, input);

    // Profile 0's compressor on instances 0 and 1, which differ only in their post shelves.
    ASSERT_EQ(PlatformInit(nullptr, nullptr), 0);
    for (int instance : {0, 1})
        changeBlock(
            instance, &MasterBlock::bagc, [](BagcBlock& b) { b.linked = 1; }, BagcSetAll);
    BagcShelfSetGain(1, 2, 2.0f);
    BagcShelfSetGain(1, 3, 0.5f);
    output = input;
    std::vector<float> otherPostShelves = input;
    processInBlocks(VykBagcProcess, 0, output, 2, 512);
    processInBlocks(VykBagcProcess, 1, otherPostShelves, 2, 512);
    EXPECT_EQ(output, otherPostShelves) << "post shelves are not used in linked mode";

    EXPECT_EQ(meters(0).values[kMeterBagcGain0], meters(0).values[kMeterBagcGain1]);
    EXPECT_LT(meters(0).values[kMeterBagcGain0], 0.9f);
    for (int n = 0; n < 4096; ++n)
    {
        const double left = input[2 * n];
        const double right = input[2 * n + 1];
        if (std::fabs(left) < 1e-2 || std::fabs(right) < 1e-2)
            continue;
        ASSERT_NEAR(output[2 * n] / left, output[2 * n + 1] / right, 1e-6) << n;
    }
}

TEST_F(EngineTest, UnlinkedShelvesWeightTheDetectorAndRestoreTheTonalBalance)
{
    // Pre and post shelves are each other's inverse in profile 0: without compression they null.
    BagcCompressorSetRatio(kInstance, 1.0f);
    BagcCompressorSetMakeupGain(kInstance, 1.0f);
    const std::vector<float> input = stereoTestSignal(8192, 44100);
    std::vector<float> output = input;
    processInBlocks(VykBagcProcess, kInstance, output, 2, 512);
    EXPECT_LT(signals::maxAbsDifference(output, input), 2e-6);

    // Limiting at -20 dB: the pre shelves cut 100 Hz by 12 dB and lift 8 kHz by 9 dB before detection.
    auto gainFor = [](double freqHz)
    {
        EXPECT_EQ(PlatformInit(nullptr, nullptr), 0);
        setCompressor(999.0f, 0.1f, 0.0f, 0.0f, 1.0f);
        std::vector<float> tone = signals::sine(freqHz, 44100, 8192, 0.3);
        processInBlocks(VykBagcProcess, kInstance, tone, 1, 512);
        return meters().values[kMeterBagcGain0];
    };
    EXPECT_EQ(gainFor(100.0), 1.0f) << "0.3 cut to about 0.08 stays below 0.1";
    EXPECT_LT(gainFor(8000.0), 0.15f) << "0.3 lifted to about 0.8";
}

TEST_F(EngineTest, RatioComesFromTheInverseAndReadsBackTruncated)
{
    const std::pair<float, int> cases[] = {{0.0f, 999}, {0.1f, 999}, {0.3f, 3}, {0.4f, 2},
                                           {0.5f, 2},   {1.0f, 1},   {2.0f, 1}};
    for (const auto& [inverse, ratio] : cases)
    {
        SCOPED_TRACE(inverse);
        changeBlock(
            kInstance, &MasterBlock::bagc, [inverse = inverse](BagcBlock& b) { b.ratioRecip = inverse; },
            BagcSetAll);
        EXPECT_EQ(BagcCompressorGetRatio(kInstance), ratio);
    }
    BagcCompressorSetRatio(kInstance, 2.5f);
    EXPECT_EQ(BagcCompressorGetRatio(kInstance), 2);

    // Ratio inverse 0 limits: the level is held at the threshold, gain = threshold / level.
    changeBlock(
        kInstance, &MasterBlock::bagc, [](BagcBlock& b) { b.ratioRecip = 0.0f; }, BagcSetAll);
    setFlatShelves();
    BagcCompressorSetThreshold(kInstance, 0.1f);
    BagcCompressorSetAttack(kInstance, 0.0f);
    BagcCompressorSetMakeupGain(kInstance, 1.0f);
    std::vector<float> block = constantBlock(256, 1, 1.0f);
    for (int i = 0; i < 8; ++i) // let the +4 dB makeup of profile 0 ramp down to 1.0
    {
        block = constantBlock(256, 1, 1.0f);
        VykBagcProcess(kInstance, block.data(), 256, 1);
    }
    EXPECT_NEAR(block[255], 0.1f, 1e-3f);
    EXPECT_NEAR(meters().values[kMeterBagcGain0], 0.1f, 1e-6f);
}

TEST_F(EngineTest, RateChangeRecomputesShelvesAndTimesOfTheSameInstance)
{
    constexpr double kRate = 96000;
    setFlatShelves();
    BagcShelfSetGain(kInstance, 0, 0.5f); // a lone low-shelf cut
    setCompressor(1.0f, 0.1f, 0.0f, 100.0f, 1.0f);
    VykSetSampleRate(kInstance, static_cast<int>(kRate));

    std::vector<float> response = signals::impulse(4096);
    processInBlocks(VykBagcProcess, kInstance, response, 1, 512);
    for (double f : {20.0, 300.0, 1000.0, 3000.0, 40000.0})
    {
        SCOPED_TRACE(f);
        EXPECT_NEAR(std::abs(signals::dftAt(response, f, kRate)),
                    std::abs(shelfResponse(0.5, true, f, kRate)), 1e-5);
    }

    // Release at the new rate: after a step from 1.0 down to 0.2 the envelope covers 1 - e^-1 of the
    // way in 50 ms.
    setFlatShelves();
    BagcCompressorSetRatio(kInstance, 999.0f);
    std::vector<float> step(1000 + 9600, 0.2f);
    std::fill(step.begin(), step.begin() + 1000, 1.0f);
    processInBlocks(VykBagcProcess, kInstance, step, 1, 512);
    const double coefficient = std::exp(-2.0 / (100.0 * kRate / 1000.0));
    for (int k : {1, 4800, 9600})
    {
        SCOPED_TRACE(k);
        const double envelope = 0.2 + 0.8 * std::pow(coefficient, k);
        EXPECT_NEAR(step[1000 + k - 1], 0.2 * 0.1 / envelope, 1e-5);
    }
    EXPECT_EQ(BagcCompressorGetRelease(kInstance), 100.0f);
}

TEST_F(EngineTest, BypassedBassAgcLeavesAudioAndReportsUnityGain)
{
    changeBlock(
        kInstance, &MasterBlock::bagc, [](BagcBlock& b) { b.bypass = 1; }, BagcSetAll);
    EXPECT_EQ(BagcGetBypass(kInstance), 1);
    const std::vector<float> input = {0.5f, -0.25f, -0.75f, 0.125f, 0.0f, 0.0f};
    std::vector<float> output = input;
    VykBagcProcess(kInstance, output.data(), 3, 2);
    EXPECT_EQ(output, input);
    EXPECT_EQ(meters().values[kMeterBagcGain0], 1.0f);
    EXPECT_EQ(meters().values[kMeterBagcGain1], 1.0f);
    EXPECT_EQ(meters().values[kMeterBagcPeak0], 0.75f);
    EXPECT_EQ(meters().values[kMeterBagcPeak1], 0.25f);
}

struct SetAllField
{
    const char* name;
    std::function<void()> setBehindTheRecord;
    std::function<double()> get;
    double setterValue;
    bool changeTested; // otherwise the record's value is applied every time
};

TEST_F(EngineTest, BagcSetAllAppliesMakeupAndThresholdAlwaysAndTheRestOnlyWhenChanged)
{
    const MasterBlock& profile = gProfiles[0];
    const SetAllField fields[] = {
        {"attack", [] { BagcCompressorSetAttack(kInstance, 7.0f); },
         [] { return BagcCompressorGetAttack(kInstance); }, 7.0, true},
        {"release", [] { BagcCompressorSetRelease(kInstance, 70.0f); },
         [] { return BagcCompressorGetRelease(kInstance); }, 70.0, true},
        {"ratio", [] { BagcCompressorSetRatio(kInstance, 6.0f); },
         [] { return BagcCompressorGetRatio(kInstance); }, 6.0, true},
        {"pre low shelf", [] { BagcShelfSetGain(kInstance, 0, 2.0f); },
         [] { return BagcShelfGetGain(kInstance, 0); }, 2.0, true},
        {"post high shelf", [] { BagcShelfSetGain(kInstance, 3, 2.0f); },
         [] { return BagcShelfGetGain(kInstance, 3); }, 2.0, true},
        {"makeup", [] { BagcCompressorSetMakeupGain(kInstance, 3.0f); },
         [] { return BagcCompressorGetMakeupGain(kInstance); }, profile.bagc.makeupGain, false},
        {"threshold", [] { BagcCompressorSetThreshold(kInstance, 0.5f); },
         [] { return BagcCompressorGetThreshold(kInstance); }, profile.bagc.threshold, false},
        {"linked", [] { BagcSetLinked(kInstance, 1); }, [] { return BagcGetLinked(kInstance); }, 0.0, false},
        {"bypass", [] { BagcSetBypass(kInstance, 1); }, [] { return BagcGetBypass(kInstance); }, 0.0, false},
    };
    for (const SetAllField& field : fields)
    {
        SCOPED_TRACE(field.name);
        ASSERT_EQ(PlatformInit(nullptr, nullptr), 0);
        field.setBehindTheRecord();
        const double set = field.get();
        changeBlock(
            kInstance, &MasterBlock::bagc, [](BagcBlock& b) { b.reserved36 = 2.0f; }, BagcSetAll);
        if (field.changeTested)
            EXPECT_EQ(field.get(), set) << "unchanged field, setter's value kept";
        else
            EXPECT_FLOAT_EQ(static_cast<float>(field.get()), static_cast<float>(field.setterValue))
                << "applied from the record";
    }
}

TEST_F(EngineTest, BagcIgnoresInstancesAndShelvesOutsideItsTables)
{
    ASSERT_EQ(VykInit(4), 0);
    for (int instance : {-1, 4, 20})
    {
        SCOPED_TRACE(instance);
        BagcSetBypass(instance, 1);
        BagcSetLinked(instance, 1);
        BagcSetSampleRate(instance, 96000);
        BagcSetAll(instance, &VYKCommGetMasterBlock(0)->bagc);
        BagcCompressorSetAttack(instance, 1.0f);
        BagcCompressorSetRelease(instance, 1.0f);
        BagcCompressorSetMakeupGain(instance, 2.0f);
        BagcCompressorSetThreshold(instance, 0.5f);
        BagcCompressorSetRatio(instance, 4.0f);
        BagcCompressorSetBypass(instance, 1);
        BagcShelfSetGain(instance, 0, 2.0f);
        BagcShelfSetIsLowShelf(instance, 1, 1);
        BagcShelfSetBypass(instance, 2, 1);
        EXPECT_EQ(BagcGetBypass(instance), 0);
        EXPECT_EQ(BagcGetLinked(instance), 0);
        EXPECT_EQ(BagcCompressorGetAttack(instance), 0.0f);
        EXPECT_EQ(BagcCompressorGetRelease(instance), 0.0f);
        EXPECT_EQ(BagcCompressorGetMakeupGain(instance), 0.0f);
        EXPECT_EQ(BagcCompressorGetThreshold(instance), 0.0f);
        EXPECT_EQ(BagcCompressorGetRatio(instance), 0);
        EXPECT_EQ(BagcCompressorGetBypass(instance), 0);
        EXPECT_EQ(BagcShelfGetGain(instance, 0), 0.0f);
        EXPECT_EQ(BagcShelfGetIsLowShelf(instance, 0), 0);
        EXPECT_EQ(BagcShelfGetBypass(instance, 0), 0);

        std::vector<float> block = signals::noise(256, 0.5);
        const std::vector<float> original = block;
        VykBagcProcess(instance, block.data(), 128, 2);
        EXPECT_EQ(block, original);
    }
    for (int shelf : {-1, 4})
    {
        BagcShelfSetGain(0, shelf, 2.0f);
        BagcShelfSetBypass(0, shelf, 1);
        BagcShelfSetIsLowShelf(0, shelf, 0);
        EXPECT_EQ(BagcShelfGetGain(0, shelf), 0.0f);
        EXPECT_EQ(BagcShelfGetIsLowShelf(0, shelf), 0);
    }
    EXPECT_EQ(BagcShelfGetIsLowShelf(0, 0), 1);
    EXPECT_EQ(BagcShelfGetIsLowShelf(0, 1), 0);
}
