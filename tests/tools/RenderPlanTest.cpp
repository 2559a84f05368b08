// Output naming, format choice and the same-file refusal: decided before any audio is touched.
#include "AudioFile.h"
#include "DemoSignal.h"
#include "Render.h"
#include "RenderError.h"
#include "RenderTestSupport.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>

namespace
{

using render_test::ScratchDirectory;

TEST(RenderPlan, OutputContainerFollowsTheExtension)
{
    const struct
    {
        const char* path;
        int major;
    } cases[] = {
        {"a.wav", SF_FORMAT_WAV},
        {"dir/SONG.WAV", SF_FORMAT_WAV},
        {"a.w64", SF_FORMAT_W64},
        {"a.rf64", SF_FORMAT_RF64},
        {"a.aif", SF_FORMAT_AIFF},
        {"a.aiff", SF_FORMAT_AIFF},
        {"a.aifc", SF_FORMAT_AIFF},
        {"a.caf", SF_FORMAT_CAF},
        {"a.au", SF_FORMAT_AU},
        {"a.Flac", SF_FORMAT_FLAC},
        {"a.ogg", SF_FORMAT_OGG},
        {"a.oga", SF_FORMAT_OGG},
        {"take.1.flac", SF_FORMAT_FLAC},
        {"a.mp3", 0},
        {"a.xyz", 0},
        {"noextension", 0},
        {".wav", 0},
        {"dir.wav/file", 0},
        {"a.", 0},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(render::majorFormatForPath(c.path), c.major);
    }
}

TEST(RenderPlan, SampleFormatKeepsFloatOnlyWithinTheSameContainer)
{
    const struct
    {
        int outputMajor;
        int inputFormat;
        int expected;
    } cases[] = {
        {SF_FORMAT_WAV, SF_FORMAT_WAV | SF_FORMAT_FLOAT, SF_FORMAT_WAV | SF_FORMAT_FLOAT},
        {SF_FORMAT_WAV, SF_FORMAT_WAVEX | SF_FORMAT_FLOAT, SF_FORMAT_WAV | SF_FORMAT_FLOAT},
        {SF_FORMAT_WAV, SF_FORMAT_WAV | SF_FORMAT_DOUBLE, SF_FORMAT_WAV | SF_FORMAT_FLOAT},
        {SF_FORMAT_WAV, SF_FORMAT_WAV | SF_FORMAT_PCM_16, SF_FORMAT_WAV | SF_FORMAT_PCM_24},
        {SF_FORMAT_WAV, SF_FORMAT_CAF | SF_FORMAT_FLOAT, SF_FORMAT_WAV | SF_FORMAT_PCM_24},
        {SF_FORMAT_WAV, 0, SF_FORMAT_WAV | SF_FORMAT_PCM_24},
        {SF_FORMAT_AIFF, SF_FORMAT_AIFF | SF_FORMAT_FLOAT, SF_FORMAT_AIFF | SF_FORMAT_FLOAT},
        {SF_FORMAT_CAF, SF_FORMAT_CAF | SF_FORMAT_PCM_24, SF_FORMAT_CAF | SF_FORMAT_PCM_24},
        {SF_FORMAT_W64, SF_FORMAT_W64 | SF_FORMAT_FLOAT, SF_FORMAT_W64 | SF_FORMAT_FLOAT},
        {SF_FORMAT_RF64, SF_FORMAT_WAV | SF_FORMAT_FLOAT, SF_FORMAT_RF64 | SF_FORMAT_PCM_24},
        {SF_FORMAT_AU, SF_FORMAT_AU | SF_FORMAT_FLOAT, SF_FORMAT_AU | SF_FORMAT_FLOAT},
        {SF_FORMAT_FLAC, SF_FORMAT_FLAC | SF_FORMAT_PCM_16, SF_FORMAT_FLAC | SF_FORMAT_PCM_24},
        {SF_FORMAT_FLAC, SF_FORMAT_WAV | SF_FORMAT_FLOAT, SF_FORMAT_FLAC | SF_FORMAT_PCM_24},
        {SF_FORMAT_OGG, SF_FORMAT_WAV | SF_FORMAT_FLOAT, SF_FORMAT_OGG | SF_FORMAT_VORBIS},
        {SF_FORMAT_OGG, 0, SF_FORMAT_OGG | SF_FORMAT_VORBIS},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(render::describeFormat(c.outputMajor | SF_FORMAT_PCM_16) + " from " +
                     (c.inputFormat != 0 ? render::describeFormat(c.inputFormat) : std::string("demo")));
        const int chosen = render::chooseOutputFormat(c.outputMajor, c.inputFormat);
        EXPECT_EQ(chosen, c.expected) << render::describeFormat(chosen);
        // Whatever is chosen, libsndfile must be able to write it.
        SF_INFO info = {};
        info.format = chosen;
        info.channels = 2;
        info.samplerate = 44100;
        EXPECT_TRUE(sf_format_check(&info));
    }
}

TEST(RenderPlan, DefaultOutputSitsBesideTheInput)
{
    const struct
    {
        const char* input;
        const char* output;
    } cases[] = {
        {"song.wav", "song-mastered.wav"},
        {"dir/sub/take.1.flac", "dir/sub/take.1-mastered.flac"},
        {"/abs/path/x.AIFF", "/abs/path/x-mastered.AIFF"},
        {"voice.mp3", "voice-mastered.wav"}, // not written here: falls back to WAV
        {"noextension", "noextension-mastered.wav"},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.input);
        EXPECT_EQ(render::defaultOutputPath(c.input), c.output);
        render::RenderOptions options;
        options.inputPath = c.input;
        EXPECT_EQ(render::planRender(options).outputPath, c.output);
    }

    render::RenderOptions demo;
    demo.demo = true;
    const render::RenderPlan plan = render::planRender(demo);
    EXPECT_EQ(plan.outputPath, render::kDemoOutputName);
    EXPECT_EQ(plan.inputPath, "");
    EXPECT_EQ(plan.outputMajorFormat, SF_FORMAT_WAV);
}

TEST(RenderPlan, TemporaryFileIsHiddenInTheDestinationsDirectory)
{
    const std::string pid = std::to_string(getpid());
    EXPECT_EQ(render::temporaryPathFor("dir/song.wav"), "dir/.song.wav.tmp-" + pid);
    EXPECT_EQ(render::temporaryPathFor("song.wav"), ".song.wav.tmp-" + pid);
    EXPECT_EQ(render::temporaryPathFor("/a/b/x.flac"), "/a/b/.x.flac.tmp-" + pid);
}

int planExitCode(const std::string& input, const std::string& output)
{
    render::RenderOptions options;
    options.inputPath = input;
    options.outputPath = output;
    try
    {
        render::planRender(options);
        return render::kExitOk;
    }
    catch (const render::RenderError& error)
    {
        return error.exitCode();
    }
}

TEST(RenderPlan, RefusesEveryNameOfTheInputAsOutput)
{
    namespace fs = std::filesystem;
    ScratchDirectory directory;
    const std::string input = directory.file("in.wav");
    render_test::writeBytes(input, "not even audio: the plan must not read it");
    fs::create_directory(directory.file("sub"));
    fs::create_symlink(input, directory.file("link.wav"));
    fs::create_hard_link(input, directory.file("hard.wav"));
    fs::create_directory_symlink(directory.path(), directory.file("dirlink"));

    const struct
    {
        std::string output;
        int exitCode;
    } cases[] = {
        {input, render::kExitUsageError},
        {directory.path() + "/./in.wav", render::kExitUsageError},
        {directory.path() + "/sub/../in.wav", render::kExitUsageError},
        {directory.path() + "//in.wav", render::kExitUsageError},
        {directory.file("link.wav"), render::kExitUsageError},
        {directory.file("hard.wav"), render::kExitUsageError},
        {directory.file("dirlink/in.wav"), render::kExitUsageError},
        {directory.file("in-mastered.wav"), render::kExitOk},
        {directory.file("sub/in.wav"), render::kExitOk},
        {directory.file("in.xyz"), render::kExitUsageError}, // unknown output format
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.output);
        EXPECT_EQ(planExitCode(input, c.output), c.exitCode);
    }
    // Relative to the working directory as well.
    const fs::path saved = fs::current_path();
    fs::current_path(directory.path());
    EXPECT_EQ(planExitCode("in.wav", "./in.wav"), render::kExitUsageError);
    EXPECT_EQ(planExitCode("sub/../in.wav", directory.file("in.wav")), render::kExitUsageError);
    fs::current_path(saved);
}

TEST(RenderPlan, NothingWrittenReplacesWhatIsRead)
{
    ScratchDirectory directory;
    const std::string input = directory.file("in.wav");
    const std::string profile = directory.file("my.ktvs");
    render_test::writeBytes(input, "not read by the plan");
    const struct
    {
        std::string output;
        std::string report;
        std::string profileFile;
        const char* errorPart; // empty: accepted
    } cases[] = {
        {directory.file("out.wav"), directory.file("report.json"), profile, ""},
        {directory.file("out.wav"), directory.file("out.wav"), "", "output and report are the same file"},
        {directory.file("out.wav"), directory.path() + "/./out.wav", "", "output and report"},
        {directory.file("out.wav"), input, "", "input and report are the same file"},
        {directory.file("out.wav"), profile, profile, "profile file and report are the same file"},
        {directory.file("my.wav"), "", directory.file("my.wav"), "profile file and output are the same file"},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.output + " " + c.report + " " + c.profileFile);
        render::RenderOptions options;
        options.inputPath = input;
        options.outputPath = c.output;
        options.reportPath = c.report;
        options.profilePath = c.profileFile;
        std::string error;
        try
        {
            EXPECT_EQ(render::planRender(options).reportPath, c.report);
        }
        catch (const render::RenderError& failure)
        {
            EXPECT_EQ(failure.exitCode(), render::kExitUsageError);
            error = failure.what();
        }
        if (*c.errorPart == '\0')
        {
            EXPECT_EQ(error, "");
        }
        else
        {
            EXPECT_NE(error.find(c.errorPart), std::string::npos) << error;
        }
    }
}

TEST(RenderPlan, SettlesTheControlsAndWarnsAboutChangedValues)
{
    render::RenderOptions options;
    options.demo = true;
    options.profilePath = "p.ktvs";
    options.profileFileIndex = 2;
    options.controls[kControlCeiling] = -0.25f;
    options.controls[kControlDrive] = 4.0f;
    options.controls[kControlHighGain] = 30.0f;
    const render::RenderPlan plan = render::planRender(options);
    EXPECT_EQ(plan.profile.filePath, "p.ktvs");
    EXPECT_EQ(plan.profile.fileIndex, 2);
    ASSERT_EQ(plan.controls.size(), 3u);
    EXPECT_EQ(plan.controls[0].control, kControlDrive);
    EXPECT_EQ(plan.controls[2].applied, 12.0f);
    ASSERT_EQ(plan.warnings.size(), 2u);
    EXPECT_NE(plan.warnings[0].find("--ceiling"), std::string::npos) << plan.warnings[0];
    EXPECT_NE(plan.warnings[1].find("--treble 30 dB"), std::string::npos) << plan.warnings[1];
}

} // namespace
