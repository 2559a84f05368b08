#include "dsp/Compressor.h"

#include <cmath>

const float gRatios[kNumRatioTables] = {1.5f, 2.0f, 3.0f, 6.0f};
float gRatioTables[kNumRatioTables][kRatioTableSize];

namespace
{
constexpr float kMakeupRampFraction = 0.001f;

// One makeup ramp step; stops exactly on the target.
inline void advanceMakeup(float& current, float& step, float target)
{
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

float compressbase(int stride, float* samples, const float* detector, Compressor* compressor,
                   CompressorEnvelope* envelope, int channels, bool useFloor, float floorGain, int frames)
{
    const bool linked = channels == 2 && compressor->link != 0;
    if (compressor->bypass)
    {
        return 1.0f;
    }
    const float target = compressor->makeup;
    float makeup = compressor->currentMakeup;
    float step = (target - makeup) * kMakeupRampFraction;
    const float ratio = compressor->ratio;
    const float* table = compressor->ratioTable;

    // Ratio 1 only applies the makeup; so does a compressor whose ratio was never set (no curve yet).
    if (ratio == 1.0f || (ratio != kLimitingRatio && table == nullptr))
    {
        for (int n = 0; n < frames; ++n)
        {
            float* frame = samples + n * stride;
            frame[0] *= makeup;
            if (linked)
            {
                frame[1] *= makeup;
            }
            advanceMakeup(makeup, step, target);
        }
        compressor->currentMakeup = makeup;
        return 1.0f;
    }

    const float attackCoefficient = compressor->attackCoefficient;
    const float releaseCoefficient = compressor->releaseCoefficient;
    const float inverseThreshold = compressor->inverseThreshold;
    float level = envelope->level;
    float smallestGain = 1.0f;
    for (int n = 0; n < frames; ++n)
    {
        float* frame = samples + n * stride;
        const float* sense = detector + n * stride;
        const float input = linked ? std::fabs(sense[0] + sense[1]) * 0.5f : std::fabs(sense[0]);
        const float coefficient = input < level ? releaseCoefficient : attackCoefficient;
        level = (level - input) * coefficient + input;

        const float m = level * inverseThreshold;
        float gain = 1.0f;
        if (m > 1.0f)
        {
            if (ratio == kLimitingRatio)
            {
                gain = 1.0f / m;
            }
            else
            {
                // Nearest entry (halves away from zero), then towards the next entry by the distance
                // to the nearest one, whichever side it lies on.
                const float position = m * static_cast<float>(kRatioTableStepsPerUnit);
                const float nearest = std::round(position);
                int i = kRatioTableSize - 2;
                if (nearest < static_cast<float>(kRatioTableSize - 2))
                {
                    i = nearest > 0.0f ? static_cast<int>(nearest) : 0;
                }
                float frac = std::fabs(position - static_cast<float>(i));
                if (frac > 1.0f)
                {
                    frac = 1.0f;
                }
                gain = table[i] + (table[i + 1] - table[i]) * frac;
            }
        }
        if (useFloor && gain < floorGain)
        {
            gain = floorGain;
        }

        const float applied = gain * makeup;
        frame[0] *= applied;
        if (linked)
        {
            frame[1] *= applied;
        }
        if (gain < smallestGain)
        {
            smallestGain = gain;
        }
        advanceMakeup(makeup, step, target);
    }
    envelope->level = level;
    compressor->currentMakeup = makeup;
    return smallestGain;
}
} // namespace

void CompressorGlobalInit()
{
    for (int r = 0; r < kNumRatioTables; ++r)
    {
        const float exponent = 1.0f / gRatios[r] - 1.0f;
        gRatioTables[r][0] = 0.0f;
        for (int j = 1; j < kRatioTableSize; ++j)
        {
            const float m = static_cast<float>(j) / static_cast<float>(kRatioTableStepsPerUnit);
            gRatioTables[r][j] = std::pow(m, exponent);
        }
    }
}

void CompressorInit(Compressor* compressor, CompressorEnvelope* envelopes)
{
    compressor->link = 0;
    compressor->currentMakeup = 1.0f;
    envelopes[0].level = 0.0f;
    envelopes[1].level = 0.0f;
}

void CompressorResetAudio(Compressor* compressor, CompressorEnvelope* envelopes)
{
    compressor->currentMakeup = compressor->makeup;
    envelopes[0].level = 0.0f;
    envelopes[1].level = 0.0f;
}

double calculate_compressor_time(float sampleRate, float ms)
{
    const double samples = static_cast<double>(ms) * static_cast<double>(sampleRate) * 0.001;
    if (samples == 0.0)
    {
        return 0.0; // exp(-2 / 0) = exp(-inf): follow the level at once
    }
    return std::exp(-2.0 / samples);
}

void CompressorSetAttack(Compressor* compressor, float ms, float sampleRate)
{
    if (ms < 0.0f)
    {
        ms = 0.0f;
    }
    else if (ms > 99.0f)
    {
        ms = 99.0f;
    }
    compressor->attack = ms;
    const float wholeRate = static_cast<float>(static_cast<int>(sampleRate));
    compressor->attackCoefficient = static_cast<float>(calculate_compressor_time(wholeRate, ms));
}

void CompressorSetRelease(Compressor* compressor, float ms, float sampleRate)
{
    if (ms < 0.0f)
    {
        ms = 0.0f;
    }
    else if (ms > 4000.0f)
    {
        ms = 4000.0f;
    }
    compressor->release = ms;
    const float wholeRate = static_cast<float>(static_cast<int>(sampleRate));
    compressor->releaseCoefficient = static_cast<float>(calculate_compressor_time(wholeRate, ms));
}

void CompressorSetMakeupGain(Compressor* compressor, float gain)
{
    if (gain < 0.009999f)
    {
        gain = 0.009999f;
    }
    else if (gain > 14.9623566f)
    {
        gain = 14.9623566f;
    }
    compressor->makeup = gain;
}

void CompressorSetThreshold(Compressor* compressor, float threshold)
{
    if (threshold < 0.0025117f)
    {
        threshold = 0.0025117f;
    }
    else if (threshold > 1.0f)
    {
        threshold = 1.0f;
    }
    compressor->threshold = threshold;
    compressor->inverseThreshold = 1.0f / threshold;
}

void CompressorSetRatio(Compressor* compressor, float ratio)
{
    if (ratio < 1.0f)
    {
        ratio = 1.0f;
    }
    else if (ratio > gRatios[kNumRatioTables - 1])
    {
        compressor->ratio = kLimitingRatio;
        return;
    }
    compressor->ratio = ratio;
    int r = 0;
    while (r < kNumRatioTables - 1 && !(gRatios[r] >= ratio))
    {
        ++r;
    }
    compressor->ratioTable = gRatioTables[r];
}

void CompressorSetBypass(Compressor* compressor, int flag)
{
    compressor->bypass = flag;
}

float vykcompress(int stride, float* samples, Compressor* compressor, CompressorEnvelope* envelope,
                  int channels, int frames)
{
    return compressbase(stride, samples, samples, compressor, envelope, channels, false, 0.0f, frames);
}

float sidechaincompress(int stride, float* samples, const float* sideChain, Compressor* compressor,
                        CompressorEnvelope* envelope, int channels, float floorGain, int frames)
{
    return compressbase(stride, samples, sideChain, compressor, envelope, channels, true, floorGain, frames);
}
