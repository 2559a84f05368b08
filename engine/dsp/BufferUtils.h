// Copying, mixing, gain, metering and mid/side routines over interleaved float buffers.
// A routine walking one channel takes that channel's first sample and the channel count as stride.
// Counts of 0 or less do nothing unless stated. All run on the audio thread without allocating.
#pragma once

/// Multiplies samples 0, stride, ... (count of them) by `gain`.
void scaleBuffer(int stride, float* buffer, int count, float gain);
/// Multiplies `count` samples by a gain moving linearly from *gain towards `target` by 1/1000 of the
/// initial difference per sample, stopping exactly on the target. Writes the final gain back into
/// *gain only when `store` is nonzero (set it on the last channel of a block).
void steppedScaleBuffer(int stride, float* gain, int store, float* buffer, int count, float target);
/// Copies channels x frames consecutive floats (the ranges may overlap).
void copyBuffer(int channels, const float* source, float* destination, int frames);
/// Copies `count` samples between two strided sequences.
void copyBuffer2(int sourceStride, int destinationStride, const float* source, float* destination, int count);
/// out = a + b, or (a + b) * 0.5 when `average` is nonzero; `out` may be `a` or `b`.
void sum_two_buffers(int strideA, int strideB, int strideOut, const float* a, const float* b, float* out,
                     int average, int count);
/// Largest magnitude of `count` samples of one channel, stored in *result and returned (0 if none).
float computeMaxLevel(int stride, const float* buffer, float* result, int count);
/// In place on stereo frames: L' = (L + R) / 2 (mid), R' = (L - R) / 2 (side).
void msencode(float* buffer, int frames);
/// In place: m = L midGain, s = R sideGain; L' = (m + s) / 2, R' = (m - s) / 2. After msencode,
/// gains of 2 restore the input; gains of 1 halve it.
void msdecode(float* buffer, int frames, float midGain, float sideGain);
/// In place: both samples of each stereo frame become (L + R) / 2.
void stereo_to_mono(float* buffer, int frames);
/// Packs the mono sum into the first `frames` floats: buffer[i] = (buffer[2i] + buffer[2i + 1]) / 2.
void stereo_to_mono2(float* buffer, int frames);
