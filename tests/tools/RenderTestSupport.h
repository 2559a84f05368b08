// Shared helpers of the renderer tests: scratch directories, generated audio files, and running the
// built ulmar-render binary.
#pragma once

#include <sndfile.h>

#include <string>
#include <vector>

namespace render_test
{

/// A fresh directory under $TMPDIR (or /tmp), removed with everything in it on destruction.
class ScratchDirectory
{
  public:
    ScratchDirectory();
    ~ScratchDirectory();
    ScratchDirectory(const ScratchDirectory&) = delete;
    ScratchDirectory& operator=(const ScratchDirectory&) = delete;

    const std::string& path() const { return mPath; }
    std::string file(const std::string& name) const { return mPath + "/" + name; }
    /// Every entry's name, hidden ones included, sorted.
    std::vector<std::string> listing() const;

  private:
    std::string mPath;
};

struct AudioData
{
    SF_INFO info = {};
    std::vector<float> samples; // interleaved
};

/// A deterministic test signal: a different sine per channel plus a little noise, peaking near
/// -6 dBFS.
std::vector<float> testSignal(int channels, int sampleRate, int frames);

/// Writes interleaved `samples` to `path` in `format` (complete libsndfile format), floats
/// unscaled; fails the test on error.
void writeSamples(const std::string& path, int format, int channels, int sampleRate,
                  const std::vector<float>& samples);

/// Writes testSignal() to `path` in `format`.
void writeTestFile(const std::string& path, int format, int channels, int sampleRate, int frames);

/// First frame of `channel` whose sample stands out from silence (above -80 dBFS); -1 when none.
int firstAudibleFrame(const AudioData& audio, int channel);

/// Reads a whole file as floats; fails the test (and returns empty data) when it cannot.
AudioData readAudio(const std::string& path);

std::string readBytes(const std::string& path);
void writeBytes(const std::string& path, const std::string& bytes);

struct CommandResult
{
    int exitCode = -1; // 128 + signal number when killed by a signal
    std::string out;
    std::string err;
};

struct RunSettings
{
    std::string workingDirectory;  // empty: the test's own
    long fileSizeLimitBytes = 0;   // RLIMIT_FSIZE for the child, 0 for none
    bool stderrOnTerminal = false; // standard error on a pseudo-terminal instead of a pipe
};

/// Runs the built ulmar-render with `args` and collects its exit code and output.
CommandResult runRender(const std::vector<std::string>& args, const RunSettings& settings = {});

/// Number of lines in `text`, counting a last line without newline.
int countLines(const std::string& text);

/// True when `text` is exactly one JSON value (RFC 8259 syntax), surrounded by white space at most.
bool isValidJson(const std::string& text);

} // namespace render_test
