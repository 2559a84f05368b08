// Stereo widener measured from outside: the band split and mid/side path against the same filter sections
// run directly, the side gain between its bounds, clamping, change handling, bypass and block shapes.
#include "support/EngineFixture.h"
#include "support/Signals.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

namespace
{
constexpr int kInstance = 0;
constexpr int kRate = 48000;
constexpr float kMaxSGain = 3.981072f;

// The widener's crossovers from the profile (500 Hz), run directly on one channel.
struct BandSplit
{
    std::vector<float> low;
    std::vector<float> upper;
};

BandSplit splitBands(const std::vector<float>& x, int crossoverHz = 500)
{
    LinkwitzRileyFilter lowPass{};
    LinkwitzRileyFilter highPass{};
    LinkwitzRileyState states[2] = {};
    LinkwitzRileyState highStates[2] = {};
    LinkwitzRileyFilterSetFreqAndIsLowPass(&lowPass, crossoverHz, kRate, 1);
    LinkwitzRileyFilterSetFreqAndIsLowPass(&highPass, crossoverHz, kRate, 0);
    BandSplit split{x, x};
    const int frames = static_cast<int>(x.size());
    linkwitzRiley(1, &states[0], &lowPass, x.data(), split.low.data(), frames);
    linkwitzRiley(1, &highStates[0], &highPass, x.data(), split.upper.data(), frames);
    return split;
}

// For L = R = x the side signal is exactly 0, so each output channel is
// loGain LP(x) + midGain ((mGain M + 0) / 2) with M = x: the same float operations, in order.
std::vector<float> expectedMonoCompatible(const BandSplit& split, float loGain, float midGain, float mGain)
{
    std::vector<float> out(split.low.size());
    for (size_t n = 0; n < out.size(); ++n)
    {
        const float upper = (split.upper[n] * mGain + 0.0f * 1.0f) * 0.5f;
        out[n] = split.low[n] * loGain + upper * midGain;
    }
    return out;
}

class StereoWidenTest : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        ASSERT_EQ(PlatformInit(nullptr, nullptr), 0);
        StereoWidenSetSampleRate(kInstance, kRate);
    }

    static MetersBlock& meters() { return *VYKCommGetMeters(kInstance); }

    /// Snapshot, edit the current record's widener block, apply it.
    template <typename Edit> static void apply(Edit edit)
    {
        VYKCommSaveState(kInstance);
        StereoWidenBlock& block = VYKCommGetMasterBlock(kInstance)->stereoWiden;
        edit(block);
        StereoWidenSetAll(kInstance, &block);
    }

    /// Unit gains, ratio 1, widener on.
    static void applyUnity()
    {
        apply(
            [](StereoWidenBlock& w)
            {
                w.bypass = 0;
                w.compRatioRecip = 1.0f;
                w.loGain = 1.0f;
                w.midGain = 1.0f;
                w.mGain = 1.0f;
                w.sGain = 1.0f;
            });
    }

    static std::vector<float> run(std::vector<float> buffer, int channels = 2, int blockFrames = 512)
    {
        const int frames = static_cast<int>(buffer.size()) / channels;
        for (int start = 0; start < frames; start += blockFrames)
            VykStereoWidenProcess(kInstance, buffer.data() + static_cast<size_t>(start) * channels,
                                  std::min(blockFrames, frames - start), channels);
        return buffer;
    }

    // Runs L = R = x and returns the left output (the right one must equal it).
    static std::vector<float> runMonoCompatible(const std::vector<float>& x)
    {
        const std::vector<float> output = run(signals::interleave({x, x}));
        const std::vector<float> left = signals::channelOf(output, 2, 0);
        EXPECT_EQ(left, signals::channelOf(output, 2, 1));
        return left;
    }

    // The gain the upper band's side signal receives, measured on a pure side input (L = s, R = -s)
    // whose key is silent: out_L = LP(s) + midGain sideGain HP(s) / 2.
    static double measuredSideGain(float midGain = 1.0f)
    {
        const std::vector<float> s = signals::sine(4000.0, kRate, 4096, 0.5);
        std::vector<float> negated(s.size());
        for (size_t n = 0; n < s.size(); ++n)
            negated[n] = -s[n];
        // Blocks of 2048: a makeup change ramps to its target within the first 1000 samples.
        const std::vector<float> left =
            signals::channelOf(run(signals::interleave({s, negated}), 2, 2048), 2, 0);
        const BandSplit split = splitBands(s);
        double sum = 0.0;
        double reference = 0.0;
        for (size_t n = 2048; n < s.size(); ++n)
        {
            sum += (double(left[n]) - split.low[n]) * split.upper[n];
            reference += 0.5 * midGain * double(split.upper[n]) * split.upper[n];
        }
        return sum / reference;
    }
};

TEST_F(StereoWidenTest, MonoCompatibleInputIsLowBandPlusHalfTheUpperBand)
{
    applyUnity();
    const std::vector<float> x = signals::noise(8192, 0.8);
    EXPECT_EQ(runMonoCompatible(x), expectedMonoCompatible(splitBands(x), 1.0f, 1.0f, 1.0f));
}

TEST_F(StereoWidenTest, BandGainsScaleTheirBands)
{
    applyUnity();
    apply(
        [](StereoWidenBlock& w)
        {
            w.loGain = 2.0f;
            w.midGain = 0.5f;
            w.mGain = 3.0f;
        });
    const std::vector<float> x = signals::noise(4096, 0.5);
    EXPECT_EQ(runMonoCompatible(x), expectedMonoCompatible(splitBands(x), 2.0f, 0.5f, 3.0f));
}

TEST_F(StereoWidenTest, QuietKeyBoostsTheSideBySGainTimesMakeup)
{
    applyUnity();
    apply(
        [](StereoWidenBlock& w)
        {
            w.sGain = 3.0f;
            w.compRatioRecip = 0.5f;
            w.compMakeupGain = 1.25f;
        });
    EXPECT_NEAR(measuredSideGain(), 3.0 * 1.25, 1e-5);
    EXPECT_EQ(meters().values[kMeterStereoWidenGain], 1.0f);
}

TEST_F(StereoWidenTest, LoudKeyCannotPushTheSideBelowMakeup)
{
    applyUnity();
    apply(
        [](StereoWidenBlock& w)
        {
            w.sGain = 2.0f;
            w.compRatioRecip = 0.0f; // limiting: the gain would fall far below 1 / sGain
            w.compThreshold = 0.01f;
            w.compReleaseMs = 500.0f;
        });
    // A loud mid tone keys the compressor; a quiet side tone rides on it.
    const int frames = 8192;
    const std::vector<float> mid = signals::sine(3000.0, kRate, frames, 4.0);
    const std::vector<float> side = signals::sine(5000.0, kRate, frames, 0.25);
    std::vector<float> left(frames);
    std::vector<float> right(frames);
    for (int n = 0; n < frames; ++n)
    {
        left[n] = mid[n] + side[n];
        right[n] = mid[n] - side[n];
    }
    const std::vector<float> output = run(signals::interleave({left, right}));
    EXPECT_EQ(meters().values[kMeterStereoWidenGain], 0.5f); // exactly the floor 1 / sGain

    // out_L - out_R = LP(L - R) + sGain g HP(s) with g at its floor: the side leaves at makeup (1.0).
    const BandSplit split = splitBands(side);
    double sum = 0.0;
    double reference = 0.0;
    for (int n = 4096; n < frames; ++n)
    {
        const double difference = double(output[2 * n]) - output[2 * n + 1] - 2.0 * split.low[n];
        sum += difference * split.upper[n];
        reference += double(split.upper[n]) * split.upper[n];
    }
    EXPECT_NEAR(sum / reference, 1.0, 1e-4);
}

TEST_F(StereoWidenTest, SGainIsClampedToItsRange)
{
    struct Case
    {
        float requested;
        double effective;
    };
    const Case cases[] = {
        {0.0f, 1.0}, {0.5f, 1.0},        {-3.0f, 1.0}, {std::numeric_limits<float>::quiet_NaN(), 1.0},
        {2.0f, 2.0}, {10.0f, kMaxSGain},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.requested);
        ASSERT_EQ(PlatformInit(nullptr, nullptr), 0);
        StereoWidenSetSampleRate(kInstance, kRate);
        applyUnity();
        apply([&c](StereoWidenBlock& w) { w.sGain = c.requested; });
        EXPECT_NEAR(measuredSideGain(), c.effective, 1e-5);

        ASSERT_EQ(PlatformInit(nullptr, nullptr), 0);
        StereoWidenSetSampleRate(kInstance, kRate);
        applyUnity();
        StereoWidenSetSGain(kInstance, c.requested);
        EXPECT_NEAR(measuredSideGain(), c.effective, 1e-5);
    }
}

TEST_F(StereoWidenTest, BandGainSettersClamp)
{
    applyUnity();
    StereoWidenSetLoGain(kInstance, 100.0f);
    StereoWidenSetMidGain(kInstance, 0.0f);
    StereoWidenSetMGain(kInstance, 0.01f);
    const std::vector<float> x = signals::noise(2048, 0.5);
    EXPECT_EQ(runMonoCompatible(x), expectedMonoCompatible(splitBands(x), 2.511887f, 0.398106f, 0.251187f));
}

// Ratio fields: an inverse of 0 gives the limiter curve, like any ratio above 6; an inverse above 1 gives
// no compression, like ratio 1. Identical meters and outputs show identical curves.
TEST_F(StereoWidenTest, InverseRatioOfZeroLimitsAndAboveOneDoesNotCompress)
{
    const auto runWithInverse = [](float inverse)
    {
        EXPECT_EQ(PlatformInit(nullptr, nullptr), 0);
        StereoWidenSetSampleRate(kInstance, kRate);
        applyUnity();
        apply(
            [inverse](StereoWidenBlock& w)
            {
                w.compRatioRecip = inverse;
                w.sGain = kMaxSGain;
            });
        const std::vector<float> mid = signals::sine(2000.0, kRate, 2048, 0.1);
        const std::vector<float> side = signals::sine(6000.0, kRate, 2048, 0.1);
        std::vector<float> output = run(signals::interleave({mid, side}));
        output.push_back(meters().values[kMeterStereoWidenGain]);
        return output;
    };
    const std::vector<float> limiting = runWithInverse(0.0f);
    EXPECT_EQ(limiting, runWithInverse(1.0f / 6.5f));
    EXPECT_NE(limiting, runWithInverse(1.0f / 6.0f));
    EXPECT_LT(limiting.back(), 1.0f);

    const std::vector<float> uncompressed = runWithInverse(1.5f);
    EXPECT_EQ(uncompressed, runWithInverse(1.0f));
    EXPECT_EQ(uncompressed.back(), 1.0f);
}

TEST_F(StereoWidenTest, WholeBlockAppliesTimedFieldsOnlyWhenChanged)
{
    applyUnity();
    StereoWidenSetLoGain(kInstance, 2.0f);
    StereoWidenXOver1LOSetFreqAndIsLowPass(kInstance, 1000, 1);
    StereoWidenXOver1HISetFreqAndIsLowPass(kInstance, 1000, 0);
    StereoWidenSetBypass(kInstance, 1);
    apply([](StereoWidenBlock& w) { w.compReleaseMs = 120.0f; }); // loGain, crossovers unchanged
    const std::vector<float> x = signals::noise(2048, 0.5);
    EXPECT_EQ(StereoWidenGetBypass(kInstance), 0); // bypass is copied every time
    EXPECT_EQ(runMonoCompatible(x), expectedMonoCompatible(splitBands(x, 1000), 2.0f, 1.0f, 1.0f));

    // A sample-rate change re-derives the crossovers from the record.
    ASSERT_EQ(PlatformInit(nullptr, nullptr), 0);
    applyUnity();
    StereoWidenXOver1LOSetFreqAndIsLowPass(kInstance, 1000, 1);
    StereoWidenSetSampleRate(kInstance, kRate);
    EXPECT_EQ(runMonoCompatible(x), expectedMonoCompatible(splitBands(x), 1.0f, 1.0f, 1.0f));
}

TEST_F(StereoWidenTest, BypassedCrossoverSectionLeavesItsBandAsItWas)
{
    applyUnity();
    const std::vector<float> first = signals::noise(512, 0.5, 1u);
    const std::vector<float> second = signals::noise(512, 0.5, 2u);
    std::vector<float> both = first;
    both.insert(both.end(), second.begin(), second.end());
    const BandSplit split = splitBands(both);

    runMonoCompatible(first);
    StereoWidenXOver1LOSetBypass(kInstance, 1);
    const std::vector<float> out = runMonoCompatible(second);
    for (int n = 0; n < 512; ++n)
        ASSERT_EQ(out[n], split.low[n] + (split.upper[512 + n] * 1.0f + 0.0f) * 0.5f * 1.0f) << n;

    // Before any block the band buffers hold silence.
    ASSERT_EQ(PlatformInit(nullptr, nullptr), 0);
    StereoWidenSetSampleRate(kInstance, kRate);
    applyUnity();
    StereoWidenXOver1HISetBypass(kInstance, 1);
    const BandSplit firstSplit = splitBands(first);
    std::vector<float> lowOnly(firstSplit.low.size());
    for (size_t n = 0; n < lowOnly.size(); ++n)
        lowOnly[n] = firstSplit.low[n] + 0.0f;
    EXPECT_EQ(runMonoCompatible(first), lowOnly);
}

TEST_F(StereoWidenTest, BypassAndOneChannelPaths)
{
    MetersBlock& meter = meters();
    std::fill(std::begin(meter.values), std::end(meter.values), -5.0f);
    const std::vector<float> mono = signals::noise(300, 0.6);

    StereoWidenSetBypass(kInstance, 1);
    EXPECT_EQ(run(mono, 1), mono);
    EXPECT_EQ(meter.values[kMeterStereoWidenGain], 1.0f);
    EXPECT_EQ(meter.values[kMeterStereoWidenPeak0], signals::peak(mono));
    EXPECT_EQ(meter.values[kMeterStereoWidenPeak1], -5.0f);

    const std::vector<float> stereo =
        signals::interleave({signals::noise(300, 0.3, 5u), signals::noise(300, 0.9, 6u)});
    EXPECT_EQ(run(stereo), stereo);
    EXPECT_EQ(meter.values[kMeterStereoWidenPeak1], signals::peak(signals::channelOf(stereo, 2, 1)));

    // Unbypassed, one channel passes untouched and no meter moves.
    StereoWidenSetBypass(kInstance, 0);
    std::fill(std::begin(meter.values), std::end(meter.values), -5.0f);
    EXPECT_EQ(run(mono, 1), mono);
    for (float value : meter.values)
        EXPECT_EQ(value, -5.0f);
}

TEST_F(StereoWidenTest, EmptyAndUnsupportedBlocks)
{
    applyUnity();
    MetersBlock& meter = meters();
    std::fill(std::begin(meter.values), std::end(meter.values), -5.0f);
    float untouched = 7.0f;
    VykStereoWidenProcess(kInstance, &untouched, 0, 2);
    EXPECT_EQ(untouched, 7.0f);
    EXPECT_EQ(meter.values[kMeterStereoWidenPeak0], 0.0f);
    EXPECT_EQ(meter.values[kMeterStereoWidenPeak1], 0.0f);
    EXPECT_EQ(meter.values[kMeterStereoWidenGain], 1.0f);

    std::fill(std::begin(meter.values), std::end(meter.values), -5.0f);
    std::vector<float> samples = signals::noise(3 * 2049, 0.5);
    const std::vector<float> original = samples;
    VykStereoWidenProcess(kInstance, samples.data(), 2049, 2);
    VykStereoWidenProcess(kInstance, samples.data(), 100, 3);
    VykStereoWidenProcess(kMaxInstances, samples.data(), 100, 2);
    VykStereoWidenProcess(-1, samples.data(), 100, 2);
    EXPECT_EQ(samples, original);
    for (float value : meter.values)
        EXPECT_EQ(value, -5.0f);

    StereoWidenSetBypass(kMaxInstances, 1);
    EXPECT_EQ(StereoWidenGetBypass(kMaxInstances), 0);
    EXPECT_EQ(StereoWidenInit(kMaxInstances + 1), -1);
}

} // namespace
