// Latency compensation of the offline render, against a processor that is nothing but a delay of a
// known length: whatever the delay, length and block size, what goes in at frame n comes out at n.
#include "AlignedStream.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <stdexcept>
#include <string>
#include <vector>

namespace
{

// A pure delay line of `frames` frames on interleaved audio.
class Delay
{
  public:
    Delay(int frames, int channels) : mLine(static_cast<size_t>(frames) * channels, 0.0f) {}

    void process(float* interleaved, int frames, int channels)
    {
        for (int i = 0; i < frames * channels; ++i)
        {
            mLine.push_back(interleaved[i]);
            interleaved[i] = mLine.front();
            mLine.pop_front();
        }
    }

  private:
    std::deque<float> mLine;
};

struct StreamResult
{
    std::vector<float> output;
    std::vector<int> blockSizes;
};

StreamResult runThroughDelay(const std::vector<float>& input, const render::AlignedStreamLayout& layout)
{
    StreamResult result;
    Delay delay(layout.latencyFrames, layout.channels);
    size_t position = 0;
    render::AlignedStreamCallbacks callbacks;
    callbacks.read = [&](float* interleaved, int frames)
    {
        const size_t count = std::min(static_cast<size_t>(frames) * layout.channels, input.size() - position);
        std::copy_n(input.begin() + static_cast<long>(position), count, interleaved);
        position += count;
        return static_cast<int>(count / layout.channels);
    };
    callbacks.process = [&](float* interleaved, int frames)
    {
        result.blockSizes.push_back(frames);
        delay.process(interleaved, frames, layout.channels);
    };
    callbacks.write = [&](const float* interleaved, int frames)
    { result.output.insert(result.output.end(), interleaved, interleaved + frames * layout.channels); };
    const long long written = render::streamAligned(layout, callbacks);
    EXPECT_EQ(written * layout.channels, static_cast<long long>(result.output.size()));
    return result;
}

// Distinct values everywhere, so any shift or lost frame shows; an impulse would only show one.
std::vector<float> ramp(int frames, int channels)
{
    std::vector<float> samples(static_cast<size_t>(frames) * channels);
    for (size_t i = 0; i < samples.size(); ++i)
    {
        samples[i] = 1.0f + static_cast<float>(i);
    }
    return samples;
}

TEST(AlignedStream, EveryFrameComesOutWhereItWentIn)
{
    for (const int latency : {0, 1, 64, 1000})
    {
        for (const int blockFrames : {64, 512, 2048})
        {
            for (const int frames : {0, 1, 63, 999, 1000, 1001, 8192, 20000 + 17})
            {
                for (const int channels : {1, 2})
                {
                    SCOPED_TRACE("latency " + std::to_string(latency) + ", blocks of " +
                                 std::to_string(blockFrames) + ", " + std::to_string(frames) + " frames, " +
                                 std::to_string(channels) + " channels");
                    render::AlignedStreamLayout layout;
                    layout.channels = channels;
                    layout.blockFrames = blockFrames;
                    layout.chunkFrames = 8192;
                    layout.latencyFrames = latency;
                    const std::vector<float> input = ramp(frames, channels);
                    const StreamResult result = runThroughDelay(input, layout);
                    ASSERT_EQ(result.output, input);

                    // Input and flush are processed in whole blocks; only the very last may be short.
                    long long processed = 0;
                    for (size_t i = 0; i < result.blockSizes.size(); ++i)
                    {
                        processed += result.blockSizes[i];
                        if (i + 1 < result.blockSizes.size())
                        {
                            ASSERT_EQ(result.blockSizes[i], blockFrames) << "block " << i;
                        }
                    }
                    EXPECT_EQ(processed, static_cast<long long>(frames) + latency);
                }
            }
        }
    }
}

TEST(AlignedStream, ErrorsOfTheCallbacksPassThrough)
{
    render::AlignedStreamCallbacks callbacks;
    callbacks.read = [](float*, int frames) { return frames; };
    callbacks.process = [](float*, int) {};
    int writes = 0;
    callbacks.write = [&writes](const float*, int)
    {
        if (++writes == 3)
        {
            throw std::runtime_error("disk full");
        }
    };
    EXPECT_THROW(render::streamAligned(render::AlignedStreamLayout(), callbacks), std::runtime_error);
    EXPECT_EQ(writes, 3);
}

} // namespace
