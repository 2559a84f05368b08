#include "dsp/Lattice.h"

#include <cmath>

namespace
{
constexpr float kTwoPi = 6.28318548f;
constexpr float kPi = 3.14159274f;

void updateMixes(LatticeFilter* filter)
{
    filter->directMix = (1.0f + filter->currentGain) / 2.0f;
    filter->allPassMix = (1.0f - filter->currentGain) / 2.0f;
}
} // namespace

void LatticeInit(LatticeFilter* filter, LatticeState* states, int sampleRate)
{
    for (int ch = 0; ch < kLatticeChannels; ++ch)
    {
        states[ch] = LatticeState{};
    }
    filter->targetGain = 1.0f;
    filter->currentGain = 1.0f;
    filter->gainStep = 0.0f;
    filter->smoothing = 1;
    LatticeSetGain(filter, 1.0f);
    computeBellFilter(filter, 850.0f, 1.8f, static_cast<float>(sampleRate));
    filter->bypass = 0;
}

void LatticeResetAudio(LatticeFilter* filter, LatticeState* states)
{
    for (int ch = 0; ch < kLatticeChannels; ++ch)
    {
        states[ch] = LatticeState{};
    }
    filter->currentGain = filter->targetGain;
    filter->gainStep = 0.0f;
    updateMixes(filter);
}

void LatticeSetGain(LatticeFilter* filter, float gain)
{
    if (gain < 0.1f)
    {
        gain = 0.1f;
    }
    else if (gain > 10.0f)
    {
        gain = 10.0f;
    }
    filter->gain = gain;
    if (filter->smoothing && std::fabs(gain - filter->currentGain) > kLatticeGainStep)
    {
        // The mixes follow the ramp inside lattice(), one step per block.
        filter->targetGain = gain;
        filter->gainStep = gain > filter->currentGain ? kLatticeGainStep : -kLatticeGainStep;
        return;
    }
    filter->targetGain = gain;
    filter->currentGain = gain;
    filter->gainStep = 0.0f;
    updateMixes(filter);
}

void LatticeSetFreqAndQ(LatticeFilter* filter, int frequency, int sampleRate, float q)
{
    if (frequency < 28)
    {
        frequency = 28;
    }
    else if (frequency > 20000)
    {
        frequency = 20000;
    }
    if (q < 0.4f)
    {
        q = 0.4f;
    }
    else if (q > 8.0f)
    {
        q = 8.0f;
    }
    computeBellFilter(filter, static_cast<float>(frequency), q, static_cast<float>(sampleRate));
}

void computeBellFilter(LatticeFilter* filter, float frequency, float q, float sampleRate)
{
    const float w = kTwoPi * frequency / sampleRate;
    if (w / q >= kPi)
    {
        // Keeps the bandwidth w / Q below Nyquist, where tan() would blow up.
        q = 1.05f * w / kPi;
    }
    const float t = std::tan(w / q / 2.0f);
    const float k2 = (1.0f - t) / (1.0f + t);
    filter->k2 = k2;
    filter->k1 = -(1.0f + k2) * std::cos(w);
    filter->frequency = static_cast<int32_t>(frequency);
    filter->q = q;
}

void LatticeSetBypass(LatticeFilter* filter, int flag)
{
    filter->bypass = flag;
}

void lattice(int stride, LatticeState* state, LatticeFilter* filter, float* samples, int frames)
{
    if (filter->bypass)
    {
        return;
    }
    if (filter->gainStep != 0.0f)
    {
        filter->currentGain += filter->gainStep;
        if ((filter->gainStep > 0.0f && filter->currentGain > filter->targetGain) ||
            (filter->gainStep < 0.0f && filter->currentGain < filter->targetGain))
        {
            filter->currentGain = filter->targetGain;
            filter->gainStep = 0.0f;
        }
        updateMixes(filter);
    }

    const float k1 = filter->k1;
    const float k2 = filter->k2;
    const float directMix = filter->directMix;
    const float allPassMix = filter->allPassMix;
    float x1 = state->x1;
    float x2 = state->x2;
    float y1 = state->y1;
    float y2 = state->y2;
    float* p = samples;
    for (int n = 0; n < frames; ++n, p += stride)
    {
        const float x = *p;
        const float a = k2 * x + k1 * x1 + x2 - k1 * y1 - k2 * y2;
        x2 = x1;
        x1 = x;
        y2 = y1;
        y1 = a;
        *p = directMix * x + allPassMix * a;
    }
    state->x1 = x1;
    state->x2 = x2;
    state->y1 = y1;
    state->y2 = y2;
}
