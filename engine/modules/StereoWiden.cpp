#include "modules/StereoWiden.h"

#include "dsp/SafeConversions.h"
#include "core/VykComm.h"
#include "core/VykEngine.h"
#include "dsp/Dsp.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <iterator>

namespace
{
constexpr int kStereo = 2;
constexpr int kBufferLength = kMaxFrames * kStereo;

constexpr float kMinBandGain = 0.398106f; // -8 dB
constexpr float kMaxBandGain = 2.511887f; // +8 dB
constexpr float kMinMGain = 0.251187f;    // -12 dB
constexpr float kMaxMGain = 3.981072f;    // +12 dB
constexpr float kMinSGain = 1.0f;         // the side is never turned down below its input
constexpr float kMaxSGain = 3.981072f;

constexpr float kInitAttackMs = 30.0f;
constexpr float kInitReleaseMs = 150.0f;
constexpr int kInitCrossoverHz = 400;
constexpr float kInitMidGain = 1.58489f; // +4 dB

struct StereoWidenInstance
{
    float low[kBufferLength];   // low band, L/R
    float upper[kBufferLength]; // upper band, L/R, then M/S
    float key[kBufferLength];   // copy of the upper band's M/S; only its M channel is used
    Compressor compressor;
    CompressorEnvelope envelope[2]; // CompressorInit clears two; one detector is used
    ShelfFilter keyLowShelf;
    ShelfFilter keyHighShelf;
    ShelfState keyLowShelfState;
    ShelfState keyHighShelfState;
    LinkwitzRileyFilter lowSection;  // LO: low-pass forming the low band
    LinkwitzRileyFilter highSection; // HI: high-pass forming the upper band
    LinkwitzRileyState lowStates[kStereo];
    LinkwitzRileyState highStates[kStereo];
    float loGain;
    float midGain;
    float mGain;
    float sGain;
    float sGainReciprocal;
    MetersBlock* meters;
    float lastPeak[kStereo];
    int32_t sampleRate;
    int32_t bypass;
};

int sNumInstances = 0;
StereoWidenInstance sInstances[kMaxInstances];

bool isValid(int instance)
{
    return instance >= 0 && instance < sNumInstances;
}

StereoWidenInstance* instanceOf(int instance)
{
    return isValid(instance) ? &sInstances[instance] : nullptr;
}

// Below the range gives the lower bound, above it the upper bound; NaN gives the lower bound too, so a
// bad value can never reach the audio.
float clampGain(float gain, float low, float high)
{
    if (!(gain >= low))
        return low;
    return gain > high ? high : gain;
}

void setCompressorDefaults(StereoWidenInstance& w)
{
    const float rate = static_cast<float>(w.sampleRate);
    CompressorSetAttack(&w.compressor, kInitAttackMs, rate);
    CompressorSetRelease(&w.compressor, kInitReleaseMs, rate);
    CompressorSetMakeupGain(&w.compressor, 1.0f);
    CompressorSetThreshold(&w.compressor, 1.0f);
    CompressorSetRatio(&w.compressor, 1.0f);
}

void setSGain(StereoWidenInstance& w, float gain)
{
    w.sGain = clampGain(gain, kMinSGain, kMaxSGain);
    w.sGainReciprocal = 1.0f / w.sGain;
}

void writePeaks(StereoWidenInstance& w, const float* samples, int frames, int channels)
{
    for (int ch = 0; ch < channels; ++ch)
    {
        w.lastPeak[ch] =
            computeMaxLevel(channels, samples + ch, &w.meters->values[kMeterStereoWidenPeak0 + ch], frames);
    }
}
} // namespace

int StereoWidenInit(int count)
{
    if (count > kMaxInstances)
        return -1;
    sNumInstances = count < 0 ? 0 : count;
    for (int i = 0; i < sNumInstances; ++i)
    {
        StereoWidenInstance& w = sInstances[i];
        w = StereoWidenInstance{};
        w.sampleRate = kDefaultSampleRate;
        CompressorInit(&w.compressor, w.envelope);
        setCompressorDefaults(w);
        LinkwitzRileyInit(&w.lowSection, w.lowStates);
        LinkwitzRileyInit(&w.highSection, w.highStates);
        w.keyLowShelfState.s = 0.0f;
        w.keyHighShelfState.s = 0.0f;
        setCompressorDefaults(w);
        CompressorSetBypass(&w.compressor, 0);

        ShelfSetGain(&w.keyLowShelf, 1.0f);
        ShelfSetIsLowShelf(&w.keyLowShelf, 1);
        ShelfSetBypass(&w.keyLowShelf, 0);
        ShelfSetGain(&w.keyHighShelf, 1.0f);
        ShelfSetIsLowShelf(&w.keyHighShelf, 0);
        ShelfSetBypass(&w.keyHighShelf, 0);

        LinkwitzRileyFilterSetFreqAndIsLowPass(&w.lowSection, kInitCrossoverHz, w.sampleRate, 1);
        LinkwitzRileyFilterSetBypass(&w.lowSection, 0);
        LinkwitzRileyFilterSetFreqAndIsLowPass(&w.highSection, kInitCrossoverHz, w.sampleRate, 0);
        LinkwitzRileyFilterSetBypass(&w.highSection, 0);

        w.loGain = 1.0f;
        w.midGain = kInitMidGain;
        w.mGain = 1.0f;
        setSGain(w, 1.0f);
        w.envelope[0].level = 0.0f;
        w.envelope[1].level = 0.0f;
        StereoWidenSetSampleRate(i, kDefaultSampleRate);
        w.meters = VYKCommGetMeters(i);
        w.bypass = 0;
    }
    return 0;
}

void StereoWidenSetSampleRate(int instance, int rate)
{
    StereoWidenInstance* w = instanceOf(instance);
    if (w == nullptr || rate < 1)
        return;
    w->sampleRate = rate;
    const auto* block =
        static_cast<const StereoWidenBlock*>(VYKCommGetBlockData(kBlockStereoWiden, instance, nullptr));
    if (block != nullptr)
    {
        LinkwitzRileyFilterSetFreqAndIsLowPass(&w->lowSection, truncateHz(block->xoverLoFreq), rate, 1);
        LinkwitzRileyFilterSetFreqAndIsLowPass(&w->highSection, truncateHz(block->xoverHiFreq), rate, 0);
        CompressorSetAttack(&w->compressor, block->compAttackMs, static_cast<float>(rate));
        CompressorSetRelease(&w->compressor, block->compReleaseMs, static_cast<float>(rate));
    }
    compute_ShelfFilter_coef(&w->keyLowShelf, static_cast<float>(rate));
    compute_ShelfFilter_gs(&w->keyLowShelf);
    compute_ShelfFilter_coef(&w->keyHighShelf, static_cast<float>(rate));
    compute_ShelfFilter_gs(&w->keyHighShelf);
}

void StereoWidenResetAudio(int instance)
{
    StereoWidenInstance* w = instanceOf(instance);
    if (w == nullptr)
        return;
    std::fill(std::begin(w->low), std::end(w->low), 0.0f);
    std::fill(std::begin(w->upper), std::end(w->upper), 0.0f);
    std::fill(std::begin(w->key), std::end(w->key), 0.0f);
    CompressorResetAudio(&w->compressor, w->envelope);
    w->keyLowShelfState.s = 0.0f;
    w->keyHighShelfState.s = 0.0f;
    for (int ch = 0; ch < kStereo; ++ch)
    {
        w->lowStates[ch] = LinkwitzRileyState{};
        w->highStates[ch] = LinkwitzRileyState{};
        w->lastPeak[ch] = 0.0f;
    }
    if (w->meters == nullptr)
        return;
    w->meters->values[kMeterStereoWidenPeak0] = 0.0f;
    w->meters->values[kMeterStereoWidenPeak1] = 0.0f;
    w->meters->values[kMeterStereoWidenGain] = 1.0f;
}

void StereoWidenSetAll(int instance, StereoWidenBlock* block)
{
    StereoWidenInstance* w = instanceOf(instance);
    if (w == nullptr || block == nullptr)
        return;
    const float rate = static_cast<float>(w->sampleRate);
    if (VYKCommCheckParamChanged(&block->compAttackMs))
        CompressorSetAttack(&w->compressor, block->compAttackMs, rate);
    if (VYKCommCheckParamChanged(&block->compReleaseMs))
        CompressorSetRelease(&w->compressor, block->compReleaseMs, rate);
    CompressorSetMakeupGain(&w->compressor, block->compMakeupGain);
    CompressorSetThreshold(&w->compressor, block->compThreshold);
    if (VYKCommCheckParamChanged(&block->compRatioRecip))
        CompressorSetRatio(&w->compressor, reciprocal(block->compRatioRecip));
    CompressorSetBypass(&w->compressor, block->compBypass);

    if (VYKCommCheckParamChanged(&block->keyLoShelfGain))
        ShelfSetGain(&w->keyLowShelf, block->keyLoShelfGain);
    if (VYKCommCheckParamChanged(&block->keyHiShelfGain))
        ShelfSetGain(&w->keyHighShelf, block->keyHiShelfGain);

    if (VYKCommCheckParamChanged(&block->xoverLoFreq))
        LinkwitzRileyFilterSetFreqAndIsLowPass(&w->lowSection, truncateHz(block->xoverLoFreq), w->sampleRate,
                                               1);
    if (VYKCommCheckParamChanged(&block->xoverHiFreq))
        LinkwitzRileyFilterSetFreqAndIsLowPass(&w->highSection, truncateHz(block->xoverHiFreq), w->sampleRate,
                                               0);

    if (VYKCommCheckParamChanged(&block->loGain))
        w->loGain = clampGain(block->loGain, kMinBandGain, kMaxBandGain);
    if (VYKCommCheckParamChanged(&block->midGain))
        w->midGain = clampGain(block->midGain, kMinBandGain, kMaxBandGain);
    if (VYKCommCheckParamChanged(&block->mGain))
        w->mGain = clampGain(block->mGain, kMinMGain, kMaxMGain);
    if (VYKCommCheckParamChanged(&block->sGain))
        setSGain(*w, block->sGain);

    w->bypass = block->bypass;
}

void StereoWidenSetBypass(int instance, int flag)
{
    if (StereoWidenInstance* w = instanceOf(instance))
        w->bypass = flag;
}

int StereoWidenGetBypass(int instance)
{
    return isValid(instance) ? sInstances[instance].bypass : 0;
}

void StereoWidenCompressorSetAttack(int instance, float ms)
{
    if (StereoWidenInstance* w = instanceOf(instance))
        CompressorSetAttack(&w->compressor, ms, static_cast<float>(w->sampleRate));
}

void StereoWidenCompressorSetRelease(int instance, float ms)
{
    if (StereoWidenInstance* w = instanceOf(instance))
        CompressorSetRelease(&w->compressor, ms, static_cast<float>(w->sampleRate));
}

void StereoWidenCompressorSetMakeupGain(int instance, float gain)
{
    if (StereoWidenInstance* w = instanceOf(instance))
        CompressorSetMakeupGain(&w->compressor, gain);
}

void StereoWidenCompressorSetThreshold(int instance, float threshold)
{
    if (StereoWidenInstance* w = instanceOf(instance))
        CompressorSetThreshold(&w->compressor, threshold);
}

void StereoWidenCompressorSetRatio(int instance, float ratio)
{
    if (StereoWidenInstance* w = instanceOf(instance))
        CompressorSetRatio(&w->compressor, ratio);
}

void StereoWidenCompressorSetBypass(int instance, int flag)
{
    if (StereoWidenInstance* w = instanceOf(instance))
        CompressorSetBypass(&w->compressor, flag);
}

void StereoWidenShelfFilterLOSetGain(int instance, float gain)
{
    if (StereoWidenInstance* w = instanceOf(instance))
        ShelfSetGain(&w->keyLowShelf, gain);
}

void StereoWidenShelfFilterHISetGain(int instance, float gain)
{
    if (StereoWidenInstance* w = instanceOf(instance))
        ShelfSetGain(&w->keyHighShelf, gain);
}

void StereoWidenShelfFilterLOSetIsLowShelf(int instance, int flag)
{
    if (StereoWidenInstance* w = instanceOf(instance))
        ShelfSetIsLowShelf(&w->keyLowShelf, flag);
}

void StereoWidenShelfFilterHISetIsLowShelf(int instance, int flag)
{
    if (StereoWidenInstance* w = instanceOf(instance))
        ShelfSetIsLowShelf(&w->keyHighShelf, flag);
}

void StereoWidenShelfFilterLOSetBypass(int instance, int flag)
{
    if (StereoWidenInstance* w = instanceOf(instance))
        ShelfSetBypass(&w->keyLowShelf, flag);
}

void StereoWidenShelfFilterHISetBypass(int instance, int flag)
{
    if (StereoWidenInstance* w = instanceOf(instance))
        ShelfSetBypass(&w->keyHighShelf, flag);
}

void StereoWidenXOver1LOSetFreqAndIsLowPass(int instance, int freqHz, int isLowPass)
{
    if (StereoWidenInstance* w = instanceOf(instance))
        LinkwitzRileyFilterSetFreqAndIsLowPass(&w->lowSection, freqHz, w->sampleRate, isLowPass);
}

void StereoWidenXOver1HISetFreqAndIsLowPass(int instance, int freqHz, int isLowPass)
{
    if (StereoWidenInstance* w = instanceOf(instance))
        LinkwitzRileyFilterSetFreqAndIsLowPass(&w->highSection, freqHz, w->sampleRate, isLowPass);
}

void StereoWidenXOver1LOSetBypass(int instance, int flag)
{
    if (StereoWidenInstance* w = instanceOf(instance))
        LinkwitzRileyFilterSetBypass(&w->lowSection, flag);
}

void StereoWidenXOver1HISetBypass(int instance, int flag)
{
    if (StereoWidenInstance* w = instanceOf(instance))
        LinkwitzRileyFilterSetBypass(&w->highSection, flag);
}

void StereoWidenSetLoGain(int instance, float gain)
{
    if (StereoWidenInstance* w = instanceOf(instance))
        w->loGain = clampGain(gain, kMinBandGain, kMaxBandGain);
}

void StereoWidenSetMidGain(int instance, float gain)
{
    if (StereoWidenInstance* w = instanceOf(instance))
        w->midGain = clampGain(gain, kMinBandGain, kMaxBandGain);
}

void StereoWidenSetMGain(int instance, float gain)
{
    if (StereoWidenInstance* w = instanceOf(instance))
        w->mGain = clampGain(gain, kMinMGain, kMaxMGain);
}

void StereoWidenSetSGain(int instance, float gain)
{
    if (StereoWidenInstance* w = instanceOf(instance))
        setSGain(*w, gain);
}

void VykStereoWidenProcess(int instance, float* samples, int frames, int channels)
{
    StereoWidenInstance* w = instanceOf(instance);
    if (w == nullptr || samples == nullptr || w->meters == nullptr || frames < 0 || frames > kMaxFrames ||
        channels < 1 || channels > kStereo)
        return;

    if (w->bypass)
    {
        w->meters->values[kMeterStereoWidenGain] = 1.0f;
        writePeaks(*w, samples, frames, channels);
        return;
    }
    if (channels != kStereo)
        return;

    float* low = w->low;
    float* upper = w->upper;
    float* key = w->key;
    linkwitzRiley(kStereo, &w->lowStates[0], &w->lowSection, samples, low, frames);
    linkwitzRiley(kStereo, &w->lowStates[1], &w->lowSection, samples + 1, low + 1, frames);
    linkwitzRiley(kStereo, &w->highStates[0], &w->highSection, samples, upper, frames);
    linkwitzRiley(kStereo, &w->highStates[1], &w->highSection, samples + 1, upper + 1, frames);

    msencode(upper, frames);
    copyBuffer(kStereo, upper, key, frames);
    shelf(kStereo, &w->keyLowShelfState, &w->keyLowShelf, key, frames);
    shelf(kStereo, &w->keyHighShelfState, &w->keyHighShelf, key, frames);

    // Unlinked on purpose: the key's M sample alone drives the gain of the S sample beside it.
    const float gain = sidechaincompress(kStereo, upper + 1, key, &w->compressor, w->envelope, kStereo,
                                         w->sGainReciprocal, frames);
    w->meters->values[kMeterStereoWidenGain] = gain;

    msdecode(upper, frames, w->mGain, w->sGain);
    scaleBuffer(kStereo, low, frames, w->loGain);
    scaleBuffer(kStereo, low + 1, frames, w->loGain);
    scaleBuffer(kStereo, upper, frames, w->midGain);
    scaleBuffer(kStereo, upper + 1, frames, w->midGain);
    sum_two_buffers(kStereo, kStereo, kStereo, low, upper, samples, 0, frames);
    sum_two_buffers(kStereo, kStereo, kStereo, low + 1, upper + 1, samples + 1, 0, frames);

    writePeaks(*w, samples, frames, kStereo);
}
