// The built ulmar-render end to end: what it writes, what it refuses, and that a failed run leaves
// the directory exactly as it found it.
#include "Render.h"
#include "RenderError.h"
#include "RenderTestSupport.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <filesystem>

namespace
{

namespace fs = std::filesystem;
using render_test::AudioData;
using render_test::CommandResult;
using render_test::readAudio;
using render_test::readBytes;
using render_test::runRender;
using render_test::RunSettings;
using render_test::ScratchDirectory;
using render_test::writeTestFile;

constexpr const char* kErrorPrefix = "ulmar-render: error: ";

std::string describe(const std::vector<std::string>& args)
{
    std::string text = "ulmar-render";
    for (const std::string& arg : args)
    {
        text += " '" + arg + "'";
    }
    return text;
}

void expectFiniteAndAudible(const AudioData& audio)
{
    float peak = 0.0f;
    for (const float sample : audio.samples)
    {
        ASSERT_TRUE(std::isfinite(sample));
        peak = std::max(peak, std::fabs(sample));
    }
    EXPECT_GT(peak, 0.001f); // the inputs peak near -6 dBFS
}

struct ErrorCase
{
    std::vector<std::string> args;
    int exitCode;
    std::string messagePart;
};

TEST(RenderCommand, EveryErrorIsOneLineAndLeavesTheDirectoryAsItWas)
{
    ScratchDirectory directory;
    writeTestFile(directory.file("in.wav"), SF_FORMAT_WAV | SF_FORMAT_FLOAT, 2, 44100, 44100);
    writeTestFile(directory.file("three.wav"), SF_FORMAT_WAV | SF_FORMAT_PCM_16, 3, 44100, 4410);
    render_test::writeBytes(directory.file("notaudio.wav"), "RIFF? no, just text\n");
    render_test::writeBytes(directory.file("existing.wav"), "an earlier render, to be kept on failure");
    fs::create_directory(directory.file("folder.wav"));
    fs::create_symlink("in.wav", directory.file("link.wav"));
    fs::create_hard_link(directory.file("in.wav"), directory.file("hard.wav"));
    const std::vector<std::string> before = directory.listing();
    const std::string inputBytes = readBytes(directory.file("in.wav"));

    const ErrorCase cases[] = {
        {{"--frobnicate", "in.wav"}, 2, "unknown option '--frobnicate'"},
        {{"in.wav", "--block"}, 2, "--block needs a value"},
        {{"in.wav", "-o"}, 2, "--output needs a value"},
        {{"--block", "0", "in.wav"}, 2, "--block"},
        {{"--block", "4096", "in.wav", "existing.wav"}, 2, "--block"},
        {{"in.wav", "a.wav", "b.wav"}, 2, "unexpected argument"},
        {{"--demo", "in.wav"}, 2, "--demo takes no INPUT"},
        {{"in.wav", "out.xyz"}, 2, "output format"},
        {{"in.wav", "in.wav"}, 2, "same file"},
        {{"in.wav", "./in.wav"}, 2, "same file"},
        {{"in.wav", "link.wav"}, 2, "same file"},
        {{"in.wav", "hard.wav"}, 2, "same file"},
        {{"missing.wav", "out.wav"}, 1, "does not exist"},
        {{"folder.wav", "out.wav"}, 1, "is a directory"},
        {{"notaudio.wav", "out.wav"}, 1, "cannot read 'notaudio.wav'"},
        {{"three.wav", "out.wav"}, 1, "3 channels"},
        {{"three.wav", "existing.wav"}, 1, "3 channels"},
        {{"in.wav", "nowhere/out.wav"}, 1, "does not exist"},
        {{"in.wav", "notaudio.wav/out.wav"}, 1, "not a directory"},
        {{"in.wav", "folder.wav"}, 1, "is a directory"},
        {{"--demo", "-o", "nowhere/demo.wav"}, 1, "does not exist"},
    };
    for (const ErrorCase& c : cases)
    {
        SCOPED_TRACE(describe(c.args));
        RunSettings settings;
        settings.workingDirectory = directory.path();
        const CommandResult result = runRender(c.args, settings);
        EXPECT_EQ(result.exitCode, c.exitCode);
        EXPECT_EQ(result.out, "");
        EXPECT_EQ(render_test::countLines(result.err), 1) << result.err;
        EXPECT_EQ(result.err.rfind(kErrorPrefix, 0), 0u) << result.err;
        EXPECT_NE(result.err.find(c.messagePart), std::string::npos) << result.err;
        EXPECT_EQ(directory.listing(), before);
    }
    EXPECT_EQ(readBytes(directory.file("in.wav")), inputBytes);
    EXPECT_EQ(readBytes(directory.file("existing.wav")), "an earlier render, to be kept on failure");
}

TEST(RenderCommand, UnwritableDirectoryIsARuntimeError)
{
    if (geteuid() == 0)
    {
        GTEST_SKIP() << "permissions do not bind root";
    }
    ScratchDirectory directory;
    writeTestFile(directory.file("in.wav"), SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, 44100, 4410);
    fs::create_directory(directory.file("locked"));
    fs::permissions(directory.file("locked"), fs::perms::owner_read | fs::perms::owner_exec);
    const CommandResult result = runRender({directory.file("in.wav"), directory.file("locked/out.wav")});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(render_test::countLines(result.err), 1) << result.err;
    EXPECT_NE(result.err.find("cannot write in"), std::string::npos) << result.err;
    EXPECT_TRUE(fs::is_empty(directory.file("locked")));
}

// A full disk, simulated with a file size limit: the write fails half-way through the render.
TEST(RenderCommand, WriteFailureRemovesThePartialFile)
{
    ScratchDirectory directory;
    writeTestFile(directory.file("in.wav"), SF_FORMAT_WAV | SF_FORMAT_FLOAT, 2, 48000, 3 * 48000);
    const std::vector<std::string> before = directory.listing();
    RunSettings settings;
    settings.workingDirectory = directory.path();
    settings.fileSizeLimitBytes = 256 * 1024;
    const CommandResult result = runRender({"in.wav", "out.wav"}, settings);
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(render_test::countLines(result.err), 1) << result.err;
    EXPECT_NE(result.err.find("cannot write 'out.wav'"), std::string::npos) << result.err;
    EXPECT_EQ(directory.listing(), before);
}

struct RoundTripCase
{
    const char* name;
    const char* inputName;
    int inputFormat;
    int channels;
    int sampleRate;
    const char* outputName; // null: let the renderer name it
    const char* expectedOutputName;
    int expectedFormat;
};

class RenderRoundTrip : public ::testing::TestWithParam<RoundTripCase>
{
};

// Length, channels and rate survive exactly; the sample format follows the output's container.
TEST_P(RenderRoundTrip, KeepsLengthChannelsAndRate)
{
    const RoundTripCase& c = GetParam();
    ScratchDirectory directory;
    const int frames = c.sampleRate * 3 / 2 + 37; // not a whole number of blocks
    writeTestFile(directory.file(c.inputName), c.inputFormat, c.channels, c.sampleRate, frames);
    const AudioData input = readAudio(directory.file(c.inputName));

    std::vector<std::string> args = {"--quiet", c.inputName};
    if (c.outputName != nullptr)
    {
        args.push_back(c.outputName);
    }
    RunSettings settings;
    settings.workingDirectory = directory.path();
    const CommandResult result = runRender(args, settings);
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.err, "");
    EXPECT_NE(result.out.find(std::string("output  ") + c.expectedOutputName), std::string::npos)
        << result.out;
    EXPECT_NE(result.out.find("LUFS"), std::string::npos) << result.out;

    std::vector<std::string> expectedListing = {c.inputName, c.expectedOutputName};
    std::sort(expectedListing.begin(), expectedListing.end());
    EXPECT_EQ(directory.listing(), expectedListing);

    const AudioData output = readAudio(directory.file(c.expectedOutputName));
    EXPECT_EQ(output.info.frames, input.info.frames);
    EXPECT_EQ(output.info.channels, c.channels);
    EXPECT_EQ(output.info.samplerate, c.sampleRate);
    EXPECT_EQ(output.info.format, c.expectedFormat);
    expectFiniteAndAudible(output);
}

const RoundTripCase kRoundTrips[] = {
    {"WavFloatMono", "in.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 1, 44100, nullptr, "in-mastered.wav",
     SF_FORMAT_WAV | SF_FORMAT_FLOAT},
    {"WavFloatStereo", "in.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 2, 48000, nullptr, "in-mastered.wav",
     SF_FORMAT_WAV | SF_FORMAT_FLOAT},
    {"Wav16Stereo", "in.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, 44100, nullptr, "in-mastered.wav",
     SF_FORMAT_WAV | SF_FORMAT_PCM_24},
    {"Wav24Mono96k", "in.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_24, 1, 96000, nullptr, "in-mastered.wav",
     SF_FORMAT_WAV | SF_FORMAT_PCM_24},
    {"Flac16Stereo", "in.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 2, 44100, nullptr, "in-mastered.flac",
     SF_FORMAT_FLAC | SF_FORMAT_PCM_24},
    {"Flac24Mono", "in.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_24, 1, 48000, nullptr, "in-mastered.flac",
     SF_FORMAT_FLAC | SF_FORMAT_PCM_24},
    {"Aiff16Stereo22k", "in.aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_16, 2, 22050, nullptr, "in-mastered.aiff",
     SF_FORMAT_AIFF | SF_FORMAT_PCM_24},
    {"OggStereo", "in.ogg", SF_FORMAT_OGG | SF_FORMAT_VORBIS, 2, 44100, nullptr, "in-mastered.ogg",
     SF_FORMAT_OGG | SF_FORMAT_VORBIS},
    {"WavFloatToFlac", "in.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 2, 44100, "out.flac", "out.flac",
     SF_FORMAT_FLAC | SF_FORMAT_PCM_24},
    {"WavFloatToCaf", "in.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 2, 44100, "out.caf", "out.caf",
     SF_FORMAT_CAF | SF_FORMAT_PCM_24},
    {"FlacToOga", "in.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 1, 44100, "out.oga", "out.oga",
     SF_FORMAT_OGG | SF_FORMAT_VORBIS},
    {"Wav16ToUpperCaseAif", "in.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, 32000, "OUT.AIF", "OUT.AIF",
     SF_FORMAT_AIFF | SF_FORMAT_PCM_24},
    {"UnknownExtensionInput", "in.raw.snd", SF_FORMAT_AU | SF_FORMAT_FLOAT, 2, 44100, nullptr,
     "in.raw-mastered.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_24},
};

INSTANTIATE_TEST_SUITE_P(Formats, RenderRoundTrip, ::testing::ValuesIn(kRoundTrips),
                         [](const ::testing::TestParamInfo<RoundTripCase>& testCase)
                         { return testCase.param.name; });

// Overs in a float input must clip in an integer output, never wrap round to the other rail: a wrap
// shows as a jump of nearly full scale between neighbouring samples of a slow sine.
TEST(RenderCommand, OversClipInIntegerOutput)
{
    constexpr double kTwoPi = 6.283185307179586;
    ScratchDirectory directory;
    std::vector<float> hot(44100);
    for (size_t i = 0; i < hot.size(); ++i)
    {
        hot[i] = static_cast<float>(1.5 * std::sin(kTwoPi * 100.0 * static_cast<double>(i) / 44100.0));
    }
    render_test::writeSamples(directory.file("hot.wav"), SF_FORMAT_WAV | SF_FORMAT_FLOAT, 1, 44100, hot);
    for (const char* output : {"hot.flac", "hot.aiff"})
    {
        SCOPED_TRACE(output);
        const CommandResult result = runRender({directory.file("hot.wav"), directory.file(output)});
        ASSERT_EQ(result.exitCode, 0) << result.err;
        const AudioData audio = readAudio(directory.file(output));
        float largestStep = 0.0f;
        for (size_t i = 1; i < audio.samples.size(); ++i)
        {
            largestStep = std::max(largestStep, std::fabs(audio.samples[i] - audio.samples[i - 1]));
        }
        EXPECT_LT(largestStep, 0.1f);
        expectFiniteAndAudible(audio);
    }
}

// Block size changes how the engine is called, never how much audio comes out.
TEST(RenderCommand, EveryBlockSizeGivesTheWholeFile)
{
    ScratchDirectory directory;
    const int frames = 24000 + 1001;
    writeTestFile(directory.file("in.wav"), SF_FORMAT_WAV | SF_FORMAT_PCM_24, 2, 48000, frames);
    for (const char* block : {"1", "64", "1000", "2048"})
    {
        SCOPED_TRACE(block);
        const std::string output = directory.file(std::string("out-") + block + ".wav");
        const CommandResult result = runRender({"--block", block, directory.file("in.wav"), output});
        ASSERT_EQ(result.exitCode, 0) << result.err;
        EXPECT_NE(result.out.find(std::string("blocks of ") + block + " frames"), std::string::npos)
            << result.out;
        const AudioData audio = readAudio(output);
        EXPECT_EQ(audio.info.frames, frames);
        expectFiniteAndAudible(audio);
    }
}

// Rendered twice, once by default name and once by -o: the same 30 s file, byte for byte.
TEST(RenderCommand, DemoIsDeterministicAndThirtySecondsLong)
{
    ScratchDirectory directory;
    RunSettings settings;
    settings.workingDirectory = directory.path();
    const CommandResult first = runRender({}, settings);
    ASSERT_EQ(first.exitCode, 0) << first.err;
    EXPECT_NE(first.out.find("demo signal"), std::string::npos) << first.out;
    const CommandResult second = runRender({"--demo", "--quiet", "-o", "again.wav"}, settings);
    ASSERT_EQ(second.exitCode, 0) << second.err;

    const std::vector<std::string> expectedListing = {"again.wav", "ulmar-demo-mastered.wav"};
    ASSERT_EQ(directory.listing(), expectedListing);
    EXPECT_TRUE(readBytes(directory.file("again.wav")) ==
                readBytes(directory.file("ulmar-demo-mastered.wav")));
    const AudioData demo = readAudio(directory.file("ulmar-demo-mastered.wav"));
    EXPECT_EQ(demo.info.frames, 30 * 48000);
    EXPECT_EQ(demo.info.samplerate, 48000);
    EXPECT_EQ(demo.info.channels, 2);
    EXPECT_EQ(demo.info.format, SF_FORMAT_WAV | SF_FORMAT_PCM_24);
    expectFiniteAndAudible(demo);
}

TEST(RenderCommand, ProgressBarOnlyOnATerminalForLongInputs)
{
    const struct
    {
        int seconds;
        bool quiet;
        bool expectBar;
    } cases[] = {{6, false, true}, {6, true, false}, {4, false, false}};
    ScratchDirectory directory;
    for (const auto& c : cases)
    {
        SCOPED_TRACE(std::to_string(c.seconds) + (c.quiet ? " s, quiet" : " s"));
        const std::string input = directory.file("in" + std::to_string(c.seconds) + ".wav");
        writeTestFile(input, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, 8000, c.seconds * 8000);
        std::vector<std::string> args = {input, directory.file("out.wav")};
        if (c.quiet)
        {
            args.push_back("--quiet");
        }
        RunSettings settings;
        settings.stderrOnTerminal = true;
        const CommandResult result = runRender(args, settings);
        ASSERT_EQ(result.exitCode, 0) << result.err;
        if (c.expectBar)
        {
            EXPECT_EQ(result.err.rfind("\r[", 0), 0u) << result.err;
            EXPECT_NE(result.err.find("100%"), std::string::npos) << result.err;
            EXPECT_EQ(render_test::countLines(result.err), 1) << result.err; // redrawn in place
            EXPECT_EQ(result.err.back(), '\n');
        }
        else
        {
            EXPECT_EQ(result.err, "");
        }
    }
}

// A stop request (Ctrl-C in the command) discards the render: no output, no temporary file.
TEST(RenderExecution, StopRequestLeavesNoFile)
{
    class StopAfterFirstChunk : public render::RenderObserver
    {
      public:
        void progressed(long long) override { mStop = true; }
        int stopSignal() override { return mStop ? SIGINT : 0; }

      private:
        bool mStop = false;
    };

    ScratchDirectory directory;
    writeTestFile(directory.file("in.wav"), SF_FORMAT_WAV | SF_FORMAT_FLOAT, 2, 44100, 44100);
    render::RenderOptions options;
    options.inputPath = directory.file("in.wav");
    const render::RenderPlan plan = render::planRender(options);
    StopAfterFirstChunk observer;
    EXPECT_THROW(render::executeRender(plan, observer), render::RenderInterrupted);
    EXPECT_EQ(directory.listing(), std::vector<std::string>{"in.wav"});
}

} // namespace
