// 8192-sample ring buffer between a producer and a consumer with different block sizes, on one thread.
// Normal mode: reads wait until enough samples are stored. Delay mode: once `size` samples have been
// written, the read index trails the write index by `size` and reads never wait.
#pragma once

#include <cstdint>

constexpr int kCircBufferLength = 8192;

struct CircBuffer
{
    float samples[kCircBufferLength];
    int32_t size;       // fill level needed before reading (normal) or delay in samples (delay mode)
    int32_t writeIndex; // next position written, 0 .. 8191
    int32_t readIndex;  // next position read, 0 .. 8191
    int32_t ready;      // 1 once the write index has first reached size
    int32_t delayMode;  // nonzero: delay mode
};
static_assert(sizeof(CircBuffer) == 4 * kCircBufferLength + 20, "CircBuffer: ring and five 32-bit fields");

/// Sets `size`, clears indices, ready flag and delay mode; the memory is not cleared.
void CircBufferInit(CircBuffer* buffer, int size);
/// Restarts empty (not ready); size and mode are kept.
void CircBufferReset(CircBuffer* buffer);
/// Stores `size`; in delay mode on a ready buffer the read index moves to write index - size.
/// Sizes above 8192 never become ready.
void CircBufferSetSize(CircBuffer* buffer, int size);
int CircBufferGetSize(const CircBuffer* buffer);
void CircBufferSetDelayMode(CircBuffer* buffer, int mode);
/// Samples stored and not yet read (0 .. 8191).
int getReadWriteDiff(const CircBuffer* buffer);
/// Appends `frames` samples taken `stride` floats apart from `source`; overruns overwrite the oldest.
void CircBufferAddSamples(CircBuffer* buffer, const float* source, int frames, int stride);
/// Reads `frames` samples into `destination` (`stride` floats apart) and returns 1; when the buffer is
/// not ready, or in normal mode holds fewer than `frames` samples, writes zeros, consumes nothing and
/// returns 0.
int CircBufferGetSamples(CircBuffer* buffer, float* destination, int frames, int stride);
