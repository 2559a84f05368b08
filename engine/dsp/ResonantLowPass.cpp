#include "dsp/ResonantLowPass.h"

#include <cmath>

namespace
{
constexpr float kTwoPi = 6.28318548f;
}

void compute_rlpf(ResonantLowPass* filter, int sampleRate)
{
    const float w = kTwoPi * filter->frequency / static_cast<float>(sampleRate);
    const float alpha = std::sin(w) / (2.0f * filter->q);
    const float n = 1.0f / (1.0f + alpha);
    const float cosW = std::cos(w);
    filter->b0 = n * (1.0f - cosW) / 2.0f;
    filter->b1 = n * (1.0f - cosW);
    filter->b2 = n * (1.0f - cosW) / 2.0f;
    filter->a1 = -2.0f * n * cosW;
    filter->a2 = n * (1.0f - alpha);
}

void rlpf(ResonantLowPass* filter, float* samples, int frames)
{
    const float b0 = filter->b0;
    const float b1 = filter->b1;
    const float b2 = filter->b2;
    const float a1 = filter->a1;
    const float a2 = filter->a2;
    float x1 = filter->x1;
    float x2 = filter->x2;
    float y1 = filter->y1;
    float y2 = filter->y2;
    for (int n = 0; n < frames; ++n)
    {
        const float x = samples[n];
        const float y = b0 * x + b1 * x1 + b2 * x2 - a1 * y1 - a2 * y2;
        x2 = x1;
        x1 = x;
        y2 = y1;
        y1 = y;
        samples[n] = y;
    }
    filter->x1 = x1;
    filter->x2 = x2;
    filter->y1 = y1;
    filter->y2 = y2;
}
