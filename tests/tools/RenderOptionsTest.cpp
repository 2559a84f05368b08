#include "RenderOptions.h"

#include <gtest/gtest.h>

#include <regex>

namespace
{

using render::parseRenderOptions;
using render::ParseResult;
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

struct GoodCase
{
    std::vector<std::string> args;
    std::string input;
    std::string output;
    bool demo;
    int blockFrames;
    bool quiet;
    bool help;
};

TEST(RenderOptions, AcceptsEveryFormOfTheCommandLine)
{
    const GoodCase cases[] = {
        {{}, "", "", true, 512, false, false},
        {{"in.wav"}, "in.wav", "", false, 512, false, false},
        {{"in.wav", "out.flac"}, "in.wav", "out.flac", false, 512, false, false},
        {{"-o", "x.wav", "in.wav"}, "in.wav", "x.wav", false, 512, false, false},
        {{"in.wav", "--output=x.wav"}, "in.wav", "x.wav", false, 512, false, false},
        {{"in.wav", "--output", "x.wav"}, "in.wav", "x.wav", false, 512, false, false},
        {{"-ox.wav", "in.wav"}, "in.wav", "x.wav", false, 512, false, false},
        {{"--block", "1", "in.wav"}, "in.wav", "", false, 1, false, false},
        {{"--block=2048"}, "", "", true, 2048, false, false},
        {{"in.wav", "--block", "64", "--block", "128"}, "in.wav", "", false, 128, false, false},
        {{"--quiet", "--demo"}, "", "", true, 512, true, false},
        {{"--demo", "-o", "d.wav"}, "", "d.wav", true, 512, false, false},
        {{"--", "-odd.wav"}, "-odd.wav", "", false, 512, false, false},
        {{"in.wav", "-o", "-3.wav"}, "in.wav", "-3.wav", false, 512, false, false},
        {{"-"}, "-", "", false, 512, false, false},
        {{"-h"}, "", "", false, 512, false, true},
        {{"in.wav", "--help"}, "", "", false, 512, false, true},
    };
    for (const GoodCase& c : cases)
    {
        SCOPED_TRACE(joined(c.args));
        const ParseResult result = parseRenderOptions(c.args);
        ASSERT_EQ(result.error, "");
        EXPECT_EQ(result.options.inputPath, c.input);
        EXPECT_EQ(result.options.outputPath, c.output);
        EXPECT_EQ(result.options.demo, c.demo);
        EXPECT_EQ(result.options.blockFrames, c.blockFrames);
        EXPECT_EQ(result.options.quiet, c.quiet);
        EXPECT_EQ(result.options.help, c.help);
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
        {{"a.wav", "b.wav", "c.wav"}, "unexpected argument 'c.wav'"},
        {{"a.wav", "b.wav", "-o", "c.wav"}, "output given twice"},
        {{"--demo", "a.wav"}, "--demo takes no INPUT"},
        {{"-o", "", "a.wav"}, "empty output file name"},
        {{""}, "empty file name"},
    };
    for (const BadCase& c : cases)
    {
        SCOPED_TRACE(joined(c.args));
        const ParseResult result = parseRenderOptions(c.args);
        EXPECT_NE(result.error.find(c.errorPart), std::string::npos) << result.error;
        EXPECT_EQ(result.error.find('\n'), std::string::npos);
    }
}

// The help text is the documentation of the command line: every option it names must parse, and
// it must explain both failure exit codes.
TEST(RenderOptions, HelpNamesOnlyRealOptionsAndTheExitCodes)
{
    const std::string help = render::renderHelpText();
    const std::regex optionPattern(R"(--([a-z][a-z-]*)( [A-Z]+)?)");
    int optionsSeen = 0;
    for (auto it = std::sregex_iterator(help.begin(), help.end(), optionPattern);
         it != std::sregex_iterator(); ++it)
    {
        const std::smatch& match = *it;
        std::vector<std::string> args = {"--" + match[1].str()};
        if (match[2].matched)
        {
            args.push_back(match[1].str() == "block" ? "64" : "x.wav");
        }
        SCOPED_TRACE(match.str());
        EXPECT_EQ(parseRenderOptions(args).error, "");
        ++optionsSeen;
    }
    EXPECT_GE(optionsSeen, 5);
    EXPECT_NE(help.find("\n  1  "), std::string::npos);
    EXPECT_NE(help.find("\n  2  "), std::string::npos);
}

} // namespace
