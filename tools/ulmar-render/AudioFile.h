// Audio files through libsndfile: output formats and names, a reader, and writers (audio and text)
// that only ever replace their destination with a complete file.
#pragma once

#include <sndfile.h>

#include <string>

namespace render
{

/// libsndfile major format written for a file name's extension (case-insensitive): wav, w64, rf64,
/// aif, aiff, aifc, caf, au, flac, ogg, oga. 0 when the extension names none of them.
int majorFormatForPath(const std::string& path);

/// The extensions majorFormatForPath() knows, for messages: "wav, w64, ...".
std::string writtenExtensions();

/// Complete libsndfile format for an output of container `outputMajor`. `inputFormat` is the input
/// file's format, or 0 for generated audio. Float when the input is float in the same container,
/// else 24-bit PCM; Vorbis for OGG.
int chooseOutputFormat(int outputMajor, int inputFormat);

/// Short human name of a libsndfile format, e.g. "WAV, 24-bit PCM" or "FLAC, 16-bit".
std::string describeFormat(int format);

/// `<dir>/<stem>-mastered.<ext>` beside the input: the input's extension when it names a format
/// written here, else "wav".
std::string defaultOutputPath(const std::string& inputPath);

/// True when both names reach the same file: equal after making them absolute and normal, equal
/// after resolving symbolic links, or (when both exist) the same file on disk.
bool isSameFile(const std::string& first, const std::string& second);

/// The hidden name a render writes to before renaming, in the destination's directory:
/// "dir/song.wav" -> "dir/.song.wav.tmp-<pid>".
std::string temporaryPathFor(const std::string& destination);

class SoundFileReader
{
  public:
    /// Opens `path` for reading; throws RenderError when it is missing, not a regular file, not in a
    /// format libsndfile reads, or has more than two channels.
    explicit SoundFileReader(const std::string& path);
    ~SoundFileReader();
    SoundFileReader(const SoundFileReader&) = delete;
    SoundFileReader& operator=(const SoundFileReader&) = delete;

    int channels() const { return mInfo.channels; }
    int sampleRate() const { return mInfo.samplerate; }
    int format() const { return mInfo.format; }
    /// Length stated by the file; the frames read may differ for damaged files.
    sf_count_t frames() const { return mInfo.frames; }

    /// Reads up to `frames` interleaved frames as floats (integer formats scaled to -1..1); fewer
    /// only at the end of the file. Throws RenderError when the file cannot be read.
    int read(float* interleaved, int frames);

  private:
    std::string mPath;
    int mDescriptor = -1;
    SNDFILE* mFile = nullptr;
    SF_INFO mInfo = {};
};

class SoundFileWriter
{
  public:
    /// Creates the temporary file beside `destination`; throws RenderError when the directory is
    /// missing or not writable, the destination is a directory, or the format cannot hold the audio.
    SoundFileWriter(const std::string& destination, int format, int channels, int sampleRate);
    /// Removes the temporary file unless commit() succeeded.
    ~SoundFileWriter();
    SoundFileWriter(const SoundFileWriter&) = delete;
    SoundFileWriter& operator=(const SoundFileWriter&) = delete;

    /// Appends interleaved frames; samples beyond full scale clip in integer formats.
    void write(const float* interleaved, int frames);
    /// Completes, syncs and closes the temporary file, which can then be read back.
    void close();
    /// Renames the closed temporary file onto the destination, replacing any file there.
    void commit();

    const std::string& temporaryPath() const { return mTemporaryPath; }

  private:
    void closeQuietly();

    std::string mDestination;
    std::string mTemporaryPath;
    int mDescriptor = -1;
    SNDFILE* mFile = nullptr;
    bool mCommitted = false;
};

class TextFileWriter
{
  public:
    /// Creates the temporary file beside `destination`, with the same checks and messages as
    /// SoundFileWriter; `what` names the file in them ("report").
    TextFileWriter(const std::string& destination, const std::string& what);
    /// Removes the temporary file unless commit() succeeded.
    ~TextFileWriter();
    TextFileWriter(const TextFileWriter&) = delete;
    TextFileWriter& operator=(const TextFileWriter&) = delete;

    /// Writes the whole text, syncs and closes the temporary file.
    void write(const std::string& text);
    /// Renames the written temporary file onto the destination.
    void commit();

  private:
    std::string mDestination;
    std::string mWhat;
    std::string mTemporaryPath;
    int mDescriptor = -1;
    bool mCommitted = false;
};

} // namespace render
