#include "dsp/BufferUtils.h"

#include <cmath>
#include <cstring>

void scaleBuffer(int stride, float* buffer, int count, float gain)
{
    for (int n = 0; n < count; ++n)
    {
        buffer[n * stride] *= gain;
    }
}

void steppedScaleBuffer(int stride, float* gain, int store, float* buffer, int count, float target)
{
    float current = *gain;
    float step = (target - current) * 0.001f;
    for (int n = 0; n < count; ++n)
    {
        buffer[n * stride] *= current;
        const float next = current + step;
        if ((step > 0.0f && next > target) || (step < 0.0f && next < target))
        {
            current = target;
            step = 0.0f;
        }
        else
        {
            current = next;
        }
    }
    if (store)
    {
        *gain = current;
    }
}

void copyBuffer(int channels, const float* source, float* destination, int frames)
{
    const int count = channels * frames;
    if (count > 0)
    {
        std::memmove(destination, source, sizeof(float) * static_cast<size_t>(count));
    }
}

void copyBuffer2(int sourceStride, int destinationStride, const float* source, float* destination, int count)
{
    for (int n = 0; n < count; ++n)
    {
        destination[n * destinationStride] = source[n * sourceStride];
    }
}

void sum_two_buffers(int strideA, int strideB, int strideOut, const float* a, const float* b, float* out,
                     int average, int count)
{
    if (average)
    {
        for (int n = 0; n < count; ++n)
        {
            out[n * strideOut] = (a[n * strideA] + b[n * strideB]) * 0.5f;
        }
    }
    else
    {
        for (int n = 0; n < count; ++n)
        {
            out[n * strideOut] = a[n * strideA] + b[n * strideB];
        }
    }
}

float computeMaxLevel(int stride, const float* buffer, float* result, int count)
{
    float peak = 0.0f;
    for (int n = 0; n < count; ++n)
    {
        const float magnitude = std::fabs(buffer[n * stride]);
        if (magnitude > peak)
        {
            peak = magnitude;
        }
    }
    *result = peak;
    return peak;
}

void msencode(float* buffer, int frames)
{
    for (int n = 0; n < frames; ++n)
    {
        const float left = buffer[2 * n];
        const float right = buffer[2 * n + 1];
        buffer[2 * n] = (left + right) * 0.5f;
        buffer[2 * n + 1] = (left - right) * 0.5f;
    }
}

void msdecode(float* buffer, int frames, float midGain, float sideGain)
{
    for (int n = 0; n < frames; ++n)
    {
        const float mid = buffer[2 * n] * midGain;
        const float side = buffer[2 * n + 1] * sideGain;
        buffer[2 * n] = (mid + side) * 0.5f;
        buffer[2 * n + 1] = (mid - side) * 0.5f;
    }
}

void stereo_to_mono(float* buffer, int frames)
{
    for (int n = 0; n < frames; ++n)
    {
        const float mono = (buffer[2 * n] + buffer[2 * n + 1]) * 0.5f;
        buffer[2 * n] = mono;
        buffer[2 * n + 1] = mono;
    }
}

void stereo_to_mono2(float* buffer, int frames)
{
    // Ascending order never overwrites a frame before it is read: i <= 2i.
    for (int n = 0; n < frames; ++n)
    {
        buffer[n] = (buffer[2 * n] + buffer[2 * n + 1]) * 0.5f;
    }
}
