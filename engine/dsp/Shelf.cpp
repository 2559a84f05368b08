#include "dsp/Shelf.h"

void ShelfSetGain(ShelfFilter* filter, float gain)
{
    if (static_cast<double>(gain) < 0.2511885)
    {
        gain = kShelfMinGain;
    }
    else if (static_cast<double>(gain) > 3.9810718)
    {
        gain = kShelfMaxGain;
    }
    filter->gain = gain;
    if (gain > 1.0f)
    {
        filter->boost = 1;
        filter->g = 1.0f / gain;
        compute_ShelfFilter_gs(filter);
    }
    else
    {
        filter->boost = 0;
        filter->g = gain;
        filter->boostNorm = 0.0f;
    }
    const double g = filter->g;
    filter->dm = static_cast<float>((1.0 + g) / 2.0);
    filter->am = static_cast<float>((1.0 - g) / 2.0);
}

void ShelfSetIsLowShelf(ShelfFilter* filter, int flag)
{
    filter->isLowShelf = flag;
    compute_ShelfFilter_gs(filter);
}

void ShelfSetBypass(ShelfFilter* filter, int flag)
{
    filter->bypass = flag;
}

int ShelfGetBypass(const ShelfFilter* filter)
{
    return filter->bypass;
}

float ShelfGetGain(const ShelfFilter* filter)
{
    return filter->gain;
}

int ShelfGetIsLowShelf(const ShelfFilter* filter)
{
    return filter->isLowShelf;
}

void compute_ShelfFilter_coef(ShelfFilter* filter, float sampleRate)
{
    // 1000 pi / fs stands in for tan(1000 pi / fs): the transition sits slightly below 1 kHz.
    const float t = 3141.59277f / sampleRate;
    const float a = (1.0f - t) / (1.0f + t);
    filter->a = a;
    filter->a2m1 = a * a - 1.0f;
    filter->minusA = -a;
}

void compute_ShelfFilter_gs(ShelfFilter* filter)
{
    if (!filter->boost)
    {
        return;
    }
    const float s = filter->isLowShelf ? 1.0f : -1.0f;
    const float g = filter->g;
    filter->boostNorm = 2.0f / (g + 1.0f + s * (1.0f - g) * filter->a);
}

void shelf(int stride, ShelfState* state, const ShelfFilter* filter, float* samples, int frames)
{
    if (filter->bypass)
    {
        return;
    }
    const float ams = filter->isLowShelf ? filter->am : -filter->am;
    const float a = filter->a;
    float s = state->s;
    float* p = samples;
    if (!filter->boost)
    {
        // A = (a - z^-1) / (1 - a z^-1) x; output = dm x + ams A.
        const float dm = filter->dm;
        for (int n = 0; n < frames; ++n, p += stride)
        {
            const float x = *p;
            const float v = x + a * s;
            const float allPass = a * v - s;
            s = v;
            *p = dm * x + ams * allPass;
        }
    }
    else
    {
        // Inverse of the cut structure with g = 1 / gain.
        const float feedback = ams * filter->a2m1;
        const float norm = filter->boostNorm;
        for (int n = 0; n < frames; ++n, p += stride)
        {
            const float y = (*p - feedback * s) * norm;
            s = a * s + y;
            *p = y;
        }
    }
    state->s = s;
}
