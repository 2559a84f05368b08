// Hard or soft clipper between an input gain and an output gain.
#pragma once

#include <cstdint>

constexpr int32_t kClipperHard = 1; // any other mode clips softly

struct Clipper
{
    int32_t mode;      // 1: hard clipping, otherwise soft (softclip)
    float thresholdDb; // clipping threshold, dB (0 or below)
    float inputGain;   // linear, 10 ^ (|thresholdDb| / 20)
    float outputDb;    // output level, dB
    float outputGain;  // linear, 10 ^ ((thresholdDb + outputDb) / 20)
};
static_assert(sizeof(Clipper) == 20, "Clipper is a 20-byte record");

/// 1: hard clipping; any other value: soft clipping.
void ClipperSetSoftHard(Clipper* clipper, int mode);
/// Threshold T in dB (T <= 0): small signals pass at the output level, peaks clip at T + output dB.
void ClipperSetThresh_dB(Clipper* clipper, float dB);
/// Output level in dB for small signals.
void ClipperSetOutput_dB(Clipper* clipper, float dB);
/// Input gain, linear (the dB fields are left as they are).
void ClipperSetThresh(Clipper* clipper, float gain);
/// Output gain, linear (the dB fields are left as they are).
void ClipperSetOutput(Clipper* clipper, float gain);
/// Clips samples 0, stride, 2 stride, ... below frames * channels in place: with stride == channels
/// one channel of an interleaved block. Audio thread.
void clip(const Clipper* clipper, int stride, float* samples, int frames, int channels);
/// Soft transfer curve: odd polynomial of x / 2 reaching +-1 at |x| = 2 (about 0.9557 at 1).
float softclip(float x);
