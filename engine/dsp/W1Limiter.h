// Look-ahead brick-wall limiter. The detector gain (instant attack, exponential release) is smoothed
// by two box sums of 38 and 27 frames, a ramp spanning the 64 frames by which the audio is delayed,
// so a peak is fully attenuated by the time it leaves the delay line.
#pragma once

#include <cstdint>

constexpr int kW1LookAhead = 64; // frames of delay
constexpr int kW1FirstBoxLength = 38;
constexpr int kW1SecondBoxLength = 27;
constexpr int kW1BoxGain = kW1FirstBoxLength * kW1SecondBoxLength; // 1026: both sums at full gain
constexpr float kW1OutputLimit = 0.99996f;

struct W1Limiter
{
    float inputGain; // linear 0 .. 3.162278 (+10 dB), scales the detector
    float threshold; // linear 0.031623 .. 1 (-30 .. 0 dB)
    float clip;      // linear 0.031623 .. 1, level reached by a limited peak
    float release;   // ms, 1 .. 4000
    int32_t bypass;
    float detectorScale;      // inputGain / threshold
    float outputScale;        // clip / (1026 threshold)
    float releaseCoefficient; // 0.1 ^ (1 / (sampleRate * release / 1000))
};
static_assert(sizeof(W1Limiter) == 32, "W1Limiter is a 32-byte record");

struct W1LimiterState
{
    float peakTree[kW1LookAhead];  // sliding maximum of the last 64 detector values (63 cells used)
    float firstBox[kW1LookAhead];  // last gains
    float secondBox[kW1LookAhead]; // last first-sum values
    float delay[2][kW1LookAhead];  // audio per channel
    float s1;                      // running sum of the last 38 gains
    float s2;                      // running sum of the last 27 values of s1
    float exactS1;                 // restarted every 64 frames, then replaces s1 (no drift)
    float exactS2;                 // same for s2
    float gain;                    // release-smoothed target gain
    int32_t position;              // write position 0 .. 63
    int32_t framesSinceInit;       // saturates at the look-ahead: until then the box sums are still filling
};
static_assert(sizeof(W1LimiterState) == (5 * kW1LookAhead + 7) * 4,
              "W1LimiterState: floats, a position and a fill count");

/// Empty delay lines and sums, detector history 1.0, gain 1.0: the first 64 output frames are silent.
void W1LimiterInit(W1LimiterState* state);
/// Input gain clamped to 0 .. 3.162278, threshold and clip each to 0.031623 .. 1 (all linear).
/// Below the threshold audio leaves scaled by clip / threshold; limited peaks leave at clip / inputGain.
void W1LimiterSetInputGainAndThresholdAndClip(W1Limiter* limiter, float inputGain, float threshold,
                                              float clip);
/// Release in ms, clamped to 1 .. 4000: the time for the gain to cover 90 % of its way back.
void W1LimiterSetReleaseTime(W1Limiter* limiter, float ms, int sampleRate);
/// Recomputes the release coefficient for a new sample rate.
void W1LimiterUpdateCoeff(W1Limiter* limiter, int sampleRate);
void W1LimiterSetBypass(W1Limiter* limiter, int flag);
/// Limits `frames` frames from `input` into `output` (may be the same buffer), delayed by 64 frames.
/// channels 1: mono; any other value: interleaved stereo limited together by the larger magnitude.
/// `sideChain` (same layout) feeds the detector, or null for the input. Outputs are clamped to
/// +-0.99996. Returns the smallest smoothed gain of the block; bypassed: 1.0, output not written.
/// Audio thread.
float w1limit(int channels, W1LimiterState* state, const W1Limiter* limiter, const float* input,
              float* output, const float* sideChain, int frames);
