// Command line of ulmar-render: the options record, its parser and the help text.
// Every option is one row of a table in RenderOptions.cpp; the help text is generated from it.
#pragma once

#include "ControlMapping.h"

#include <optional>
#include <string>
#include <vector>

namespace render
{

constexpr int kDefaultBlockFrames = 512;
constexpr int kMaxBlockFrames = 2048; // the engine's limit per process call
constexpr int kDefaultProfile = 0;    // "Master Shine"
constexpr double kMaxPrerollSeconds = 60.0;

enum ExitCode : int
{
    kExitOk = 0,
    kExitUsageError = 1, // the command line itself is wrong
    kExitIoError = 2,    // input, output, profile file or processing failed
};

enum class ProgressMode
{
    bar,  // a bar on standard error, only when it is a terminal and the input is longer than 5 s
    kv,   // key=value blocks on standard output, ending with progress=end
    none, // silent
};

struct RenderOptions
{
    std::string inputPath;  // empty: render the generated demo signal
    std::string outputPath; // empty: the default name (see defaultOutputPath)
    bool demo = false;      // also set when no INPUT is given
    int blockFrames = kDefaultBlockFrames;
    ProgressMode progress = ProgressMode::bar;
    std::string reportPath; // empty: no JSON report

    int profile = kDefaultProfile; // built-in profile, used when profilePath is empty
    std::string profilePath;       // a profile file instead of a built-in profile
    std::optional<int> profileFileIndex;
    /// Values as given on the command line, before clamping and stepping; none = the profile's own.
    std::optional<float> controls[kNumControls];
    double prerollSeconds = 0.0;

    bool listProfiles = false;
    bool help = false;
};

struct ParseResult
{
    RenderOptions options;
    std::string error; // one line; empty when the command line is valid
};

/// Parses the arguments after the program name. Never throws for bad input: errors come back in
/// `error` and are usage errors (exit code 1). Control values outside their range are accepted here
/// and clamped later, with a warning.
ParseResult parseRenderOptions(const std::vector<std::string>& args);

/// The --help text: synopsis, every option of the table, output naming and formats, exit codes.
std::string renderHelpText();

/// The --list-profiles text: one line per built-in profile, "<number>  <name>".
std::string profileListText();

/// Name of the command-line option that sets `control`, without the dashes, e.g. "drive".
const char* controlOptionName(ControlId control);

} // namespace render
