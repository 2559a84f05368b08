// The report's numbers against signals whose levels are known in closed form, and how they print.
#include "Loudness.h"
#include "Report.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace
{

constexpr double kTwoPi = 6.283185307179586;

std::vector<float> sine(int channels, int sampleRate, double seconds, double freqHz, double amplitude,
                        double phase = 0.0)
{
    const int frames = static_cast<int>(seconds * sampleRate);
    std::vector<float> samples(static_cast<size_t>(frames) * channels);
    for (int frame = 0; frame < frames; ++frame)
    {
        const float value =
            static_cast<float>(amplitude * std::sin(kTwoPi * freqHz * frame / sampleRate + phase));
        for (int channel = 0; channel < channels; ++channel)
        {
            samples[static_cast<size_t>(frame) * channels + channel] = value;
        }
    }
    return samples;
}

render::LoudnessResult measure(const std::vector<float>& samples, int channels, int sampleRate)
{
    render::LoudnessMeter meter(channels, sampleRate);
    meter.add(samples.data(), static_cast<int>(samples.size() / channels));
    return meter.result();
}

// K-weighting is about +0.69 dB at 1 kHz, which the -0.691 dB offset of BS.1770 cancels: a sine of
// A dBFS on both speakers reads A LUFS. Mono counts as both speakers.
TEST(Loudness, SineReadsItsOwnLevelOnBothSpeakers)
{
    for (const int channels : {1, 2})
    {
        for (const int sampleRate : {44100, 48000, 96000})
        {
            SCOPED_TRACE(std::to_string(channels) + " channels at " + std::to_string(sampleRate));
            const double amplitude = std::pow(10.0, -20.0 / 20.0);
            const render::LoudnessResult result =
                measure(sine(channels, sampleRate, 3.0, 997.0, amplitude), channels, sampleRate);
            EXPECT_NEAR(result.integratedLufs, -20.0, 0.05);
            EXPECT_NEAR(result.samplePeakDbfs, -20.0, 0.01);
            EXPECT_NEAR(result.truePeakDbtp, -20.0, 0.1);
        }
    }
}

// A quarter-rate sine sampled 45 degrees off its crests: every sample sits 3 dB below the true peak.
TEST(Loudness, TruePeakFindsThePeakBetweenSamples)
{
    const int sampleRate = 48000;
    const render::LoudnessResult result =
        measure(sine(2, sampleRate, 1.0, sampleRate / 4.0, 0.5, kTwoPi / 8.0), 2, sampleRate);
    EXPECT_NEAR(result.samplePeakDbfs, -6.02 - 3.01, 0.01);
    EXPECT_NEAR(result.truePeakDbtp, -6.02, 0.3);
}

TEST(Report, SilenceIsMinusInfinityAndPrintsSo)
{
    const render::LoudnessResult result = measure(std::vector<float>(2 * 48000, 0.0f), 2, 48000);
    EXPECT_TRUE(std::isinf(result.samplePeakDbfs) && result.samplePeakDbfs < 0.0);
    EXPECT_TRUE(std::isinf(result.truePeakDbtp) && result.truePeakDbtp < 0.0);
    EXPECT_TRUE(std::isinf(result.integratedLufs) && result.integratedLufs < 0.0);
    EXPECT_EQ(render::formatLevel(result.integratedLufs, 6), "  -inf");
    EXPECT_EQ(render::formatLevel(-0.004, 6), " -0.00");
    EXPECT_EQ(render::formatLevel(-14.256, 0), "-14.26");
}

TEST(Report, ShowsEngineVersionTimingAndBothRows)
{
    EXPECT_EQ(render::formatEngineVersion(0x05000302), "5.0.3.2");
    EXPECT_EQ(render::formatEngineVersion(0x0a0b0c0d), "10.11.12.13");

    render::RenderReport report;
    report.inputName = "in.wav";
    report.inputFormat = "WAV, 16-bit PCM";
    report.outputPath = "out.flac";
    report.outputFormat = "FLAC, 24-bit";
    report.sampleRate = 44100;
    report.channels = 1;
    report.blockFrames = 64;
    report.frames = 44100 * 75;
    report.engineSeconds = 0.5;
    report.input = {-1.0, -0.5, -14.0};
    const double minusInfinity = -INFINITY;
    report.output = {minusInfinity, minusInfinity, minusInfinity};
    const std::string text = render::formatReport(report, 0x05000302);
    EXPECT_NE(text.find("VYK engine 5.0.3.2"), std::string::npos);
    EXPECT_NE(text.find("75.000 s (1:15.000)"), std::string::npos) << text;
    EXPECT_NE(text.find("150.0x real time"), std::string::npos) << text;
    EXPECT_NE(text.find("input       -1.00 dBFS    -0.50 dBTP   -14.00 LUFS"), std::string::npos) << text;
    EXPECT_NE(text.find("output       -inf dBFS     -inf dBTP     -inf LUFS"), std::string::npos) << text;
}

} // namespace
