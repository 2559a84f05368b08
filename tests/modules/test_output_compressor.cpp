// Output compressor: output gain ramp, the 64-sample timing of every type, limiter levels, type
// switching, reported latency against the measured delay, and its whole-block routine.
#include "StagesTestSupport.h"

#include <cmath>
#include <functional>

namespace
{
using stages::changeBlock;
using stages::processInBlocks;
using stages::rampGains;

// Built-in profile 0: W1 limiter (input gain 1, threshold 1, clip 1, 300 ms), output gain +6 dB.
constexpr int kInstance = 0;
constexpr int kLookAhead = 64;

float limiterMeter()
{
    return VYKCommGetMeters(kInstance)->values[kMeterOutputLimiterGain];
}

void editBlock(const std::function<void(OutputCompressorBlock&)>& edit)
{
    changeBlock(kInstance, &MasterBlock::outputCompressor, edit, OutputCompressorSetAll);
}

// Unity output gain from the start: the current gain is still 1.0 after init.
void holdOutputGainAtUnity()
{
    OutputCompressorSetOutputGain(kInstance, 1.0f);
}

void compress(std::vector<float>& buffer, int channels, int blockFrames = 512)
{
    processInBlocks(VykOutputCompressorCompress, kInstance, buffer, channels, blockFrames);
}

class OutputCompressorTest : public EngineTest
{
  protected:
    void SetUp() override
    {
        EngineTest::SetUp();
        holdOutputGainAtUnity();
    }
};
} // namespace

TEST_F(OutputCompressorTest, BypassedStageStillRampsTheOutputGainWithoutDelay)
{
    editBlock(
        [](OutputCompressorBlock& b)
        {
            b.bypass = 1;
            b.outputGain = 0.5f;
        });
    EXPECT_EQ(OutputCompressorGetBypass(kInstance), 1);
    EXPECT_EQ(OutputCompressorGetLatency(kInstance), 0);

    float gain = 1.0f;
    const std::vector<float> gains = rampGains(gain, 0.5f, 512);
    std::vector<float> block = constantBlock(512, 2, 0.75f);
    VykOutputCompressorCompress(kInstance, block.data(), 512, 2);
    for (int n = 0; n < 512; ++n)
    {
        ASSERT_EQ(block[2 * n], 0.75f * gains[n]) << n;
        ASSERT_EQ(block[2 * n + 1], 0.75f * gains[n]) << n;
    }
    EXPECT_EQ(limiterMeter(), 1.0f);
}

struct DelayedTypeCase
{
    const char* name;
    int type;
    std::function<void()> setUp;
    std::function<float(float)> transfer; // applied to the sample 64 frames earlier
};

TEST_F(OutputCompressorTest, EveryTypeButTheLimiterRunsItsStageOnTheSignal64SamplesLate)
{
    const DelayedTypeCase cases[] = {
        {"compressor at init settings (ratio 1, makeup 1)", kOutputCompressorTypeCompressor, [] {},
         [](float x) { return x; }},
        {"compressor bypassed", kOutputCompressorTypeCompressor,
         []
         {
             OutputCompressorCompressorSetRatio(kInstance, 4.0f);
             OutputCompressorCompressorSetThreshold(kInstance, 0.1f);
             OutputCompressorCompressorSetBypass(kInstance, 1);
         },
         [](float x) { return x; }},
        {"hard clipper", kOutputCompressorTypeClipper,
         []
         {
             OutputCompressorClipperSetSoftHard(kInstance, 1);
             OutputCompressorClipperSetThresh(kInstance, 2.0f);
             OutputCompressorClipperSetOutput(kInstance, 0.5f);
         },
         [](float x)
         {
             const float y = x * 2.0f;
             return (y > 1.0f ? 1.0f : (y < -1.0f ? -1.0f : y)) * 0.5f;
         }},
        {"soft clipper, 0 dB", kOutputCompressorTypeClipper,
         []
         {
             OutputCompressorClipperSetSoftHard(kInstance, 0);
             OutputCompressorClipperSetThresh_dB(kInstance, 0.0f);
             OutputCompressorClipperSetOutput_dB(kInstance, 0.0f);
         },
         [](float x) { return softclip(x); }},
        {"fixed gain", kOutputCompressorTypeGain,
         [] { OutputCompressorBypassSetOutputGain(kInstance, 0.25f); }, [](float x) { return x * 0.25f; }},
        {"type 7: delay only", 7, [] {}, [](float x) { return x; }},
        {"type -1: delay only", -1, [] {}, [](float x) { return x; }},
    };
    for (const DelayedTypeCase& c : cases)
    {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(PlatformInit(nullptr, nullptr), 0);
        holdOutputGainAtUnity();
        editBlock([&c](OutputCompressorBlock& b) { b.compressorType = c.type; });
        c.setUp();
        EXPECT_EQ(OutputCompressorGetLatency(kInstance), kLookAhead);

        const std::vector<float> input =
            signals::interleave({signals::noise(2048, 1.5, 7), signals::noise(2048, 0.3, 8)});
        std::vector<float> output = input;
        compress(output, 2, 300);
        for (int n = 0; n < 2048; ++n)
        {
            for (int ch = 0; ch < 2; ++ch)
            {
                const float expected = n < kLookAhead ? 0.0f : c.transfer(input[2 * (n - kLookAhead) + ch]);
                ASSERT_EQ(output[2 * n + ch], expected) << "frame " << n << " channel " << ch;
            }
        }
        EXPECT_EQ(limiterMeter(), 1.0f);
    }
}

TEST_F(OutputCompressorTest, LimiterLiftsQuietMaterialToClipOverThresholdAndHoldsPeaksAtClip)
{
    constexpr double kRate = 48000;
    constexpr int kFrames = 4800;
    for (double amplitude : {0.25, 1.0})
    {
        SCOPED_TRACE(amplitude);
        ASSERT_EQ(PlatformInit(nullptr, nullptr), 0);
        VykSetSampleRate(kInstance, static_cast<int>(kRate));
        holdOutputGainAtUnity();
        editBlock(
            [](OutputCompressorBlock& b)
            {
                b.limiterThreshold = 0.5f;
                b.limiterClip = 0.9f;
                b.limiterInputGain = 1.0f;
            });
        // 1 kHz: a period of 48 frames, shorter than the look-ahead, and exact peaks at frame 12 + 48 k.
        const std::vector<float> tone = signals::sine(1000.0, kRate, kFrames, amplitude);
        std::vector<float> output = tone;
        compress(output, 1);
        if (amplitude < 0.5)
        {
            for (int n = kLookAhead; n < kFrames; ++n)
                ASSERT_NEAR(output[n], 1.8 * tone[n - kLookAhead], 2e-6) << n;
            EXPECT_EQ(limiterMeter(), 1.0f);
        }
        else
        {
            EXPECT_LE(signals::peak(output), 0.9 + 1e-6);
            EXPECT_NEAR(signals::peak(output, 4 * kLookAhead), 0.9, 1e-5) << "peaks leave at the clip level";
            EXPECT_NEAR(limiterMeter(), 0.5, 1e-5) << "threshold / peak";
        }
    }
}

struct LatencyCase
{
    const char* name;
    std::function<void(OutputCompressorBlock&)> edit;
    int latency;
};

TEST_F(OutputCompressorTest, ReportedLatencyIsTheMeasuredDelayOfAnImpulse)
{
    const LatencyCase cases[] = {
        {"W1 limiter", [](OutputCompressorBlock&) {}, kLookAhead},
        {"compressor", [](OutputCompressorBlock& b) { b.compressorType = 0; }, kLookAhead},
        {"clipper", [](OutputCompressorBlock& b) { b.compressorType = 2; }, kLookAhead},
        {"fixed gain", [](OutputCompressorBlock& b) { b.compressorType = 3; }, kLookAhead},
        {"delay only", [](OutputCompressorBlock& b) { b.compressorType = 5; }, kLookAhead},
        {"bypassed", [](OutputCompressorBlock& b) { b.bypass = 1; }, 0},
        {"limiter type with the limiter bypassed", [](OutputCompressorBlock& b) { b.limiterBypass = 1; }, 0},
        {"clipper type with the limiter bypassed",
         [](OutputCompressorBlock& b)
         {
             b.compressorType = 2;
             b.limiterBypass = 1;
         },
         kLookAhead},
    };
    for (const LatencyCase& c : cases)
    {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(PlatformInit(nullptr, nullptr), 0);
        holdOutputGainAtUnity();
        editBlock(c.edit);
        std::vector<float> block =
            signals::interleave({signals::impulse(512, 0, 0.25f), signals::impulse(512, 0, 0.25f)});
        compress(block, 2, 128);
        EXPECT_EQ(OutputCompressorGetLatency(kInstance), c.latency);
        for (int ch = 0; ch < 2; ++ch)
        {
            const int at = stages::peakIndex(block, 2, ch);
            EXPECT_EQ(at, c.latency) << "channel " << ch;
            EXPECT_NEAR(block[2 * at + ch], 0.25f, 1e-6f) << "channel " << ch;
        }
    }
}

TEST_F(OutputCompressorTest, SwitchingTypesResumesEachPathFromItsOwnDelayLine)
{
    constexpr int kFrames = 256;
    auto ramp = [](float scale)
    {
        std::vector<float> left(kFrames);
        for (int n = 0; n < kFrames; ++n)
            left[n] = scale * static_cast<float>(n + 1);
        std::vector<float> right = left;
        for (float& x : right)
            x = -x;
        return signals::interleave({left, right});
    };
    const std::vector<float> first = ramp(1e-3f);
    const std::vector<float> second = ramp(5e-4f);

    OutputCompressorSetCompressorType(kInstance, 7);
    std::vector<float> block = first;
    compress(block, 2, kFrames);

    OutputCompressorSetCompressorType(kInstance, kOutputCompressorTypeLimiter);
    block = second;
    compress(block, 2, kFrames);

    OutputCompressorSetCompressorType(kInstance, kOutputCompressorTypeClipper);
    OutputCompressorClipperSetSoftHard(kInstance, 1); // hard clipping at 1.0 leaves these samples alone
    block = constantBlock(kFrames, 2, 0.0f);
    compress(block, 2, kFrames);
    for (int i = 0; i < 2 * kFrames; ++i)
    {
        const float expected = i < 2 * kLookAhead ? first[2 * (kFrames - kLookAhead) + i] : 0.0f;
        ASSERT_EQ(block[i], expected) << "the clipper continues the delay-only path, sample " << i;
    }

    OutputCompressorSetCompressorType(kInstance, kOutputCompressorTypeLimiter);
    block = constantBlock(kFrames, 2, 0.0f);
    compress(block, 2, kFrames);
    for (int i = 0; i < 2 * kLookAhead; ++i)
        ASSERT_NEAR(block[i], second[2 * (kFrames - kLookAhead) + i], 1e-7f) << "limiter path, sample " << i;
}

TEST_F(OutputCompressorTest, SetAllAppliesModeFieldsAlwaysAndLevelsOnlyWhenChanged)
{
    // Changed through setters behind the record's back; the record below still holds profile 0.
    OutputCompressorSetOutputGain(kInstance, 0.5f);
    OutputCompressorW1LimiterSetInputGainAndThresholdAndClip(kInstance, 1.0f, 1.0f, 0.25f);
    OutputCompressorSetCompressorType(kInstance, 7);
    OutputCompressorW1LimiterSetBypass(kInstance, 1);

    editBlock([](OutputCompressorBlock& b) { b.softClip = 1; }); // touches no field the test watches
    EXPECT_EQ(OutputCompressorGetLatency(kInstance), kLookAhead)
        << "type and limiter bypass come from the record";

    float gain = 1.0f;
    std::vector<float> gains = rampGains(gain, 0.5f, 512);
    std::vector<float> block = constantBlock(512, 1, 0.5f);
    VykOutputCompressorCompress(kInstance, block.data(), 512, 1);
    EXPECT_FLOAT_EQ(block[kLookAhead + 10], 0.25f * 0.5f * gains[10])
        << "limiter type from the record; the setter's clip 0.25 and output gain 0.5 remain";

    editBlock([](OutputCompressorBlock& b) { b.limiterThreshold = 0.5f; });
    for (int i = 0; i < 4; ++i)
    {
        gains = rampGains(gain, 0.5f, 512);
        block = constantBlock(512, 1, 0.1f);
        VykOutputCompressorCompress(kInstance, block.data(), 512, 1);
    }
    EXPECT_FLOAT_EQ(block[511], 2.0f * 0.1f * gains[511 - kLookAhead])
        << "all three levels from the record: input gain 1, threshold 0.5, clip 1";
}

TEST_F(OutputCompressorTest, LimiterReleaseFollowsTheSampleRate)
{
    constexpr int kRate = 96000;
    constexpr int kBurst = 4800;
    constexpr int kReleaseFrames = kRate * 300 / 1000; // profile 0: 300 ms
    VykSetSampleRate(kInstance, kRate);
    editBlock(
        [](OutputCompressorBlock& b)
        {
            b.limiterThreshold = 0.5f;
            b.limiterClip = 0.5f;
        });
    // A burst at 1.0 pulls the gain to 0.5; the quiet tail shows the release.
    std::vector<float> signal(kBurst + 2 * kLookAhead + kReleaseFrames, 0.01f);
    std::fill(signal.begin(), signal.begin() + kBurst, 1.0f);
    compress(signal, 1);
    // 64 frames after the burst the detector forgets it; from there the gain covers 90 % of its way
    // back in the release time. The box sums apply it about 32 frames later.
    const int at = kBurst + kLookAhead + kReleaseFrames + 32;
    EXPECT_NEAR(signal[at] / 0.01f, 1.0 - 0.5 * 0.1, 2e-3);
}

TEST_F(OutputCompressorTest, InstancesOutsideTheInitialisedRangeAreIgnored)
{
    ASSERT_EQ(VykInit(4), 0);
    for (int instance : {-1, 4, 20})
    {
        SCOPED_TRACE(instance);
        OutputCompressorSetBypass(instance, 1);
        OutputCompressorSetOutputGain(instance, 0.0f);
        OutputCompressorSetCompressorType(instance, 2);
        OutputCompressorBypassSetOutputGain(instance, 0.0f);
        OutputCompressorW1LimiterSetBypass(instance, 1);
        OutputCompressorW1LimiterSetInputGainAndThresholdAndClip(instance, 1.0f, 0.1f, 0.1f);
        OutputCompressorW1LimiterSetReleaseTime(instance, 10.0f);
        OutputCompressorW1LimiterUpdateCoeff(instance);
        OutputCompressorClipperSetSoftHard(instance, 1);
        OutputCompressorClipperSetThresh(instance, 4.0f);
        OutputCompressorClipperSetOutput(instance, 4.0f);
        OutputCompressorClipperSetThresh_dB(instance, -6.0f);
        OutputCompressorClipperSetOutput_dB(instance, -6.0f);
        OutputCompressorCompressorSetAttack(instance, 1.0f);
        OutputCompressorCompressorSetRelease(instance, 1.0f);
        OutputCompressorCompressorSetMakeupGain(instance, 2.0f);
        OutputCompressorCompressorSetThreshold(instance, 0.1f);
        OutputCompressorCompressorSetRatio(instance, 4.0f);
        OutputCompressorCompressorSetBypass(instance, 1);
        OutputCompressorSetSampleRate(instance, 96000);
        OutputCompressorSetAll(instance, &VYKCommGetMasterBlock(0)->outputCompressor);
        EXPECT_EQ(OutputCompressorGetBypass(instance), 0);
        EXPECT_EQ(OutputCompressorGetLatency(instance), 0);

        std::vector<float> block = signals::noise(256, 0.5);
        const std::vector<float> original = block;
        VykOutputCompressorCompress(instance, block.data(), 128, 2);
        EXPECT_EQ(block, original);
    }
}
