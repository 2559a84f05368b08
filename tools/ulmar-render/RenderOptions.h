// Command line of ulmar-render: the options record, its parser and the help text.
// Every option is one row of a table in RenderOptions.cpp; the help text is generated from it.
#pragma once

#include <string>
#include <vector>

namespace render
{

constexpr int kDefaultBlockFrames = 512;
constexpr int kMaxBlockFrames = 2048; // the engine's limit per process call

enum ExitCode : int
{
    kExitOk = 0,
    kExitRuntimeError = 1, // input, output or processing failed
    kExitUsageError = 2,   // the command line itself is wrong
};

struct RenderOptions
{
    std::string inputPath;  // empty: render the generated demo signal
    std::string outputPath; // empty: the default name (see defaultOutputPath)
    bool demo = false;      // also set when no INPUT is given
    int blockFrames = kDefaultBlockFrames;
    bool quiet = false;
    bool help = false;
};

struct ParseResult
{
    RenderOptions options;
    std::string error; // one line; empty when the command line is valid
};

/// Parses the arguments after the program name. Never throws for bad input: errors come back in
/// `error` and are usage errors (exit code 2).
ParseResult parseRenderOptions(const std::vector<std::string>& args);

/// The --help text: synopsis, every option of the table, output naming and formats, exit codes.
std::string renderHelpText();

} // namespace render
