// The four stages inside the whole chain: built-in profile 0 limits loud material at the output
// ceiling, and each stage audibly shapes the result.
#include "StagesTestSupport.h"

#include <algorithm>
#include <cmath>

namespace
{
using stages::changeBlock;

constexpr int kInstance = 0; // built-in profile 0

// Full-scale material with quiet gaps, so the limiter meets fresh transients after each release:
// a 55 Hz bass and noise, clipped to +-1, in 0.5 s bursts separated by 0.25 s at -40 dBFS.
std::vector<float> loudProgramme(int frames, double rate)
{
    const std::vector<float> bass = signals::sine(55.0, rate, frames, 0.9);
    const std::vector<float> left = signals::noise(frames, 0.8, 21);
    const std::vector<float> right = signals::noise(frames, 0.8, 22);
    std::vector<float> out(static_cast<size_t>(frames) * 2);
    const int period = static_cast<int>(0.75 * rate);
    for (int n = 0; n < frames; ++n)
    {
        const float level = n % period < static_cast<int>(0.5 * rate) ? 1.0f : 0.01f;
        out[2 * n] = level * std::clamp(bass[n] + left[n], -1.0f, 1.0f);
        out[2 * n + 1] = level * std::clamp(bass[n] - right[n], -1.0f, 1.0f);
    }
    return out;
}

void run(std::vector<float>& interleaved, int blockFrames)
{
    const int frames = static_cast<int>(interleaved.size()) / 2;
    for (int start = 0; start < frames; start += blockFrames)
        VykProcess(kInstance, interleaved.data() + 2 * start, nullptr, std::min(blockFrames, frames - start),
                   2);
}

struct CeilingCase
{
    int rate;
    int blockFrames;
    float drive;
    float clip; // output limiter ceiling; 1.0 is profile 0's own
};
} // namespace

TEST_F(EngineTest, Profile0NeverExceedsTheLimiterCeilingOnFullScaleInput)
{
    const CeilingCase cases[] = {
        {48000, 512, 1.0f, 1.0f},
        {44100, 64, 4.0f, 0.5f},
        {96000, 2048, 2.0f, 0.70794578f},
        {48000, 333, 1.0f, 0.25f},
    };
    for (const CeilingCase& c : cases)
    {
        SCOPED_TRACE(testing::Message() << c.rate << " Hz, blocks of " << c.blockFrames << ", drive "
                                        << c.drive << ", ceiling " << c.clip);
        ASSERT_EQ(PlatformInit(nullptr, nullptr), 0);
        VykSetSampleRate(kInstance, c.rate);
        changeBlock(
            kInstance, &MasterBlock::input, [&c](InputBlock& b) { b.gain = c.drive; }, InputSetAll);
        changeBlock(
            kInstance, &MasterBlock::outputCompressor,
            [&c](OutputCompressorBlock& b) { b.limiterClip = c.clip; }, OutputCompressorSetAll);

        const std::vector<float> input = loudProgramme(2 * c.rate, c.rate);
        std::vector<float> output = input;
        run(output, c.blockFrames);

        for (int n = 0; n < kOutputCompressorLookAhead; ++n)
            ASSERT_EQ(output[2 * n], 0.0f) << "the look-ahead starts empty";
        const double ceiling = std::min(static_cast<double>(c.clip), 0.99996);
        EXPECT_LE(signals::peak(output), ceiling * (1.0 + 1e-5))
            << "float rounding of the limiter's gain ramp";
        EXPECT_GT(signals::peak(output), 0.95 * ceiling) << "limited peaks reach the ceiling";
        EXPECT_LT(VYKCommGetMeters(kInstance)->values[kMeterOutputLimiterGain], 1.0f);
    }
}

TEST_F(EngineTest, EachStageAudiblyShapesTheProfile0Output)
{
    constexpr int kRate = 48000;
    const std::vector<float> input = [&]
    {
        std::vector<float> x = loudProgramme(kRate, kRate);
        for (float& s : x)
            s *= 0.25f; // about -12 dBFS peaks
        return x;
    }();
    auto render = [&](const std::function<void()>& variation)
    {
        EXPECT_EQ(PlatformInit(nullptr, nullptr), 0);
        VykSetSampleRate(kInstance, kRate);
        variation();
        std::vector<float> output = input;
        run(output, 512);
        return output;
    };

    const std::vector<float> mastered = render([] {});
    EXPECT_GT(signals::maxAbsDifference(mastered, input), 0.05);
    EXPECT_GT(signals::peak(mastered), signals::peak(input)) << "+6 dB of output gain into the limiter";
    EXPECT_LE(signals::peak(mastered), 0.99996);

    struct Variation
    {
        const char* name;
        std::function<void()> apply;
    };
    const Variation variations[] = {
        {"drive 2.0", [] { InputSetInputGain(kInstance, 2.0f); }},
        {"high-pass at 131 Hz",
         []
         {
             InputSetHighPassFreq(kInstance, 131);
             InputSetHighPassBypass(kInstance, 0);
         }},
        {"bass AGC bypassed", [] { BagcSetBypass(kInstance, 1); }},
        {"output compressor bypassed", [] { OutputCompressorSetBypass(kInstance, 1); }},
        {"output stage delaying the left channel", [] { OutputSetDelay(kInstance, 0, 1.0f); }},
    };
    for (const Variation& v : variations)
    {
        SCOPED_TRACE(v.name);
        const std::vector<float> varied = render(v.apply);
        EXPECT_GT(signals::maxAbsDifference(varied, mastered), 0.01);
    }
}
