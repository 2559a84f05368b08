// Dynamics primitives measured at their outputs: static compressor curves, makeup ramps, detector
// linking and floors; the limiter's delay, ceilings, gain ramp and release; clipper curves and the
// look-ahead delay line.
#include "dsp/Dsp.h"
#include "support/Signals.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace
{

class DynamicsEnvironment : public ::testing::Environment
{
  public:
    void SetUp() override { CompressorGlobalInit(); }
};
const ::testing::Environment* const kDynamicsEnvironment =
    ::testing::AddGlobalTestEnvironment(new DynamicsEnvironment);

// ---------------------------------------------------------------------------------------------------
// Compressor

struct CompressorSetup
{
    Compressor compressor{};
    CompressorEnvelope envelopes[2];

    CompressorSetup(float ratio, float threshold, float attackMs = 0.0f, float releaseMs = 0.0f,
                    float makeup = 1.0f, float sampleRate = 48000.0f)
    {
        CompressorInit(&compressor, envelopes);
        CompressorSetAttack(&compressor, attackMs, sampleRate);
        CompressorSetRelease(&compressor, releaseMs, sampleRate);
        CompressorSetMakeupGain(&compressor, makeup);
        CompressorSetThreshold(&compressor, threshold);
        CompressorSetRatio(&compressor, ratio);
        CompressorSetBypass(&compressor, 0);
    }
};

TEST(RatioTables, HoldTheGainThatPutsTheLevelOnTheCurve)
{
    for (int r = 0; r < kNumRatioTables; ++r)
    {
        SCOPED_TRACE(gRatios[r]);
        const float* table = gRatioTables[r];
        EXPECT_EQ(table[0], 0.0f);
        EXPECT_EQ(table[64], 1.0f) << "gain 1 at the threshold";
        // Output level m * T[m] = m ^ (1 / r): one doubling of the input adds 1 / r doubling at the output.
        const double exponent = 1.0 / gRatios[r] - 1.0;
        for (int j : {65, 128, 640, 2047})
        {
            EXPECT_NEAR(table[j], std::pow(j / 64.0, exponent), 2e-7 * 1.0) << j;
        }
        for (int j = 2; j < kRatioTableSize; ++j)
        {
            ASSERT_LT(table[j], table[j - 1]) << j;
        }
    }
    EXPECT_EQ(gRatios[0], 1.5f);
    EXPECT_EQ(gRatios[1], 2.0f);
    EXPECT_EQ(gRatios[2], 3.0f);
    EXPECT_EQ(gRatios[3], 6.0f);
}

class CompressorStaticCurve : public ::testing::TestWithParam<float>
{
};

// With instant attack and release the detector follows a steady level exactly, so a DC input shows
// the static curve: unity below the threshold, thresholdDb + (inputDb - thresholdDb) / ratio above.
TEST_P(CompressorStaticCurve, OutputLevelFollowsTheRatioLine)
{
    const float ratio = GetParam();
    const double thresholdDb = -20.0;
    CompressorSetup setup(ratio, static_cast<float>(signals::fromDb(thresholdDb)));
    for (double inputDb = -40.0; inputDb <= 10.0; inputDb += 0.5)
    {
        SCOPED_TRACE(inputDb);
        const float level = static_cast<float>(signals::fromDb(inputDb));
        std::vector<float> block(32, level);
        const float smallest = vykcompress(1, block.data(), &setup.compressor, &setup.envelopes[0], 1, 32);
        const double gain = block[31] / static_cast<double>(level);
        EXPECT_NEAR(smallest, gain, 1e-6 * gain) << "returns the gain it applied";
        if (inputDb <= thresholdDb)
        {
            EXPECT_EQ(gain, 1.0);
            continue;
        }
        const double expectedDb =
            ratio > 6.0f ? thresholdDb : thresholdDb + (inputDb - thresholdDb) / setup.compressor.ratio;
        // Tables hold 64 entries per unit of level / threshold; the interpolation starts from the nearest
        // entry, which costs at most one entry step: 0.12 dB at the steepest curve, just above threshold.
        EXPECT_NEAR(signals::toDb(block[31]), expectedDb, ratio > 6.0f ? 1e-5 : 0.12);
    }
}

INSTANTIATE_TEST_SUITE_P(Ratios, CompressorStaticCurve, ::testing::Values(1.5f, 2.0f, 3.0f, 6.0f, 999.0f));

TEST(Compressor, TableLookupRoundsToTheNearestEntryThenInterpolatesUpwards)
{
    // Threshold 1: the DC level is m itself; levels chosen so that m * 64 is exact in float.
    struct Case
    {
        float m64;
        int entry;
        float fraction;
    };
    const Case cases[] = {
        {100.25f, 100, 0.25f}, {100.5f, 101, 0.5f}, // halves round away from zero
        {100.75f, 101, 0.25f},                      // rounded up: still interpolates towards 102
        {64.0f, 64, 0.0f},     {2046.25f, 2046, 0.25f}, {3000.0f, 2046, 1.0f}, // beyond the table: last entry
    };
    CompressorSetup setup(2.0f, 1.0f);
    const float* table = gRatioTables[1];
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.m64);
        float sample = c.m64 / 64.0f;
        setup.envelopes[0].level = 0.0f;
        const float gain = vykcompress(1, &sample, &setup.compressor, &setup.envelopes[0], 1, 1);
        const float expected =
            c.m64 == 64.0f ? 1.0f : table[c.entry] + (table[c.entry + 1] - table[c.entry]) * c.fraction;
        EXPECT_EQ(gain, expected);
    }

    // Exactly at the threshold the gain is 1; the next float above starts on the curve.
    float atThreshold = 1.0f;
    EXPECT_EQ(vykcompress(1, &atThreshold, &setup.compressor, &setup.envelopes[0], 1, 1), 1.0f);
    float above = std::nextafter(1.0f, 2.0f);
    const float gainAbove = vykcompress(1, &above, &setup.compressor, &setup.envelopes[0], 1, 1);
    EXPECT_LT(gainAbove, 1.0f);
    EXPECT_GT(gainAbove, 0.9999f);
}

TEST(Compressor, RatioSetterMapsToCurves)
{
    struct Case
    {
        float requested;
        float stored;
        int table; // -1: limiting, no table needed
    };
    const Case cases[] = {{0.5f, 1.0f, 0}, {1.0f, 1.0f, 0},     {1.5f, 1.5f, 0},   {1.5001f, 1.5001f, 1},
                          {2.0f, 2.0f, 1}, {2.5f, 2.5f, 2},     {3.0f, 3.0f, 2},   {4.0f, 4.0f, 3},
                          {6.0f, 6.0f, 3}, {6.01f, 999.0f, -1}, {7.0f, 999.0f, -1}};
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.requested);
        Compressor compressor{};
        CompressorSetRatio(&compressor, c.requested);
        EXPECT_EQ(compressor.ratio, c.stored);
        if (c.table >= 0)
        {
            EXPECT_EQ(compressor.ratioTable, gRatioTables[c.table]);
        }
    }

    // 2.5 compresses on the 3:1 curve.
    CompressorSetup setup(2.5f, 0.1f);
    std::vector<float> block(8, 0.8f); // 18 dB over the threshold
    vykcompress(1, block.data(), &setup.compressor, &setup.envelopes[0], 1, 8);
    EXPECT_NEAR(signals::toDb(block[7]), -20.0 + 18.0618 / 3.0, 0.12);
}

TEST(Compressor, SettersClampAndDeriveCoefficients)
{
    Compressor compressor{};
    CompressorSetAttack(&compressor, 150.0f, 48000.0f);
    EXPECT_EQ(compressor.attack, 99.0f);
    CompressorSetAttack(&compressor, -5.0f, 48000.0f);
    EXPECT_EQ(compressor.attack, 0.0f);
    EXPECT_EQ(compressor.attackCoefficient, 0.0f) << "0 ms follows rising levels at once";
    CompressorSetRelease(&compressor, 5000.0f, 48000.0f);
    EXPECT_EQ(compressor.release, 4000.0f);
    CompressorSetRelease(&compressor, 0.0f, 48000.0f);
    EXPECT_EQ(compressor.releaseCoefficient, 0.0f);

    // The rate is truncated to whole Hz; the coefficient is formed in double.
    CompressorSetAttack(&compressor, 10.0f, 44100.9f);
    EXPECT_EQ(compressor.attackCoefficient, static_cast<float>(std::exp(-2.0 / (10.0 * 44100.0 * 0.001))));
    EXPECT_EQ(calculate_compressor_time(44100.0f, 10.0f), std::exp(-2.0 / (10.0 * 44100.0 * 0.001)));

    CompressorSetMakeupGain(&compressor, 0.0f);
    EXPECT_EQ(compressor.makeup, 0.009999f);
    CompressorSetMakeupGain(&compressor, 20.0f);
    EXPECT_EQ(compressor.makeup, 14.9623566f);
    CompressorSetThreshold(&compressor, 0.0f);
    EXPECT_EQ(compressor.threshold, 0.0025117f);
    EXPECT_EQ(compressor.inverseThreshold, 1.0f / 0.0025117f);
    CompressorSetThreshold(&compressor, 2.0f);
    EXPECT_EQ(compressor.threshold, 1.0f);
    EXPECT_EQ(compressor.inverseThreshold, 1.0f);

    CompressorEnvelope envelopes[2] = {{0.7f}, {0.3f}};
    compressor.currentMakeup = 3.0f;
    compressor.link = 1;
    CompressorInit(&compressor, envelopes);
    EXPECT_EQ(compressor.link, 0);
    EXPECT_EQ(compressor.currentMakeup, 1.0f);
    EXPECT_EQ(envelopes[0].level, 0.0f);
    EXPECT_EQ(envelopes[1].level, 0.0f);
}

// The envelope covers 1 - e^-2 (86.5 %) of a level step within the attack or release time.
TEST(Compressor, AttackAndReleaseTimes)
{
    const float sampleRate = 48000.0f;
    const float threshold = 0.01f;
    CompressorSetup setup(999.0f, threshold, 10.0f, 100.0f, 1.0f, sampleRate);
    // With ratio 999 the gain is threshold / envelope, so the output reveals the envelope.
    std::vector<float> rise(480, 1.0f);
    vykcompress(1, rise.data(), &setup.compressor, &setup.envelopes[0], 1, 480);
    EXPECT_NEAR(threshold / rise[479], 1.0 - std::exp(-2.0), 1e-4);

    std::vector<float> hold(48000, 1.0f);
    vykcompress(1, hold.data(), &setup.compressor, &setup.envelopes[0], 1, 48000);
    const float held = setup.envelopes[0].level;
    EXPECT_NEAR(held, 1.0f, 1e-5f);
    // Falling to 0.5: after 100 ms the envelope has covered 86.5 % of the way down.
    std::vector<float> fall(4800, 0.5f);
    vykcompress(1, fall.data(), &setup.compressor, &setup.envelopes[0], 1, 4800);
    EXPECT_NEAR((held - setup.envelopes[0].level) / (held - 0.5f), 1.0 - std::exp(-2.0), 1e-4);
}

TEST(Compressor, MakeupRampsLinearlyPerBlockAndStopsOnTarget)
{
    CompressorSetup setup(1.0f, 1.0f);
    CompressorSetMakeupGain(&setup.compressor, 2.0f);
    std::vector<float> block(512, 1.0f);
    EXPECT_EQ(vykcompress(1, block.data(), &setup.compressor, &setup.envelopes[0], 1, 512), 1.0f);
    for (int n = 0; n < 512; ++n)
    {
        // Float accumulation of the 0.001 step drifts by a few ulps per hundred samples.
        ASSERT_NEAR(block[static_cast<size_t>(n)], 1.0f + 0.001f * n, 1e-4f) << n;
    }
    EXPECT_NEAR(setup.compressor.currentMakeup, 1.512f, 1e-4f);

    // Each block covers N / 1000 of the difference left at its start.
    for (int b = 0; b < 3; ++b)
    {
        const float before = setup.compressor.currentMakeup;
        std::fill(block.begin(), block.end(), 1.0f);
        vykcompress(1, block.data(), &setup.compressor, &setup.envelopes[0], 1, 512);
        EXPECT_EQ(block[0], before);
        EXPECT_NEAR((setup.compressor.currentMakeup - before) / (2.0f - before), 0.512f, 1e-4f);
    }

    // A block longer than 1000 frames lands exactly on the target and holds it.
    std::vector<float> longBlock(2048, 1.0f);
    vykcompress(1, longBlock.data(), &setup.compressor, &setup.envelopes[0], 1, 2048);
    EXPECT_EQ(setup.compressor.currentMakeup, 2.0f);
    EXPECT_EQ(longBlock[2047], 2.0f);

    // Downwards too, and while compressing: the applied gain is compression x makeup.
    CompressorSetRatio(&setup.compressor, 999.0f);
    CompressorSetThreshold(&setup.compressor, 0.5f);
    CompressorSetMakeupGain(&setup.compressor, 1.0f);
    std::fill(longBlock.begin(), longBlock.end(), 1.0f);
    vykcompress(1, longBlock.data(), &setup.compressor, &setup.envelopes[0], 1, 2048);
    EXPECT_EQ(longBlock[0], 2.0f * 0.5f);
    EXPECT_EQ(longBlock[2047], 0.5f);
    EXPECT_EQ(setup.compressor.currentMakeup, 1.0f);
}

TEST(Compressor, BypassAndEmptyBlocksChangeNothing)
{
    CompressorSetup setup(4.0f, 0.1f);
    CompressorSetMakeupGain(&setup.compressor, 2.0f);
    CompressorSetBypass(&setup.compressor, 1);
    std::vector<float> block(64, 0.9f);
    EXPECT_EQ(vykcompress(1, block.data(), &setup.compressor, &setup.envelopes[0], 1, 64), 1.0f);
    EXPECT_EQ(block, std::vector<float>(64, 0.9f));
    EXPECT_EQ(setup.compressor.currentMakeup, 1.0f) << "the makeup ramp holds while bypassed";
    EXPECT_EQ(setup.envelopes[0].level, 0.0f);

    CompressorSetBypass(&setup.compressor, 0);
    EXPECT_EQ(vykcompress(1, block.data(), &setup.compressor, &setup.envelopes[0], 1, 0), 1.0f);
    EXPECT_EQ(setup.compressor.currentMakeup, 1.0f);
}

TEST(Compressor, LinkedStereoSharesOneGainUnlinkedChannelsAreIndependent)
{
    // Ratio 999 holds the detected level at the threshold, which makes the gains easy to read.
    const float left = 0.5f;
    const float right = 0.05f;
    const float threshold = 0.1f;

    CompressorSetup linked(999.0f, threshold);
    linked.compressor.link = 1;
    std::vector<float> stereo =
        signals::interleave({std::vector<float>(16, left), std::vector<float>(16, right)});
    const float gain = vykcompress(2, stereo.data(), &linked.compressor, &linked.envelopes[0], 2, 16);
    EXPECT_FLOAT_EQ(gain, threshold / ((left + right) * 0.5f));
    EXPECT_FLOAT_EQ(stereo[30], left * gain);
    EXPECT_FLOAT_EQ(stereo[31], right * gain);

    // Unlinked: one call per channel with its own envelope; the quiet channel is untouched.
    CompressorSetup unlinked(999.0f, threshold);
    stereo = signals::interleave({std::vector<float>(16, left), std::vector<float>(16, right)});
    vykcompress(2, stereo.data(), &unlinked.compressor, &unlinked.envelopes[0], 2, 16);
    vykcompress(2, stereo.data() + 1, &unlinked.compressor, &unlinked.envelopes[1], 2, 16);
    EXPECT_FLOAT_EQ(stereo[30], threshold);
    EXPECT_EQ(stereo[31], right);

    // Link on but one channel per call: detection stays on the channel itself.
    CompressorSetup mono(999.0f, threshold);
    mono.compressor.link = 1;
    std::vector<float> single(16, left);
    vykcompress(1, single.data(), &mono.compressor, &mono.envelopes[0], 1, 16);
    EXPECT_FLOAT_EQ(single[15], threshold);
}

TEST(Compressor, SideChainDrivesTheGainAndFloorLimitsIt)
{
    // Quiet audio, loud key: the audio is attenuated by the key's gain, never below the floor.
    CompressorSetup setup(999.0f, 0.01f);
    std::vector<float> audio(64, 0.001f);
    const std::vector<float> key(64, 10.0f); // 60 dB over the threshold
    const float gain =
        sidechaincompress(1, audio.data(), key.data(), &setup.compressor, &setup.envelopes[0], 1, 0.01f, 64);
    EXPECT_EQ(gain, 0.01f) << "-40 dB at most";
    EXPECT_FLOAT_EQ(audio[63], 0.001f * 0.01f);

    // Above the floor the key's own gain applies.
    CompressorSetup moderate(999.0f, 0.1f);
    std::vector<float> audio2(64, 0.001f);
    const std::vector<float> key2(64, 0.4f);
    EXPECT_FLOAT_EQ(sidechaincompress(1, audio2.data(), key2.data(), &moderate.compressor,
                                      &moderate.envelopes[0], 1, 0.01f, 64),
                    0.25f);
    EXPECT_FLOAT_EQ(audio2[63], 0.001f * 0.25f);

    // A floor of 0.5 (the widener passes 1 / side gain) caps a table curve too.
    CompressorSetup table(6.0f, 0.01f);
    std::vector<float> audio3(64, 0.2f);
    const std::vector<float> key3(64, 0.3f);
    EXPECT_EQ(
        sidechaincompress(1, audio3.data(), key3.data(), &table.compressor, &table.envelopes[0], 1, 0.5f, 64),
        0.5f);

    // Stereo, link off: detection on the key's first channel of each frame, gain on the audio's.
    CompressorSetup widener(999.0f, 0.1f);
    std::vector<float> sides =
        signals::interleave({std::vector<float>(8, 0.3f), std::vector<float>(8, 0.7f)});
    const std::vector<float> keys =
        signals::interleave({std::vector<float>(8, 0.2f), std::vector<float>(8, 9.0f)});
    sidechaincompress(2, sides.data() + 1, keys.data(), &widener.compressor, &widener.envelopes[0], 2, 0.0f,
                      8);
    EXPECT_FLOAT_EQ(sides[15], 0.7f * 0.5f);
    EXPECT_EQ(sides[14], 0.3f);
}

// ---------------------------------------------------------------------------------------------------
// W1 limiter

struct LimiterSetup
{
    W1Limiter limiter{};
    W1LimiterState state;

    LimiterSetup(float inputGain, float threshold, float clip, float releaseMs = 150.0f,
                 int sampleRate = 48000)
    {
        W1LimiterInit(&state);
        W1LimiterSetInputGainAndThresholdAndClip(&limiter, inputGain, threshold, clip);
        W1LimiterSetReleaseTime(&limiter, releaseMs, sampleRate);
        W1LimiterSetBypass(&limiter, 0);
    }

    std::vector<float> run(const std::vector<float>& input, int channels, int blockSize = 256)
    {
        std::vector<float> output(input.size(), 0.0f);
        const int frames = static_cast<int>(input.size()) / channels;
        for (int start = 0; start < frames; start += blockSize)
        {
            const int n = std::min(blockSize, frames - start);
            w1limit(channels, &state, &limiter, input.data() + start * channels,
                    output.data() + start * channels, nullptr, n);
        }
        return output;
    }
};

TEST(W1Limiter, DelaysByExactly64FramesAndScalesQuietAudioByClipOverThreshold)
{
    for (int channels : {1, 2})
    {
        SCOPED_TRACE(channels);
        LimiterSetup setup(1.0f, 0.5f, 0.25f);
        std::vector<float> input(256 * static_cast<size_t>(channels), 0.0f);
        input[0] = 0.3f;
        if (channels == 2)
        {
            input[1] = -0.2f;
        }
        const std::vector<float> output = setup.run(input, channels);
        for (size_t i = 0; i < output.size(); ++i)
        {
            if (i / static_cast<size_t>(channels) != 64)
            {
                ASSERT_EQ(output[i], 0.0f) << i;
            }
        }
        // The box sums reach their full 1026 exactly when the first frame leaves the delay line.
        EXPECT_NEAR(output[64 * static_cast<size_t>(channels)], 0.3f * 0.5f, 1e-6f);
        if (channels == 2)
        {
            EXPECT_NEAR(output[129], -0.2f * 0.5f, 1e-6f);
        }
    }
}

TEST(W1Limiter, SteadySineLevels)
{
    // Threshold 0.5, clip 1, input gain 1; a 3 kHz sine at 48 kHz has a 16-frame period with exact peaks.
    const int frames = 4096;
    {
        LimiterSetup setup(1.0f, 0.5f, 1.0f);
        const std::vector<float> output = setup.run(signals::sine(3000.0, 48000.0, frames, 0.25), 1);
        EXPECT_NEAR(signals::peak(output, 256), 0.5, 1e-5)
            << "below the threshold: scaled by clip / threshold";
    }
    {
        LimiterSetup setup(1.0f, 0.5f, 1.0f);
        const std::vector<float> output = setup.run(signals::sine(3000.0, 48000.0, frames, 1.0), 1);
        EXPECT_EQ(signals::peak(output, 256), kW1OutputLimit) << "limited peaks leave at 1.0, clamped";
        const std::vector<float> delayed = signals::sine(3000.0, 48000.0, frames - 64, 1.0);
        for (int n = 256; n < frames; ++n)
        {
            const float expected =
                std::fmax(-kW1OutputLimit, std::fmin(kW1OutputLimit, delayed[size_t(n - 64)]));
            ASSERT_NEAR(output[size_t(n)], expected, 1e-5f) << n;
        }
    }
}

TEST(W1Limiter, PeaksNeverExceedClipOverInputGain)
{
    struct Case
    {
        float inputGain;
        float threshold;
        float clip;
        float releaseMs;
    };
    const Case cases[] = {{1.0f, 0.5f, 0.9f, 150.0f},
                          {1.0f, 0.25f, 0.5f, 1.0f},
                          {2.0f, 0.8f, 0.7f, 50.0f},
                          {3.162278f, 0.1f, 0.2f, 4000.0f},
                          {1.0f, 1.0f, 0.398107f, 10.0f}};
    // Full-scale noise with bursts up to +10 dB: far above every threshold.
    std::vector<float> input = signals::noise(2 * 48000, 1.0, 77);
    for (size_t i = 0; i < input.size(); ++i)
    {
        if ((i / 3000) % 4 == 1)
        {
            input[i] *= 3.0f;
        }
    }
    for (const Case& c : cases)
    {
        SCOPED_TRACE(::testing::Message() << "input " << c.inputGain << ", threshold " << c.threshold
                                          << ", clip " << c.clip << ", release " << c.releaseMs);
        LimiterSetup setup(c.inputGain, c.threshold, c.clip, c.releaseMs);
        const std::vector<float> output = setup.run(input, 2, 300);
        const double ceiling = std::min(static_cast<double>(c.clip) / c.inputGain, double(kW1OutputLimit));
        EXPECT_LE(signals::peak(output), ceiling * (1.0 + 2e-5));
        EXPECT_GT(signals::peak(output), ceiling * 0.99) << "and the ceiling is reached";
    }
}

// A single full-scale peak in quiet audio: the applied gain ramps down smoothly over the 64 frames before
// the peak leaves the delay line, reaches the limiting gain exactly on the peak, then releases.
TEST(W1Limiter, GainRampsOverTheLookAheadAndReleasesAtTheSetTime)
{
    const int sampleRate = 48000;
    const float releaseMs = 20.0f;
    LimiterSetup setup(1.0f, 0.5f, 0.9f, releaseMs, sampleRate);
    const int peakFrame = 1000;
    std::vector<float> input(4000, 0.1f);
    input[peakFrame] = 1.0f;
    const std::vector<float> output = setup.run(input, 1, 128);

    // Gain relative to the quiet-signal gain clip / threshold, per input frame.
    std::vector<double> gain(input.size() - 64);
    for (size_t n = 0; n < gain.size(); ++n)
    {
        gain[n] = output[n + 64] / (input[n] * (0.9 / 0.5));
    }
    const int rampStart = peakFrame - 63;
    for (int n = 200; n < rampStart; ++n)
    {
        ASSERT_NEAR(gain[size_t(n)], 1.0, 1e-5) << n;
    }
    EXPECT_LT(gain[size_t(rampStart)], 1.0 - 1e-4);
    for (int n = rampStart; n < peakFrame; ++n)
    {
        ASSERT_LE(gain[size_t(n + 1)], gain[size_t(n)] + 1e-6) << n;
    }
    EXPECT_NEAR(output[size_t(peakFrame + 64)], 0.9, 1e-5) << "the peak leaves at the clip level";
    EXPECT_NEAR(gain[size_t(peakFrame)], 0.5, 1e-5);
    // Symmetric ramp of the two box sums: half way down at the middle of the look-ahead.
    EXPECT_NEAR(gain[size_t(peakFrame - 32)], 0.75, 0.01);

    // Once the peak has left the detector window (64 frames) the smoothed gain closes 90 % of the distance
    // back to 1 within the release time.
    LimiterSetup release(1.0f, 0.5f, 0.9f, releaseMs, sampleRate);
    std::vector<float> burst(64, 0.0f);
    burst[0] = 1.0f;
    std::vector<float> scratch(64);
    w1limit(1, &release.state, &release.limiter, burst.data(), scratch.data(), nullptr, 64);
    EXPECT_EQ(release.state.gain, 0.5f);
    const int releaseFrames = static_cast<int>(sampleRate * releaseMs / 1000.0f);
    std::vector<float> silence(static_cast<size_t>(releaseFrames), 0.0f);
    scratch.resize(silence.size());
    w1limit(1, &release.state, &release.limiter, silence.data(), scratch.data(), nullptr, releaseFrames);
    EXPECT_NEAR(1.0f - release.state.gain, 0.05f, 1e-4f);
}

TEST(W1Limiter, SmallestGainStereoDetectionAndSideChain)
{
    LimiterSetup setup(1.0f, 0.5f, 1.0f);
    std::vector<float> quiet(2 * 256, 0.1f);
    std::vector<float> out(quiet.size());
    // While the box sums fill after init (64 frames) the silent start leaves the delay line; those
    // partial sums are not reported as gain reduction.
    EXPECT_EQ(w1limit(2, &setup.state, &setup.limiter, quiet.data(), out.data(), nullptr, 32), 1.0f);
    EXPECT_EQ(w1limit(2, &setup.state, &setup.limiter, quiet.data(), out.data(), nullptr, 224), 1.0f);
    EXPECT_EQ(w1limit(2, &setup.state, &setup.limiter, quiet.data(), out.data(), nullptr, 256), 1.0f);

    // A loud right channel limits both channels; it leaves the delay line 64 frames later.
    std::vector<float> loud = quiet;
    loud[2 * 100 + 1] = 2.0f;
    EXPECT_NEAR(w1limit(2, &setup.state, &setup.limiter, loud.data(), out.data(), nullptr, 256), 0.25f,
                1e-6f);
    EXPECT_NEAR(out[2 * 164], 0.1f * 2.0f * 0.25f, 1e-6f) << "left follows the right channel's peak";
    EXPECT_EQ(out[2 * 164 + 1], kW1OutputLimit);

    // The side chain, not the audio, drives the detector.
    LimiterSetup keyed(1.0f, 0.5f, 1.0f);
    std::vector<float> preroll(64, 0.0f);
    w1limit(1, &keyed.state, &keyed.limiter, preroll.data(), preroll.data(), nullptr, 64);
    const std::vector<float> audio(256, 0.1f);
    std::vector<float> key(256, 0.0f);
    key[10] = 2.0f;
    std::vector<float> keyedOut(256);
    EXPECT_NEAR(w1limit(1, &keyed.state, &keyed.limiter, audio.data(), keyedOut.data(), key.data(), 256),
                0.25f, 1e-6f);
    EXPECT_NEAR(keyedOut[74], 0.1f * 2.0f * 0.25f, 1e-6f);
}

TEST(W1Limiter, OutputClampedAt099996)
{
    // Clip / threshold = 10 lifts a 0.3 input to 3, which the output clamp stops at 0.99996.
    LimiterSetup setup(0.2f, 0.1f, 1.0f);
    const std::vector<float> input =
        signals::interleave({std::vector<float>(200, 0.3f), std::vector<float>(200, -0.3f)});
    const std::vector<float> output = setup.run(input, 2);
    EXPECT_EQ(output[2 * 150], kW1OutputLimit);
    EXPECT_EQ(output[2 * 150 + 1], -kW1OutputLimit);
}

TEST(W1Limiter, SettersClampAndBypassLeavesOutputAlone)
{
    W1Limiter limiter{};
    W1LimiterSetInputGainAndThresholdAndClip(&limiter, -1.0f, 0.01f, 2.0f);
    EXPECT_EQ(limiter.inputGain, 0.0f);
    EXPECT_EQ(limiter.threshold, 0.031623f);
    EXPECT_EQ(limiter.clip, 1.0f);
    W1LimiterSetInputGainAndThresholdAndClip(&limiter, 5.0f, 0.5f, 0.01f);
    EXPECT_EQ(limiter.inputGain, 3.162278f);
    EXPECT_EQ(limiter.clip, 0.031623f);
    EXPECT_EQ(limiter.detectorScale, 3.162278f / 0.5f);
    EXPECT_EQ(limiter.outputScale, 0.031623f / (1026.0f * 0.5f));

    W1LimiterSetReleaseTime(&limiter, 0.5f, 48000);
    EXPECT_EQ(limiter.release, 1.0f);
    W1LimiterSetReleaseTime(&limiter, 5000.0f, 48000);
    EXPECT_EQ(limiter.release, 4000.0f);
    W1LimiterSetReleaseTime(&limiter, 100.0f, 48000);
    EXPECT_EQ(limiter.releaseCoefficient,
              static_cast<float>(std::pow(0.1, double(1.0f / (48000.0f * 100.0f / 1000.0f)))));
    W1LimiterUpdateCoeff(&limiter, 96000);
    EXPECT_EQ(limiter.releaseCoefficient,
              static_cast<float>(std::pow(0.1, double(1.0f / (96000.0f * 100.0f / 1000.0f)))));

    W1LimiterState state;
    W1LimiterInit(&state);
    EXPECT_EQ(state.gain, 1.0f);
    EXPECT_EQ(state.position, 0);
    EXPECT_EQ(state.peakTree[62], 1.0f);
    W1LimiterSetBypass(&limiter, 1);
    const std::vector<float> input(128, 0.5f);
    std::vector<float> output(128, 7.0f);
    EXPECT_EQ(w1limit(1, &state, &limiter, input.data(), output.data(), nullptr, 128), 1.0f);
    EXPECT_EQ(output, std::vector<float>(128, 7.0f));
    EXPECT_EQ(state.position, 0);
    W1LimiterSetBypass(&limiter, 0);
    EXPECT_EQ(w1limit(1, &state, &limiter, input.data(), output.data(), nullptr, 0), 1.0f);
    EXPECT_EQ(output, std::vector<float>(128, 7.0f));
}

TEST(W1Limiter, BlockSizesDoNotChangeTheOutput)
{
    const std::vector<float> input = signals::noise(2 * 5000, 2.0, 31);
    LimiterSetup whole(1.5f, 0.3f, 0.8f, 30.0f);
    const std::vector<float> reference = whole.run(input, 2, 5000);
    LimiterSetup pieces(1.5f, 0.3f, 0.8f, 30.0f);
    std::vector<float> output(input.size());
    const int sizes[] = {1, 7, 64, 63, 65, 500, 2048, 13};
    int start = 0;
    for (int i = 0; start < 5000; ++i)
    {
        const int n = std::min(sizes[i % 8], 5000 - start);
        w1limit(2, &pieces.state, &pieces.limiter, input.data() + 2 * start, output.data() + 2 * start,
                nullptr, n);
        start += n;
    }
    EXPECT_EQ(output, reference);

    // In place gives the same result as separate buffers.
    LimiterSetup inPlace(1.5f, 0.3f, 0.8f, 30.0f);
    std::vector<float> buffer = input;
    w1limit(2, &inPlace.state, &inPlace.limiter, buffer.data(), buffer.data(), nullptr, 5000);
    EXPECT_EQ(buffer, reference);
}

// ---------------------------------------------------------------------------------------------------
// Clipper

TEST(Clipper, SoftCurveValues)
{
    EXPECT_EQ(softclip(0.0f), 0.0f);
    EXPECT_EQ(softclip(2.0f), 1.0f);
    EXPECT_EQ(softclip(5.0f), 1.0f);
    EXPECT_EQ(softclip(-2.0f), -1.0f);
    EXPECT_EQ(softclip(-7.0f), -1.0f);
    EXPECT_NEAR(softclip(1.9999f), 1.0018f, 1e-4f) << "overshoots 1 slightly just below 2";
    EXPECT_NEAR(softclip(1.0f), 0.9557f, 1e-4f);
    EXPECT_NEAR(softclip(0.01f), 0.00912205f, 1e-6f) << "small-signal slope 0.912205";
    // Odd, rising up to x = 1.269 where it peaks at 1.0149 (+0.13 dB), then ripples back down to 1 at 2.
    float largest = 0.0f;
    for (float x = 0.0f; x < 2.0f; x += 0.001f)
    {
        ASSERT_EQ(softclip(-x), -softclip(x)) << x;
        if (x < 1.26f)
        {
            ASSERT_LT(softclip(x), softclip(x + 0.001f)) << x;
        }
        largest = std::fmax(largest, softclip(x));
    }
    EXPECT_NEAR(largest, 1.0149f, 1e-4f);
}

TEST(Clipper, HardAndSoftModesBetweenInputAndOutputGains)
{
    Clipper clipper{};
    ClipperSetSoftHard(&clipper, 1);
    ClipperSetOutput_dB(&clipper, -2.0f);
    ClipperSetThresh_dB(&clipper, -6.0f);
    EXPECT_FLOAT_EQ(clipper.inputGain, std::pow(10.0f, 6.0f / 20.0f));
    EXPECT_FLOAT_EQ(clipper.outputGain, std::pow(10.0f, -8.0f / 20.0f));

    // Small signals pass with the output gain; peaks stop at 10 ^ ((T + O) / 20).
    float samples[4] = {0.01f, -0.01f, 0.9f, -3.0f};
    clip(&clipper, 1, samples, 4, 1);
    EXPECT_NEAR(samples[0], 0.01 * signals::fromDb(-2.0), 1e-7);
    EXPECT_NEAR(samples[1], -0.01 * signals::fromDb(-2.0), 1e-7);
    EXPECT_NEAR(samples[2], signals::fromDb(-8.0), 1e-6);
    EXPECT_NEAR(samples[3], -signals::fromDb(-8.0), 1e-6);

    ClipperSetSoftHard(&clipper, 0);
    float soft[3] = {0.5f, 1.5f, -4.0f};
    clip(&clipper, 1, soft, 3, 1);
    EXPECT_EQ(soft[0], softclip(0.5f * clipper.inputGain) * clipper.outputGain);
    EXPECT_EQ(soft[1], softclip(1.5f * clipper.inputGain) * clipper.outputGain);
    EXPECT_EQ(soft[2], -clipper.outputGain);

    // Output in dB keeps the threshold; linear setters leave the dB fields alone.
    ClipperSetOutput_dB(&clipper, 0.0f);
    EXPECT_FLOAT_EQ(clipper.outputGain, std::pow(10.0f, -6.0f / 20.0f));
    ClipperSetThresh(&clipper, 3.0f);
    ClipperSetOutput(&clipper, 0.25f);
    EXPECT_EQ(clipper.inputGain, 3.0f);
    EXPECT_EQ(clipper.outputGain, 0.25f);
    EXPECT_EQ(clipper.thresholdDb, -6.0f);
    EXPECT_EQ(clipper.outputDb, 0.0f);
}

TEST(Clipper, StrideSelectsOneChannel)
{
    Clipper clipper{};
    ClipperSetSoftHard(&clipper, 1);
    ClipperSetThresh(&clipper, 1.0f);
    ClipperSetOutput(&clipper, 0.5f);
    std::vector<float> stereo =
        signals::interleave({std::vector<float>(8, 3.0f), std::vector<float>(8, 3.0f)});
    clip(&clipper, 2, stereo.data() + 1, 8, 2);
    for (int n = 0; n < 8; ++n)
    {
        EXPECT_EQ(stereo[size_t(2 * n)], 3.0f);
        EXPECT_EQ(stereo[size_t(2 * n + 1)], 0.5f);
    }
    std::vector<float> both(16, 3.0f);
    clip(&clipper, 1, both.data(), 8, 2);
    EXPECT_EQ(both, std::vector<float>(16, 0.5f));
}

// ---------------------------------------------------------------------------------------------------
// Look-ahead line

TEST(LookAhead, DelaysByItsLength)
{
    LookAheadLine line;
    LookAheadInit(&line);
    for (int n = 0; n < 300; ++n)
    {
        const float y = lookAhead(&line, 64, static_cast<float>(n + 1));
        ASSERT_EQ(y, n < 64 ? 0.0f : static_cast<float>(n + 1 - 64)) << n;
    }
    // Length 0 passes the sample through without touching the line.
    const LookAheadLine before = line;
    EXPECT_EQ(lookAhead(&line, 0, 42.0f), 42.0f);
    EXPECT_EQ(line.position, before.position);
}

TEST(LookAhead, NewLengthsTakeEffectAtTheNextWrapAndAreLimitedTo480)
{
    LookAheadLine line;
    LookAheadInit(&line);
    int n = 0;
    for (; n < 10; ++n)
    {
        lookAhead(&line, 4, static_cast<float>(n + 1));
    }
    EXPECT_EQ(line.position, 2);
    // Two more calls use the old cells, then the line wraps onto the new length.
    for (int k = 0; k < 2; ++k, ++n)
    {
        lookAhead(&line, 8, static_cast<float>(n + 1));
    }
    EXPECT_EQ(line.position, 0);
    for (int k = 0; k < 8; ++k, ++n)
    {
        lookAhead(&line, 8, static_cast<float>(n + 1));
    }
    for (int k = 0; k < 20; ++k, ++n)
    {
        ASSERT_EQ(lookAhead(&line, 8, static_cast<float>(n + 1)), static_cast<float>(n + 1 - 8)) << n;
    }

    // A 10 ms delay at 96 kHz asks for 960 samples; the line gives its 480.
    LookAheadInit(&line);
    for (int i = 0; i < 1500; ++i)
    {
        ASSERT_EQ(lookAhead(&line, 960, static_cast<float>(i + 1)),
                  i < 480 ? 0.0f : static_cast<float>(i + 1 - 480))
            << i;
    }
}

} // namespace
