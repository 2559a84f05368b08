#include "RenderTestSupport.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <pty.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <sstream>

#ifndef ULMAR_RENDER_EXE
#error "ULMAR_RENDER_EXE must name the built ulmar-render binary"
#endif

namespace render_test
{
namespace fs = std::filesystem;

ScratchDirectory::ScratchDirectory()
{
    const char* base = std::getenv("TMPDIR");
    std::string pattern =
        std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/ulmar-render-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr)
    {
        ADD_FAILURE() << "cannot create a scratch directory from " << pattern;
    }
    mPath = pattern;
}

ScratchDirectory::~ScratchDirectory()
{
    std::error_code error;
    fs::permissions(mPath, fs::perms::owner_all, fs::perm_options::add, error);
    fs::remove_all(mPath, error);
}

std::vector<std::string> ScratchDirectory::listing() const
{
    std::vector<std::string> names;
    for (const fs::directory_entry& entry : fs::directory_iterator(mPath))
    {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<float> testSignal(int channels, int sampleRate, int frames)
{
    constexpr double kTwoPi = 6.283185307179586;
    std::vector<float> samples(static_cast<size_t>(frames) * channels);
    uint32_t noise = 12345u;
    for (int frame = 0; frame < frames; ++frame)
    {
        for (int channel = 0; channel < channels; ++channel)
        {
            noise = noise * 1664525u + 1013904223u;
            const double hiss = (static_cast<double>(noise >> 8) / 8388608.0 - 1.0) * 0.01;
            const double freqHz = channel == 0 ? 220.0 : 331.0;
            samples[static_cast<size_t>(frame) * channels + channel] =
                static_cast<float>(0.49 * std::sin(kTwoPi * freqHz * frame / sampleRate) + hiss);
        }
    }
    return samples;
}

void writeSamples(const std::string& path, int format, int channels, int sampleRate,
                  const std::vector<float>& samples)
{
    SF_INFO info = {};
    info.format = format;
    info.channels = channels;
    info.samplerate = sampleRate;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    ASSERT_NE(file, nullptr) << path << ": " << sf_strerror(nullptr);
    const sf_count_t frames = static_cast<sf_count_t>(samples.size()) / channels;
    EXPECT_EQ(sf_writef_float(file, samples.data(), frames), frames);
    EXPECT_EQ(sf_close(file), 0);
}

void writeTestFile(const std::string& path, int format, int channels, int sampleRate, int frames)
{
    writeSamples(path, format, channels, sampleRate, testSignal(channels, sampleRate, frames));
}

AudioData readAudio(const std::string& path)
{
    AudioData data;
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &data.info);
    if (file == nullptr)
    {
        ADD_FAILURE() << "cannot read " << path << ": " << sf_strerror(nullptr);
        return data;
    }
    data.samples.resize(static_cast<size_t>(data.info.frames) * data.info.channels);
    const sf_count_t got = sf_readf_float(file, data.samples.data(), data.info.frames);
    EXPECT_EQ(got, data.info.frames) << path;
    sf_close(file);
    return data;
}

int firstAudibleFrame(const AudioData& audio, int channel)
{
    const int channels = audio.info.channels;
    for (size_t frame = 0; frame * channels < audio.samples.size(); ++frame)
    {
        if (std::fabs(audio.samples[frame * channels + channel]) > 1e-4f)
        {
            return static_cast<int>(frame);
        }
    }
    return -1;
}

std::string readBytes(const std::string& path)
{
    std::ifstream stream(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>());
}

void writeBytes(const std::string& path, const std::string& bytes)
{
    std::ofstream stream(path, std::ios::binary);
    stream << bytes;
}

namespace
{

std::string readDescriptor(int descriptor)
{
    std::string text;
    char buffer[4096];
    for (;;)
    {
        const ssize_t got = read(descriptor, buffer, sizeof(buffer));
        if (got > 0)
        {
            text.append(buffer, static_cast<size_t>(got));
        }
        else if (got < 0 && errno == EINTR)
        {
            continue;
        }
        else
        {
            return text; // end of file, or EIO once a pseudo-terminal's other side is closed
        }
    }
}

int openScratchFile()
{
    char name[] = "/tmp/ulmar-render-output-XXXXXX";
    const int descriptor = mkstemp(name);
    unlink(name);
    return descriptor;
}

} // namespace

CommandResult runRender(const std::vector<std::string>& args, const RunSettings& settings)
{
    CommandResult result;
    const int outFile = openScratchFile();
    int errFile = -1;
    int terminal = -1;
    int terminalChild = -1;
    if (settings.stderrOnTerminal)
    {
        if (openpty(&terminal, &terminalChild, nullptr, nullptr, nullptr) != 0)
        {
            ADD_FAILURE() << "openpty failed";
            return result;
        }
    }
    else
    {
        errFile = openScratchFile();
    }

    std::vector<std::string> argvStrings = {ULMAR_RENDER_EXE};
    argvStrings.insert(argvStrings.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& arg : argvStrings)
    {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);

    const pid_t child = fork();
    if (child == 0)
    {
        const int nullInput = open("/dev/null", O_RDONLY);
        dup2(nullInput, STDIN_FILENO);
        dup2(outFile, STDOUT_FILENO);
        dup2(settings.stderrOnTerminal ? terminalChild : errFile, STDERR_FILENO);
        if (settings.stderrOnTerminal)
        {
            close(terminal);
        }
        if (!settings.workingDirectory.empty() && chdir(settings.workingDirectory.c_str()) != 0)
        {
            _exit(126);
        }
        if (settings.fileSizeLimitBytes > 0)
        {
            // Writes past the limit then fail with EFBIG instead of killing the process.
            std::signal(SIGXFSZ, SIG_IGN);
            const rlimit limit = {static_cast<rlim_t>(settings.fileSizeLimitBytes),
                                  static_cast<rlim_t>(settings.fileSizeLimitBytes)};
            setrlimit(RLIMIT_FSIZE, &limit);
        }
        execv(argv[0], argv.data());
        _exit(127);
    }

    if (settings.stderrOnTerminal)
    {
        close(terminalChild);
        result.err = readDescriptor(terminal);
        close(terminal);
    }
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR)
    {
    }
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);

    lseek(outFile, 0, SEEK_SET);
    result.out = readDescriptor(outFile);
    close(outFile);
    if (errFile >= 0)
    {
        lseek(errFile, 0, SEEK_SET);
        result.err = readDescriptor(errFile);
        close(errFile);
    }
    return result;
}

int countLines(const std::string& text)
{
    int lines = static_cast<int>(std::count(text.begin(), text.end(), '\n'));
    if (!text.empty() && text.back() != '\n')
    {
        ++lines;
    }
    return lines;
}

namespace
{

// Recursive-descent recogniser of the JSON grammar; `at` advances over what it accepts.
class JsonRecogniser
{
  public:
    explicit JsonRecogniser(const std::string& text) : mText(text) {}

    bool document()
    {
        if (!value())
        {
            return false;
        }
        skipSpace();
        return mAt == mText.size();
    }

  private:
    void skipSpace()
    {
        while (mAt < mText.size() && std::strchr(" \t\r\n", mText[mAt]) != nullptr)
        {
            ++mAt;
        }
    }

    bool take(char c)
    {
        skipSpace();
        if (mAt < mText.size() && mText[mAt] == c)
        {
            ++mAt;
            return true;
        }
        return false;
    }

    bool word(const char* literal)
    {
        const size_t length = std::strlen(literal);
        if (mText.compare(mAt, length, literal) != 0)
        {
            return false;
        }
        mAt += length;
        return true;
    }

    bool string()
    {
        if (!take('"'))
        {
            return false;
        }
        while (mAt < mText.size())
        {
            const auto c = static_cast<unsigned char>(mText[mAt++]);
            if (c == '"')
            {
                return true;
            }
            if (c < 0x20)
            {
                return false;
            }
            if (c == '\\')
            {
                if (mAt >= mText.size())
                {
                    return false;
                }
                const char escaped = mText[mAt++];
                if (escaped == 'u')
                {
                    for (int i = 0; i < 4; ++i, ++mAt)
                    {
                        if (mAt >= mText.size() || !std::isxdigit(static_cast<unsigned char>(mText[mAt])))
                        {
                            return false;
                        }
                    }
                }
                else if (std::strchr("\"\\/bfnrt", escaped) == nullptr || escaped == '\0')
                {
                    return false;
                }
            }
        }
        return false;
    }

    bool number()
    {
        static const std::regex pattern(R"(-?(0|[1-9][0-9]*)(\.[0-9]+)?([eE][+-]?[0-9]+)?)");
        std::smatch match;
        const std::string rest = mText.substr(mAt, 40);
        if (!std::regex_search(rest, match, pattern, std::regex_constants::match_continuous))
        {
            return false;
        }
        mAt += static_cast<size_t>(match.length(0));
        return true;
    }

    bool value()
    {
        skipSpace();
        if (mAt >= mText.size())
        {
            return false;
        }
        switch (mText[mAt])
        {
        case '{':
            return members('}', true);
        case '[':
            return members(']', false);
        case '"':
            return string();
        case 't':
            return word("true");
        case 'f':
            return word("false");
        case 'n':
            return word("null");
        default:
            return number();
        }
    }

    bool members(char close, bool named)
    {
        ++mAt;
        if (take(close))
        {
            return true;
        }
        do
        {
            if (named && !(string() && take(':')))
            {
                return false;
            }
            if (!value())
            {
                return false;
            }
        } while (take(','));
        return take(close);
    }

    const std::string& mText;
    size_t mAt = 0;
};

} // namespace

bool isValidJson(const std::string& text)
{
    return JsonRecogniser(text).document();
}

} // namespace render_test
