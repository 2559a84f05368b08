// Buffer routines and the circular buffer: exact values, strides that touch one channel only, gain
// ramps with exact sample counts, and both circular-buffer modes across the ring's wrap.
#include "dsp/BufferUtils.h"
#include "dsp/CircBuffer.h"
#include "support/Signals.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace
{

TEST(Buffers, ScaleAndCopyTouchOnlyTheirSamples)
{
    std::vector<float> stereo =
        signals::interleave({std::vector<float>(4, 1.0f), std::vector<float>(4, 2.0f)});
    scaleBuffer(2, stereo.data() + 1, 4, 0.5f);
    EXPECT_EQ(stereo, (std::vector<float>{1, 1, 1, 1, 1, 1, 1, 1}));
    scaleBuffer(1, stereo.data(), 0, 0.0f);
    EXPECT_EQ(stereo[0], 1.0f);

    const std::vector<float> source = signals::noise(12);
    std::vector<float> destination(14, 9.0f);
    copyBuffer(2, source.data(), destination.data(), 6);
    EXPECT_EQ(std::vector<float>(destination.begin(), destination.begin() + 12), source);
    EXPECT_EQ(destination[12], 9.0f);
    // Overlapping ranges behave like a copy through a temporary.
    std::vector<float> shifted = source;
    copyBuffer(1, shifted.data(), shifted.data() + 1, 11);
    EXPECT_EQ(std::vector<float>(shifted.begin() + 1, shifted.end()),
              std::vector<float>(source.begin(), source.end() - 1));

    // Strided copies: one channel out of an interleaved buffer and back into another position.
    std::vector<float> mono(6, 0.0f);
    copyBuffer2(2, 1, source.data() + 1, mono.data(), 6);
    EXPECT_EQ(mono, signals::channelOf(source, 2, 1));
    std::vector<float> target(12, 0.0f);
    copyBuffer2(1, 2, mono.data(), target.data(), 6);
    EXPECT_EQ(signals::channelOf(target, 2, 0), mono);
    EXPECT_EQ(signals::channelOf(target, 2, 1), std::vector<float>(6, 0.0f));
}

TEST(Buffers, SumTwoBuffers)
{
    const std::vector<float> a = {1, 2, 3, 4};
    const std::vector<float> b = {10, 20, 30, 40, 50, 60, 70, 80};
    std::vector<float> out(4);
    sum_two_buffers(1, 2, 1, a.data(), b.data(), out.data(), 0, 4);
    EXPECT_EQ(out, (std::vector<float>{11, 32, 53, 74}));
    sum_two_buffers(1, 2, 1, a.data(), b.data(), out.data(), 1, 4);
    EXPECT_EQ(out, (std::vector<float>{5.5f, 16, 26.5f, 37}));
    std::vector<float> inPlace = a;
    sum_two_buffers(1, 1, 1, inPlace.data(), a.data(), inPlace.data(), 0, 4);
    EXPECT_EQ(inPlace, (std::vector<float>{2, 4, 6, 8}));
}

TEST(Buffers, ComputeMaxLevel)
{
    float result = -1.0f;
    const float block[] = {0.1f, -0.7f, 0.5f, 0.9f};
    EXPECT_EQ(computeMaxLevel(1, block, &result, 0), 0.0f);
    EXPECT_EQ(result, 0.0f);
    EXPECT_EQ(computeMaxLevel(1, block, &result, 3), 0.7f);
    EXPECT_EQ(result, 0.7f);
    EXPECT_EQ(computeMaxLevel(2, block, &result, 2), 0.5f) << "one channel of two";
    EXPECT_EQ(computeMaxLevel(2, block + 1, &result, 2), 0.9f);
}

TEST(Buffers, SteppedScaleRampsByOneThousandthPerSample)
{
    float gain = 0.0f;
    std::vector<float> block(512, 1.0f);
    steppedScaleBuffer(1, &gain, 0, block.data(), 512, 1.0f);
    EXPECT_EQ(gain, 0.0f) << "not stored without the flag";
    for (int n = 0; n < 512; ++n)
    {
        ASSERT_NEAR(block[size_t(n)], 0.001f * n, 1e-5f) << n;
    }
    std::fill(block.begin(), block.end(), 1.0f);
    steppedScaleBuffer(1, &gain, 1, block.data(), 512, 1.0f);
    EXPECT_NEAR(gain, 0.512f, 1e-5f);

    // It stops exactly on the target, also on the way down.
    gain = 2.0f;
    std::vector<float> longBlock(1500, 1.0f);
    steppedScaleBuffer(1, &gain, 1, longBlock.data(), 1500, 0.5f);
    EXPECT_EQ(gain, 0.5f);
    EXPECT_EQ(longBlock[1499], 0.5f);
    EXPECT_NEAR(longBlock[1], 2.0f - 0.0015f, 1e-6f);

    // Stereo: the same state for both channels, stored with the last, gives both the same ramp.
    gain = 1.0f;
    std::vector<float> stereo(2 * 100, 1.0f);
    steppedScaleBuffer(2, &gain, 0, stereo.data(), 100, 3.0f);
    steppedScaleBuffer(2, &gain, 1, stereo.data() + 1, 100, 3.0f);
    EXPECT_EQ(signals::channelOf(stereo, 2, 0), signals::channelOf(stereo, 2, 1));
    EXPECT_NEAR(gain, 1.2f, 1e-5f);

    // Already on target: plain scaling.
    std::vector<float> flat(8, 2.0f);
    steppedScaleBuffer(1, &gain, 1, flat.data(), 8, gain);
    EXPECT_EQ(flat, std::vector<float>(8, 2.0f * gain));
}

TEST(Buffers, MidSideAndMono)
{
    const std::vector<float> input = signals::noise(2 * 64, 0.9, 8);
    std::vector<float> x = input;
    msencode(x.data(), 64);
    for (int n = 0; n < 64; ++n)
    {
        ASSERT_EQ(x[size_t(2 * n)], (input[size_t(2 * n)] + input[size_t(2 * n + 1)]) * 0.5f);
        ASSERT_EQ(x[size_t(2 * n + 1)], (input[size_t(2 * n)] - input[size_t(2 * n + 1)]) * 0.5f);
    }
    std::vector<float> unity = x;
    msdecode(unity.data(), 64, 1.0f, 1.0f);
    msdecode(x.data(), 64, 2.0f, 2.0f);
    for (size_t i = 0; i < input.size(); ++i)
    {
        ASSERT_NEAR(unity[i], input[i] * 0.5f, 1e-7f) << "encode + decode at unit gains halves";
        ASSERT_NEAR(x[i], input[i], 2e-7f) << "gains of 2 restore";
    }

    std::vector<float> mono = {1, 3, -2, 4, 0.5f, 0.5f, 8, 0};
    stereo_to_mono(mono.data(), 4);
    EXPECT_EQ(mono, (std::vector<float>{2, 2, 1, 1, 0.5f, 0.5f, 4, 4}));

    std::vector<float> packed = {1, 3, -2, 4, 0.5f, 0.5f, 8, 0};
    stereo_to_mono2(packed.data(), 4);
    EXPECT_EQ(packed, (std::vector<float>{2, 1, 0.5f, 4, 0.5f, 0.5f, 8, 0}));
}

// ---------------------------------------------------------------------------------------------------
// Circular buffer

std::vector<float> ramp(int start, int count)
{
    std::vector<float> out(static_cast<size_t>(count));
    for (int n = 0; n < count; ++n)
    {
        out[size_t(n)] = static_cast<float>(start + n);
    }
    return out;
}

class CircBufferTest : public ::testing::Test
{
  protected:
    // The record holds 32 KiB: keep it off the stack.
    std::unique_ptr<CircBuffer> buffer = std::make_unique<CircBuffer>();
};

TEST_F(CircBufferTest, NormalModeWaitsForEnoughData)
{
    CircBufferInit(buffer.get(), 256);
    std::vector<float> out(256, 5.0f);
    EXPECT_EQ(CircBufferGetSamples(buffer.get(), out.data(), 256, 1), 0);
    EXPECT_EQ(out, std::vector<float>(256, 0.0f));

    const std::vector<float> first = ramp(1, 200);
    CircBufferAddSamples(buffer.get(), first.data(), 200, 1);
    EXPECT_EQ(buffer->ready, 0);
    EXPECT_EQ(CircBufferGetSamples(buffer.get(), out.data(), 256, 1), 0);
    EXPECT_EQ(getReadWriteDiff(buffer.get()), 200) << "nothing consumed";

    const std::vector<float> second = ramp(201, 56);
    CircBufferAddSamples(buffer.get(), second.data(), 56, 1);
    EXPECT_EQ(buffer->ready, 1);
    EXPECT_EQ(CircBufferGetSamples(buffer.get(), out.data(), 256, 1), 1);
    EXPECT_EQ(out, ramp(1, 256));
    EXPECT_EQ(getReadWriteDiff(buffer.get()), 0);
    EXPECT_EQ(CircBufferGetSamples(buffer.get(), out.data(), 1, 1), 0);

    // Strided reads and writes: one channel of interleaved audio.
    const std::vector<float> stereo = signals::interleave({ramp(1000, 300), ramp(2000, 300)});
    CircBufferAddSamples(buffer.get(), stereo.data() + 1, 300, 2);
    std::vector<float> target(600, 0.0f);
    EXPECT_EQ(CircBufferGetSamples(buffer.get(), target.data(), 300, 2), 1);
    EXPECT_EQ(signals::channelOf(target, 2, 0), ramp(2000, 300));
    EXPECT_EQ(signals::channelOf(target, 2, 1), std::vector<float>(300, 0.0f));
}

// Host blocks of one size in, frames of another size out: every sample comes out once, in order,
// across many wraps of the ring.
TEST_F(CircBufferTest, DecouplesBlockSizesAcrossTheWrap)
{
    CircBufferInit(buffer.get(), 512);
    int written = 0;
    int read = 0;
    std::vector<float> frame(512);
    const int hostSizes[] = {100, 37, 511, 1, 700, 256};
    for (int block = 0; block < 300; ++block)
    {
        const int n = hostSizes[block % 6];
        const std::vector<float> input = ramp(written, n);
        CircBufferAddSamples(buffer.get(), input.data(), n, 1);
        written += n;
        while (getReadWriteDiff(buffer.get()) >= 512)
        {
            ASSERT_EQ(CircBufferGetSamples(buffer.get(), frame.data(), 512, 1), 1);
            ASSERT_EQ(frame, ramp(read, 512)) << "at sample " << read;
            read += 512;
        }
    }
    EXPECT_GT(read, 4 * kCircBufferLength);
}

TEST_F(CircBufferTest, DelayModeTrailsTheWriterBySize)
{
    CircBufferInit(buffer.get(), 1000);
    CircBufferSetDelayMode(buffer.get(), 1);
    std::vector<float> out(512);
    const std::vector<float> head = ramp(1, 999);
    CircBufferAddSamples(buffer.get(), head.data(), 999, 1);
    EXPECT_EQ(CircBufferGetSamples(buffer.get(), out.data(), 512, 1), 0);

    const std::vector<float> next = ramp(1000, 100);
    CircBufferAddSamples(buffer.get(), next.data(), 100, 1);
    EXPECT_EQ(buffer->ready, 1);
    EXPECT_EQ(CircBufferGetSamples(buffer.get(), out.data(), 512, 1), 1);
    EXPECT_EQ(out, ramp(1, 512)) << "the first samples read are the first written";

    // No availability check once ready: 587 samples are left, 512 more can be read, and then 512 again
    // although only 75 of them were written (the rest is whatever the ring held).
    EXPECT_EQ(CircBufferGetSamples(buffer.get(), out.data(), 512, 1), 1);
    EXPECT_EQ(out, ramp(513, 512));
    EXPECT_EQ(CircBufferGetSamples(buffer.get(), out.data(), 512, 1), 1);
    EXPECT_EQ(std::vector<float>(out.begin(), out.begin() + 75), ramp(1025, 75));

    // Changing the size moves the reader back to write index - size.
    CircBufferSetSize(buffer.get(), 300);
    EXPECT_EQ(CircBufferGetSize(buffer.get()), 300);
    EXPECT_EQ(getReadWriteDiff(buffer.get()), 300);
    EXPECT_EQ(CircBufferGetSamples(buffer.get(), out.data(), 300, 1), 1);
    EXPECT_EQ(std::vector<float>(out.begin(), out.begin() + 300), ramp(800, 300));

    // Across the start of the ring the read index wraps to the end.
    CircBufferReset(buffer.get());
    EXPECT_EQ(buffer->ready, 0);
    EXPECT_EQ(buffer->size, 300);
    EXPECT_EQ(buffer->delayMode, 1);
    const std::vector<float> refill = ramp(5000, 400);
    CircBufferAddSamples(buffer.get(), refill.data(), 400, 1);
    CircBufferSetSize(buffer.get(), 1000);
    EXPECT_EQ(buffer->readIndex, kCircBufferLength - 600);
    EXPECT_EQ(getReadWriteDiff(buffer.get()), 1000);
}

TEST_F(CircBufferTest, SizesOutsideTheRingStayInside)
{
    CircBufferInit(buffer.get(), kCircBufferLength + 100);
    const std::vector<float> input = ramp(0, 3 * kCircBufferLength);
    CircBufferAddSamples(buffer.get(), input.data(), 3 * kCircBufferLength, 1);
    EXPECT_EQ(buffer->ready, 0) << "a size above 8192 never becomes ready";
    std::vector<float> out(16, 1.0f);
    EXPECT_EQ(CircBufferGetSamples(buffer.get(), out.data(), 16, 1), 0);

    // On a ready delay-mode buffer, out-of-range sizes keep the read index inside the ring.
    CircBufferInit(buffer.get(), 10);
    CircBufferSetDelayMode(buffer.get(), 1);
    CircBufferAddSamples(buffer.get(), input.data(), 20, 1);
    for (int size : {kCircBufferLength + 5000, 3 * kCircBufferLength, -7})
    {
        SCOPED_TRACE(size);
        CircBufferSetSize(buffer.get(), size);
        EXPECT_GE(buffer->readIndex, 0);
        EXPECT_LT(buffer->readIndex, kCircBufferLength);
        EXPECT_EQ(CircBufferGetSamples(buffer.get(), out.data(), 16, 1), 1);
    }
}

} // namespace
