#include "dsp/LinkwitzRiley.h"

#include <cmath>

namespace
{
constexpr float kTwoPi = 6.28318548f;
constexpr float kSqrt2 = 1.41421354f;

// Butterworth biquad terms shared by both responses: B = a2 / 2, h = 1 / (1 + alpha), gamma = h cos w.
struct ButterworthTerms
{
    float b;
    float h;
    float gamma;
};

ButterworthTerms butterworthTerms(float frequency, LinkwitzRileyFilter* filter, float sampleRate)
{
    float limited = sampleRate / 2.0f - 100.0f;
    if (frequency < limited)
    {
        limited = frequency;
    }
    // Truncate, then raise to 20 Hz; testing the float first keeps NaN and huge negatives out of the cast.
    const int f = limited >= 20.0f ? static_cast<int>(limited) : 20;
    filter->frequency = f;

    const float w = kTwoPi * static_cast<float>(f) / sampleRate;
    const float sinW = std::sin(w);
    ButterworthTerms terms;
    terms.b = 0.5f * (1.0f - sinW / kSqrt2) / (1.0f + sinW / kSqrt2);
    terms.h = 0.5f + terms.b;
    terms.gamma = terms.h * std::cos(w);
    return terms;
}
} // namespace

void LinkwitzRileyInit(LinkwitzRileyFilter* filter, LinkwitzRileyState* states)
{
    for (int ch = 0; ch < kLinkwitzRileyChannels; ++ch)
    {
        states[ch] = LinkwitzRileyState{};
    }
    filter->b0 = 0.0f;
    filter->b1 = 0.0f;
    filter->b2 = 0.0f;
    filter->a1 = 0.0f;
    filter->a2 = 0.0f;
    filter->isLowPass = 1;
    filter->bypass = 0;
}

void LinkwitzRileyFilterSetFreqAndIsLowPass(LinkwitzRileyFilter* filter, int frequency, int sampleRate,
                                            int isLowPass)
{
    if (frequency < 20)
    {
        frequency = 20;
    }
    else if (frequency > 20000)
    {
        frequency = 20000;
    }
    if (isLowPass)
    {
        compute_LinkwitzRiley_lp(static_cast<float>(frequency), filter, static_cast<float>(sampleRate));
    }
    else
    {
        compute_LinkwitzRiley_hp(static_cast<float>(frequency), filter, static_cast<float>(sampleRate));
    }
}

void compute_LinkwitzRiley_lp(float frequency, LinkwitzRileyFilter* filter, float sampleRate)
{
    const ButterworthTerms t = butterworthTerms(frequency, filter, sampleRate);
    const float alpha = (t.h - t.gamma) / 4.0f;
    filter->b0 = 2.0f * alpha;
    filter->b1 = 4.0f * alpha;
    filter->b2 = 2.0f * alpha;
    filter->a1 = -2.0f * t.gamma;
    filter->a2 = 2.0f * t.b;
    filter->isLowPass = 1;
}

void compute_LinkwitzRiley_hp(float frequency, LinkwitzRileyFilter* filter, float sampleRate)
{
    const ButterworthTerms t = butterworthTerms(frequency, filter, sampleRate);
    const float alpha = (t.h + t.gamma) / 4.0f;
    filter->b0 = 2.0f * alpha;
    filter->b1 = -4.0f * alpha;
    filter->b2 = 2.0f * alpha;
    filter->a1 = -2.0f * t.gamma;
    filter->a2 = 2.0f * t.b;
    filter->isLowPass = 0;
}

void LinkwitzRileyFilterSetBypass(LinkwitzRileyFilter* filter, int flag)
{
    filter->bypass = flag;
}

void linkwitzRiley(int stride, LinkwitzRileyState* state, const LinkwitzRileyFilter* filter,
                   const float* input, float* output, int frames)
{
    if (filter->bypass || frames < 1)
    {
        return;
    }
    const float b0 = filter->b0;
    const float b1 = filter->b1;
    const float b2 = filter->b2;
    const float a1 = filter->a1;
    const float a2 = filter->a2;
    LinkwitzRileyState s = *state;
    for (int n = 0; n < frames; ++n)
    {
        const float x = input[n * stride];
        const float u = b0 * x + b1 * s.x1 + b2 * s.x2 - a1 * s.y1 - a2 * s.y2;
        s.x2 = s.x1;
        s.x1 = x;
        s.y2 = s.y1;
        s.y1 = u;
        const float y = b0 * u + b1 * s.u1 + b2 * s.u2 - a1 * s.z1 - a2 * s.z2;
        s.u2 = s.u1;
        s.u1 = u;
        s.z2 = s.z1;
        s.z1 = y;
        output[n * stride] = y;
    }
    *state = s;
}
