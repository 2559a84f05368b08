#include "modules/OutputCompressor.h"

#include "core/VykComm.h"
#include "core/VykEngine.h"
#include "dsp/BufferUtils.h"
#include "dsp/Clipper.h"
#include "dsp/Compressor.h"
#include "dsp/LookAhead.h"
#include "dsp/W1Limiter.h"

static_assert(kOutputCompressorLookAhead == kW1LookAhead,
              "every type is delayed like the limiter, so switching types keeps the timing");

namespace
{
constexpr int kClipperSoft = 0;

struct OutputCompressorInstance
{
    int sampleRate;
    int bypass;
    int compressorType;
    W1LimiterState limiterState;
    W1Limiter limiter;
    Compressor compressor; // link off: each channel is detected on its own
    CompressorEnvelope envelopes[kMaxChannels];
    Clipper clipper;
    float fixedGain; // type 3
    // Shared by every type but the limiter, which delays inside its own state.
    LookAheadLine lookAheadLines[kMaxChannels];
    float outputGainTarget;
    float outputGain;
    MetersBlock* meters;
};

int sNumInstances = 0;
OutputCompressorInstance sCompressors[kMaxInstances];

bool isValid(int instance)
{
    return instance >= 0 && instance < sNumInstances;
}

void initInstance(OutputCompressorInstance& oc, int instance)
{
    oc.sampleRate = kDefaultSampleRate;
    oc.bypass = 0;
    oc.compressorType = kOutputCompressorTypeCompressor;

    Compressor* compressor = &oc.compressor;
    CompressorInit(compressor, oc.envelopes);
    CompressorSetThreshold(compressor, 1.0f);
    CompressorSetAttack(compressor, 0.0f, static_cast<float>(oc.sampleRate));
    CompressorSetRelease(compressor, 0.0f, static_cast<float>(oc.sampleRate));
    CompressorSetRatio(compressor, 1.0f);
    CompressorSetMakeupGain(compressor, 1.0f);
    CompressorSetBypass(compressor, 0);

    W1LimiterInit(&oc.limiterState);
    W1LimiterSetInputGainAndThresholdAndClip(&oc.limiter, 1.0f, 1.0f, 1.0f);
    W1LimiterSetReleaseTime(&oc.limiter, 150.0f, oc.sampleRate);
    W1LimiterSetBypass(&oc.limiter, 0);

    ClipperSetSoftHard(&oc.clipper, kClipperSoft);
    ClipperSetThresh_dB(&oc.clipper, 0.0f);
    ClipperSetOutput_dB(&oc.clipper, 0.0f);

    oc.fixedGain = 1.0f;
    oc.outputGainTarget = 1.0f;
    oc.outputGain = 1.0f;
    for (LookAheadLine& line : oc.lookAheadLines)
        LookAheadInit(&line);
    W1LimiterUpdateCoeff(&oc.limiter, oc.sampleRate);
    oc.meters = VYKCommGetMeters(instance);
}

// Types 0, 2, 3 and the delay-only values: the channel passes the look-ahead line, then the stage.
void processDelayedType(OutputCompressorInstance& oc, float* samples, int frames, int channels)
{
    for (int ch = 0; ch < channels; ++ch)
    {
        LookAheadLine* line = &oc.lookAheadLines[ch];
        float* channel = samples + ch;
        // Each sample is read before its slot is written, so the line can work in place.
        for (int n = 0; n < frames; ++n)
            channel[n * channels] = lookAhead(line, kOutputCompressorLookAhead, channel[n * channels]);

        switch (oc.compressorType)
        {
        case kOutputCompressorTypeCompressor:
            vykcompress(channels, channel, &oc.compressor, &oc.envelopes[ch], channels, frames);
            break;
        case kOutputCompressorTypeClipper:
            clip(&oc.clipper, channels, channel, frames, channels);
            break;
        case kOutputCompressorTypeGain:
            scaleBuffer(channels, channel, frames, oc.fixedGain);
            break;
        default:
            break;
        }
    }
}
} // namespace

int OutputCompressorInit(int count)
{
    if (count > kMaxInstances)
        return -1;
    sNumInstances = count;
    for (int i = 0; i < kMaxInstances; ++i)
        initInstance(sCompressors[i], i);
    return 0;
}

void OutputCompressorSetSampleRate(int instance, int rate)
{
    if (!isValid(instance) || rate <= 0)
        return;
    OutputCompressorInstance& oc = sCompressors[instance];
    oc.sampleRate = rate;
    W1LimiterUpdateCoeff(&oc.limiter, rate);
}

void OutputCompressorResetAudio(int instance)
{
    if (!isValid(instance))
        return;
    OutputCompressorInstance& oc = sCompressors[instance];
    oc.outputGain = oc.outputGainTarget;
    CompressorResetAudio(&oc.compressor, oc.envelopes);
    W1LimiterInit(&oc.limiterState);
    for (LookAheadLine& line : oc.lookAheadLines)
        LookAheadInit(&line);
    if (oc.meters != nullptr)
        oc.meters->values[kMeterOutputLimiterGain] = 1.0f;
}

void OutputCompressorSetAll(int instance, OutputCompressorBlock* block)
{
    if (!isValid(instance) || block == nullptr)
        return;
    OutputCompressorInstance& oc = sCompressors[instance];
    oc.bypass = block->bypass;
    oc.compressorType = block->compressorType;
    W1LimiterSetBypass(&oc.limiter, block->limiterBypass);
    // Evaluated one by one so that each field's test runs even when an earlier one already changed.
    const bool inputGainChanged = VYKCommCheckParamChanged(&block->limiterInputGain) != 0;
    const bool thresholdChanged = VYKCommCheckParamChanged(&block->limiterThreshold) != 0;
    const bool clipChanged = VYKCommCheckParamChanged(&block->limiterClip) != 0;
    if (inputGainChanged || thresholdChanged || clipChanged)
        W1LimiterSetInputGainAndThresholdAndClip(&oc.limiter, block->limiterInputGain,
                                                 block->limiterThreshold, block->limiterClip);
    if (VYKCommCheckParamChanged(&block->limiterReleaseMs))
        W1LimiterSetReleaseTime(&oc.limiter, block->limiterReleaseMs, oc.sampleRate);
    ClipperSetSoftHard(&oc.clipper, block->softClip == 0 ? kClipperHard : kClipperSoft);
    if (VYKCommCheckParamChanged(&block->clipperThreshold))
        ClipperSetThresh(&oc.clipper, block->clipperThreshold);
    if (VYKCommCheckParamChanged(&block->clipperOutputGain))
        ClipperSetOutput(&oc.clipper, block->clipperOutputGain);
    if (VYKCommCheckParamChanged(&block->outputGain))
        oc.outputGainTarget = block->outputGain;
}

void OutputCompressorSetBypass(int instance, int flag)
{
    if (isValid(instance))
        sCompressors[instance].bypass = flag;
}

int OutputCompressorGetBypass(int instance)
{
    return isValid(instance) ? sCompressors[instance].bypass : 0;
}

void VykOutputCompressorCompress(int instance, float* samples, int frames, int channels)
{
    if (!isValid(instance) || channels < 1 || channels > kMaxChannels)
        return;
    OutputCompressorInstance& oc = sCompressors[instance];
    for (int ch = 0; ch < channels; ++ch)
        steppedScaleBuffer(channels, &oc.outputGain, ch == channels - 1, samples + ch, frames,
                           oc.outputGainTarget);

    float smallestGain = 1.0f;
    if (!oc.bypass)
    {
        if (oc.compressorType == kOutputCompressorTypeLimiter)
            smallestGain =
                w1limit(channels, &oc.limiterState, &oc.limiter, samples, samples, nullptr, frames);
        else
            processDelayedType(oc, samples, frames, channels);
    }
    if (oc.meters != nullptr)
        oc.meters->values[kMeterOutputLimiterGain] = smallestGain;
}

void OutputCompressorSetOutputGain(int instance, float gain)
{
    if (isValid(instance))
        sCompressors[instance].outputGainTarget = gain;
}

int OutputCompressorGetLatency(int instance)
{
    if (!isValid(instance))
        return 0;
    const OutputCompressorInstance& oc = sCompressors[instance];
    if (oc.bypass)
        return 0;
    if (oc.compressorType == kOutputCompressorTypeLimiter && oc.limiter.bypass)
        return 0; // a bypassed limiter hands the block back as it came
    return kOutputCompressorLookAhead;
}

void OutputCompressorSetCompressorType(int instance, int type)
{
    if (isValid(instance))
        sCompressors[instance].compressorType = type;
}

void OutputCompressorBypassSetOutputGain(int instance, float gain)
{
    if (isValid(instance))
        sCompressors[instance].fixedGain = gain;
}

void OutputCompressorW1LimiterSetBypass(int instance, int flag)
{
    if (isValid(instance))
        W1LimiterSetBypass(&sCompressors[instance].limiter, flag);
}

void OutputCompressorW1LimiterSetInputGainAndThresholdAndClip(int instance, float inputGain, float threshold,
                                                              float clip)
{
    if (isValid(instance))
        W1LimiterSetInputGainAndThresholdAndClip(&sCompressors[instance].limiter, inputGain, threshold, clip);
}

void OutputCompressorW1LimiterSetReleaseTime(int instance, float ms)
{
    if (!isValid(instance))
        return;
    OutputCompressorInstance& oc = sCompressors[instance];
    W1LimiterSetReleaseTime(&oc.limiter, ms, oc.sampleRate);
}

void OutputCompressorW1LimiterUpdateCoeff(int instance)
{
    if (!isValid(instance))
        return;
    OutputCompressorInstance& oc = sCompressors[instance];
    W1LimiterUpdateCoeff(&oc.limiter, oc.sampleRate);
}

void OutputCompressorClipperSetSoftHard(int instance, int mode)
{
    if (isValid(instance))
        ClipperSetSoftHard(&sCompressors[instance].clipper, mode);
}

void OutputCompressorClipperSetThresh(int instance, float gain)
{
    if (isValid(instance))
        ClipperSetThresh(&sCompressors[instance].clipper, gain);
}

void OutputCompressorClipperSetOutput(int instance, float gain)
{
    if (isValid(instance))
        ClipperSetOutput(&sCompressors[instance].clipper, gain);
}

void OutputCompressorClipperSetThresh_dB(int instance, float dB)
{
    if (isValid(instance))
        ClipperSetThresh_dB(&sCompressors[instance].clipper, dB);
}

void OutputCompressorClipperSetOutput_dB(int instance, float dB)
{
    if (isValid(instance))
        ClipperSetOutput_dB(&sCompressors[instance].clipper, dB);
}

void OutputCompressorCompressorSetAttack(int instance, float ms)
{
    if (!isValid(instance))
        return;
    OutputCompressorInstance& oc = sCompressors[instance];
    CompressorSetAttack(&oc.compressor, ms, static_cast<float>(oc.sampleRate));
}

void OutputCompressorCompressorSetRelease(int instance, float ms)
{
    if (!isValid(instance))
        return;
    OutputCompressorInstance& oc = sCompressors[instance];
    CompressorSetRelease(&oc.compressor, ms, static_cast<float>(oc.sampleRate));
}

void OutputCompressorCompressorSetMakeupGain(int instance, float gain)
{
    if (isValid(instance))
        CompressorSetMakeupGain(&sCompressors[instance].compressor, gain);
}

void OutputCompressorCompressorSetThreshold(int instance, float threshold)
{
    if (isValid(instance))
        CompressorSetThreshold(&sCompressors[instance].compressor, threshold);
}

void OutputCompressorCompressorSetRatio(int instance, float ratio)
{
    if (isValid(instance))
        CompressorSetRatio(&sCompressors[instance].compressor, ratio);
}

void OutputCompressorCompressorSetBypass(int instance, int flag)
{
    if (isValid(instance))
        CompressorSetBypass(&sCompressors[instance].compressor, flag);
}
