#include "dsp/CircBuffer.h"

namespace
{
// Any index into 0 .. 8191; the plain "+ 8192 if negative" for the sizes that can become ready,
// and still inside the ring for sizes outside 0 .. 8192.
inline int32_t wrapIndex(int64_t index)
{
    const int64_t wrapped = index % kCircBufferLength;
    return static_cast<int32_t>(wrapped < 0 ? wrapped + kCircBufferLength : wrapped);
}
} // namespace

void CircBufferInit(CircBuffer* buffer, int size)
{
    buffer->size = size;
    buffer->writeIndex = 0;
    buffer->readIndex = 0;
    buffer->ready = 0;
    buffer->delayMode = 0;
}

void CircBufferReset(CircBuffer* buffer)
{
    buffer->writeIndex = 0;
    buffer->readIndex = 0;
    buffer->ready = 0;
}

void CircBufferSetSize(CircBuffer* buffer, int size)
{
    buffer->size = size;
    if (buffer->delayMode && buffer->ready)
    {
        buffer->readIndex = wrapIndex(static_cast<int64_t>(buffer->writeIndex) - size);
    }
}

int CircBufferGetSize(const CircBuffer* buffer)
{
    return buffer->size;
}

void CircBufferSetDelayMode(CircBuffer* buffer, int mode)
{
    buffer->delayMode = mode;
}

int getReadWriteDiff(const CircBuffer* buffer)
{
    int diff = buffer->writeIndex - buffer->readIndex;
    if (buffer->writeIndex < buffer->readIndex)
    {
        diff += kCircBufferLength;
    }
    return diff;
}

void CircBufferAddSamples(CircBuffer* buffer, const float* source, int frames, int stride)
{
    int32_t write = wrapIndex(buffer->writeIndex);
    for (int n = 0; n < frames; ++n)
    {
        buffer->samples[write] = source[n * stride];
        if (write + 1 >= buffer->size && !buffer->ready)
        {
            buffer->ready = 1;
            if (buffer->delayMode)
            {
                buffer->readIndex = wrapIndex(static_cast<int64_t>(write) + 1 - buffer->size);
            }
        }
        write = write + 1 < kCircBufferLength ? write + 1 : 0;
    }
    buffer->writeIndex = write;
}

int CircBufferGetSamples(CircBuffer* buffer, float* destination, int frames, int stride)
{
    if (!buffer->ready || (!buffer->delayMode && getReadWriteDiff(buffer) < frames))
    {
        for (int n = 0; n < frames; ++n)
        {
            destination[n * stride] = 0.0f;
        }
        return 0;
    }
    int32_t read = wrapIndex(buffer->readIndex);
    for (int n = 0; n < frames; ++n)
    {
        destination[n * stride] = buffer->samples[read];
        read = read + 1 < kCircBufferLength ? read + 1 : 0;
    }
    buffer->readIndex = read;
    return 1;
}
