#include "dsp/Clipper.h"

#include <cmath>

namespace
{
inline float dbToGain(float dB)
{
    return std::pow(10.0f, dB / 20.0f);
}
} // namespace

void ClipperSetSoftHard(Clipper* clipper, int mode)
{
    clipper->mode = mode;
}

void ClipperSetThresh_dB(Clipper* clipper, float dB)
{
    clipper->thresholdDb = dB;
    clipper->inputGain = dbToGain(std::fabs(dB));
    clipper->outputGain = dbToGain(dB + clipper->outputDb);
}

void ClipperSetOutput_dB(Clipper* clipper, float dB)
{
    clipper->outputDb = dB;
    clipper->outputGain = dbToGain(dB + clipper->thresholdDb);
}

void ClipperSetThresh(Clipper* clipper, float gain)
{
    clipper->inputGain = gain;
}

void ClipperSetOutput(Clipper* clipper, float gain)
{
    clipper->outputGain = gain;
}

float softclip(float x)
{
    if (x >= 2.0f)
    {
        return 1.0f;
    }
    if (x <= -2.0f)
    {
        return -1.0f;
    }
    const float u = x / 2.0f;
    const float u2 = u * u;
    const float u3 = u2 * u;
    const float u5 = u3 * u2;
    const float u7 = u5 * u2;
    const float u9 = u7 * u2;
    const float u11 = u9 * u2;
    return 2.0f * (0.912205f * u + 2.1948357f * u3 - 12.669168f * u5 + 22.359743f * u7 - 17.307137f * u9 +
                   5.010432f * u11);
}

void clip(const Clipper* clipper, int stride, float* samples, int frames, int channels)
{
    if (stride < 1)
    {
        return;
    }
    const int end = frames * channels;
    const float inputGain = clipper->inputGain;
    const float outputGain = clipper->outputGain;
    if (clipper->mode == kClipperHard)
    {
        for (int i = 0; i < end; i += stride)
        {
            float x = samples[i] * inputGain;
            x = x > 1.0f ? 1.0f : (x < -1.0f ? -1.0f : x);
            samples[i] = x * outputGain;
        }
    }
    else
    {
        for (int i = 0; i < end; i += stride)
        {
            samples[i] = softclip(samples[i] * inputGain) * outputGain;
        }
    }
}
