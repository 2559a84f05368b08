#include "modules/Bagc.h"

#include "core/VykComm.h"
#include "core/VykEngine.h"
#include "dsp/BufferUtils.h"
#include "dsp/Compressor.h"
#include "dsp/Shelf.h"

#include <algorithm>
#include <iterator>
#include <limits>

static_assert(std::numeric_limits<float>::is_iec559,
              "1 / 0 must give infinity (ratio inverse 0 is limiting)");

namespace
{
constexpr int kPreLowShelf = 0;
constexpr int kPreHighShelf = 1;
constexpr int kPostLowShelf = 2;
constexpr int kPostHighShelf = 3;
constexpr float kSideChainFloorGain = 0.01f; // linked mode never cuts by more than 40 dB

struct BagcInstance
{
    ShelfFilter shelves[kBagcNumShelves];
    ShelfState shelfStates[kBagcNumShelves][kMaxChannels];
    Compressor compressor; // link = the module's linked flag
    CompressorEnvelope envelopes[kMaxChannels];
    int sampleRate;
    int bypass;
    float lastPeaks[kMaxChannels];
    MetersBlock* meters;
    float sideChain[kMaxFrames * kMaxChannels]; // linked mode: the shelved copy the detector reads
};

int sNumInstances = 0;
BagcInstance sBagcs[kMaxInstances];

bool isValid(int instance)
{
    return instance >= 0 && instance < sNumInstances;
}

bool isShelf(int shelf)
{
    return shelf >= 0 && shelf < kBagcNumShelves;
}

void applySampleRate(BagcInstance& bagc, int rate)
{
    bagc.sampleRate = rate;
    for (ShelfFilter& shelfFilter : bagc.shelves)
    {
        compute_ShelfFilter_coef(&shelfFilter, static_cast<float>(rate));
        compute_ShelfFilter_gs(&shelfFilter);
    }
    Compressor* compressor = &bagc.compressor;
    CompressorSetAttack(compressor, compressor->attack, static_cast<float>(rate));
    CompressorSetRelease(compressor, compressor->release, static_cast<float>(rate));
}

void runShelf(BagcInstance& bagc, int shelfIndex, int channel, float* samples, int frames, int channels)
{
    shelf(channels, &bagc.shelfStates[shelfIndex][channel], &bagc.shelves[shelfIndex], samples, frames);
}

void writeMeters(BagcInstance& bagc, int channel, float gain, const float* samples, int frames, int channels)
{
    computeMaxLevel(channels, samples + channel, &bagc.lastPeaks[channel], frames);
    if (bagc.meters == nullptr)
        return;
    bagc.meters->values[kMeterBagcGain0 + channel] = gain;
    bagc.meters->values[kMeterBagcPeak0 + channel] = bagc.lastPeaks[channel];
}

void processLinked(BagcInstance& bagc, float* samples, int frames, int channels)
{
    float* sideChain = bagc.sideChain;
    copyBuffer(channels, samples, sideChain, frames);
    for (int ch = 0; ch < channels; ++ch)
    {
        runShelf(bagc, kPreLowShelf, ch, sideChain + ch, frames, channels);
        runShelf(bagc, kPreHighShelf, ch, sideChain + ch, frames, channels);
    }
    // Stereo: detection on |L + R| / 2 of the shelved copy, one gain for both channels.
    const float gain = sidechaincompress(channels, samples, sideChain, &bagc.compressor, bagc.envelopes,
                                         channels, kSideChainFloorGain, frames);
    for (int ch = 0; ch < channels; ++ch)
        writeMeters(bagc, ch, gain, samples, frames, channels);
}

void processUnlinked(BagcInstance& bagc, float* samples, int frames, int channels)
{
    for (int ch = 0; ch < channels; ++ch)
    {
        float* channel = samples + ch;
        runShelf(bagc, kPreLowShelf, ch, channel, frames, channels);
        runShelf(bagc, kPreHighShelf, ch, channel, frames, channels);
        const float gain =
            vykcompress(channels, channel, &bagc.compressor, &bagc.envelopes[ch], channels, frames);
        runShelf(bagc, kPostLowShelf, ch, channel, frames, channels);
        runShelf(bagc, kPostHighShelf, ch, channel, frames, channels);
        writeMeters(bagc, ch, gain, samples, frames, channels);
    }
}
} // namespace

int BagcInit(int count)
{
    if (count > kMaxInstances)
        return -1;
    sNumInstances = count;
    for (int i = 0; i < kMaxInstances; ++i)
    {
        BagcInstance& bagc = sBagcs[i];
        for (auto& states : bagc.shelfStates)
            for (ShelfState& state : states)
                state.s = 0.0f;

        Compressor* compressor = &bagc.compressor;
        CompressorInit(compressor, bagc.envelopes);
        CompressorSetAttack(compressor, 30.0f, static_cast<float>(kDefaultSampleRate));
        CompressorSetRelease(compressor, 150.0f, static_cast<float>(kDefaultSampleRate));
        CompressorSetMakeupGain(compressor, 1.0f);
        CompressorSetThreshold(compressor, 1.0f);
        CompressorSetRatio(compressor, 1.0f);
        CompressorSetBypass(compressor, 0);
        bagc.bypass = 0;

        for (int s = 0; s < kBagcNumShelves; ++s)
        {
            ShelfFilter* shelfFilter = &bagc.shelves[s];
            ShelfSetGain(shelfFilter, 1.0f);
            ShelfSetBypass(shelfFilter, 0);
            ShelfSetIsLowShelf(shelfFilter, s == kPreLowShelf || s == kPostLowShelf ? 1 : 0);
        }
        applySampleRate(bagc, kDefaultSampleRate);
        bagc.lastPeaks[0] = 0.0f;
        bagc.lastPeaks[1] = 0.0f;
        bagc.meters = VYKCommGetMeters(i);
    }
    return 0;
}

void BagcSetSampleRate(int instance, int rate)
{
    if (isValid(instance) && rate > 0)
        applySampleRate(sBagcs[instance], rate);
}

void BagcResetAudio(int instance)
{
    if (!isValid(instance))
        return;
    BagcInstance& bagc = sBagcs[instance];
    for (auto& states : bagc.shelfStates)
        for (ShelfState& state : states)
            state.s = 0.0f;
    CompressorResetAudio(&bagc.compressor, bagc.envelopes);
    std::fill(std::begin(bagc.sideChain), std::end(bagc.sideChain), 0.0f);
    for (int ch = 0; ch < kMaxChannels; ++ch)
    {
        bagc.lastPeaks[ch] = 0.0f;
        if (bagc.meters == nullptr)
            continue;
        bagc.meters->values[kMeterBagcPeak0 + ch] = 0.0f;
        bagc.meters->values[kMeterBagcGain0 + ch] = 1.0f;
    }
}

void BagcSetAll(int instance, BagcBlock* block)
{
    if (!isValid(instance) || block == nullptr)
        return;
    BagcSetBypass(instance, block->bypass);
    BagcSetLinked(instance, block->linked);
    if (VYKCommCheckParamChanged(&block->attackMs))
        BagcCompressorSetAttack(instance, block->attackMs);
    if (VYKCommCheckParamChanged(&block->releaseMs))
        BagcCompressorSetRelease(instance, block->releaseMs);
    BagcCompressorSetMakeupGain(instance, block->makeupGain);
    BagcCompressorSetThreshold(instance, block->threshold);
    // An inverse of 0 gives an infinite ratio, which the compressor turns into limiting.
    if (VYKCommCheckParamChanged(&block->ratioRecip))
        BagcCompressorSetRatio(instance, 1.0f / block->ratioRecip);
    if (VYKCommCheckParamChanged(&block->preLowShelfGain))
        BagcShelfSetGain(instance, kPreLowShelf, block->preLowShelfGain);
    if (VYKCommCheckParamChanged(&block->preHighShelfGain))
        BagcShelfSetGain(instance, kPreHighShelf, block->preHighShelfGain);
    if (VYKCommCheckParamChanged(&block->postLowShelfGain))
        BagcShelfSetGain(instance, kPostLowShelf, block->postLowShelfGain);
    if (VYKCommCheckParamChanged(&block->postHighShelfGain))
        BagcShelfSetGain(instance, kPostHighShelf, block->postHighShelfGain);
}

void BagcSetBypass(int instance, int flag)
{
    if (isValid(instance))
        sBagcs[instance].bypass = flag;
}

int BagcGetBypass(int instance)
{
    return isValid(instance) ? sBagcs[instance].bypass : 0;
}

void VykBagcProcess(int instance, float* samples, int frames, int channels)
{
    if (!isValid(instance) || channels < 1 || channels > kMaxChannels || frames > kMaxFrames)
        return;
    BagcInstance& bagc = sBagcs[instance];
    if (bagc.bypass)
    {
        for (int ch = 0; ch < channels; ++ch)
            writeMeters(bagc, ch, 1.0f, samples, frames, channels);
        return;
    }
    if (bagc.compressor.link)
        processLinked(bagc, samples, frames, channels);
    else
        processUnlinked(bagc, samples, frames, channels);
}

void BagcSetLinked(int instance, int flag)
{
    if (isValid(instance))
        sBagcs[instance].compressor.link = flag;
}

int BagcGetLinked(int instance)
{
    return isValid(instance) ? sBagcs[instance].compressor.link : 0;
}

void BagcCompressorSetAttack(int instance, float ms)
{
    if (!isValid(instance))
        return;
    BagcInstance& bagc = sBagcs[instance];
    CompressorSetAttack(&bagc.compressor, ms, static_cast<float>(bagc.sampleRate));
}

void BagcCompressorSetRelease(int instance, float ms)
{
    if (!isValid(instance))
        return;
    BagcInstance& bagc = sBagcs[instance];
    CompressorSetRelease(&bagc.compressor, ms, static_cast<float>(bagc.sampleRate));
}

void BagcCompressorSetMakeupGain(int instance, float gain)
{
    if (isValid(instance))
        CompressorSetMakeupGain(&sBagcs[instance].compressor, gain);
}

void BagcCompressorSetThreshold(int instance, float threshold)
{
    if (isValid(instance))
        CompressorSetThreshold(&sBagcs[instance].compressor, threshold);
}

void BagcCompressorSetRatio(int instance, float ratio)
{
    if (isValid(instance))
        CompressorSetRatio(&sBagcs[instance].compressor, ratio);
}

void BagcCompressorSetBypass(int instance, int flag)
{
    if (isValid(instance))
        CompressorSetBypass(&sBagcs[instance].compressor, flag);
}

float BagcCompressorGetAttack(int instance)
{
    return isValid(instance) ? sBagcs[instance].compressor.attack : 0.0f;
}

float BagcCompressorGetRelease(int instance)
{
    return isValid(instance) ? sBagcs[instance].compressor.release : 0.0f;
}

float BagcCompressorGetMakeupGain(int instance)
{
    return isValid(instance) ? sBagcs[instance].compressor.makeup : 0.0f;
}

float BagcCompressorGetThreshold(int instance)
{
    return isValid(instance) ? sBagcs[instance].compressor.threshold : 0.0f;
}

int BagcCompressorGetRatio(int instance)
{
    if (!isValid(instance))
        return 0;
    const float ratio = sBagcs[instance].compressor.ratio;
    // The compressor keeps ratios within 1 .. 6 or at 999; a NaN from a corrupt record reads as 0.
    return ratio == ratio ? static_cast<int>(ratio) : 0;
}

int BagcCompressorGetBypass(int instance)
{
    return isValid(instance) ? sBagcs[instance].compressor.bypass : 0;
}

void BagcShelfSetGain(int instance, int shelf, float gain)
{
    if (isValid(instance) && isShelf(shelf))
        ShelfSetGain(&sBagcs[instance].shelves[shelf], gain);
}

void BagcShelfSetIsLowShelf(int instance, int shelf, int flag)
{
    if (isValid(instance) && isShelf(shelf))
        ShelfSetIsLowShelf(&sBagcs[instance].shelves[shelf], flag);
}

void BagcShelfSetBypass(int instance, int shelf, int flag)
{
    if (isValid(instance) && isShelf(shelf))
        ShelfSetBypass(&sBagcs[instance].shelves[shelf], flag);
}

float BagcShelfGetGain(int instance, int shelf)
{
    return isValid(instance) && isShelf(shelf) ? ShelfGetGain(&sBagcs[instance].shelves[shelf]) : 0.0f;
}

int BagcShelfGetIsLowShelf(int instance, int shelf)
{
    return isValid(instance) && isShelf(shelf) ? ShelfGetIsLowShelf(&sBagcs[instance].shelves[shelf]) : 0;
}

int BagcShelfGetBypass(int instance, int shelf)
{
    return isValid(instance) && isShelf(shelf) ? ShelfGetBypass(&sBagcs[instance].shelves[shelf]) : 0;
}
