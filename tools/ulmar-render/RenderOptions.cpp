#include "RenderOptions.h"

#include "DemoSignal.h"
#include "UlmarProfiles.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <sstream>

namespace render
{
namespace
{

struct OptionRow;
using ApplyFunction = std::string (*)(RenderOptions& options, const OptionRow& row, const std::string& value);

constexpr int kNoControl = -1;

struct OptionRow
{
    char shortName;           // 0: long form only
    const char* longName;     // without the leading "--"
    const char* valueName;    // null for a flag
    const char* help;         // lines after the first are indented to the help column
    ApplyFunction apply;      // returns an error message, empty when the value is accepted
    int control = kNoControl; // the user control the option sets; its range is added to the help
};

std::string displayName(const OptionRow& row)
{
    return std::string("--") + row.longName;
}

std::optional<int> parseWholeNumber(const std::string& value)
{
    int number = 0;
    const char* last = value.data() + value.size();
    const auto [end, error] = std::from_chars(value.data(), last, number);
    if (value.empty() || error != std::errc() || end != last)
    {
        return std::nullopt;
    }
    return number;
}

// A finite decimal number; a leading '+' is allowed so "+3" reads like "3".
std::optional<double> parseNumber(const std::string& value)
{
    const bool plus = !value.empty() && value[0] == '+';
    const char* first = value.data() + (plus ? 1 : 0);
    const char* last = value.data() + value.size();
    if (first == last || (plus && *first == '-'))
    {
        return std::nullopt;
    }
    double number = 0.0;
    const auto [end, error] = std::from_chars(first, last, number);
    if (error != std::errc() || end != last || !std::isfinite(number))
    {
        return std::nullopt;
    }
    return number;
}

std::string lowerCase(std::string text)
{
    for (char& c : text)
    {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return text;
}

std::string parseBlockFrames(RenderOptions& options, const OptionRow&, const std::string& value)
{
    const std::optional<int> frames = parseWholeNumber(value);
    if (!frames || *frames < 1 || *frames > kMaxBlockFrames)
    {
        return "--block needs a whole number of frames from 1 to " + std::to_string(kMaxBlockFrames) +
               ", got '" + value + "'";
    }
    options.blockFrames = *frames;
    return {};
}

std::string parseProfile(RenderOptions& options, const OptionRow&, const std::string& value)
{
    const bool isNumber = !value.empty() && std::all_of(value.begin(), value.end(),
                                                        [](char c) { return c >= '0' && c <= '9'; });
    if (isNumber)
    {
        const std::optional<int> number = parseWholeNumber(value);
        if (!number || *number >= kNumUlmarProfiles)
        {
            return "--profile needs a number from 0 to " + std::to_string(kNumUlmarProfiles - 1) +
                   " or a profile name, got '" + value + "' (see --list-profiles)";
        }
        options.profile = *number;
        return {};
    }
    const std::optional<int> found = findProfileByName(value);
    if (!found)
    {
        return "unknown profile '" + value + "' (see --list-profiles)";
    }
    options.profile = *found;
    return {};
}

std::string parseProfileIndex(RenderOptions& options, const OptionRow&, const std::string& value)
{
    const std::optional<int> index = parseWholeNumber(value);
    if (!index || *index < 0)
    {
        return "--index needs a whole number from 0, got '" + value + "'";
    }
    options.profileFileIndex = *index;
    return {};
}

std::string parseControl(RenderOptions& options, const OptionRow& row, const std::string& value)
{
    const std::optional<double> decibels = parseNumber(value);
    if (!decibels)
    {
        return displayName(row) + " needs a number of dB, got '" + value + "'";
    }
    // Anything beyond the float range is far outside every control's range and clamps the same way.
    options.controls[row.control] = static_cast<float>(std::clamp(*decibels, -1.0e6, 1.0e6));
    return {};
}

std::string parseStereo(RenderOptions& options, const OptionRow&, const std::string& value)
{
    const std::string word = lowerCase(value);
    if (word != "on" && word != "off")
    {
        return "--stereo needs 'on' or 'off', got '" + value + "'";
    }
    options.controls[kControlStereoBypassed] = word == "on" ? 1.0f : 0.0f;
    return {};
}

std::string parsePreroll(RenderOptions& options, const OptionRow&, const std::string& value)
{
    const std::optional<double> seconds = parseNumber(value);
    if (!seconds || *seconds < 0.0 || *seconds > kMaxPrerollSeconds)
    {
        char range[32];
        std::snprintf(range, sizeof(range), "%g", kMaxPrerollSeconds);
        return "--preroll needs seconds from 0 to " + std::string(range) + ", got '" + value + "'";
    }
    options.prerollSeconds = *seconds;
    return {};
}

std::string parseProgress(RenderOptions& options, const OptionRow&, const std::string& value)
{
    if (value == "bar")
    {
        options.progress = ProgressMode::bar;
    }
    else if (value == "kv")
    {
        options.progress = ProgressMode::kv;
    }
    else if (value == "none")
    {
        options.progress = ProgressMode::none;
    }
    else
    {
        return "--progress needs 'bar', 'kv' or 'none', got '" + value + "'";
    }
    return {};
}

std::string nonEmptyPath(std::string& target, const char* what, const std::string& value)
{
    target = value;
    return value.empty() ? "empty " + std::string(what) + " file name" : std::string();
}

const OptionRow kOptions[] = {
    {'o', "output", "PATH", "write to PATH (instead of a second argument)",
     [](RenderOptions& options, const OptionRow&, const std::string& value)
     { return nonEmptyPath(options.outputPath, "output", value); }},
    {0, "demo", nullptr, "master the generated 30 s demo signal (also when no INPUT is given)",
     [](RenderOptions& options, const OptionRow&, const std::string&)
     {
         options.demo = true;
         return std::string();
     }},
    {0, "profile", "N|NAME",
     "built-in profile by number (0 to 19) or name, e.g. \"Loud and Proud\"\n"
     "(default 0, \"Master Shine\"); see --list-profiles",
     parseProfile},
    {0, "profile-file", "PATH",
     "load the profile from a profile file instead (any of the five\nrecord layouts)",
     [](RenderOptions& options, const OptionRow&, const std::string& value)
     { return nonEmptyPath(options.profilePath, "profile", value); }},
    {0, "index", "I", "record I of the --profile-file, counting from 0 (default 0)", parseProfileIndex},
    {0, "list-profiles", nullptr, "print the built-in profiles with their numbers and exit",
     [](RenderOptions& options, const OptionRow&, const std::string&)
     {
         options.listProfiles = true;
         return std::string();
     }},
    {0, "drive", "dB", "input drive,", parseControl, kControlDrive},
    {0, "ceiling", "dB", "output ceiling of the limiter or clipper,", parseControl, kControlCeiling},
    {0, "bass", "dB", "bass relative to the profile,", parseControl, kControlLowGain},
    {0, "treble", "dB", "treble relative to the profile,", parseControl, kControlHighGain},
    {0, "width", "dB", "stereo enhancement amount,", parseControl, kControlStereoWide},
    {0, "stereo", "on|off", "stereo enhancement on or off", parseStereo},
    {0, "bypass", nullptr, "bypass the processing chain (only the user gain stays)",
     [](RenderOptions& options, const OptionRow&, const std::string&)
     {
         options.controls[kControlBypassed] = 1.0f;
         return std::string();
     }},
    {0, "preroll", "SECONDS",
     "before the render, play the input's first SECONDS backwards through\n"
     "the engine, ending on its first sample, and discard the result, so\n"
     "compressors and limiters start settled on the opening's levels (an\n"
     "opening shorter than SECONDS is reflected back and forth); 0 to 60 s\n"
     "(default 0: off, the engine starts from rest)",
     parsePreroll},
    {0, "block", "N", "frames per engine call, 1 to 2048 (default 512)", parseBlockFrames},
    {0, "report", "PATH", "also write the report as JSON to PATH",
     [](RenderOptions& options, const OptionRow&, const std::string& value)
     { return nonEmptyPath(options.reportPath, "report", value); }},
    {0, "progress", "bar|kv|none",
     "bar (default): a progress bar on standard error when it is a\n"
     "terminal and the input is longer than 5 s; kv: key=value blocks on\n"
     "standard output, each ending with progress=continue, the last with\n"
     "progress=end; none: no progress",
     parseProgress},
    {0, "quiet", nullptr, "same as --progress none",
     [](RenderOptions& options, const OptionRow&, const std::string&)
     {
         options.progress = ProgressMode::none;
         return std::string();
     }},
    {'h', "help", nullptr, "show this help and exit",
     [](RenderOptions& options, const OptionRow&, const std::string&)
     {
         options.help = true;
         return std::string();
     }},
};

const OptionRow* findLong(const std::string& name)
{
    for (const OptionRow& row : kOptions)
    {
        if (name == row.longName)
        {
            return &row;
        }
    }
    return nullptr;
}

const OptionRow* findShort(char name)
{
    for (const OptionRow& row : kOptions)
    {
        if (row.shortName != 0 && row.shortName == name)
        {
            return &row;
        }
    }
    return nullptr;
}

bool looksLikeOption(const std::string& arg)
{
    return arg.size() > 1 && arg[0] == '-';
}

// Values such as "-3" (decibels) follow their option as values, not as options.
bool looksLikeNegativeNumber(const std::string& arg)
{
    const auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
    return arg.size() > 1 && arg[0] == '-' &&
           (isDigit(arg[1]) || (arg[1] == '.' && arg.size() > 2 && isDigit(arg[2])));
}

// "-10 to 10 dB in steps of 0.5 dB", from the control's own range so help and behaviour agree.
std::string controlRangeText(ControlId control)
{
    const ControlSpec& meta = kControlSpecs[control];
    return valueText(meta.minimum) + " to " + valueText(meta.maximum) + " dB in steps of " +
           valueText(meta.step) + " dB";
}

} // namespace

const char* controlOptionName(ControlId control)
{
    static const char* const kNames[kNumControls] = {"bypass", "drive", "ceiling", "bass",
                                                     "treble", "width", "stereo"};
    return control >= 0 && control < kNumControls ? kNames[control] : "";
}

ParseResult parseRenderOptions(const std::vector<std::string>& args)
{
    ParseResult result;
    RenderOptions& options = result.options;
    std::vector<std::string> positional;
    bool optionsEnded = false;
    bool profileGiven = false;

    for (size_t i = 0; i < args.size(); ++i)
    {
        const std::string& arg = args[i];
        if (optionsEnded || !looksLikeOption(arg))
        {
            positional.push_back(arg);
            continue;
        }
        if (arg == "--")
        {
            optionsEnded = true;
            continue;
        }

        const OptionRow* row = nullptr;
        std::string inlineValue;
        bool hasInlineValue = false;
        if (arg.compare(0, 2, "--") == 0)
        {
            const size_t equals = arg.find('=');
            row = findLong(arg.substr(2, equals == std::string::npos ? std::string::npos : equals - 2));
            if (equals != std::string::npos)
            {
                inlineValue = arg.substr(equals + 1);
                hasInlineValue = true;
            }
        }
        else
        {
            row = findShort(arg[1]);
            if (arg.size() > 2)
            {
                inlineValue = arg.substr(2);
                hasInlineValue = true;
            }
            if (row != nullptr && row->valueName == nullptr && hasInlineValue)
            {
                row = nullptr; // "-hx" is not an option of ours
            }
        }
        if (row == nullptr)
        {
            result.error = "unknown option '" + arg + "'";
            return result;
        }

        std::string value;
        if (row->valueName == nullptr)
        {
            if (hasInlineValue)
            {
                result.error = "option " + displayName(*row) + " takes no value";
                return result;
            }
        }
        else if (hasInlineValue)
        {
            value = inlineValue;
        }
        else if (i + 1 < args.size() &&
                 (!looksLikeOption(args[i + 1]) || looksLikeNegativeNumber(args[i + 1])))
        {
            value = args[++i];
        }
        else
        {
            // A following option is taken as a forgotten value, not as a file name starting with '-'.
            result.error = "option " + displayName(*row) + " needs a value (" + row->valueName + ")";
            return result;
        }

        const std::string error = row->apply(options, *row, value);
        if (!error.empty())
        {
            result.error = error;
            return result;
        }
        profileGiven = profileGiven || row->apply == parseProfile;
    }

    if (options.help || options.listProfiles)
    {
        return result;
    }
    if (profileGiven && !options.profilePath.empty())
    {
        result.error = "--profile and --profile-file exclude each other";
        return result;
    }
    if (options.profileFileIndex && options.profilePath.empty())
    {
        result.error = "--index selects a record of a --profile-file, which is missing";
        return result;
    }
    if (options.demo && !positional.empty())
    {
        // A lone argument after --demo could be meant as the output; refuse it rather than risk
        // overwriting a file the user meant as input.
        result.error =
            "--demo takes no INPUT or OUTPUT argument ('" + positional[0] + "'); name the output with -o";
        return result;
    }
    if (positional.size() > 2)
    {
        result.error = "unexpected argument '" + positional[2] + "' (at most INPUT and OUTPUT)";
        return result;
    }
    if (positional.size() == 2)
    {
        if (!options.outputPath.empty())
        {
            result.error = "output given twice: '" + positional[1] + "' and -o '" + options.outputPath + "'";
            return result;
        }
        options.outputPath = positional[1];
    }
    for (const std::string& path : positional)
    {
        if (path.empty())
        {
            result.error = "empty file name argument";
            return result;
        }
    }
    if (positional.empty())
    {
        options.demo = true;
    }
    else
    {
        options.inputPath = positional[0];
    }
    return result;
}

std::string renderHelpText()
{
    std::ostringstream text;
    text << "Usage: ulmar-render [options] [INPUT [OUTPUT]]\n"
            "\n"
            "Masters an audio file with the VYK engine, by default with built-in profile 0\n"
            "(\"Master Shine\") and every control as the profile sets it, and reports sample peak,\n"
            "true peak, integrated loudness and loudness range of input and output, the chain's\n"
            "gain reduction, the latency trimmed and the speed.\n"
            "Without INPUT, masters a generated 30 s stereo demo signal.\n"
            "\n"
            "Options:\n";

    const auto namesOf = [](const OptionRow& row)
    {
        std::string names = "  ";
        names += row.shortName != 0 ? std::string("-") + row.shortName + ", " : std::string("    ");
        names += std::string("--") + row.longName;
        if (row.valueName != nullptr)
        {
            names += std::string(" ") + row.valueName;
        }
        return names;
    };
    size_t helpColumn = 0;
    for (const OptionRow& row : kOptions)
    {
        helpColumn = std::max(helpColumn, namesOf(row).size() + 2);
    }
    for (const OptionRow& row : kOptions)
    {
        std::string names = namesOf(row);
        names.resize(helpColumn, ' ');
        std::string help = row.help;
        if (row.control != kNoControl)
        {
            help += " " + controlRangeText(static_cast<ControlId>(row.control));
        }
        for (size_t at = help.find('\n'); at != std::string::npos; at = help.find('\n', at + 1))
        {
            help.insert(at + 1, helpColumn, ' ');
        }
        text << names << help << "\n";
    }

    text << "\n"
            "Controls act like the plug-in's parameters: each value is limited to its range and\n"
            "rounded to its step (with a warning when that changes it), and they are applied after\n"
            "the profile, in the plug-in's parameter order. Unset controls keep the profile's values.\n"
            "\n"
            "The output has exactly the input's length and timing: the engine runs at the input's\n"
            "sample rate, its processing delay is trimmed from the start and its tail flushed out.\n"
            "The same input and options always give the same output, bit for bit.\n"
            "\n"
            "INPUT is any file libsndfile reads (WAV, FLAC, AIFF, OGG, CAF, W64, ...), mono or\n"
            "stereo.\n"
            "OUTPUT defaults to <dir>/<stem>-mastered.<ext> beside INPUT (the input's extension when\n"
            "it names a format written here, else .wav), and to "
         << kDemoOutputName
         << " in the\n"
            "current directory for the demo. An existing OUTPUT (or report) is replaced only after a\n"
            "complete render; a failed run leaves no file behind.\n"
            "\n"
            "The output format follows OUTPUT's extension: wav, w64, rf64, aif/aiff/aifc, caf, au\n"
            "(32-bit float when INPUT is float in the same container, else 24-bit PCM),\n"
            "flac (24-bit), ogg/oga (Vorbis).\n"
            "\n"
            "The report goes to standard output, warnings and errors to standard error.\n"
            "\n"
            "Exit status:\n"
            "  0  success\n"
            "  1  usage error: unknown option, missing or bad option value, unknown profile or\n"
            "     output extension, INPUT, OUTPUT or report naming the same file\n"
            "  2  input/output error: missing or unreadable input, more than 2 channels, profile\n"
            "     file missing or without a valid record at the index, output not writable, write\n"
            "     or processing failure\n"
            "Interrupted by SIGINT, SIGTERM or SIGHUP, it removes its temporary files and then ends\n"
            "by that signal (status 130 for Ctrl-C in most shells).\n";
    return text.str();
}

std::string profileListText()
{
    std::string text;
    for (const EmbeddedProfile& profile : UlmarProfiles)
    {
        if (!profile.shown)
        {
            continue;
        }
        char line[128];
        std::snprintf(line, sizeof(line), "%2d  %s\n", profile.identifier - 1, profile.name);
        text += line;
    }
    return text;
}

} // namespace render
