#include "RenderOptions.h"

#include "DemoSignal.h"

#include <algorithm>
#include <charconv>
#include <sstream>

namespace render
{
namespace
{

using ApplyFunction = std::string (*)(RenderOptions& options, const std::string& value);

struct OptionRow
{
    char shortName;        // 0: long form only
    const char* longName;  // without the leading "--"
    const char* valueName; // null for a flag
    const char* help;      // lines after the first are indented to the help column
    ApplyFunction apply;   // returns an error message, empty when the value is accepted
};

std::string parseBlockFrames(RenderOptions& options, const std::string& value)
{
    int frames = 0;
    const char* first = value.data();
    const char* last = value.data() + value.size();
    const auto [end, error] = std::from_chars(first, last, frames);
    if (value.empty() || error != std::errc() || end != last || frames < 1 || frames > kMaxBlockFrames)
    {
        return "--block needs a whole number of frames from 1 to " + std::to_string(kMaxBlockFrames) +
               ", got '" + value + "'";
    }
    options.blockFrames = frames;
    return {};
}

// Options that later steer the engine (profiles, tone and dynamics controls) are further rows here.
const OptionRow kOptions[] = {
    {'o', "output", "PATH", "write to PATH (instead of a second argument)",
     [](RenderOptions& options, const std::string& value)
     {
         options.outputPath = value;
         return value.empty() ? std::string("empty output file name") : std::string();
     }},
    {0, "demo", nullptr, "master the generated 30 s demo signal (also when no INPUT is given)",
     [](RenderOptions& options, const std::string&)
     {
         options.demo = true;
         return std::string();
     }},
    {0, "block", "N", "frames per engine call, 1 to 2048 (default 512)", parseBlockFrames},
    {0, "quiet", nullptr, "no progress bar",
     [](RenderOptions& options, const std::string&)
     {
         options.quiet = true;
         return std::string();
     }},
    {'h', "help", nullptr, "show this help and exit",
     [](RenderOptions& options, const std::string&)
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

std::string displayName(const OptionRow& row)
{
    return std::string("--") + row.longName;
}

} // namespace

ParseResult parseRenderOptions(const std::vector<std::string>& args)
{
    ParseResult result;
    RenderOptions& options = result.options;
    std::vector<std::string> positional;
    bool optionsEnded = false;

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

        const std::string error = row->apply(options, value);
        if (!error.empty())
        {
            result.error = error;
            return result;
        }
    }

    if (options.help)
    {
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
            "Masters an audio file with the VYK engine (instance 0, built-in profile 0) and prints\n"
            "sample peak, true peak and integrated loudness of input and output.\n"
            "Without INPUT, masters a generated 30 s stereo demo signal.\n"
            "\n"
            "Options:\n";

    constexpr size_t kHelpColumn = 22;
    for (const OptionRow& row : kOptions)
    {
        std::string names = "  ";
        names += row.shortName != 0 ? std::string("-") + row.shortName + ", " : std::string("    ");
        names += std::string("--") + row.longName;
        if (row.valueName != nullptr)
        {
            names += std::string(" ") + row.valueName;
        }
        names.resize(std::max(names.size() + 2, kHelpColumn), ' ');
        std::string help = row.help;
        for (size_t at = help.find('\n'); at != std::string::npos; at = help.find('\n', at + 1))
        {
            help.insert(at + 1, kHelpColumn, ' ');
        }
        text << names << help << "\n";
    }

    text << "\n"
            "INPUT is any file libsndfile reads (WAV, FLAC, AIFF, OGG, CAF, W64, ...), mono or\n"
            "stereo, processed at its own sample rate.\n"
            "OUTPUT defaults to <dir>/<stem>-mastered.<ext> beside INPUT (the input's extension when\n"
            "it names a format written here, else .wav), and to "
         << kDemoOutputName
         << " in the\n"
            "current directory for the demo. An existing OUTPUT is replaced only after a complete\n"
            "render; a failed run leaves no file behind.\n"
            "\n"
            "The output format follows OUTPUT's extension: wav, w64, rf64, aif/aiff/aifc, caf, au\n"
            "(32-bit float when INPUT is float in the same container, else 24-bit PCM),\n"
            "flac (24-bit), ogg/oga (Vorbis).\n"
            "\n"
            "A progress bar is shown on standard error for inputs longer than 5 s when it is a\n"
            "terminal. The report goes to standard output.\n"
            "\n"
            "Exit status:\n"
            "  0  success\n"
            "  1  runtime error: missing or unreadable input, more than 2 channels, output not\n"
            "     writable, write or processing failure\n"
            "  2  usage error: unknown option, missing or bad option value, unknown output\n"
            "     extension, INPUT and OUTPUT naming the same file\n"
            "Interrupted by SIGINT, SIGTERM or SIGHUP, it removes its temporary file and then ends\n"
            "by that signal (status 130 for Ctrl-C in most shells).\n";
    return text.str();
}

} // namespace render
