// Resonant low-pass biquad (Q sets the peak at the corner), one channel, direct form I.
#pragma once

struct ResonantLowPass
{
    float b0, b1, b2, a1, a2;
    float x1, x2, y1, y2; // history of the single channel
    float q;
    float frequency; // Hz
};
static_assert(sizeof(ResonantLowPass) == 44, "ResonantLowPass is a 44-byte record");

/// Recomputes the coefficients from the stored Q and frequency at `sampleRate` Hz; no clamping, so the
/// owner keeps 0 < frequency < sampleRate / 2 and Q > 0 for a meaningful filter.
void compute_rlpf(ResonantLowPass* filter, int sampleRate);
/// Filters `frames` consecutive mono samples in place. Audio thread.
void rlpf(ResonantLowPass* filter, float* samples, int frames);
