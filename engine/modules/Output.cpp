#include "modules/Output.h"

#include "core/VykComm.h"
#include "core/VykEngine.h"
#include "dsp/BufferUtils.h"
#include "dsp/LookAhead.h"

namespace
{
constexpr float kMaxDelayMs = 10.0f;

struct OutputInstance
{
    float targetGains[kMaxChannels];
    float currentGains[kMaxChannels];
    // Whole samples at the current rate, up to 10 ms. Above 48 kHz this can exceed what the line holds;
    // the value is kept so that a later change to a lower rate restores the full delay, and the line
    // plays at most kLookAheadMaxLength.
    int delaySamples[kMaxChannels];
    int polarityInverted[kMaxChannels];
    LookAheadLine delayLines[kMaxChannels];
    int sampleRate; // 0 until the first rate is set
    int bypass;
};

int sNumInstances = 0;
OutputInstance sOutputs[kMaxInstances];

bool isValid(int instance)
{
    return instance >= 0 && instance < sNumInstances;
}

bool isChannel(int channel)
{
    return channel >= 0 && channel < kMaxChannels;
}

float limitDelayMs(float ms)
{
    if (!(ms > 0.0f)) // also NaN
        return 0.0f;
    return ms > kMaxDelayMs ? kMaxDelayMs : ms;
}

int delayInSamples(float ms, int rate)
{
    return static_cast<int>(limitDelayMs(ms) / 1000.0f * static_cast<float>(rate));
}

void applySampleRate(OutputInstance& output, int rate)
{
    const int oldRate = output.sampleRate;
    output.sampleRate = rate;
    for (int ch = 0; ch < kMaxChannels; ++ch)
    {
        if (oldRate <= 0)
        {
            output.delaySamples[ch] = 0;
            continue;
        }
        const float ms = static_cast<float>(output.delaySamples[ch]) / static_cast<float>(oldRate) * 1000.0f;
        output.delaySamples[ch] = delayInSamples(ms, rate);
    }
}
} // namespace

int OutputInit(int count)
{
    if (count > kMaxInstances)
        return -1;
    sNumInstances = count;
    for (OutputInstance& output : sOutputs)
    {
        for (int ch = 0; ch < kMaxChannels; ++ch)
        {
            output.targetGains[ch] = 1.0f;
            output.currentGains[ch] = 1.0f;
            output.delaySamples[ch] = 0;
            LookAheadInit(&output.delayLines[ch]);
            output.polarityInverted[ch] = 0;
        }
        applySampleRate(output, kDefaultSampleRate);
        output.bypass = 0;
    }
    return 0;
}

void OutputSetSampleRate(int instance, int rate)
{
    if (isValid(instance) && rate > 0)
        applySampleRate(sOutputs[instance], rate);
}

void OutputResetAudio(int instance)
{
    if (!isValid(instance))
        return;
    OutputInstance& output = sOutputs[instance];
    for (int ch = 0; ch < kMaxChannels; ++ch)
    {
        output.currentGains[ch] = output.targetGains[ch];
        LookAheadInit(&output.delayLines[ch]);
    }
}

void OutputSetAll(int instance, OutputBlock* block)
{
    if (!isValid(instance) || block == nullptr)
        return;
    OutputInstance& output = sOutputs[instance];
    output.bypass = block->bypass;
    output.targetGains[0] = block->leftGain;
    output.targetGains[1] = block->rightGain;
    if (VYKCommCheckParamChanged(&block->leftDelayMs))
        output.delaySamples[0] = delayInSamples(block->leftDelayMs, output.sampleRate);
    if (VYKCommCheckParamChanged(&block->rightDelayMs))
        output.delaySamples[1] = delayInSamples(block->rightDelayMs, output.sampleRate);
    output.polarityInverted[0] = block->leftPhase;
    output.polarityInverted[1] = block->rightPhase;
}

void OutputSetBypass(int instance, int flag)
{
    if (isValid(instance))
        sOutputs[instance].bypass = flag;
}

int OutputGetBypass(int instance)
{
    return isValid(instance) ? sOutputs[instance].bypass : 0;
}

void VykOutputProcess(int instance, float* samples, int frames, int channels)
{
    if (!isValid(instance) || channels < 1 || channels > kMaxChannels)
        return;
    OutputInstance& output = sOutputs[instance];
    if (output.bypass)
        return;
    for (int ch = 0; ch < channels; ++ch)
    {
        LookAheadLine* line = &output.delayLines[ch];
        const int length =
            output.delaySamples[ch] < kLookAheadMaxLength ? output.delaySamples[ch] : kLookAheadMaxLength;
        const bool inverted = output.polarityInverted[ch] != 0;
        float* channel = samples + ch;
        // A line of length 0 returns each sample untouched and keeps its position, so the usual
        // neutral setting needs no pass at all. Otherwise each sample is read before its slot is
        // written, so the line works in place.
        if (length > 0 || inverted)
        {
            for (int n = 0; n < frames; ++n)
            {
                float y = lookAhead(line, length, channel[n * channels]);
                if (inverted)
                    y *= -1.0f;
                channel[n * channels] = y;
            }
        }
        steppedScaleBuffer(channels, &output.currentGains[ch], 1, channel, frames, output.targetGains[ch]);
    }
}

void OutputSetBalanceGain(int instance, int channel, float gain)
{
    if (isValid(instance) && isChannel(channel))
        sOutputs[instance].targetGains[channel] = gain;
}

void OutputSetDelay(int instance, int channel, float ms)
{
    if (!isValid(instance) || !isChannel(channel))
        return;
    OutputInstance& output = sOutputs[instance];
    output.delaySamples[channel] = delayInSamples(ms, output.sampleRate);
}

void OutputSetPhaseEnabled(int instance, int channel, int flag)
{
    if (isValid(instance) && isChannel(channel))
        sOutputs[instance].polarityInverted[channel] = flag;
}
