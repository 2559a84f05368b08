#include "dsp/AllPass.h"

#include <cmath>

namespace
{
constexpr float kTwoPi = 6.28318548f;
}

void AllPassInit(AllPassFilter* filter)
{
    *filter = AllPassFilter{};
}

void AllPassSetFreq(AllPassFilter* filter, int frequency, int sampleRate)
{
    if (frequency < 28)
    {
        frequency = 28;
    }
    else if (frequency > 20000)
    {
        frequency = 20000;
    }
    filter->frequency = frequency;
    computeAllPass(filter, static_cast<float>(frequency), filter->q, static_cast<float>(sampleRate));
}

void AllPassSetQuality(AllPassFilter* filter, int sampleRate, float q)
{
    if (q < 0.1f)
    {
        q = 0.1f;
    }
    else if (q > 8.0f)
    {
        q = 8.0f;
    }
    filter->q = q;
    computeAllPass(filter, static_cast<float>(filter->frequency), q, static_cast<float>(sampleRate));
}

void computeAllPass(AllPassFilter* filter, float frequency, float q, float sampleRate)
{
    const float w = kTwoPi * frequency / sampleRate;
    const float alpha = std::sin(w) / (2.0f * q);
    const float n = 1.0f + alpha;
    const float b0 = (1.0f - alpha) / n;
    const float b1 = -2.0f * std::cos(w) / n;
    filter->b0 = b0;
    filter->b1 = b1;
    filter->b2 = 1.0f;
    filter->a1 = b1;
    filter->a2 = b0;
}

void AllPassSetBypass(AllPassFilter* filter, int flag)
{
    filter->bypass = flag;
}

void allPass(int stride, int channel, AllPassFilter* filter, const float* input, float* output, int frames)
{
    if (filter->bypass || frames < 1)
    {
        return;
    }
    AllPassHistory& history = filter->history[channel == 0 ? 0 : 1];
    const float b0 = filter->b0;
    const float b1 = filter->b1;
    const float b2 = filter->b2;
    const float a1 = filter->a1;
    const float a2 = filter->a2;
    float x1 = history.x1;
    float x2 = history.x2;
    float y1 = history.y1;
    float y2 = history.y2;
    for (int n = 0; n < frames; ++n)
    {
        const float x = input[n * stride];
        const float y = b0 * x + b1 * x1 + b2 * x2 - a1 * y1 - a2 * y2;
        x2 = x1;
        x1 = x;
        y2 = y1;
        y1 = y;
        output[n * stride] = y;
    }
    history.x1 = x1;
    history.x2 = x2;
    history.y1 = y1;
    history.y2 = y2;
}
