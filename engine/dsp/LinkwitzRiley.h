// Fourth-order Linkwitz-Riley low-pass or high-pass: two identical Butterworth biquads (Q = 1/sqrt 2)
// in cascade, -6 dB at the crossover. A low-pass and a high-pass at the same frequency are in phase
// everywhere and sum to an all-pass.
#pragma once

#include <cstdint>

constexpr int kLinkwitzRileyChannels = 2;

struct LinkwitzRileyFilter
{
    int32_t frequency; // Hz as limited by the coefficient routine
    int32_t isLowPass; // 1: low-pass, 0: high-pass
    int32_t bypass;
    float b0, b1, b2, a1, a2; // shared by both cascaded biquads
};
static_assert(sizeof(LinkwitzRileyFilter) == 32, "LinkwitzRileyFilter is a 32-byte record");

// Per-channel history of both biquads.
struct LinkwitzRileyState
{
    float x1, x2, y1, y2; // first biquad
    float u1, u2;         // first biquad's last outputs, input history of the second
    float z1, z2;         // second biquad
};
static_assert(sizeof(LinkwitzRileyState) == 32, "LinkwitzRileyState is eight floats");

/// Clears the two channel histories `states[0..1]` and the coefficients (the section outputs silence
/// until a frequency is set); low-pass, not bypassed; the frequency field is kept.
void LinkwitzRileyInit(LinkwitzRileyFilter* filter, LinkwitzRileyState* states);
/// Crossover in Hz, clamped to 20 .. 20000 (then to sampleRate / 2 - 100); isLowPass 1 or 0.
void LinkwitzRileyFilterSetFreqAndIsLowPass(LinkwitzRileyFilter* filter, int frequency, int sampleRate,
                                            int isLowPass);
/// Low-pass biquad at min(sampleRate / 2 - 100, frequency) truncated to whole Hz, at least 20 Hz.
void compute_LinkwitzRiley_lp(float frequency, LinkwitzRileyFilter* filter, float sampleRate);
/// High-pass counterpart of compute_LinkwitzRiley_lp.
void compute_LinkwitzRiley_hp(float frequency, LinkwitzRileyFilter* filter, float sampleRate);
void LinkwitzRileyFilterSetBypass(LinkwitzRileyFilter* filter, int flag);
/// Filters `frames` samples of one channel from `input` into the same positions of `output`
/// (`stride` floats apart; may be the same buffer). Bypassed: `output` is not written. Audio thread.
void linkwitzRiley(int stride, LinkwitzRileyState* state, const LinkwitzRileyFilter* filter,
                   const float* input, float* output, int frames);
