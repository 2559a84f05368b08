// The report's numbers against signals whose levels are known in closed form, and how the report
// and the progress print.
#include "Loudness.h"
#include "BackgroundSink.h"
#include "RenderError.h"
#include "RenderTestSupport.h"
#include "Report.h"

#include <gtest/gtest.h>

#include <algorithm>
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

// Sines across the audio band, at phases that put the crests between samples: the true peak reads
// the amplitude (within the interpolation filter's ripple) and never less than the sample peak. They
// fade in, since an abrupt start really does overshoot once band-limited.
TEST(TruePeak, ReadsTheAmplitudeOfSinesBetweenTheSamples)
{
    for (const int sampleRate : {44100, 48000, 96000, 192000})
    {
        for (const double freqHz : {100.0, 997.0, 5000.0, 10000.0, 16000.0})
        {
            for (const double phase : {0.1, 0.7, 1.3})
            {
                SCOPED_TRACE(std::to_string(sampleRate) + " Hz, " + std::to_string(freqHz) +
                             " Hz sine, phase " + std::to_string(phase));
                std::vector<float> samples = sine(1, sampleRate, 0.25, freqHz, 0.5, phase);
                const size_t fadeFrames = static_cast<size_t>(sampleRate / 50);
                for (size_t i = 0; i < fadeFrames; ++i)
                {
                    samples[i] *= static_cast<float>(0.5 - 0.5 * std::cos(kTwoPi * 0.5 * i / fadeFrames));
                }
                render::TruePeakMeter meter(1, sampleRate);
                meter.add(samples.data(), static_cast<int>(samples.size()));
                const double samplePeak = std::fabs(
                    *std::max_element(samples.begin(), samples.end(),
                                      [](float a, float b) { return std::fabs(a) < std::fabs(b); }));
                EXPECT_GE(meter.peak(), samplePeak);
                // A 192 kHz stream is not oversampled: its true peak is its sample peak.
                const double toleranceDb =
                    sampleRate >= 192000 ? 20.0 * std::log10(0.5 / samplePeak) + 1e-6 : 0.2;
                EXPECT_NEAR(20.0 * std::log10(meter.peak() / 0.5), 0.0, toleranceDb);
            }
        }
    }
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

// Two halves 10 LU apart: the loudness range (10th to 95th percentile of the short-term loudness)
// spans exactly the step.
TEST(Loudness, RangeSpansTheStepBetweenTwoLevels)
{
    const int sampleRate = 48000;
    std::vector<float> samples = sine(2, sampleRate, 10.0, 1000.0, std::pow(10.0, -20.0 / 20.0));
    const std::vector<float> quiet = sine(2, sampleRate, 10.0, 1000.0, std::pow(10.0, -30.0 / 20.0));
    samples.insert(samples.end(), quiet.begin(), quiet.end());
    EXPECT_NEAR(measure(samples, 2, sampleRate).loudnessRangeLu, 10.0, 0.5);
    EXPECT_NEAR(measure(quiet, 2, sampleRate).loudnessRangeLu, 0.0, 0.1);
}

// Handed to another thread in pieces of any size, the audio arrives whole and in order.
TEST(BackgroundSink, DeliversEverythingInOrder)
{
    for (const int channels : {1, 2})
    {
        SCOPED_TRACE(std::to_string(channels) + " channels");
        const std::vector<float> samples = render_test::testSignal(channels, 44100, 4 * 44100 + 123);
        const int frames = static_cast<int>(samples.size()) / channels;
        std::vector<float> received;
        render::BackgroundSink sink(
            channels, 1000,
            [&received, channels](const float* interleaved, int count)
            { received.insert(received.end(), interleaved, interleaved + count * channels); });
        int position = 0;
        for (int piece = 0; position < frames; ++piece)
        {
            const int count = std::min(frames - position, (piece * 997) % 4500); // some larger than a slot
            sink.add(samples.data() + static_cast<size_t>(position) * channels, count);
            position += count;
        }
        sink.finish();
        EXPECT_TRUE(received == samples);
    }
}

// A failed write on the sink's thread stops the render with the writer's own error.
TEST(BackgroundSink, ConsumerErrorsReachTheCaller)
{
    int calls = 0;
    render::BackgroundSink sink(2, 64,
                                [&calls](const float*, int)
                                {
                                    if (++calls == 3)
                                    {
                                        throw render::RenderError("cannot write 'x.wav': disk full");
                                    }
                                });
    const std::vector<float> block(2 * 64, 0.25f);
    try
    {
        for (int i = 0; i < 1000; ++i)
        {
            sink.add(block.data(), 64);
        }
        sink.finish();
        ADD_FAILURE() << "no error";
    }
    catch (const render::RenderError& error)
    {
        EXPECT_STREQ(error.what(), "cannot write 'x.wav': disk full");
    }
    EXPECT_EQ(calls, 3);
}

render::RenderReport exampleReport()
{
    render::RenderReport report;
    report.inputName = "in.wav";
    report.inputFormat = "WAV, 16-bit PCM";
    report.outputPath = "out \"final\".flac";
    report.outputFormat = "FLAC, 24-bit";
    report.sampleRate = 44100;
    report.channels = 1;
    report.blockFrames = 64;
    report.frames = 44100 * 75;
    report.engineVersion = 0x05000302;
    report.profile.builtIn = 14;
    report.profileName = "Loud and Proud";
    report.controls = {{kControlDrive, 1.3f, 1.5f}, {kControlStereoBypassed, 1.0f, 1.0f}};
    report.latencyFrames = 64;
    report.engineSeconds = 0.5;
    report.wallSeconds = 0.0;
    report.input = {-1.0, -0.5, -14.0, 6.25};
    const double minusInfinity = -INFINITY;
    report.output = {minusInfinity, minusInfinity, minusInfinity, 0.0};
    report.largestReductionDb = 6.5;
    report.meanReductionDb = 1.25;
    return report;
}

TEST(Report, ShowsEverySettingAndBothRows)
{
    EXPECT_EQ(render::formatEngineVersion(0x05000302), "5.0.3.2");
    EXPECT_EQ(render::formatEngineVersion(0x0a0b0c0d), "10.11.12.13");

    const std::string text = render::formatReport(exampleReport());
    for (const char* part : {
             "VYK engine 5.0.3.2",
             "75.000 s (1:15.000)",
             "profile   14 \"Loud and Proud\"\n",
             "controls  drive 1.5 dB, stereo on\n",
             "latency 64 frames trimmed, no pre-roll",
             "engine 0.500 s (150.0x real time), in all 0.000 s (too short to time)",
             "input       -1.00 dBFS    -0.50 dBTP   -14.00 LUFS    6.25 LU\n",
             "output       -inf dBFS     -inf dBTP     -inf LUFS    0.00 LU\n",
             "reduction largest 6.50 dB, mean 1.25 dB\n",
         })
    {
        EXPECT_NE(text.find(part), std::string::npos) << part << "\n" << text;
    }
}

TEST(Report, JsonHasAFixedShapeWithNullForTheUnmeasurable)
{
    const std::string json = render::formatJsonReport(exampleReport());
    EXPECT_TRUE(render_test::isValidJson(json)) << json;
    // Keys in a fixed order; values checked where the text could go wrong.
    const char* const expectedInOrder[] = {
        "\"tool\": \"ulmar-render\"",
        "\"engine_version\": \"5.0.3.2\"",
        "\"input\": {",
        "\"sample_peak_dbfs\": -1,",
        "\"loudness_range_lu\": 6.25",
        "\"output\": {",
        "\"path\": \"out \\\"final\\\".flac\"",
        "\"sample_peak_dbfs\": null",
        "\"integrated_lufs\": null",
        "\"audio\": {",
        "\"frames\": 3307500",
        "\"profile\": {",
        "\"source\": \"built-in\"",
        "\"number\": 14",
        "\"file\": null",
        "\"controls\": {",
        "\"bypass\": null",
        "\"drive_db\": 1.5",
        "\"ceiling_db\": null",
        "\"stereo\": true",
        "\"engine\": {",
        "\"latency_frames\": 64",
        "\"gain_reduction_db\": {",
        "\"largest\": 6.5",
        "\"mean\": 1.25",
        "\"speed\": {",
        "\"engine_realtime_factor\": 150",
        "\"realtime_factor\": null",
    };
    size_t position = 0;
    for (const char* part : expectedInOrder)
    {
        const size_t found = json.find(part, position);
        ASSERT_NE(found, std::string::npos) << part << " after offset " << position << "\n" << json;
        position = found;
    }
}

TEST(Report, KeyValueProgressBlocksEndWithTheirState)
{
    EXPECT_EQ(render::formatKeyValueProgress(72000, 144000, 48000, 0.5, false),
              "frames=72000\ntotal_frames=144000\nout_time_ms=1500\ntotal_time_ms=3000\n"
              "out_time=00:00:01.500\nspeed=3.0x\nprogress=continue\n");
    const std::string last = render::formatKeyValueProgress(48000 * 3725, 48000 * 3725, 48000, 0.0, true);
    EXPECT_NE(last.find("out_time=01:02:05.000\n"), std::string::npos) << last;
    EXPECT_NE(last.find("speed=N/A\n"), std::string::npos) << last;
    EXPECT_EQ(last.substr(last.size() - 13), "progress=end\n");
}

} // namespace
