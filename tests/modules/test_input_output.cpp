// Input stage (drive ramp, Linkwitz-Riley high-pass) and output stage (delay, polarity, balance),
// driven through their module entries on an engine started with the built-in profiles.
#include "StagesTestSupport.h"

#include <cmath>
#include <complex>

namespace
{
using signals::kPi;
using stages::changeBlock;
using stages::processInBlocks;
using stages::rampGains;

constexpr int kInstance = 0; // built-in profile 0: drive 1.0, high-pass bypassed, output stage neutral

// Fourth-order Linkwitz-Riley high-pass at `cornerHz`: the square of the Butterworth biquad
// (Q = 1/sqrt 2, bilinear without prewarping), evaluated in double.
std::complex<double> linkwitzRileyHighPass(double cornerHz, double freqHz, double rate)
{
    const double w = 2.0 * kPi * cornerHz / rate;
    const double s = std::sin(w) / std::sqrt(2.0);
    const double b = 0.5 * (1.0 - s) / (1.0 + s);
    const double h = 0.5 + b;
    const double gamma = h * std::cos(w);
    const double alpha = (h + gamma) / 4.0;
    const std::complex<double> z1 = std::polar(1.0, -2.0 * kPi * freqHz / rate);
    const std::complex<double> biquad = (2.0 * alpha - 4.0 * alpha * z1 + 2.0 * alpha * z1 * z1) /
                                        (1.0 - 2.0 * gamma * z1 + 2.0 * b * z1 * z1);
    return biquad * biquad;
}

// Frequency response of the input stage at `freqHz`, from a mono impulse response long enough for a
// 20 Hz corner to have died away.
std::complex<double> inputResponse(double freqHz, double rate)
{
    constexpr int kLength = 1 << 15;
    std::vector<float> response = signals::impulse(kLength);
    processInBlocks(VykInputProcess, kInstance, response, 1, 512);
    return signals::dftAt(response, freqHz, rate);
}

void setHighPassField(float freqHz)
{
    changeBlock(
        kInstance, &MasterBlock::input,
        [freqHz](InputBlock& b)
        {
            b.highPassFreq = freqHz;
            b.highPassBypass = 0;
        },
        InputSetAll);
}

// Delay in frames of an impulse through the output stage, per channel.
std::pair<int, int> measuredOutputDelays()
{
    std::vector<float> block = signals::interleave({signals::impulse(1024), signals::impulse(1024)});
    processInBlocks(VykOutputProcess, kInstance, block, 2, 256);
    return {stages::peakIndex(block, 2, 0), stages::peakIndex(block, 2, 1)};
}

void setDelaysMs(float leftMs, float rightMs)
{
    changeBlock(
        kInstance, &MasterBlock::output,
        [=](OutputBlock& b)
        {
            b.leftDelayMs = leftMs;
            b.rightDelayMs = rightMs;
        },
        OutputSetAll);
}
} // namespace

// ---------------------------------------------------------------------------------------------------
// Input stage

TEST_F(EngineTest, DriveRampsBothChannelsTogetherAndCarriesOverBlocks)
{
    changeBlock(
        kInstance, &MasterBlock::input, [](InputBlock& b) { b.gain = 2.0f; }, InputSetAll);

    float gain = 1.0f;
    for (int blockIndex = 0; blockIndex < 3; ++blockIndex)
    {
        SCOPED_TRACE(blockIndex);
        const std::vector<float> expected = rampGains(gain, 2.0f, 512);
        std::vector<float> block = constantBlock(512, 2, 1.0f);
        VykInputProcess(kInstance, block.data(), 512, 2);
        for (int n = 0; n < 512; ++n)
        {
            ASSERT_EQ(block[2 * n], expected[n]) << n;
            ASSERT_EQ(block[2 * n + 1], expected[n]) << n;
        }
        if (blockIndex == 0)
        {
            // 1.511 and 1.512 up to the rounding that 511 float steps of 0.001 accumulate.
            EXPECT_NEAR(block[2 * 511], 1.511f, 5e-5f);
            EXPECT_NEAR(gain, 1.512f, 5e-5f) << "the next block starts where this one stopped";
        }
    }
}

TEST_F(EngineTest, BypassedInputStageLeavesSamplesAndRampAlone)
{
    InputSetInputGain(kInstance, 2.0f);
    std::vector<float> block = constantBlock(512, 2, 1.0f);
    VykInputProcess(kInstance, block.data(), 512, 2);
    float gain = 1.0f;
    rampGains(gain, 2.0f, 512);

    changeBlock(
        kInstance, &MasterBlock::input, [](InputBlock& b) { b.bypass = 1; }, InputSetAll);
    EXPECT_EQ(InputGetBypass(kInstance), 1);
    std::vector<float> bypassed = signals::noise(1024, 0.5);
    const std::vector<float> original = bypassed;
    VykInputProcess(kInstance, bypassed.data(), 512, 2);
    EXPECT_EQ(bypassed, original);

    InputSetBypass(kInstance, 0);
    InputSetInputGain(kInstance, 2.0f); // the block's gain field still says 1.0
    block = constantBlock(512, 2, 1.0f);
    VykInputProcess(kInstance, block.data(), 512, 2);
    EXPECT_EQ(block[0], gain) << "the ramp resumes from the gain reached before the bypass";
}

struct HighPassCase
{
    int rateBefore;  // rate while the corner is written
    float requested; // high-pass frequency field
    int rateAfter;   // rate when measured
    double cornerHz; // corner the section must use
};

TEST_F(EngineTest, HighPassCornerIsClampedAndFollowsTheAnalyticResponse)
{
    const HighPassCase cases[] = {
        {44100, 5.9f, 44100, 20.0},        // below the range
        {44100, 30000.0f, 44100, 20000.0}, // above the range, still below 22050 - 100
        {44100, 1000.7f, 44100, 1000.0},   // truncated
        {32000, 20000.0f, 32000, 15900.0}, // limited to rate / 2 - 100
        {44100, 1000.0f, 96000, 1000.0},   // a rate change keeps the corner
        {44100, 20000.0f, 8000, 3900.0},   // ... as far as the new rate allows
    };
    for (const HighPassCase& c : cases)
    {
        SCOPED_TRACE(testing::Message()
                     << c.requested << " Hz written at " << c.rateBefore << ", measured at " << c.rateAfter);
        ASSERT_EQ(PlatformInit(nullptr, nullptr), 0);
        VykSetSampleRate(kInstance, c.rateBefore);
        setHighPassField(c.requested);
        VykSetSampleRate(kInstance, c.rateAfter);

        // Within 0.1 dB of the analytic curve at and above the corner; 0.3 dB an octave below, where a
        // 20 Hz corner at 44.1 kHz feels the float coefficients and the float recursion.
        const double rate = c.rateAfter;
        const std::pair<double, double> points[] = {
            {c.cornerHz, 0.1}, {std::min(2.0 * c.cornerHz, 0.45 * rate), 0.1}, {c.cornerHz / 2.0, 0.3}};
        for (const auto& [f, toleranceDb] : points)
        {
            // Deep stop bands (a corner just below Nyquist) only have to stay below -80 dB.
            const double expectedDb =
                std::max(-80.0, signals::toDb(std::abs(linkwitzRileyHighPass(c.cornerHz, f, rate))));
            const double measuredDb = std::max(-80.0, signals::toDb(std::abs(inputResponse(f, rate))));
            EXPECT_NEAR(measuredDb, expectedDb, toleranceDb) << f << " Hz";
        }
        EXPECT_NEAR(signals::toDb(std::abs(inputResponse(c.cornerHz, rate))), -6.0206, 0.1)
            << "-6 dB at the corner";
    }
}

TEST_F(EngineTest, InputSetAllRewritesTheCornerOnlyWhenItsFieldChanged)
{
    const double rate = 44100;
    InputSetHighPassFreq(kInstance, 1000);
    changeBlock(
        kInstance, &MasterBlock::input, [](InputBlock& b) { b.highPassBypass = 0; }, InputSetAll);
    EXPECT_NEAR(std::abs(inputResponse(1000.0, rate)), 0.5, 1e-3)
        << "the unchanged 20 Hz field is not reapplied";

    setHighPassField(250.0f);
    EXPECT_NEAR(std::abs(inputResponse(250.0, rate)), 0.5, 1e-3);

    InputSetHighPassBypass(kInstance, 1);
    std::vector<float> block = signals::noise(512, 0.5);
    const std::vector<float> original = block;
    VykInputProcess(kInstance, block.data(), 512, 1);
    EXPECT_EQ(block, original) << "high-pass bypassed, drive 1.0";
}

// ---------------------------------------------------------------------------------------------------
// Output stage

struct DelayCase
{
    int rate;
    float ms;
    int samples;
};

TEST_F(EngineTest, OutputDelayIsWholeSamplesAtTheRateWithinTheLine)
{
    const DelayCase cases[] = {
        {44100, 1.0f, 44},
        {48000, 1.0f, 48},
        {96000, 1.0f, 96},
        {44100, 10.0f, 441},
        {48000, 10.0f, 480},
        {48000, 15.0f, 480},
        {48000, -2.0f, 0},
        {48000, 0.0f, 0},
        // Above 48 kHz 10 ms does not fit the 480-sample line: the delay stops at 480.
        {96000, 4.99f, 479},
        {96000, 10.0f, 480},
        {192000, 10.0f, 480},
    };
    for (const DelayCase& c : cases)
    {
        SCOPED_TRACE(testing::Message() << c.ms << " ms at " << c.rate);
        ASSERT_EQ(PlatformInit(nullptr, nullptr), 0);
        VykSetSampleRate(kInstance, c.rate);
        setDelaysMs(c.ms, 0.0f);            // left through the record
        OutputSetDelay(kInstance, 1, c.ms); // right through its setter
        const auto [left, right] = measuredOutputDelays();
        EXPECT_EQ(left, c.samples);
        EXPECT_EQ(right, c.samples);
    }
}

struct RateChangeCase
{
    int rateBefore;
    float ms;
    int rateAfter;
    int samples;
};

TEST_F(EngineTest, RateChangeReexpressesEachDelayAtTheNewRate)
{
    const RateChangeCase cases[] = {
        {48000, 1.0f, 44100, 44},   // 48 samples are 1 ms: 44.1 samples at 44.1 kHz
        {44100, 1.0f, 48000, 47},   // 44 samples are 0.9977 ms: 47.9 samples
        {48000, 10.0f, 96000, 480}, // 960 samples do not fit the line
        {96000, 10.0f, 48000, 480}, // ... but the full 10 ms come back at 48 kHz
        {96000, 10.0f, 44100, 441},
    };
    for (const RateChangeCase& c : cases)
    {
        SCOPED_TRACE(testing::Message() << c.ms << " ms, " << c.rateBefore << " -> " << c.rateAfter);
        ASSERT_EQ(PlatformInit(nullptr, nullptr), 0);
        VykSetSampleRate(kInstance, c.rateBefore);
        setDelaysMs(c.ms, 0.0f);
        VykSetSampleRate(kInstance, c.rateAfter);
        EXPECT_EQ(measuredOutputDelays().first, c.samples);
        EXPECT_EQ(measuredOutputDelays().second, 0) << "the other channel keeps no delay";
    }
}

TEST_F(EngineTest, PolarityInvertsBeforeEachChannelsOwnBalanceRamp)
{
    changeBlock(
        kInstance, &MasterBlock::output,
        [](OutputBlock& b)
        {
            b.leftGain = 0.5f;
            b.rightGain = 2.0f;
            b.leftPhase = 1;
        },
        OutputSetAll);

    float left = 1.0f;
    float right = 1.0f;
    const std::vector<float> leftGains = rampGains(left, 0.5f, 512);
    const std::vector<float> rightGains = rampGains(right, 2.0f, 512);
    std::vector<float> block = constantBlock(512, 2, 0.8f);
    VykOutputProcess(kInstance, block.data(), 512, 2);
    for (int n = 0; n < 512; ++n)
    {
        ASSERT_EQ(block[2 * n], -0.8f * leftGains[n]) << n;
        ASSERT_EQ(block[2 * n + 1], 0.8f * rightGains[n]) << n;
    }

    for (int i = 0; i < 40; ++i)
    {
        block = constantBlock(512, 2, 0.8f);
        VykOutputProcess(kInstance, block.data(), 512, 2);
    }
    EXPECT_NEAR(block[2 * 511], -0.4f, 1e-6f) << "0.8 inverted, then halved";
    EXPECT_NEAR(block[2 * 511 + 1], 1.6f, 1e-6f);
}

TEST_F(EngineTest, BypassedOutputStageLeavesSamplesAlone)
{
    changeBlock(
        kInstance, &MasterBlock::output,
        [](OutputBlock& b)
        {
            b.leftGain = 0.5f;
            b.leftDelayMs = 2.0f;
            b.rightPhase = 1;
            b.bypass = 1;
        },
        OutputSetAll);
    EXPECT_EQ(OutputGetBypass(kInstance), 1);
    std::vector<float> block = signals::noise(1024, 0.5);
    const std::vector<float> original = block;
    VykOutputProcess(kInstance, block.data(), 512, 2);
    EXPECT_EQ(block, original);
}

TEST_F(EngineTest, OutputSetAllRewritesDelaysOnlyWhenTheirFieldsChanged)
{
    VykSetSampleRate(kInstance, 48000);
    OutputSetDelay(kInstance, 0, 1.0f);
    changeBlock(
        kInstance, &MasterBlock::output, [](OutputBlock& b) { b.rightDelayMs = 2.0f; }, OutputSetAll);
    const auto [left, right] = measuredOutputDelays();
    EXPECT_EQ(left, 48) << "the unchanged 0 ms field is not reapplied";
    EXPECT_EQ(right, 96);
}

// ---------------------------------------------------------------------------------------------------
// Both stages

TEST_F(EngineTest, AResetLandsEachGainRampOnItsTarget)
{
    struct Case
    {
        const char* stage;
        void (*setTargets)();
        stages::ProcessFn process;
        void (*resetAudio)(int);
        float leftTarget;
        float rightTarget;
    };
    const Case cases[] = {
        {"input", [] { InputSetInputGain(kInstance, 2.5f); }, VykInputProcess, InputResetAudio, 2.5f, 2.5f},
        {"output",
         []
         {
             OutputSetBalanceGain(kInstance, 0, 0.25f);
             OutputSetBalanceGain(kInstance, 1, 1.5f);
         },
         VykOutputProcess, OutputResetAudio, 0.25f, 1.5f},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.stage);
        ASSERT_EQ(PlatformInit(nullptr, nullptr), 0);
        c.setTargets();
        std::vector<float> block = constantBlock(100, 2, 0.8f); // the ramps have only just begun
        c.process(kInstance, block.data(), 100, 2);
        ASSERT_NE(block[2 * 99], 0.8f * c.leftTarget);

        c.resetAudio(kInstance);
        block = constantBlock(512, 2, 0.8f);
        c.process(kInstance, block.data(), 512, 2);
        for (int n = 0; n < 512; ++n)
        {
            ASSERT_EQ(block[2 * n], 0.8f * c.leftTarget) << n;
            ASSERT_EQ(block[2 * n + 1], 0.8f * c.rightTarget) << n;
        }
    }
}

TEST_F(EngineTest, StagesIgnoreInstancesOutsideTheInitialisedRange)
{
    ASSERT_EQ(VykInit(4), 0);
    for (int instance : {-1, 4, 19, 20})
    {
        SCOPED_TRACE(instance);
        InputSetBypass(instance, 1);
        InputSetInputGain(instance, 3.0f);
        InputSetHighPassFreq(instance, 1000);
        InputSetHighPassBypass(instance, 0);
        InputSetSampleRate(instance, 96000);
        OutputSetBypass(instance, 1);
        OutputSetBalanceGain(instance, 0, 3.0f);
        OutputSetDelay(instance, 1, 5.0f);
        OutputSetPhaseEnabled(instance, 0, 1);
        OutputSetSampleRate(instance, 96000);
        EXPECT_EQ(InputGetBypass(instance), 0);
        EXPECT_EQ(OutputGetBypass(instance), 0);

        std::vector<float> block = signals::noise(256, 0.5);
        const std::vector<float> original = block;
        VykInputProcess(instance, block.data(), 128, 2);
        VykOutputProcess(instance, block.data(), 128, 2);
        EXPECT_EQ(block, original);
    }
    // Channel numbers other than 0 and 1 are ignored as well.
    OutputSetBalanceGain(3, 2, 0.0f);
    OutputSetDelay(3, -1, 5.0f);
    OutputSetPhaseEnabled(3, 2, 1);
    std::vector<float> block = signals::noise(256, 0.5);
    const std::vector<float> original = block;
    VykOutputProcess(3, block.data(), 128, 2);
    EXPECT_EQ(block, original) << "profile 3's output stage is neutral";
}

TEST_F(EngineTest, StagesIgnoreRatesThatAreNotPositive)
{
    VykSetSampleRate(kInstance, 48000);
    setHighPassField(1000.0f);
    setDelaysMs(1.0f, 1.0f);
    for (int rate : {0, -44100})
        VykSetSampleRate(kInstance, rate);
    EXPECT_NEAR(std::abs(inputResponse(1000.0, 48000)), 0.5, 1e-3);
    EXPECT_EQ(measuredOutputDelays().first, 48);

    std::vector<float> block = signals::noise(1024, 1.0);
    VykInputProcess(kInstance, block.data(), 512, 2);
    for (float x : block)
        ASSERT_TRUE(std::isfinite(x));
}
