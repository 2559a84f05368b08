// The render itself: input file or demo signal -> one engine instance (through the VYKLib facade,
// set up like the plug-in) in fixed-size blocks -> output file, with both ends measured.
#pragma once

#include "EngineSetup.h"
#include "Loudness.h"
#include "RenderOptions.h"

#include <string>
#include <vector>

namespace render
{

struct RenderPlan
{
    std::string inputPath; // empty: the demo signal
    std::string outputPath;
    int outputMajorFormat = 0; // libsndfile container from the output's extension
    int blockFrames = kDefaultBlockFrames;
    ProfileChoice profile;
    std::vector<ControlSetting> controls; // clamped and stepped, in parameter order
    double prerollSeconds = 0.0;
    std::string reportPath;            // empty: no JSON report
    std::vector<std::string> warnings; // one line each: control values that clamping or stepping changed
};

/// Resolves the output name and container and settles the control values, without opening any
/// file. Throws RenderError with kExitUsageError for an unknown output extension, or when two of
/// INPUT, OUTPUT and the report name the same file.
RenderPlan planRender(const RenderOptions& options);

/// Hooks for the command line around a render; the default does nothing and never stops.
class RenderObserver
{
  public:
    virtual ~RenderObserver() = default;
    /// Once the input is open: its length in frames (0 when unknown) and sample rate.
    virtual void started(long long totalFrames, int sampleRate);
    /// After each chunk of a few thousand frames read.
    virtual void progressed(long long framesDone);
    /// A signal number to stop at the next chunk (the output is then discarded), or 0 to go on.
    virtual int stopSignal();
    /// A one-line warning found while setting up the engine.
    virtual void warning(const std::string& message);
};

struct RenderReport
{
    std::string inputName;
    std::string inputFormat;
    std::string outputPath;
    std::string outputFormat;
    std::string reportPath;
    int sampleRate = 0;
    int channels = 0;
    int blockFrames = 0;
    long long frames = 0;
    int engineVersion = 0;
    int engineInstance = 0;

    ProfileChoice profile;
    std::string profileName; // the built-in profile's name, or the file record's description
    std::vector<ControlSetting> controls;

    int latencyFrames = 0; // trimmed from the start, flushed at the end
    long long prerollFrames = 0;
    double engineSeconds = 0.0; // wall time inside the engine's process calls only
    double wallSeconds = 0.0;   // the whole render: reading, processing, measuring, writing
    LoudnessResult input = {};
    LoudnessResult output = {}; // the mastered audio as handed to the output file
    double largestReductionDb = 0.0;
    double meanReductionDb = 0.0;
};

/// Runs the plan. The destination (and the JSON report) appear only complete: each is written to a
/// temporary file beside it and renamed at the end. Throws RenderError (input/output) on failure,
/// RenderInterrupted when the observer asks to stop; either way no output or temporary file remains.
RenderReport executeRender(const RenderPlan& plan, RenderObserver& observer);

} // namespace render
