// The built ulmar-render end to end: what it writes, what it refuses, and that a failed run leaves
// the directory exactly as it found it.
#include "Render.h"
#include "RenderError.h"
#include "RenderTestSupport.h"

#include "vyk.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstring>
#include <ctime>
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
    render_test::writeBytes(directory.file("bad.ktvs"), std::string(2048, '\xff'));
    fs::create_directory(directory.file("folder.wav"));
    fs::create_symlink("in.wav", directory.file("link.wav"));
    fs::create_hard_link(directory.file("in.wav"), directory.file("hard.wav"));
    const std::vector<std::string> before = directory.listing();
    const std::string inputBytes = readBytes(directory.file("in.wav"));

    const ErrorCase cases[] = {
        {{"--frobnicate", "in.wav"}, 1, "unknown option '--frobnicate'"},
        {{"in.wav", "--block"}, 1, "--block needs a value"},
        {{"in.wav", "-o"}, 1, "--output needs a value"},
        {{"--block", "0", "in.wav"}, 1, "--block"},
        {{"--block", "4096", "in.wav", "existing.wav"}, 1, "--block"},
        {{"in.wav", "a.wav", "b.wav"}, 1, "unexpected argument"},
        {{"--demo", "in.wav"}, 1, "--demo takes no INPUT"},
        {{"in.wav", "out.xyz"}, 1, "output format"},
        {{"in.wav", "in.wav"}, 1, "same file"},
        {{"in.wav", "./in.wav"}, 1, "same file"},
        {{"in.wav", "link.wav"}, 1, "same file"},
        {{"in.wav", "hard.wav"}, 1, "same file"},
        {{"in.wav", "out.wav", "--report", "out.wav"}, 1, "same file"},
        {{"in.wav", "out.wav", "--report", "in.wav"}, 1, "same file"},
        {{"--profile", "25", "in.wav"}, 1, "from 0 to 19"},
        {{"--profile", "Loudest", "in.wav"}, 1, "unknown profile 'Loudest'"},
        {{"--profile", "2", "--profile-file", "bad.ktvs", "in.wav"}, 1, "exclude each other"},
        {{"--index", "1", "in.wav"}, 1, "--index"},
        {{"--drive", "hot", "in.wav"}, 1, "--drive needs a number"},
        {{"--stereo", "wide", "in.wav"}, 1, "--stereo needs 'on' or 'off'"},
        {{"--preroll", "600", "in.wav"}, 1, "--preroll"},
        {{"--progress", "dots", "in.wav"}, 1, "--progress"},
        {{"missing.wav", "out.wav"}, 2, "does not exist"},
        {{"missing.wav", "out.wav", "--report", "r.json"}, 2, "does not exist"},
        {{"folder.wav", "out.wav"}, 2, "is a directory"},
        {{"notaudio.wav", "out.wav"}, 2, "cannot read 'notaudio.wav'"},
        {{"three.wav", "out.wav"}, 2, "3 channels"},
        {{"three.wav", "existing.wav"}, 2, "3 channels"},
        {{"in.wav", "nowhere/out.wav"}, 2, "does not exist"},
        {{"in.wav", "notaudio.wav/out.wav"}, 2, "not a directory"},
        {{"in.wav", "folder.wav"}, 2, "is a directory"},
        {{"--demo", "-o", "nowhere/demo.wav"}, 2, "does not exist"},
        {{"in.wav", "out.wav", "--report", "nowhere/r.json"}, 2, "report directory 'nowhere' does not exist"},
        {{"in.wav", "out.wav", "--report", "folder.wav"}, 2, "report 'folder.wav' is a directory"},
        {{"in.wav", "out.wav", "--profile-file", "missing.ktvs"},
         2,
         "profile file 'missing.ktvs' does not exist"},
        {{"in.wav", "out.wav", "--profile-file", "folder.wav"}, 2, "is a directory"},
        {{"in.wav", "out.wav", "--profile-file", "notaudio.wav", "--report", "r.json"}, 2, "too short"},
        {{"in.wav", "out.wav", "--profile-file", "bad.ktvs", "--index", "0"}, 2, "not a valid profile"},
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

TEST(RenderCommand, UnwritableDirectoryIsAnOutputError)
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
    EXPECT_EQ(result.exitCode, 2);
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
    EXPECT_EQ(result.exitCode, 2);
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
    EXPECT_NE(result.out.find(std::string("output    ") + c.expectedOutputName), std::string::npos)
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
        const char* progressOption; // null: the default
        bool expectBar;
    } cases[] = {{6, nullptr, true},          {6, "--quiet", false},       {6, "--progress=none", false},
                 {6, "--progress=kv", false}, {6, "--progress=bar", true}, {4, nullptr, false}};
    ScratchDirectory directory;
    for (const auto& c : cases)
    {
        SCOPED_TRACE(std::to_string(c.seconds) + " s " + (c.progressOption ? c.progressOption : ""));
        const std::string input = directory.file("in" + std::to_string(c.seconds) + ".wav");
        writeTestFile(input, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, 8000, c.seconds * 8000);
        std::vector<std::string> args = {input, directory.file("out.wav")};
        if (c.progressOption != nullptr)
        {
            args.push_back(c.progressOption);
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

// Machine-readable progress: key=value blocks on standard output, the last one marked as the end,
// then the report.
TEST(RenderCommand, KeyValueProgressEndsBeforeTheReport)
{
    ScratchDirectory directory;
    writeTestFile(directory.file("in.wav"), SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, 44100, 44100);
    const CommandResult result =
        runRender({"--progress", "kv", directory.file("in.wav"), directory.file("out.wav")});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.out.rfind("frames=0\ntotal_frames=44100\nout_time_ms=0\n", 0), 0u) << result.out;
    EXPECT_NE(result.out.find("progress=continue\n"), std::string::npos) << result.out;
    const size_t end = result.out.find("progress=end\n");
    ASSERT_NE(end, std::string::npos) << result.out;
    const size_t lastBlock = result.out.find("frames=44100\ntotal_frames=44100\nout_time_ms=1000\n");
    EXPECT_LT(lastBlock, end) << result.out;
    EXPECT_EQ(result.out.find("ulmar-render "), end + std::string("progress=end\n").size()) << result.out;
}

// Latency compensation end to end: whatever processing delay the engine reports, the chain's response
// to an impulse starts at the impulse's own frame, at every rate, mono and stereo.
TEST(RenderCommand, ImpulseComesOutAtItsOwnFrame)
{
    ScratchDirectory directory;
    for (const int sampleRate : {44100, 48000, 96000})
    {
        for (const int channels : {1, 2})
        {
            SCOPED_TRACE(std::to_string(sampleRate) + " Hz, " + std::to_string(channels) + " channels");
            const int frames = sampleRate * 3 / 2;
            const int impulseFrame = sampleRate / 2 + 37;
            std::vector<float> samples(static_cast<size_t>(frames) * channels, 0.0f);
            for (int channel = 0; channel < channels; ++channel)
            {
                samples[static_cast<size_t>(impulseFrame) * channels + channel] = 0.5f;
            }
            const std::string input = directory.file("impulse.wav");
            const std::string output = directory.file("impulse-out.wav");
            render_test::writeSamples(input, SF_FORMAT_WAV | SF_FORMAT_FLOAT, channels, sampleRate, samples);
            const CommandResult result = runRender({"--quiet", "--block", "1000", input, output});
            ASSERT_EQ(result.exitCode, 0) << result.err;
            EXPECT_NE(result.out.find(" frames trimmed"), std::string::npos) << result.out;

            const AudioData audio = readAudio(output);
            ASSERT_EQ(audio.info.frames, frames);
            for (int channel = 0; channel < channels; ++channel)
            {
                EXPECT_EQ(render_test::firstAudibleFrame(audio, channel), impulseFrame)
                    << "channel " << channel;
            }
        }
    }
}

// What selects the sound: the built-in profile by number or name (profile 0 by default), the same
// record from a profile file, and the controls on top.
TEST(RenderCommand, ProfilesAndControlsSelectTheSound)
{
    ScratchDirectory directory;
    writeTestFile(directory.file("in.wav"), SF_FORMAT_WAV | SF_FORMAT_FLOAT, 2, 44100, 2 * 44100);
    std::string profiles(2 * sizeof(MasterBlock), '\0');
    std::memcpy(profiles.data(), &gProfiles[3], sizeof(MasterBlock));
    std::memcpy(profiles.data() + sizeof(MasterBlock), &gProfiles[14], sizeof(MasterBlock));
    render_test::writeBytes(directory.file("two.ktvs"), profiles);

    const auto renderWith = [&directory](const std::string& name, std::vector<std::string> args)
    {
        args.insert(args.end(), {"--quiet", "in.wav", name + ".wav"});
        RunSettings settings;
        settings.workingDirectory = directory.path();
        const CommandResult result = runRender(args, settings);
        EXPECT_EQ(result.exitCode, 0) << name << ": " << result.err;
        EXPECT_EQ(result.err, "") << name;
        return std::make_pair(readBytes(directory.file(name + ".wav")), result.out);
    };
    const auto [defaultSound, defaultReport] = renderWith("default", {});
    EXPECT_NE(defaultReport.find("profile   0 \"Master Shine\""), std::string::npos) << defaultReport;
    EXPECT_NE(defaultReport.find("controls  as the profile sets them"), std::string::npos) << defaultReport;

    EXPECT_TRUE(renderWith("by-name", {"--profile", "master shine"}).first == defaultSound);
    const auto [loud, loudReport] = renderWith("by-number", {"--profile", "14"});
    EXPECT_NE(loudReport.find("profile   14 \"Loud and Proud\""), std::string::npos) << loudReport;
    EXPECT_FALSE(loud == defaultSound);
    const auto [fromFile, fileReport] =
        renderWith("from-file", {"--profile-file", "two.ktvs", "--index", "1"});
    EXPECT_TRUE(fromFile == loud);
    EXPECT_NE(fileReport.find("profile   record 1 of 'two.ktvs'"), std::string::npos) << fileReport;

    const auto [driven, drivenReport] =
        renderWith("driven", {"--drive", "6", "--stereo", "on", "--width", "4"});
    EXPECT_FALSE(driven == defaultSound);
    EXPECT_NE(drivenReport.find("controls  drive 6 dB, width 4 dB, stereo on\n"), std::string::npos)
        << drivenReport;
    const auto [bypassed, bypassedReport] = renderWith("bypassed", {"--bypass"});
    EXPECT_FALSE(bypassed == defaultSound);
    EXPECT_NE(bypassedReport.find("latency 0 frames trimmed"), std::string::npos) << bypassedReport;
    EXPECT_NE(bypassedReport.find("reduction largest 0.00 dB, mean 0.00 dB"), std::string::npos)
        << bypassedReport;
}

// Same input and settings, same file: every byte, whatever the settings, also when the clock has
// moved on (float files must not carry the time of writing). Ogg streams get a random serial number
// from libsndfile, so there the audio is compared.
TEST(RenderCommand, SameSettingsGiveBitIdenticalOutput)
{
    ScratchDirectory directory;
    writeTestFile(directory.file("in.wav"), SF_FORMAT_WAV | SF_FORMAT_FLOAT, 1, 48000, 48000 + 999);
    const std::vector<std::string> settings = {"--profile", "6",         "--drive", "2.5",     "--ceiling",
                                               "-1.5",      "--preroll", "0.5",     "--block", "300"};
    const char* const outputs[] = {"out.wav", "out.aiff", "out.flac", "out.ogg"};
    const auto renderAll = [&](const std::string& round)
    {
        for (const char* output : outputs)
        {
            std::vector<std::string> args = settings;
            args.insert(args.end(), {directory.file("in.wav"), directory.file(round + output)});
            ASSERT_EQ(runRender(args).exitCode, 0) << output;
        }
    };
    renderAll("first-");
    const std::time_t started = std::time(nullptr);
    while (std::time(nullptr) == started)
    {
        usleep(20000);
    }
    renderAll("second-");
    for (const char* output : outputs)
    {
        SCOPED_TRACE(output);
        const std::string first = directory.file(std::string("first-") + output);
        const std::string second = directory.file(std::string("second-") + output);
        if (std::string(output) == "out.ogg")
        {
            EXPECT_TRUE(readAudio(first).samples == readAudio(second).samples);
        }
        else
        {
            EXPECT_TRUE(readBytes(first) == readBytes(second));
        }
    }
}

TEST(RenderCommand, ChangedControlValuesAreWarnedAboutOneLineEach)
{
    ScratchDirectory directory;
    writeTestFile(directory.file("in.wav"), SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, 44100, 22050);
    const CommandResult result = runRender({"--drive", "12", "--ceiling", "-0.25", "--bass", "3", "--quiet",
                                            directory.file("in.wav"), directory.file("out.wav")});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.err,
              "ulmar-render: warning: --drive 12 dB is outside -10 to 10 dB; using 10 dB\n"
              "ulmar-render: warning: --ceiling -0.25 dB is not on the 0.1 dB grid; using -0.2 dB\n");
    EXPECT_NE(result.out.find("controls  drive 10 dB, ceiling -0.2 dB, bass 3 dB\n"), std::string::npos)
        << result.out;
}

// The JSON report holds the text report's figures, null where there is nothing to measure, and
// appears only with a complete render.
TEST(RenderCommand, JsonReportMatchesTheRender)
{
    ScratchDirectory directory;
    writeTestFile(directory.file("music.wav"), SF_FORMAT_WAV | SF_FORMAT_PCM_24, 2, 48000, 3 * 48000);
    render_test::writeSamples(directory.file("silence.wav"), SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, 44100,
                              std::vector<float>(44100, 0.0f));
    const struct
    {
        const char* input;
        std::vector<const char*> expectedParts;
    } cases[] = {
        {"music.wav",
         {"\"name\": \"", "music.wav\"", "\"channels\": 2", "\"frames\": 144000",
          "\"name\": \"Master Shine\"", "\"drive_db\": -1.5", "\"stereo\": null", "\"realtime_factor\": "}},
        {"silence.wav",
         {"\"sample_peak_dbfs\": null", "\"integrated_lufs\": null", "\"channels\": 1", "\"frames\": 44100"}},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.input);
        const std::string report = directory.file(std::string(c.input) + ".json");
        const CommandResult result = runRender({"--quiet", "--drive", "-1.5", "--report", report,
                                                directory.file(c.input), directory.file("out.wav")});
        ASSERT_EQ(result.exitCode, 0) << result.err;
        EXPECT_NE(result.out.find("report    " + report + " (JSON)"), std::string::npos) << result.out;
        const std::string json = readBytes(report);
        EXPECT_TRUE(render_test::isValidJson(json)) << json;
        size_t position = 0;
        for (const char* part : c.expectedParts)
        {
            position = json.find(part, position);
            ASSERT_NE(position, std::string::npos) << part << "\n" << json;
        }
        const size_t latency = result.out.find(" frames trimmed");
        const size_t latencyStart = result.out.rfind(' ', latency - 1) + 1;
        EXPECT_NE(
            json.find("\"latency_frames\": " + result.out.substr(latencyStart, latency - latencyStart) + ","),
            std::string::npos)
            << json;
    }
}

TEST(RenderCommand, ListsTheTwentyProfilesByNumber)
{
    const CommandResult result = runRender({"--list-profiles"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(render_test::countLines(result.out), 20);
    EXPECT_EQ(result.out.rfind(" 0  Master Shine\n 1  Warm with Transient Detail\n", 0), 0u) << result.out;
    EXPECT_NE(result.out.find("\n19  Rich Warmth\n"), std::string::npos) << result.out;
}

// The pre-roll settles the dynamics before the first sample: the start sounds different, the length
// and the timing stay, also when the input is shorter than the pre-roll.
TEST(RenderCommand, PrerollPrimesTheEngineWithoutMovingTheAudio)
{
    ScratchDirectory directory;
    for (const int frames : {2 * 44100, 44100 / 4})
    {
        SCOPED_TRACE(std::to_string(frames) + " frames");
        writeTestFile(directory.file("in.wav"), SF_FORMAT_WAV | SF_FORMAT_FLOAT, 2, 44100, frames);
        const CommandResult cold =
            runRender({"--quiet", directory.file("in.wav"), directory.file("cold.wav")});
        const CommandResult primed =
            runRender({"--quiet", "--preroll", "1", directory.file("in.wav"), directory.file("primed.wav")});
        ASSERT_EQ(cold.exitCode, 0) << cold.err;
        ASSERT_EQ(primed.exitCode, 0) << primed.err;
        EXPECT_NE(primed.out.find("pre-roll 1.000 s"), std::string::npos) << primed.out;
        const AudioData coldAudio = readAudio(directory.file("cold.wav"));
        const AudioData primedAudio = readAudio(directory.file("primed.wav"));
        EXPECT_EQ(primedAudio.info.frames, frames);
        EXPECT_FALSE(primedAudio.samples == coldAudio.samples);
        expectFiniteAndAudible(primedAudio);
    }
}

// A stop request (Ctrl-C in the command) discards the render: no output, no report, no temporary file.
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
    options.reportPath = directory.file("report.json");
    const render::RenderPlan plan = render::planRender(options);
    StopAfterFirstChunk observer;
    EXPECT_THROW(render::executeRender(plan, observer), render::RenderInterrupted);
    EXPECT_EQ(directory.listing(), std::vector<std::string>{"in.wav"});
}

} // namespace
