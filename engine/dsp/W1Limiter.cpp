#include "dsp/W1Limiter.h"

#include <cmath>

namespace
{
constexpr int kPositionMask = kW1LookAhead - 1;
constexpr int kTreeLevels = 6; // 1 + 2 + 4 + 8 + 16 + 32 cells cover 64 frames

// Reaching back 38 (first box) and 27 (second box) frames in the 64-entry lines.
constexpr int kFirstBoxTail = kW1LookAhead - kW1FirstBoxLength;   // 26
constexpr int kSecondBoxTail = kW1LookAhead - kW1SecondBoxLength; // 37
// Positions at which the exact sums hold exactly one box of values since their restart at 0.
constexpr int kFirstBoxExact = kW1FirstBoxLength - 1;   // 37
constexpr int kSecondBoxExact = kW1SecondBoxLength - 1; // 26

float releaseCoefficient(float ms, int sampleRate)
{
    const float exponent = 1.0f / (static_cast<float>(sampleRate) * ms / 1000.0f);
    return static_cast<float>(std::pow(0.1, static_cast<double>(exponent)));
}

inline float clampOutput(float x)
{
    if (x > kW1OutputLimit)
    {
        return kW1OutputLimit;
    }
    if (x < -kW1OutputLimit)
    {
        return -kW1OutputLimit;
    }
    return x;
}
} // namespace

void W1LimiterInit(W1LimiterState* state)
{
    *state = W1LimiterState{};
    for (float& cell : state->peakTree)
    {
        cell = 1.0f;
    }
    state->gain = 1.0f;
}

void W1LimiterSetInputGainAndThresholdAndClip(W1Limiter* limiter, float inputGain, float threshold,
                                              float clip)
{
    if (inputGain < 0.0f)
    {
        inputGain = 0.0f;
    }
    else if (inputGain > 3.162278f)
    {
        inputGain = 3.162278f;
    }
    if (threshold < 0.031623f)
    {
        threshold = 0.031623f;
    }
    else if (threshold > 1.0f)
    {
        threshold = 1.0f;
    }
    if (clip < 0.031623f)
    {
        clip = 0.031623f;
    }
    else if (clip > 1.0f)
    {
        clip = 1.0f;
    }
    limiter->inputGain = inputGain;
    limiter->threshold = threshold;
    limiter->clip = clip;
    limiter->detectorScale = inputGain / threshold;
    limiter->outputScale = clip / (static_cast<float>(kW1BoxGain) * threshold);
}

void W1LimiterSetReleaseTime(W1Limiter* limiter, float ms, int sampleRate)
{
    if (ms < 1.0f)
    {
        ms = 1.0f;
    }
    else if (ms > 4000.0f)
    {
        ms = 4000.0f;
    }
    limiter->release = ms;
    limiter->releaseCoefficient = releaseCoefficient(ms, sampleRate);
}

void W1LimiterUpdateCoeff(W1Limiter* limiter, int sampleRate)
{
    limiter->releaseCoefficient = releaseCoefficient(limiter->release, sampleRate);
}

void W1LimiterSetBypass(W1Limiter* limiter, int flag)
{
    limiter->bypass = flag;
}

float w1limit(int channels, W1LimiterState* state, const W1Limiter* limiter, const float* input,
              float* output, const float* sideChain, int frames)
{
    if (limiter->bypass || frames < 1)
    {
        return 1.0f;
    }
    const bool stereo = channels != 1;
    const int stride = stereo ? 2 : 1;
    const float* detector = sideChain ? sideChain : input;
    const float detectorScale = limiter->detectorScale;
    const float outputScale = limiter->outputScale;
    const float release = limiter->releaseCoefficient;
    const float inverseBoxGain = 1.0f / static_cast<float>(kW1BoxGain);

    float* tree = state->peakTree;
    float* firstBox = state->firstBox;
    float* secondBox = state->secondBox;
    float* delayL = state->delay[0];
    float* delayR = state->delay[1];
    float s1 = state->s1;
    float s2 = state->s2;
    float exactS1 = state->exactS1;
    float exactS2 = state->exactS2;
    float gain = state->gain;
    int p = state->position & kPositionMask;
    int framesSinceInit = state->framesSinceInit;
    float smallest = 1.0f;

    for (int n = 0; n < frames; ++n)
    {
        const float* sense = detector + n * stride;
        float magnitude = std::fabs(sense[0]);
        if (stereo)
        {
            const float right = std::fabs(sense[1]);
            magnitude = right > magnitude ? right : magnitude;
        }
        float carried = detectorScale * magnitude;
        if (carried < 1.0f)
        {
            carried = 1.0f;
        }

        // Level i holds the maxima of 2^i frames, 2^i frames apart: six steps give the last 64.
        for (int level = 0; level < kTreeLevels; ++level)
        {
            const int width = 1 << level;
            const int cell = (p & (width - 1)) + width - 1;
            const float previous = tree[cell];
            tree[cell] = carried;
            carried = previous > carried ? previous : carried;
        }

        const float target = 1.0f / carried;
        if (gain >= target)
        {
            gain = target;
        }
        else
        {
            gain = target + (gain - target) * release;
        }

        if (p == 0)
        {
            exactS1 = 0.0f;
            exactS2 = 0.0f;
        }
        s1 += gain - firstBox[(p + kFirstBoxTail) & kPositionMask];
        exactS1 += gain;
        firstBox[p] = gain;
        if (p == kFirstBoxExact)
        {
            s1 = exactS1;
        }

        const float outputGain = outputScale * s2;

        s2 += s1 - secondBox[(p + kSecondBoxTail) & kPositionMask];
        exactS2 += s1;
        secondBox[p] = s1;
        if (p == kSecondBoxExact)
        {
            s2 = exactS2;
        }

        const float* in = input + n * stride;
        float* out = output + n * stride;
        const float left = in[0];
        out[0] = clampOutput(outputGain * delayL[p]);
        delayL[p] = left;
        if (stereo)
        {
            const float right = in[1];
            out[1] = clampOutput(outputGain * delayR[p]);
            delayR[p] = right;
        }

        p = (p + 1) & kPositionMask;

        // While the sums fill after init the frames leaving the delay line are the silent start, so
        // the partial sums are no gain applied to any audio and stay out of the reported minimum.
        if (framesSinceInit < kW1LookAhead)
        {
            ++framesSinceInit;
            continue;
        }
        const float v = s2 * inverseBoxGain;
        if (v != 0.0f && v < smallest)
        {
            smallest = v;
        }
    }

    state->s1 = s1;
    state->s2 = s2;
    state->exactS1 = exactS1;
    state->exactS2 = exactS2;
    state->gain = gain;
    state->position = p;
    state->framesSinceInit = framesSinceInit;
    return smallest;
}
