#include "RenderOptions.h"
#include "UlmarProfiles.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <regex>

namespace
{

using render::parseRenderOptions;
using render::ParseResult;
using render::ProgressMode;
using render::RenderOptions;

std::string joined(const std::vector<std::string>& args)
{
    std::string text;
    for (const std::string& arg : args)
    {
        text += "[" + arg + "] ";
    }
    return text;
}

void expectSameOptions(const RenderOptions& actual, const RenderOptions& expected)
{
    EXPECT_EQ(actual.inputPath, expected.inputPath);
    EXPECT_EQ(actual.outputPath, expected.outputPath);
    EXPECT_EQ(actual.demo, expected.demo);
    EXPECT_EQ(actual.blockFrames, expected.blockFrames);
    EXPECT_EQ(actual.progress, expected.progress);
    EXPECT_EQ(actual.reportPath, expected.reportPath);
    EXPECT_EQ(actual.profile, expected.profile);
    EXPECT_EQ(actual.profilePath, expected.profilePath);
    EXPECT_EQ(actual.profileFileIndex, expected.profileFileIndex);
    for (int control = 0; control < kNumControls; ++control)
    {
        EXPECT_EQ(actual.controls[control], expected.controls[control]) << kControlSpecs[control].id;
    }
    EXPECT_EQ(actual.prerollSeconds, expected.prerollSeconds);
    EXPECT_EQ(actual.listProfiles, expected.listProfiles);
    EXPECT_EQ(actual.help, expected.help);
}

struct GoodCase
{
    std::vector<std::string> args;
    std::function<void(RenderOptions&)> expectedChanges; // from the defaults
};

TEST(RenderOptions, AcceptsEveryFormOfTheCommandLine)
{
    const auto demo = [](RenderOptions& o) { o.demo = true; };
    const auto input = [](RenderOptions& o) { o.inputPath = "in.wav"; };
    const GoodCase cases[] = {
        {{}, demo},
        {{"in.wav"}, input},
        {{"in.wav", "out.flac"},
         [&](RenderOptions& o)
         {
             input(o);
             o.outputPath = "out.flac";
         }},
        {{"-o", "x.wav", "in.wav"},
         [&](RenderOptions& o)
         {
             input(o);
             o.outputPath = "x.wav";
         }},
        {{"in.wav", "--output=x.wav"},
         [&](RenderOptions& o)
         {
             input(o);
             o.outputPath = "x.wav";
         }},
        {{"in.wav", "--output", "x.wav"},
         [&](RenderOptions& o)
         {
             input(o);
             o.outputPath = "x.wav";
         }},
        {{"-ox.wav", "in.wav"},
         [&](RenderOptions& o)
         {
             input(o);
             o.outputPath = "x.wav";
         }},
        {{"--block", "1", "in.wav"},
         [&](RenderOptions& o)
         {
             input(o);
             o.blockFrames = 1;
         }},
        {{"--block=2048"},
         [&](RenderOptions& o)
         {
             demo(o);
             o.blockFrames = 2048;
         }},
        {{"in.wav", "--block", "64", "--block", "128"},
         [&](RenderOptions& o)
         {
             input(o);
             o.blockFrames = 128;
         }},
        {{"--quiet", "--demo"},
         [&](RenderOptions& o)
         {
             demo(o);
             o.progress = ProgressMode::none;
         }},
        {{"--progress", "kv"},
         [&](RenderOptions& o)
         {
             demo(o);
             o.progress = ProgressMode::kv;
         }},
        {{"--progress=none", "--progress", "bar"}, demo},
        {{"--demo", "-o", "d.wav"},
         [&](RenderOptions& o)
         {
             demo(o);
             o.outputPath = "d.wav";
         }},
        {{"--", "-odd.wav"}, [](RenderOptions& o) { o.inputPath = "-odd.wav"; }},
        {{"in.wav", "-o", "-3.wav"},
         [&](RenderOptions& o)
         {
             input(o);
             o.outputPath = "-3.wav";
         }},
        {{"-"}, [](RenderOptions& o) { o.inputPath = "-"; }},
        {{"--report", "r.json"},
         [&](RenderOptions& o)
         {
             demo(o);
             o.reportPath = "r.json";
         }},
        {{"--profile", "14"},
         [&](RenderOptions& o)
         {
             demo(o);
             o.profile = 14;
         }},
        {{"--profile", "0"}, demo},
        {{"--profile=Rich Warmth"},
         [&](RenderOptions& o)
         {
             demo(o);
             o.profile = 19;
         }},
        {{"--profile", "loud and proud"},
         [&](RenderOptions& o)
         {
             demo(o);
             o.profile = 14;
         }},
        {{"--profile-file", "p.ktvs"},
         [&](RenderOptions& o)
         {
             demo(o);
             o.profilePath = "p.ktvs";
         }},
        {{"--index", "3", "--profile-file", "p.ktvs"},
         [&](RenderOptions& o)
         {
             demo(o);
             o.profilePath = "p.ktvs";
             o.profileFileIndex = 3;
         }},
        {{"--drive", "-3", "--ceiling", "-0.5", "--bass", "+2", "--treble", "1e1", "--width=6.5"},
         [&](RenderOptions& o)
         {
             demo(o);
             o.controls[kControlDrive] = -3.0f;
             o.controls[kControlCeiling] = -0.5f;
             o.controls[kControlLowGain] = 2.0f;
             o.controls[kControlHighGain] = 10.0f;
             o.controls[kControlStereoWide] = 6.5f;
         }},
        // Out of range is accepted here: the render clamps it, with a warning.
        {{"--drive", "99"},
         [&](RenderOptions& o)
         {
             demo(o);
             o.controls[kControlDrive] = 99.0f;
         }},
        {{"--stereo", "on"},
         [&](RenderOptions& o)
         {
             demo(o);
             o.controls[kControlStereoBypassed] = 1.0f;
         }},
        {{"--stereo", "OFF"},
         [&](RenderOptions& o)
         {
             demo(o);
             o.controls[kControlStereoBypassed] = 0.0f;
         }},
        {{"--bypass"},
         [&](RenderOptions& o)
         {
             demo(o);
             o.controls[kControlBypassed] = 1.0f;
         }},
        {{"--preroll", "2.5"},
         [&](RenderOptions& o)
         {
             demo(o);
             o.prerollSeconds = 2.5;
         }},
        {{"--list-profiles"}, [](RenderOptions& o) { o.listProfiles = true; }},
        {{"-h"}, [](RenderOptions& o) { o.help = true; }},
        {{"in.wav", "--help"}, [](RenderOptions& o) { o.help = true; }},
    };
    for (const GoodCase& c : cases)
    {
        SCOPED_TRACE(joined(c.args));
        const ParseResult result = parseRenderOptions(c.args);
        ASSERT_EQ(result.error, "");
        RenderOptions expected;
        c.expectedChanges(expected);
        expectSameOptions(result.options, expected);
    }
}

struct BadCase
{
    std::vector<std::string> args;
    std::string errorPart;
};

TEST(RenderOptions, RejectsBadCommandLinesWithOneLine)
{
    const BadCase cases[] = {
        {{"--frobnicate"}, "unknown option '--frobnicate'"},
        {{"-x", "in.wav"}, "unknown option '-x'"},
        {{"-hq"}, "unknown option '-hq'"},
        {{"--output"}, "--output needs a value (PATH)"},
        {{"in.wav", "-o"}, "--output needs a value"},
        {{"--block"}, "--block needs a value (N)"},
        {{"--block", "--quiet", "in.wav"}, "--block needs a value"},
        {{"--block", "-5"}, "got '-5'"},
        {{"--block", "-.5"}, "got '-.5'"},
        {{"--block", "0"}, "from 1 to 2048, got '0'"},
        {{"--block=2049"}, "got '2049'"},
        {{"--block", "abc"}, "got 'abc'"},
        {{"--block", "12x"}, "got '12x'"},
        {{"--block", " 12"}, "got ' 12'"},
        {{"--block="}, "got ''"},
        {{"--block", "99999999999999999999"}, "from 1 to 2048"},
        {{"--quiet=yes"}, "--quiet takes no value"},
        {{"--bypass=1"}, "--bypass takes no value"},
        {{"a.wav", "b.wav", "c.wav"}, "unexpected argument 'c.wav'"},
        {{"a.wav", "b.wav", "-o", "c.wav"}, "output given twice"},
        {{"--demo", "a.wav"}, "--demo takes no INPUT"},
        {{"-o", "", "a.wav"}, "empty output file name"},
        {{""}, "empty file name"},
        {{"--profile", "20"}, "from 0 to 19"},
        {{"--profile", "99999999999999999999"}, "from 0 to 19"},
        {{"--profile", "-1"}, "unknown profile '-1'"},
        {{"--profile", "Master"}, "unknown profile 'Master' (see --list-profiles)"},
        {{"--profile", "3", "--profile-file", "p.ktvs"}, "exclude each other"},
        {{"--profile-file", ""}, "empty profile file name"},
        {{"--index", "1"}, "--index selects a record of a --profile-file"},
        {{"--profile-file", "p.ktvs", "--index", "-1"}, "from 0, got '-1'"},
        {{"--profile-file", "p.ktvs", "--index", "one"}, "got 'one'"},
        {{"--drive", "loud"}, "--drive needs a number of dB, got 'loud'"},
        {{"--ceiling", "nan"}, "--ceiling needs a number of dB"},
        {{"--bass", "inf"}, "--bass needs a number of dB"},
        {{"--treble", "+-3"}, "--treble needs a number of dB"},
        {{"--width", "3dB"}, "--width needs a number of dB"},
        {{"--width", ""}, "--width needs a number of dB, got ''"},
        {{"--drive"}, "--drive needs a value (dB)"},
        {{"--stereo", "yes"}, "--stereo needs 'on' or 'off'"},
        {{"--preroll", "61"}, "--preroll needs seconds from 0 to 60, got '61'"},
        {{"--preroll", "-1"}, "got '-1'"},
        {{"--progress", "fancy"}, "--progress needs 'bar', 'kv' or 'none'"},
        {{"--report", ""}, "empty report file name"},
    };
    for (const BadCase& c : cases)
    {
        SCOPED_TRACE(joined(c.args));
        const ParseResult result = parseRenderOptions(c.args);
        EXPECT_NE(result.error.find(c.errorPart), std::string::npos) << result.error;
        EXPECT_EQ(result.error.find('\n'), std::string::npos);
    }
}

// The help text is the documentation of the command line: every option it names must parse with a
// value of the kind it shows, and it must explain both failure exit codes.
TEST(RenderOptions, HelpNamesOnlyRealOptionsAndTheExitCodes)
{
    const std::map<std::string, std::vector<std::string>> exampleValues = {
        {"output", {"x.wav"}},
        {"profile", {"7"}},
        {"profile-file", {"p.ktvs"}},
        {"block", {"64"}},
        {"drive", {"1.5"}},
        {"ceiling", {"-1"}},
        {"bass", {"-2"}},
        {"treble", {"2"}},
        {"width", {"3"}},
        {"stereo", {"on"}},
        {"preroll", {"2"}},
        {"report", {"r.json"}},
        {"progress", {"kv"}},
        {"index", {"1", "--profile-file", "p.ktvs"}},
    };
    const std::string help = render::renderHelpText();
    const std::regex optionPattern(R"(--([a-z][a-z-]*))");
    int optionsSeen = 0;
    for (auto it = std::sregex_iterator(help.begin(), help.end(), optionPattern);
         it != std::sregex_iterator(); ++it)
    {
        const std::string name = (*it)[1].str();
        SCOPED_TRACE(name);
        std::vector<std::string> args = {"--" + name};
        const auto example = exampleValues.find(name);
        if (example != exampleValues.end())
        {
            args.insert(args.end(), example->second.begin(), example->second.end());
        }
        EXPECT_EQ(parseRenderOptions(args).error, "");
        ++optionsSeen;
    }
    EXPECT_GE(optionsSeen, 19);
    EXPECT_NE(help.find("\n  1  usage error"), std::string::npos);
    EXPECT_NE(help.find("\n  2  input/output error"), std::string::npos);
    // The ranges shown come from the controls themselves.
    EXPECT_NE(help.find("-10 to 0 dB in steps of 0.1 dB"), std::string::npos) << help;
}

TEST(RenderOptions, ProfileListNumbersEveryNameTheCommandAccepts)
{
    const std::string list = render::profileListText();
    const std::regex linePattern(R"( ?(\d+)  ([^\n]+)\n)");
    int lines = 0;
    for (auto it = std::sregex_iterator(list.begin(), list.end(), linePattern); it != std::sregex_iterator();
         ++it, ++lines)
    {
        const std::string number = (*it)[1].str();
        const std::string name = (*it)[2].str();
        SCOPED_TRACE(name);
        EXPECT_EQ(number, std::to_string(lines));
        const ParseResult byName = parseRenderOptions({"--profile", name});
        ASSERT_EQ(byName.error, "");
        EXPECT_EQ(byName.options.profile, lines);
    }
    EXPECT_EQ(lines, kNumUlmarProfiles);
    EXPECT_EQ(list.rfind(" 0  Master Shine\n", 0), 0u);
}

} // namespace
