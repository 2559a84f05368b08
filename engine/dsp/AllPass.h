// Second-order all-pass (direct form I): unit magnitude everywhere, -180 degrees at its frequency.
// The record carries the histories of both channels.
#pragma once

#include <cstdint>

struct AllPassHistory
{
    float x1, x2, y1, y2;
};

struct AllPassFilter
{
    int32_t frequency; // Hz, 28 .. 20000
    float q;           // 0.1 .. 8
    int32_t bypass;
    float b0, b1, b2, a1, a2;
    AllPassHistory history[2]; // channel 0, channel 1
};
static_assert(sizeof(AllPassFilter) == 64, "AllPassFilter is a 64-byte record");

/// Clears the whole record: settings, coefficients and both histories.
void AllPassInit(AllPassFilter* filter);
/// Frequency in Hz, clamped to 28 .. 20000; coefficients recomputed with the stored Q.
void AllPassSetFreq(AllPassFilter* filter, int frequency, int sampleRate);
/// Q, clamped to 0.1 .. 8; coefficients recomputed with the stored frequency.
void AllPassSetQuality(AllPassFilter* filter, int sampleRate, float q);
/// Coefficients from the arguments; the stored frequency and Q are left alone.
void computeAllPass(AllPassFilter* filter, float frequency, float q, float sampleRate);
void AllPassSetBypass(AllPassFilter* filter, int flag);
/// Filters `frames` samples of one channel from `input` into `output` (`stride` floats apart, may be the
/// same buffer) with the history of `channel` (0, anything else selects 1). Bypassed: `output` is not
/// written. Audio thread.
void allPass(int stride, int channel, AllPassFilter* filter, const float* input, float* output, int frames);
