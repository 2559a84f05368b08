// Offline streaming through a processor with a processing delay: the output comes back with exactly
// the input's length and timing.
#pragma once

#include <functional>

namespace render
{

struct AlignedStreamCallbacks
{
    /// Fills up to `frames` interleaved frames and returns how many; fewer than asked ends the input.
    std::function<int(float* interleaved, int frames)> read;
    /// Processes one block of at most the stream's block size in place.
    std::function<void(float* interleaved, int frames)> process;
    /// Receives the aligned output in order.
    std::function<void(const float* interleaved, int frames)> write;
};

struct AlignedStreamLayout
{
    int channels = 2;
    int blockFrames = 512;  // frames per process call
    int chunkFrames = 8192; // frames per read; a whole number of blocks
    int latencyFrames = 0;  // the processor's delay
};

/// Runs the input, followed by `latencyFrames` of silence that flush the processor's tail, through
/// `process` in blocks, and writes everything but the first `latencyFrames` output frames: an impulse
/// read at frame n is written at frame n, and as many frames are written as were read. Every
/// block is full-size except the last. Returns the frames written. Buffers are allocated once here;
/// exceptions from the callbacks pass through.
long long streamAligned(const AlignedStreamLayout& layout, const AlignedStreamCallbacks& callbacks);

} // namespace render
