// How the renderer sets up its engine instance (profile, then the seven user controls through the
// plug-in's own mapping) and reads the chain's gain reduction from the meters.
#pragma once

#include "ControlMapping.h"

#include "vyk.h"

#include <optional>
#include <string>
#include <vector>

namespace render
{

struct ProfileChoice
{
    int builtIn = 0;      // built-in profile 0..19, used when filePath is empty
    std::string filePath; // a profile file in any of the five record layouts
    int fileIndex = 0;    // record of that file, counting from 0
};

struct ControlSetting
{
    ControlId control;
    float given;   // as on the command line
    float applied; // limited to the control's range and rounded to its step
};

/// The controls that were given, in the plug-in's parameter order, each clamped and stepped exactly
/// like the plug-in's parameter.
std::vector<ControlSetting> settleControls(const std::optional<float> (&given)[kNumControls]);

/// One-line warning when clamping or stepping changed a value; empty when it was used as given.
std::string adjustmentWarning(const ControlSetting& setting);

/// The value as the report shows it: "1.5 dB", "on", "off".
std::string appliedText(const ControlSetting& setting);

/// Sets the rate, loads the profile and applies the controls, in that order, as the plug-in would.
/// Throws RenderError (input/output) when the profile file is missing or has no valid record at
/// the index. Returns warnings about controls that have no effect with this profile.
std::vector<std::string> configureEngine(VYKLib& lib, int sampleRate, const ProfileChoice& profile,
                                         const std::vector<ControlSetting>& controls);

/// The meters that make up the chain's gain reduction: the gain of every multiband band in use,
/// the bass AGC gain and the output limiter gain. Read once, after configuration.
class ChainReductionMeter
{
  public:
    explicit ChainReductionMeter(const VYKLib& lib);

    /// Linear gain of the chain for the block the meters describe (1 = no reduction). Meters that
    /// read zero or are not finite carry no figure (a module that has not measured yet) and are
    /// skipped; 1 when none is left.
    float chainGain(const MetersBlock& meters) const;

    /// Adds one block: its chain gain from the meters, weighted by its length.
    void addBlock(const MetersBlock& meters, int frames);

    /// Largest and mean reduction in dB over the blocks added (0 when none); reductions are
    /// positive, and a gain above 1 counts as no reduction.
    double largestReductionDb() const { return mLargestDb; }
    double meanReductionDb() const;

  private:
    bool mBandInUse[kNumBands] = {};
    bool mChainRuns = true; // a bypassed chain leaves its meters untouched
    double mLargestDb = 0.0;
    double mWeightedSumDb = 0.0;
    long long mFrames = 0;
};

} // namespace render
