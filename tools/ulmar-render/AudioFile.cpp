#include "AudioFile.h"

#include "RenderError.h"

#include <fcntl.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

namespace render
{
namespace fs = std::filesystem;

namespace
{

struct ContainerName
{
    const char* extension;
    int majorFormat;
};

// Containers the renderer writes, by extension; the first row of a format gives its default name.
const ContainerName kContainers[] = {
    {"wav", SF_FORMAT_WAV},   {"w64", SF_FORMAT_W64},   {"rf64", SF_FORMAT_RF64}, {"aiff", SF_FORMAT_AIFF},
    {"aif", SF_FORMAT_AIFF},  {"aifc", SF_FORMAT_AIFF}, {"caf", SF_FORMAT_CAF},   {"au", SF_FORMAT_AU},
    {"flac", SF_FORMAT_FLAC}, {"ogg", SF_FORMAT_OGG},   {"oga", SF_FORMAT_OGG},
};

std::string lowerCase(std::string text)
{
    for (char& c : text)
    {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return text;
}

// WAVE_FORMAT_EXTENSIBLE files are WAV files to anyone choosing an output format.
int containerOf(int format)
{
    const int major = format & SF_FORMAT_TYPEMASK;
    return major == SF_FORMAT_WAVEX ? SF_FORMAT_WAV : major;
}

bool isFloatFormat(int format)
{
    const int subtype = format & SF_FORMAT_SUBMASK;
    return subtype == SF_FORMAT_FLOAT || subtype == SF_FORMAT_DOUBLE;
}

std::string libraryFormatName(int format, int command)
{
    SF_FORMAT_INFO info = {};
    info.format = format;
    if (sf_command(nullptr, command, &info, sizeof(info)) == 0 && info.name != nullptr)
    {
        return info.name;
    }
    return "unknown";
}

std::string majorName(int format)
{
    switch (containerOf(format))
    {
    case SF_FORMAT_WAV:
        return "WAV";
    case SF_FORMAT_W64:
        return "W64";
    case SF_FORMAT_RF64:
        return "RF64";
    case SF_FORMAT_AIFF:
        return "AIFF";
    case SF_FORMAT_CAF:
        return "CAF";
    case SF_FORMAT_AU:
        return "AU";
    case SF_FORMAT_FLAC:
        return "FLAC";
    case SF_FORMAT_OGG:
        return "OGG";
    default:
        return libraryFormatName(format & SF_FORMAT_TYPEMASK, SFC_GET_FORMAT_INFO);
    }
}

std::string subtypeName(int format)
{
    const bool lossless = containerOf(format) == SF_FORMAT_FLAC;
    switch (format & SF_FORMAT_SUBMASK)
    {
    case SF_FORMAT_PCM_S8:
    case SF_FORMAT_PCM_U8:
        return lossless ? "8-bit" : "8-bit PCM";
    case SF_FORMAT_PCM_16:
        return lossless ? "16-bit" : "16-bit PCM";
    case SF_FORMAT_PCM_24:
        return lossless ? "24-bit" : "24-bit PCM";
    case SF_FORMAT_PCM_32:
        return "32-bit PCM";
    case SF_FORMAT_FLOAT:
        return "32-bit float";
    case SF_FORMAT_DOUBLE:
        return "64-bit float";
    case SF_FORMAT_VORBIS:
        return "Vorbis";
    default:
        return libraryFormatName(format & SF_FORMAT_SUBMASK, SFC_GET_FORMAT_INFO);
    }
}

std::string systemError(int error)
{
    return std::strerror(error);
}

std::string directoryOf(const std::string& path)
{
    const fs::path parent = fs::path(path).parent_path();
    return parent.empty() ? std::string(".") : parent.string();
}

// The destination's directory, after making sure a file can be created there by name.
std::string checkDestination(const std::string& destination, const std::string& what)
{
    std::error_code error;
    if (fs::is_directory(destination, error))
    {
        throw RenderError(what + " '" + destination + "' is a directory");
    }
    const std::string directory = directoryOf(destination);
    const fs::file_status directoryStatus = fs::status(directory, error);
    if (directoryStatus.type() == fs::file_type::not_found)
    {
        throw RenderError(what + " directory '" + directory + "' does not exist");
    }
    if (directoryStatus.type() != fs::file_type::directory)
    {
        throw RenderError(what + " directory '" + directory + "' is not a directory");
    }
    return directory;
}

} // namespace

int majorFormatForPath(const std::string& path)
{
    std::string extension = fs::path(path).extension().string();
    if (extension.size() < 2)
    {
        return 0;
    }
    extension = lowerCase(extension.substr(1));
    for (const ContainerName& container : kContainers)
    {
        if (extension == container.extension)
        {
            return container.majorFormat;
        }
    }
    return 0;
}

std::string writtenExtensions()
{
    std::string list;
    for (const ContainerName& container : kContainers)
    {
        list += (list.empty() ? "" : ", ") + std::string(container.extension);
    }
    return list;
}

int chooseOutputFormat(int outputMajor, int inputFormat)
{
    switch (outputMajor)
    {
    case SF_FORMAT_FLAC:
        return SF_FORMAT_FLAC | SF_FORMAT_PCM_24;
    case SF_FORMAT_OGG:
        return SF_FORMAT_OGG | SF_FORMAT_VORBIS;
    default:
        if (inputFormat != 0 && containerOf(inputFormat) == outputMajor && isFloatFormat(inputFormat))
        {
            return outputMajor | SF_FORMAT_FLOAT;
        }
        return outputMajor | SF_FORMAT_PCM_24;
    }
}

std::string describeFormat(int format)
{
    return majorName(format) + ", " + subtypeName(format);
}

std::string defaultOutputPath(const std::string& inputPath)
{
    const fs::path input(inputPath);
    const std::string extension = majorFormatForPath(inputPath) != 0 ? input.extension().string() : ".wav";
    const fs::path name = input.stem().string() + "-mastered" + extension;
    return (input.has_parent_path() ? input.parent_path() / name : name).string();
}

bool isSameFile(const std::string& first, const std::string& second)
{
    std::error_code error;
    const fs::path firstAbsolute = fs::absolute(first, error).lexically_normal();
    const fs::path secondAbsolute = fs::absolute(second, error).lexically_normal();
    if (firstAbsolute == secondAbsolute)
    {
        return true;
    }
    std::error_code firstError;
    std::error_code secondError;
    const fs::path firstResolved = fs::weakly_canonical(first, firstError);
    const fs::path secondResolved = fs::weakly_canonical(second, secondError);
    if (!firstError && !secondError && firstResolved == secondResolved)
    {
        return true;
    }
    // Hard links, bind mounts and the like: the same device and inode.
    const bool equivalent = fs::equivalent(first, second, error);
    return !error && equivalent;
}

std::string temporaryPathFor(const std::string& destination)
{
    const fs::path path(destination);
    const fs::path name = "." + path.filename().string() + ".tmp-" + std::to_string(getpid());
    return (path.has_parent_path() ? path.parent_path() / name : name).string();
}

SoundFileReader::SoundFileReader(const std::string& path) : mPath(path)
{
    std::error_code error;
    const fs::file_status status = fs::status(path, error);
    if (status.type() == fs::file_type::not_found)
    {
        throw RenderError("input '" + path + "' does not exist");
    }
    if (status.type() == fs::file_type::directory)
    {
        throw RenderError("input '" + path + "' is a directory");
    }

    // Opened by descriptor so every name, even "-", means a file and never standard input.
    mDescriptor = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (mDescriptor < 0)
    {
        throw RenderError("cannot open input '" + path + "': " + systemError(errno));
    }
    mFile = sf_open_fd(mDescriptor, SFM_READ, &mInfo, SF_FALSE);
    if (mFile == nullptr)
    {
        const std::string reason = sf_strerror(nullptr);
        ::close(mDescriptor);
        throw RenderError("cannot read '" + path + "': " + reason);
    }
    if (mInfo.channels > 2)
    {
        const int channels = mInfo.channels;
        sf_close(mFile);
        ::close(mDescriptor);
        throw RenderError("input '" + path + "' has " + std::to_string(channels) +
                          " channels; only mono and stereo are supported");
    }
}

SoundFileReader::~SoundFileReader()
{
    sf_close(mFile);
    ::close(mDescriptor);
}

int SoundFileReader::read(float* interleaved, int frames)
{
    int total = 0;
    while (total < frames)
    {
        const sf_count_t got =
            sf_readf_float(mFile, interleaved + static_cast<size_t>(total) * mInfo.channels, frames - total);
        if (got <= 0)
        {
            break;
        }
        total += static_cast<int>(got);
    }
    if (total < frames && sf_error(mFile) != SF_ERR_NO_ERROR)
    {
        throw RenderError("cannot read '" + mPath + "': " + sf_strerror(mFile));
    }
    return total;
}

SoundFileWriter::SoundFileWriter(const std::string& destination, int format, int channels, int sampleRate)
    : mDestination(destination), mTemporaryPath(temporaryPathFor(destination))
{
    const std::string directory = checkDestination(destination, "output");

    SF_INFO info = {};
    info.samplerate = sampleRate;
    info.channels = channels;
    info.format = format;
    if (!sf_format_check(&info))
    {
        throw RenderError(describeFormat(format) + " cannot hold " + std::to_string(sampleRate) + " Hz " +
                          (channels == 1 ? "mono" : "stereo") + " audio ('" + destination + "')");
    }

    mDescriptor = ::open(mTemporaryPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (mDescriptor < 0)
    {
        throw RenderError("cannot write in '" + directory + "': " + systemError(errno));
    }
    mFile = sf_open_fd(mDescriptor, SFM_WRITE, &info, SF_FALSE);
    if (mFile == nullptr)
    {
        const std::string reason = sf_strerror(nullptr);
        closeQuietly();
        std::remove(mTemporaryPath.c_str());
        throw RenderError("cannot write '" + destination + "' as " + describeFormat(format) + ": " + reason);
    }
    // Integer formats clip overs instead of wrapping them around.
    sf_command(mFile, SFC_SET_CLIPPING, nullptr, SF_TRUE);
    // The PEAK chunk of float files carries the time of writing; without it, the same render gives
    // the same bytes.
    sf_command(mFile, SFC_SET_ADD_PEAK_CHUNK, nullptr, SF_FALSE);
}

SoundFileWriter::~SoundFileWriter()
{
    closeQuietly();
    if (!mCommitted)
    {
        std::remove(mTemporaryPath.c_str());
    }
}

void SoundFileWriter::write(const float* interleaved, int frames)
{
    if (sf_writef_float(mFile, interleaved, frames) != frames)
    {
        throw RenderError("cannot write '" + mDestination + "': " + sf_strerror(mFile));
    }
}

void SoundFileWriter::close()
{
    const int closeError = sf_close(mFile);
    mFile = nullptr;
    if (closeError != SF_ERR_NO_ERROR)
    {
        throw RenderError("cannot write '" + mDestination + "': " + sf_error_number(closeError));
    }
    // Synced before the rename, so a crash never leaves an empty file under the final name.
    int reason = ::fsync(mDescriptor) == 0 ? 0 : errno;
    if (::close(mDescriptor) != 0 && reason == 0)
    {
        reason = errno;
    }
    mDescriptor = -1;
    if (reason != 0)
    {
        throw RenderError("cannot write '" + mDestination + "': " + systemError(reason));
    }
}

void SoundFileWriter::commit()
{
    if (std::rename(mTemporaryPath.c_str(), mDestination.c_str()) != 0)
    {
        throw RenderError("cannot replace '" + mDestination + "': " + systemError(errno));
    }
    mCommitted = true;
}

void SoundFileWriter::closeQuietly()
{
    if (mFile != nullptr)
    {
        sf_close(mFile);
        mFile = nullptr;
    }
    if (mDescriptor >= 0)
    {
        ::close(mDescriptor);
        mDescriptor = -1;
    }
}

TextFileWriter::TextFileWriter(const std::string& destination, const std::string& what)
    : mDestination(destination), mWhat(what), mTemporaryPath(temporaryPathFor(destination))
{
    const std::string directory = checkDestination(destination, what);
    mDescriptor = ::open(mTemporaryPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (mDescriptor < 0)
    {
        throw RenderError("cannot write in '" + directory + "': " + systemError(errno));
    }
}

TextFileWriter::~TextFileWriter()
{
    if (mDescriptor >= 0)
    {
        ::close(mDescriptor);
    }
    if (!mCommitted)
    {
        std::remove(mTemporaryPath.c_str());
    }
}

void TextFileWriter::write(const std::string& text)
{
    size_t done = 0;
    int reason = 0;
    while (done < text.size() && reason == 0)
    {
        const ssize_t count = ::write(mDescriptor, text.data() + done, text.size() - done);
        if (count > 0)
        {
            done += static_cast<size_t>(count);
        }
        else if (count < 0 && errno != EINTR)
        {
            reason = errno;
        }
    }
    if (reason == 0 && ::fsync(mDescriptor) != 0)
    {
        reason = errno;
    }
    if (::close(mDescriptor) != 0 && reason == 0)
    {
        reason = errno;
    }
    mDescriptor = -1;
    if (reason != 0)
    {
        throw RenderError("cannot write " + mWhat + " '" + mDestination + "': " + systemError(reason));
    }
}

void TextFileWriter::commit()
{
    if (std::rename(mTemporaryPath.c_str(), mDestination.c_str()) != 0)
    {
        throw RenderError("cannot replace '" + mDestination + "': " + systemError(errno));
    }
    mCommitted = true;
}

} // namespace render
