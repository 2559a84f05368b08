#include "LatencyCompensator.h"

#include <algorithm>

namespace
{
// A power of two above kMaxDelay, so that wrapping is a mask.
constexpr int kLineSize = 16384;
constexpr int kLineMask = kLineSize - 1;
static_assert(kLineSize > LatencyCompensator::kMaxDelay);
} // namespace

LatencyCompensator::LatencyCompensator()
{
    for (auto& line : lines)
        line.assign(kLineSize, 0.0f);
}

void LatencyCompensator::reset()
{
    for (auto& line : lines)
        std::fill(line.begin(), line.end(), 0.0f);
    writeIndex = 0;
}

void LatencyCompensator::process(float* const* channels, int numChannels, int numFrames, int delay)
{
    delay = std::clamp(delay, 0, kMaxDelay);
    const int used = std::min(numChannels, kMaxChannels);
    for (int ch = 0; ch < used; ++ch)
    {
        float* line = lines[static_cast<size_t>(ch)].data();
        float* samples = channels[ch];
        int write = writeIndex;
        for (int i = 0; i < numFrames; ++i)
        {
            line[write] = samples[i];
            samples[i] = line[(write - delay) & kLineMask];
            write = (write + 1) & kLineMask;
        }
    }
    writeIndex = (writeIndex + std::max(numFrames, 0)) & kLineMask;
}

void LatencyCompensator::processInterleaved(float* samples, int numChannels, int numFrames, int delay)
{
    delay = std::clamp(delay, 0, kMaxDelay);
    const int used = std::min(numChannels, kMaxChannels);
    int write = writeIndex;
    for (int i = 0; i < numFrames; ++i)
    {
        for (int ch = 0; ch < used; ++ch)
        {
            float* line = lines[static_cast<size_t>(ch)].data();
            float& sample = samples[i * numChannels + ch];
            line[write] = sample;
            sample = line[(write - delay) & kLineMask];
        }
        write = (write + 1) & kLineMask;
    }
    writeIndex = write;
}
