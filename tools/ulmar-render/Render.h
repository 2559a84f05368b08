// The render itself: input file or demo signal -> engine instance 0 in fixed-size blocks -> output
// file, with both ends measured.
#pragma once

#include "Loudness.h"
#include "RenderOptions.h"

#include <string>

namespace render
{

constexpr int kEngineInstance = 0;

struct RenderPlan
{
    std::string inputPath; // empty: the demo signal
    std::string outputPath;
    int outputMajorFormat = 0; // libsndfile container from the output's extension
    int blockFrames = kDefaultBlockFrames;
};

/// Resolves the output name and container from the options without opening any audio file.
/// Throws RenderError with kExitUsageError for an unknown output extension, or when INPUT and OUTPUT
/// name the same file.
RenderPlan planRender(const RenderOptions& options);

/// Hooks for the command line around a render; the default does nothing and never stops.
class RenderObserver
{
  public:
    virtual ~RenderObserver() = default;
    /// Once the input is open: its length in frames (0 when unknown) and sample rate.
    virtual void started(long long totalFrames, int sampleRate);
    /// After each processed chunk of a few thousand frames.
    virtual void progressed(long long framesDone);
    /// A signal number to stop at the next chunk (the output is then discarded), or 0 to go on.
    virtual int stopSignal();
};

struct RenderReport
{
    std::string inputName;
    std::string inputFormat;
    std::string outputPath;
    std::string outputFormat;
    int sampleRate = 0;
    int channels = 0;
    int blockFrames = 0;
    long long frames = 0;
    double engineSeconds = 0.0; // wall time inside the engine's process calls only
    LoudnessResult input = {};
    LoudnessResult output = {}; // measured on the written file, read back
};

/// Runs the plan. The destination appears only complete: the audio goes to a temporary file beside
/// it, which is read back, measured and then renamed. Throws RenderError (exit code 1) on failure,
/// RenderInterrupted when the observer asks to stop; either way no output or temporary file remains.
RenderReport executeRender(const RenderPlan& plan, RenderObserver& observer);

} // namespace render
