// First-order shelving section with its transition fixed near 1 kHz. Cuts run the input mixed with
// a first-order all-pass; boosts run the exact inverse of the cut with gain 1 / gain, so a boost
// and the matching cut cancel sample for sample.
#pragma once

#include <cstdint>

constexpr float kShelfMinGain = 0.251188487f; // -12 dB
constexpr float kShelfMaxGain = 3.98107171f;  // +12 dB

struct ShelfFilter
{
    float gain;         // requested gain, linear 0.2511885 .. 3.9810718
    int32_t isLowShelf; // 1: gain acts below the transition, 0: above
    int32_t bypass;
    float g;         // gain when cutting, 1 / gain when boosting
    float dm;        // (1 + g) / 2
    float am;        // (1 - g) / 2
    float a;         // all-pass coefficient (1 - t) / (1 + t), t = 1000 pi / sampleRate
    float boostNorm; // 2 / (g + 1 + s (1 - g) a), s = +1 low / -1 high; 0 while cutting
    float a2m1;      // a * a - 1
    float minusA;    // -a
    int32_t boost;   // 1: boost structure, 0: cut structure
};
static_assert(sizeof(ShelfFilter) == 44, "ShelfFilter is a 44-byte record");

// Per-channel history.
struct ShelfState
{
    float s;
};
static_assert(sizeof(ShelfState) == 4, "ShelfState is one float");

/// Gain, linear, clamped to 0.2511885 .. 3.9810718 (-12 .. +12 dB). Above 1 the boost structure is
/// used; compute_ShelfFilter_coef must have run before the first boost.
void ShelfSetGain(ShelfFilter* filter, float gain);
/// 1 = low shelf, 0 = high shelf; renormalises a boost.
void ShelfSetIsLowShelf(ShelfFilter* filter, int flag);
void ShelfSetBypass(ShelfFilter* filter, int flag);
int ShelfGetBypass(const ShelfFilter* filter);
/// The gain as stored by ShelfSetGain (after clamping).
float ShelfGetGain(const ShelfFilter* filter);
int ShelfGetIsLowShelf(const ShelfFilter* filter);
/// All-pass coefficient for `sampleRate` Hz; follow with compute_ShelfFilter_gs.
void compute_ShelfFilter_coef(ShelfFilter* filter, float sampleRate);
/// Recomputes the boost normalisation (does nothing while cutting).
void compute_ShelfFilter_gs(ShelfFilter* filter);
/// Filters `frames` samples of one channel in place, `stride` floats apart. Audio thread.
void shelf(int stride, ShelfState* state, const ShelfFilter* filter, float* samples, int frames);
