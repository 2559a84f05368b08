// The seven user controls of the plug-in and their mapping onto the engine facade, shared by the
// plug-in processor and the command-line renderer so that both always agree. No JUCE here.
#pragma once

#include <optional>
#include <string>
#include <string_view>

class VYKLib;

enum ControlId : int
{
    kControlBypassed,       // 0: engine runs, 1: chain bypassed
    kControlDrive,          // input gain, dB
    kControlCeiling,        // output limiter / clipper level, dB
    kControlLowGain,        // bass tone relative to the profile, dB
    kControlHighGain,       // treble tone relative to the profile, dB
    kControlStereoWide,     // stereo widener side gain, dB
    kControlStereoBypassed, // 0: widener bypassed, 1: widener on
    kNumControls
};

struct ControlSpec
{
    const char* id;    // host parameter ID, frozen
    const char* name;  // host-visible name
    const char* label; // host-visible label (may be empty)
    float minimum;
    float maximum;
    float step;
    bool isSwitch; // shown with the switch texts rather than as a number
};

/// Metadata of the controls, in host parameter order (the order fixes the host's indices).
extern const ControlSpec kControlSpecs[kNumControls];

/// Control whose ID matches, ignoring letter case; none for an unknown ID.
std::optional<ControlId> findControl(std::string_view id);

/// 10^(0.05 v) for v > -100 dB, else 0.
float gainFromDb(float db);
/// 20 log10(x) limited below to -100 dB; -100 for x <= 0.
float dbFromGain(float gain);

/// Clamps to the control's range and rounds to its step, as the host parameter does.
float snapToControl(ControlId control, float value);

/// Switch text: "Enabled" for exactly 0, otherwise "Bypassed".
const char* bypassText(float value);
/// Number in general notation with at most six significant digits, no trailing zeros, no unit.
std::string valueText(float value);

/// Applies control `control` at value v (real, not normalised) to the facade.
void applyControl(VYKLib& lib, ControlId control, float value);

/// The facade's current value of `control` in the control's units; none where the engine has no
/// counterpart (the ceiling of an output compressor that is neither limiter nor clipper).
std::optional<float> readControl(const VYKLib& lib, ControlId control);
