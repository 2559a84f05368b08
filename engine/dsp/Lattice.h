// Bell (peaking) section in lattice form: the input mixed with a second-order all-pass of itself.
// At the centre the all-pass returns -x, so the section's gain there is the current gain; far from
// it the all-pass returns x and the gain is 1. Gain changes above half a decibel are ramped.
#pragma once

#include <cstdint>

// Largest gain change applied per processed block while ramping (+0.5 dB as a linear step).
constexpr float kLatticeGainStep = 0.0592537262f;
constexpr int kLatticeChannels = 2;

struct LatticeFilter
{
    float gain;        // last requested gain, linear 0.1 .. 10
    int32_t frequency; // centre in Hz as last computed
    float q;           // Q in use (raised when the bandwidth would reach Nyquist)
    int32_t bypass;    // nonzero: the section leaves the samples untouched
    float targetGain;
    float currentGain;
    float gainStep;    // added once per processed block while ramping, 0 when idle
    int32_t smoothing; // 1: large gain changes are ramped
    float directMix;   // (1 + current gain) / 2
    float allPassMix;  // (1 - current gain) / 2
    float k2;          // all-pass coefficient (1 - t) / (1 + t), t = tan(w / (2 Q))
    float k1;          // all-pass coefficient -(1 + k2) cos(w)
};
static_assert(sizeof(LatticeFilter) == 48, "LatticeFilter is a 48-byte record");

// Per-channel history: last two inputs and last two all-pass outputs.
struct LatticeState
{
    float x1, x2, y1, y2;
};
static_assert(sizeof(LatticeState) == 16, "LatticeState is four floats");

/// Clears the band's two channel histories `states[0..1]` and sets a transparent section:
/// gain 1, 850 Hz, Q 1.8, smoothing on, not bypassed.
void LatticeInit(LatticeFilter* filter, LatticeState* states, int sampleRate);
/// Clears the two channel histories `states[0..1]` and ends a gain ramp on its target (mixes included);
/// coefficients and settings stay. Audio thread, between blocks.
void LatticeResetAudio(LatticeFilter* filter, LatticeState* states);
/// Gain, linear, clamped to 0.1 .. 10 (-20 .. +20 dB). With smoothing on, changes larger than
/// kLatticeGainStep ramp by that step per processed block; smaller ones apply at once.
void LatticeSetGain(LatticeFilter* filter, float gain);
/// Centre in Hz (clamped to 28 .. 20000) and Q (clamped to 0.4 .. 8) at `sampleRate` Hz.
void LatticeSetFreqAndQ(LatticeFilter* filter, int frequency, int sampleRate, float q);
/// Unclamped coefficient design; Q is raised to 1.05 w / pi when w / Q would reach pi.
void computeBellFilter(LatticeFilter* filter, float frequency, float q, float sampleRate);
void LatticeSetBypass(LatticeFilter* filter, int flag);
/// Filters `frames` samples of one channel in place (`stride` floats apart) and advances the gain
/// ramp by one step. Audio thread.
void lattice(int stride, LatticeState* state, LatticeFilter* filter, float* samples, int frames);
