// A fixed-size delay for up to two channels, used to keep the plug-in's reported latency true on
// paths that do not run through the engine's look-ahead (its bypass and the host's bypass).
// Storage is allocated once, at construction; process never allocates.
#pragma once

#include <array>
#include <vector>

class LatencyCompensator
{
  public:
    static constexpr int kMaxChannels = 2;
    static constexpr int kMaxDelay = 8192; // samples

    LatencyCompensator();

    /// Delays each channel in place by `delay` samples (clamped to 0 .. kMaxDelay). Channels beyond
    /// the second are left untouched.
    void process(float* const* channels, int numChannels, int numFrames, int delay);
    /// Interleaved variant: `samples` holds numFrames x numChannels floats.
    void processInterleaved(float* samples, int numChannels, int numFrames, int delay);
    /// Forgets the delayed samples (silence comes out first again).
    void reset();

  private:
    std::array<std::vector<float>, kMaxChannels> lines;
    int writeIndex = 0;
};
