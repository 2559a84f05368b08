#include "modules/MultiBand.h"

#include "dsp/SafeConversions.h"
#include "core/VykComm.h"
#include "core/VykEngine.h"
#include "modules/MultiBandKernels.h"
#include "modules/MultiBandState.h"

#include <climits>
#include <cmath>
#include <cstring>
#include <initializer_list>

namespace
{
using namespace multiband_kernels;

int sNumInstances = 0;
MultiBandInstance sInstances[kMaxInstances];

constexpr int kDefaultCrossoverHz = 850;
constexpr float kDefaultAllPassQ = 1.0f;

bool isValid(int instance)
{
    return instance >= 0 && instance < sNumInstances;
}

bool isBand(int band)
{
    return band >= 0 && band < kMultiBandMaxBands;
}

MultiBandBand* bandOf(int instance, int band)
{
    return isValid(instance) && isBand(band) ? &sInstances[instance].bands[band] : nullptr;
}

float dbToGain(float dB)
{
    return std::pow(10.0f, dB / 20.0f);
}

// Bytes 26 and 27 of a band record share the all-pass mask word: the crossover mode (unsigned, band 0's
// record only) and the band's is-last-band flag (signed).
int crossoverModeByte(const MultiBandBandBlock* record)
{
    return reinterpret_cast<const uint8_t*>(record)[26];
}

int isLastBandByte(const MultiBandBandBlock* record)
{
    return static_cast<int8_t>(reinterpret_cast<const uint8_t*>(record)[27]);
}

// Virtual bass and the subwoofer output are not built yet. Until they are, the virtual-bass stage stays
// inactive (no band receives virtual bass, the final high-pass is not applied, the meter reads 1.0) and
// every band feeds the main output; a given subwoofer buffer is cleared at block start and stays silent.
bool virtualBassActive(const MultiBandInstance&)
{
    return false;
}

bool routesToSubwoofer(const MultiBandInstance&, int /*band*/, const float* /*sub*/)
{
    return false;
}

// Delay, gains and phase of the subwoofer buffer after all bands.
void finishSubwoofer(MultiBandInstance&, float* /*sub*/, int /*frames*/) {}

void initBand(MultiBandBand& band, int sampleRate)
{
    band = MultiBandBand{};
    LinkwitzRileyInit(&band.highPassA, band.highPassAState);
    LinkwitzRileyInit(&band.lowPassA, band.lowPassAState);
    LinkwitzRileyInit(&band.highPassB, band.highPassBState);
    LinkwitzRileyInit(&band.lowPassB, band.lowPassBState);
    for (AllPassFilter& section : band.allPass)
        AllPassInit(&section);
    for (LookAheadLine& line : band.lookAhead)
        LookAheadInit(&line);
    CompressorInit(&band.compressor, band.envelope);
    W1LimiterInit(&band.limiterState);
    for (int eq = 0; eq < kMultiBandDetectorEqs; ++eq)
        LatticeInit(&band.eq[eq], band.eqState[eq], sampleRate);

    band.type = kBandTypeCompressor;
    band.enabled = 1;
    LinkwitzRileyFilterSetFreqAndIsLowPass(&band.lowPassA, kDefaultCrossoverHz, sampleRate, 1);
    LinkwitzRileyFilterSetFreqAndIsLowPass(&band.lowPassB, kDefaultCrossoverHz, sampleRate, 1);
    LinkwitzRileyFilterSetFreqAndIsLowPass(&band.highPassA, kDefaultCrossoverHz, sampleRate, 0);
    LinkwitzRileyFilterSetFreqAndIsLowPass(&band.highPassB, kDefaultCrossoverHz, sampleRate, 0);

    Compressor& compressor = band.compressor;
    CompressorSetThreshold(&compressor, 1.0f);
    CompressorSetAttack(&compressor, 0.0f, static_cast<float>(sampleRate));
    CompressorSetRelease(&compressor, 0.0f, static_cast<float>(sampleRate));
    CompressorSetRatio(&compressor, 1.0f);
    CompressorSetMakeupGain(&compressor, 1.0f);
    CompressorSetBypass(&compressor, 0);
    compressor.link = 1; // both channels of a band share one detector and one gain

    W1LimiterSetInputGainAndThresholdAndClip(&band.limiter, 1.0f, 1.0f, 1.0f);
    W1LimiterSetReleaseTime(&band.limiter, 150.0f, sampleRate);
    W1LimiterSetBypass(&band.limiter, 0);

    ClipperSetSoftHard(&band.clipper, 0);
    ClipperSetThresh_dB(&band.clipper, 0.0f);
    ClipperSetOutput_dB(&band.clipper, 0.0f);

    band.gainOnlyGain = 1.0f;
    // Q before frequency: a cleared section has Q 0, which the coefficient design would divide by.
    for (AllPassFilter& section : band.allPass)
    {
        AllPassSetQuality(&section, sampleRate, kDefaultAllPassQ);
        AllPassSetFreq(&section, kDefaultCrossoverHz, sampleRate);
        AllPassSetBypass(&section, 1);
    }
    band.lastLimiterGain = 1.0f;
    band.lastCompressorGain[0] = 1.0f;
    band.lastCompressorGain[1] = 1.0f;
    band.lastPeak = 0.0f;
}

void initVirtualBassAndSubwoofer(MultiBandInstance& mb)
{
    MultiBandVirtualBass& vb = mb.virtualBassStage;
    vb.bypass = 0;
    vb.bandBypass[0] = 1;
    vb.bandBypass[1] = 1;
    vb.gain = 1.0f;
    LinkwitzRileyInit(&vb.finalHighPass, vb.finalHighPassState);
    LinkwitzRileyFilterSetFreqAndIsLowPass(&vb.finalHighPass, kDefaultCrossoverHz, mb.sampleRate, 0);

    MultiBandSubwoofer& sub = mb.subwoofer;
    sub.bandMask = 7;
    sub.gain = 1.0f;
    sub.userGain = 1.0f;
    sub.delayMs = 0.0f;
    sub.phase = 0;
}

void setBandBypassMeters(MetersBlock* meters, int band)
{
    meters->values[kMeterBandGain0 + band] = 1.0f;
    meters->values[kMeterBandPeak0 + band] = 0.0f;
}

// Every history initBand() clears, without touching the band's settings or coefficients.
void resetBandAudio(MultiBandBand& band)
{
    for (LinkwitzRileyState* states :
         {band.highPassAState, band.lowPassAState, band.highPassBState, band.lowPassBState})
        for (int ch = 0; ch < kMultiBandChannels; ++ch)
            states[ch] = LinkwitzRileyState{};
    for (AllPassFilter& section : band.allPass)
        for (AllPassHistory& history : section.history)
            history = AllPassHistory{};
    CompressorResetAudio(&band.compressor, band.envelope);
    W1LimiterInit(&band.limiterState);
    for (LookAheadLine& line : band.lookAhead)
        LookAheadInit(&line);
    for (int eq = 0; eq < kMultiBandDetectorEqs; ++eq)
        LatticeResetAudio(&band.eq[eq], band.eqState[eq]);
    band.lastLimiterGain = 1.0f;
    band.lastCompressorGain[0] = 1.0f;
    band.lastCompressorGain[1] = 1.0f;
    band.lastPeak = 0.0f;
}

// Tracks where the band's signal currently is: in the caller's samples (read only) until the first
// active stage writes the working buffer.
struct BandSignal
{
    const float* source;
    float* working;
};

// The active filter sections of a band's crossover, in processing order: Linkwitz-Riley sections, then
// (parallel mode) all-pass sections.
struct CrossoverChain
{
    const LinkwitzRileyFilter* sections[4];
    LinkwitzRileyState* states[4];
    int sectionCount = 0;
    AllPassFilter* allPasses[kMultiBandAllPassSections];
    int allPassCount = 0;
};

// The first section of one side and, for an 8th-order slope, the second. A bypassed section is left
// out (the second one has no bypass of its own in the module, but its flag is honoured).
void addSide(CrossoverChain& chain, const LinkwitzRileyFilter* first, LinkwitzRileyState* firstStates,
             const LinkwitzRileyFilter* second, LinkwitzRileyState* secondStates, int use8thOrder)
{
    if (!first->bypass)
    {
        chain.sections[chain.sectionCount] = first;
        chain.states[chain.sectionCount++] = firstStates;
    }
    if (use8thOrder && !second->bypass)
    {
        chain.sections[chain.sectionCount] = second;
        chain.states[chain.sectionCount++] = secondStates;
    }
}

void addLowPass(CrossoverChain& chain, MultiBandBand& band)
{
    addSide(chain, &band.lowPassA, band.lowPassAState, &band.lowPassB, band.lowPassBState,
            band.lowPass8thOrder);
}

void addHighPass(CrossoverChain& chain, MultiBandBand& band)
{
    addSide(chain, &band.highPassA, band.highPassAState, &band.highPassB, band.highPassBState,
            band.highPass8thOrder);
}

template <int C> void runCrossover(BandSignal& signal, const CrossoverChain& chain, int frames)
{
    if (frames < 1)
        return;
    for (int i = 0; i < chain.sectionCount; ++i)
    {
        linkwitzRileyPass<C>(chain.sections[i], chain.states[i], signal.source, signal.working, frames);
        signal.source = signal.working;
    }
    for (int i = 0; i < chain.allPassCount; ++i)
    {
        allPassPass<C>(chain.allPasses[i], signal.source, signal.working, frames);
        signal.source = signal.working;
    }
}

// Subtractive modes: the band's own signal, negated, is kept for its neighbour; the neighbour's stored
// signal (if given) is added to the band.
template <int C> void storeAndSubtract(BandSignal& signal, float* stored, const float* neighbour, int frames)
{
    storeNegatedAndAdd<C>(signal.source, stored, neighbour, signal.working, frames);
    if (neighbour != nullptr)
        signal.source = signal.working;
}

// A disabled band in a subtractive mode still hands its crossover signal (first section only) to the
// neighbour that subtracts it.
template <int C> void storeDisabledBand(MultiBandInstance& mb, int b, const float* samples, int frames)
{
    MultiBandBand& band = mb.bands[b];
    const bool ascending = mb.crossoverMode == kCrossoverAscending;
    const LinkwitzRileyFilter* first = ascending ? &band.lowPassA : &band.highPassA;
    LinkwitzRileyState* states = ascending ? band.lowPassAState : band.highPassAState;
    BandSignal signal{samples, mb.stored[b]};
    if (!first->bypass && frames > 0)
    {
        linkwitzRileyPass<C>(first, states, samples, mb.stored[b], frames);
        signal.source = mb.stored[b];
    }
    for (int k = 0; k < frames * C; ++k)
        mb.stored[b][k] = -signal.source[k];
}

template <int C>
void processBand(MultiBandInstance& mb, int b, int enabledBands, const float* samples, const float* sub,
                 int frames)
{
    MultiBandBand& band = mb.bands[b];
    MetersBlock* meters = mb.meters;
    float* gainMeter = &meters->values[kMeterBandGain0 + b];
    const int mode = mb.crossoverMode;

    if (!band.enabled)
    {
        setBandBypassMeters(meters, b);
        if (mode == kCrossoverAscending || mode == kCrossoverDescending)
            storeDisabledBand<C>(mb, b, samples, frames);
        return;
    }

    BandSignal signal{samples, mb.working};
    if (virtualBassActive(mb) && b < 2 && !mb.virtualBassStage.bandBypass[b])
    {
        for (int n = 0; n < frames; ++n)
            for (int ch = 0; ch < C; ++ch)
                mb.working[n * C + ch] = (mb.virtualBass[n] + samples[n * C + ch]) * 0.5f;
        signal.source = mb.working;
    }

    CrossoverChain chain;
    switch (mode)
    {
    case kCrossoverParallel:
        addLowPass(chain, band);
        addHighPass(chain, band);
        for (AllPassFilter& section : band.allPass)
            if (!section.bypass)
                chain.allPasses[chain.allPassCount++] = &section;
        runCrossover<C>(signal, chain, frames);
        break;
    case kCrossoverAscending:
        addLowPass(chain, band);
        runCrossover<C>(signal, chain, frames);
        storeAndSubtract<C>(signal, mb.stored[b], b > 0 ? mb.stored[b - 1] : nullptr, frames);
        if (b == 0)
        {
            CrossoverChain highPass;
            addHighPass(highPass, band);
            runCrossover<C>(signal, highPass, frames);
        }
        break;
    case kCrossoverDescending:
        addHighPass(chain, band);
        runCrossover<C>(signal, chain, frames);
        storeAndSubtract<C>(signal, mb.stored[b], b < enabledBands - 1 ? mb.stored[b + 1] : nullptr, frames);
        if ((b == enabledBands - 1 && enabledBands > 1) || (enabledBands == 1 && band.isLastBand))
        {
            CrossoverChain lowPass;
            addLowPass(lowPass, band);
            runCrossover<C>(signal, lowPass, frames);
        }
        break;
    default:
        addLowPass(chain, band);
        runCrossover<C>(signal, chain, frames);
        break;
    }

    // Every type but the limiter (which delays by itself) passes the look-ahead line; the detector EQ
    // shapes only the side chain of the compressor and the limiter.
    const float* bandOutput = mb.delayed;
    switch (band.type)
    {
    case kBandTypeCompressor:
    {
        const float* sideChain = detectorPass<C, true>(band, signal.source, mb.delayed, mb.working, frames);
        const float gain = compressBand<C>(band, mb.delayed, sideChain, frames);
        for (int ch = 0; ch < C; ++ch)
            band.lastCompressorGain[ch] = gain;
        *gainMeter = gain;
        break;
    }
    case kBandTypeLimiter:
    {
        // The side chain must not overwrite the limiter's input; the output goes wherever is free.
        float* sideBuffer = signal.source == mb.working ? mb.delayed : mb.working;
        const float* sideChain = detectorPass<C, false>(band, signal.source, nullptr, sideBuffer, frames);
        float* output = signal.source == mb.working ? mb.working : mb.delayed;
        const float gain =
            w1limit(C, &band.limiterState, &band.limiter, signal.source, output, sideChain, frames);
        // A bypassed limiter writes nothing: the band passes undelayed.
        bandOutput = band.limiter.bypass ? signal.source : output;
        band.lastLimiterGain = gain;
        *gainMeter = gain;
        break;
    }
    case kBandTypeClipper:
        lookAheadPass<C>(band.lookAhead, signal.source, mb.delayed, frames);
        for (int ch = 0; ch < C; ++ch)
            clip(&band.clipper, C, mb.delayed + ch, frames, C);
        *gainMeter = 1.0f;
        break;
    case kBandTypeGain:
        lookAheadPass<C>(band.lookAhead, signal.source, mb.delayed, frames);
        for (int ch = 0; ch < C; ++ch)
            scaleBuffer(C, mb.delayed + ch, frames, band.gainOnlyGain);
        *gainMeter = 1.0f;
        break;
    default:
        // No dynamics stage: nothing reduces the gain.
        lookAheadPass<C>(band.lookAhead, signal.source, mb.delayed, frames);
        *gainMeter = 1.0f;
        break;
    }

    float peaks[C];
    if (routesToSubwoofer(mb, b, sub))
    {
        for (int ch = 0; ch < C; ++ch)
            computeMaxLevel(C, bandOutput + ch, &peaks[ch], frames);
    }
    else
    {
        accumulatePass<C>(bandOutput, mb.output, peaks, frames);
    }
    // With two channels the level meter shows channel 1, as a per-channel meter update would leave it.
    band.lastPeak = peaks[C - 1];
    meters->values[kMeterBandPeak0 + b] = peaks[C - 1];
}

template <int C> void processBands(MultiBandInstance& mb, const float* samples, const float* sub, int frames)
{
    if (mb.crossoverMode == kCrossoverDescending)
    {
        int enabledBands = 0;
        for (const MultiBandBand& band : mb.bands)
            enabledBands += band.enabled ? 1 : 0;
        for (int b = kMultiBandMaxBands - 1; b >= 0; --b)
            processBand<C>(mb, b, enabledBands, samples, sub, frames);
    }
    else
    {
        for (int b = 0; b < kMultiBandMaxBands; ++b)
            processBand<C>(mb, b, 0, samples, sub, frames);
    }
}
} // namespace

MultiBandInstance* MultiBandGetInstanceState(int instance)
{
    return isValid(instance) ? &sInstances[instance] : nullptr;
}

int MultiBandInit(int count)
{
    if (count > kMaxInstances)
        return -1;
    sNumInstances = count < 0 ? 0 : count;
    for (int i = 0; i < sNumInstances; ++i)
    {
        MultiBandInstance& mb = sInstances[i];
        mb.sampleRate = kDefaultSampleRate;
        mb.bypass = 0;
        for (int b = 0; b < kMultiBandMaxBands; ++b)
        {
            initBand(mb.bands[b], mb.sampleRate);
            mb.bands[b].isLastBand = b == kMultiBandMaxBands - 1 ? 1 : 0;
        }
        std::memset(mb.stored, 0, sizeof(mb.stored));
        std::memset(mb.virtualBass, 0, sizeof(mb.virtualBass));
        initVirtualBassAndSubwoofer(mb);
        mb.crossoverMode = kCrossoverParallel;
        MultiBandSetSampleRate(i, kDefaultSampleRate);
        mb.meters = VYKCommGetMeters(i);
    }
    return 0;
}

void MultiBandSetSampleRate(int instance, int rate)
{
    if (!isValid(instance) || rate < 1)
        return;
    MultiBandInstance& mb = sInstances[instance];
    mb.sampleRate = rate;
    auto* records = static_cast<MultiBandBandBlock*>(VYKCommGetBlockData(kBlockMultiBand, instance, nullptr));
    if (records == nullptr)
        return;
    const auto* core = reinterpret_cast<const MultiBandCoreBlock*>(records + kNumBands);
    for (int r = 0; r < kNumBands; ++r)
    {
        const MultiBandBandBlock& record = records[r];
        const int b = record.bandIndex;
        if (!isBand(b))
            continue;
        MultiBandBand& band = mb.bands[b];
        MultiBandLinkwitzRileyFilterSetFreqAndIsLowPass(instance, b, truncateHz(record.highPassFreq), 0);
        MultiBandLinkwitzRileyFilterSetFreqAndIsLowPass(instance, b, truncateHz(record.lowPassFreq), 1);
        W1LimiterUpdateCoeff(&band.limiter, rate);
        CompressorSetAttack(&band.compressor, record.compAttackMs, static_cast<float>(rate));
        CompressorSetRelease(&band.compressor, record.compReleaseMs, static_cast<float>(rate));
        for (AllPassFilter& section : band.allPass)
            AllPassSetQuality(&section, rate, core->allPassQ);
        for (int eq = 0; eq < kMultiBandDetectorEqs; ++eq)
        {
            const EqBandBlock& section = record.detectorEq[eq];
            LatticeSetFreqAndQ(&band.eq[eq], truncateHz(section.freq), rate, section.q);
        }
    }
}

void MultiBandResetAudio(int instance)
{
    if (!isValid(instance))
        return;
    MultiBandInstance& mb = sInstances[instance];
    for (MultiBandBand& band : mb.bands)
        resetBandAudio(band);
    // Block scratch, rewritten before it is read; cleared all the same so that none of the instance's
    // past audio stays behind a reset.
    std::memset(mb.working, 0, sizeof(mb.working));
    std::memset(mb.delayed, 0, sizeof(mb.delayed));
    std::memset(mb.stored, 0, sizeof(mb.stored));
    std::memset(mb.virtualBass, 0, sizeof(mb.virtualBass));
    std::memset(mb.output, 0, sizeof(mb.output));

    MultiBandVirtualBass& vb = mb.virtualBassStage;
    vb.gain = 1.0f;
    for (LinkwitzRileyState& state : vb.finalHighPassState)
        state = LinkwitzRileyState{};

    MetersBlock* meters = mb.meters;
    if (meters == nullptr)
        return;
    meters->values[kMeterVirtualBassGain] = 1.0f;
    meters->values[kMeterMultiBandPeak0] = 0.0f;
    meters->values[kMeterMultiBandPeak1] = 0.0f;
    for (int b = 0; b < kMultiBandMaxBands; ++b)
        setBandBypassMeters(meters, b);
}

void MultiBandSetAll(int instance, MasterBlock* master)
{
    if (!isValid(instance) || master == nullptr)
        return;
    MultiBandSetCore(instance, &master->multiBandCore);
    for (MultiBandBandBlock& band : master->bands)
        MultiBandSetBand(instance, &band);
}

void MultiBandSetCore(int instance, MultiBandCoreBlock* core)
{
    if (!isValid(instance) || core == nullptr)
        return;
    MultiBandInstance& mb = sInstances[instance];
    mb.bypass = core->bypass;

    // Virtual-bass and subwoofer settings are kept for their stages; the levels, response and resonant
    // low-pass are applied once the synthesis exists.
    mb.virtualBassStage.bandBypass[0] = core->virtualBassIntoBand0 ? 0 : 1;
    mb.virtualBassStage.bandBypass[1] = core->virtualBassIntoBand1 ? 0 : 1;
    mb.virtualBassStage.bypass = core->virtualBassBypass;
    mb.subwoofer.bandMask = core->subwooferBandMask;
    mb.subwoofer.delayMs = core->subwooferDelayMs;
    mb.subwoofer.gain = core->subwooferGain;
    mb.subwoofer.userGain = core->subwooferUserGain;
    mb.subwoofer.phase = core->subwooferPhase;

    for (MultiBandBand& band : mb.bands)
    {
        for (AllPassFilter& section : band.allPass)
            AllPassSetQuality(&section, mb.sampleRate, core->allPassQ);
    }
}

void MultiBandSetBand(int instance, MultiBandBandBlock* record)
{
    if (!isValid(instance) || record == nullptr || !isBand(record->bandIndex))
        return;
    MultiBandInstance& mb = sInstances[instance];
    const int b = record->bandIndex;
    MultiBandBand& band = mb.bands[b];
    const int rate = mb.sampleRate;

    band.enabled = record->bandOff == 0 ? 1 : 0;
    band.type = record->bandType;
    band.highPass8thOrder = record->highPass8thOrder;
    band.lowPass8thOrder = record->lowPass8thOrder;

    LinkwitzRileyFilterSetBypass(&band.highPassA, record->highPassEnabled == 0 ? 1 : 0);
    if (VYKCommCheckParamChanged(&record->highPassFreq))
        MultiBandLinkwitzRileyFilterSetFreqAndIsLowPass(instance, b, truncateHz(record->highPassFreq), 0);
    LinkwitzRileyFilterSetBypass(&band.lowPassA, record->lowPassEnabled == 0 ? 1 : 0);
    if (VYKCommCheckParamChanged(&record->lowPassFreq))
        MultiBandLinkwitzRileyFilterSetFreqAndIsLowPass(instance, b, truncateHz(record->lowPassFreq), 1);

    for (int eq = 0; eq < kMultiBandDetectorEqs; ++eq)
    {
        EqBandBlock& section = record->detectorEq[eq];
        LatticeSetBypass(&band.eq[eq], section.bypass);
        if (VYKCommCheckParamChanged(&section.freq) || VYKCommCheckParamChanged(&section.q))
            LatticeSetFreqAndQ(&band.eq[eq], truncateHz(section.freq), rate, section.q);
        LatticeSetGain(&band.eq[eq], section.gain);
    }

    CompressorSetBypass(&band.compressor, record->compBypass);
    if (VYKCommCheckParamChanged(&record->compAttackMs))
        CompressorSetAttack(&band.compressor, record->compAttackMs, static_cast<float>(rate));
    if (VYKCommCheckParamChanged(&record->compReleaseMs))
        CompressorSetRelease(&band.compressor, record->compReleaseMs, static_cast<float>(rate));
    if (VYKCommCheckParamChanged(&record->compMakeupGain))
        CompressorSetMakeupGain(&band.compressor, record->compMakeupGain);
    if (VYKCommCheckParamChanged(&record->compThreshold))
        CompressorSetThreshold(&band.compressor, record->compThreshold);
    if (VYKCommCheckParamChanged(&record->compRatioRecip))
        CompressorSetRatio(&band.compressor, reciprocal(record->compRatioRecip));

    W1LimiterSetBypass(&band.limiter, record->limiterBypass);
    if (VYKCommCheckParamChanged(&record->limiterInputGain) ||
        VYKCommCheckParamChanged(&record->limiterThreshold) || VYKCommCheckParamChanged(&record->limiterClip))
    {
        W1LimiterSetInputGainAndThresholdAndClip(&band.limiter, record->limiterInputGain,
                                                 record->limiterThreshold, record->limiterClip);
    }
    if (VYKCommCheckParamChanged(&record->limiterReleaseMs))
        W1LimiterSetReleaseTime(&band.limiter, record->limiterReleaseMs, rate);

    ClipperSetSoftHard(&band.clipper, record->softClip == 0 ? kClipperHard : 0);
    if (VYKCommCheckParamChanged(&record->clipperThreshold))
        ClipperSetThresh(&band.clipper, record->clipperThreshold);
    if (VYKCommCheckParamChanged(&record->clipperOutputGain))
        ClipperSetOutput(&band.clipper, record->clipperOutputGain);

    if (VYKCommCheckParamChanged(&record->gainOnlyGain))
        band.gainOnlyGain = record->gainOnlyGain;

    MultiBandAllPassSetMask(instance, b, record->allPassMask);
    if (b == 0)
        mb.crossoverMode = crossoverModeByte(record);
    band.isLastBand = isLastBandByte(record);
}

void MultiBandSetBypass(int instance, int flag)
{
    if (isValid(instance))
        sInstances[instance].bypass = flag;
}

int MultiBandGetBypass(int instance)
{
    return isValid(instance) ? sInstances[instance].bypass : 0;
}

void MultiBandSetBandType(int instance, int band, int type)
{
    if (MultiBandBand* b = bandOf(instance, band))
        b->type = type;
}

void MultiBandSetBandEnabled(int instance, int band, int enabled)
{
    if (MultiBandBand* b = bandOf(instance, band))
        b->enabled = enabled;
}

void MultiBandSetIsLastBand(int instance, int band, int flag)
{
    if (MultiBandBand* b = bandOf(instance, band))
        b->isLastBand = flag;
}

void MultiBandSetCrossoverMode(int instance, int mode)
{
    if (isValid(instance))
        sInstances[instance].crossoverMode = mode;
}

void MultiBandSet8thOrderEnabled(int instance, int band, int flag, int isLowPass)
{
    if (MultiBandBand* b = bandOf(instance, band))
        (isLowPass ? b->lowPass8thOrder : b->highPass8thOrder) = flag;
}

void MultiBandLinkwitzRileyFilterSetBypass(int instance, int band, int flag, int isLowPass)
{
    if (MultiBandBand* b = bandOf(instance, band))
        LinkwitzRileyFilterSetBypass(isLowPass ? &b->lowPassA : &b->highPassA, flag);
}

void MultiBandLinkwitzRileyFilterSetFreqAndIsLowPass(int instance, int band, int freqHz, int isLowPass)
{
    MultiBandBand* b = bandOf(instance, band);
    if (b == nullptr)
        return;
    MultiBandInstance& mb = sInstances[instance];
    const int rate = mb.sampleRate;
    int section = band;
    if (isLowPass)
    {
        LinkwitzRileyFilterSetFreqAndIsLowPass(&b->lowPassA, freqHz, rate, 1);
        LinkwitzRileyFilterSetFreqAndIsLowPass(&b->lowPassB, freqHz, rate, 1);
        section = band + 1; // band k's low-pass is the crossover to band k + 1
    }
    else
    {
        LinkwitzRileyFilterSetFreqAndIsLowPass(&b->highPassA, freqHz, rate, 0);
        LinkwitzRileyFilterSetFreqAndIsLowPass(&b->highPassB, freqHz, rate, 0);
        if (band == 0)
            LinkwitzRileyFilterSetFreqAndIsLowPass(&mb.virtualBassStage.finalHighPass, freqHz, rate, 0);
    }
    if (section >= kMultiBandAllPassSections)
        return;
    // Every band carries an all-pass copy of each crossover's phase, so moving a crossover retunes it
    // in all bands.
    for (MultiBandBand& other : mb.bands)
        AllPassSetFreq(&other.allPass[section], freqHz, rate);
}

void MultiBandAllPassSetMask(int instance, int band, int mask)
{
    if (MultiBandBand* b = bandOf(instance, band))
    {
        for (int k = 0; k < kMultiBandAllPassSections; ++k)
            AllPassSetBypass(&b->allPass[k], (mask >> k) & 1 ? 0 : 1);
    }
}

void MultiBandAllPassSetFreq(int instance, int band, int section, int freqHz)
{
    MultiBandBand* b = bandOf(instance, band);
    if (b != nullptr && section >= 0 && section < kMultiBandAllPassSections)
        AllPassSetFreq(&b->allPass[section], freqHz, sInstances[instance].sampleRate);
}

void MultiBandAllPassSetQuality(int instance, int band, int section, float q)
{
    MultiBandBand* b = bandOf(instance, band);
    if (b != nullptr && section >= 0 && section < kMultiBandAllPassSections)
        AllPassSetQuality(&b->allPass[section], sInstances[instance].sampleRate, q);
}

namespace
{
LatticeFilter* detectorEq(int instance, int band, int eq)
{
    MultiBandBand* b = bandOf(instance, band);
    return b != nullptr && eq >= 0 && eq < kMultiBandDetectorEqs ? &b->eq[eq] : nullptr;
}
} // namespace

void MultiBandEqSetBypass(int instance, int band, int eq, int flag)
{
    if (LatticeFilter* filter = detectorEq(instance, band, eq))
        LatticeSetBypass(filter, flag);
}

void MultiBandEqSetFreqAndQ(int instance, int band, int eq, int freqHz, float q)
{
    if (LatticeFilter* filter = detectorEq(instance, band, eq))
        LatticeSetFreqAndQ(filter, freqHz, sInstances[instance].sampleRate, q);
}

void MultiBandEqSetGain(int instance, int band, int eq, float gain)
{
    if (LatticeFilter* filter = detectorEq(instance, band, eq))
        LatticeSetGain(filter, gain);
}

void MultiBandCompressorSetBypass(int instance, int band, int flag)
{
    if (MultiBandBand* b = bandOf(instance, band))
        CompressorSetBypass(&b->compressor, flag);
}

void MultiBandCompressorSetAttack(int instance, int band, float ms)
{
    if (MultiBandBand* b = bandOf(instance, band))
        CompressorSetAttack(&b->compressor, ms, static_cast<float>(sInstances[instance].sampleRate));
}

void MultiBandCompressorSetRelease(int instance, int band, float ms)
{
    if (MultiBandBand* b = bandOf(instance, band))
        CompressorSetRelease(&b->compressor, ms, static_cast<float>(sInstances[instance].sampleRate));
}

void MultiBandCompressorSetMakeupGain(int instance, int band, float gain)
{
    if (MultiBandBand* b = bandOf(instance, band))
        CompressorSetMakeupGain(&b->compressor, gain);
}

void MultiBandCompressorSetThreshold(int instance, int band, float threshold)
{
    if (MultiBandBand* b = bandOf(instance, band))
        CompressorSetThreshold(&b->compressor, threshold);
}

void MultiBandCompressorSetRatio(int instance, int band, float ratio)
{
    if (MultiBandBand* b = bandOf(instance, band))
        CompressorSetRatio(&b->compressor, ratio);
}

void MultiBandCompressorSetMakeupGain_dB(int instance, int band, float dB)
{
    MultiBandCompressorSetMakeupGain(instance, band, dbToGain(dB));
}

void MultiBandCompressorSetThreshold_dB(int instance, int band, float dB)
{
    MultiBandCompressorSetThreshold(instance, band, dbToGain(dB));
}

void MultiBandW1LimiterSetBypass(int instance, int band, int flag)
{
    if (MultiBandBand* b = bandOf(instance, band))
        W1LimiterSetBypass(&b->limiter, flag);
}

void MultiBandW1LimiterSetInputGainAndThresholdAndClip(int instance, int band, float inputGain,
                                                       float threshold, float clip)
{
    if (MultiBandBand* b = bandOf(instance, band))
        W1LimiterSetInputGainAndThresholdAndClip(&b->limiter, inputGain, threshold, clip);
}

void MultiBandW1LimiterSetReleaseTime(int instance, int band, float ms)
{
    if (MultiBandBand* b = bandOf(instance, band))
        W1LimiterSetReleaseTime(&b->limiter, ms, sInstances[instance].sampleRate);
}

void MultiBandW1LimiterUpdateCoeff(int instance, int band)
{
    if (MultiBandBand* b = bandOf(instance, band))
        W1LimiterUpdateCoeff(&b->limiter, sInstances[instance].sampleRate);
}

void MultiBandClipperSetSoftHard(int instance, int band, int mode)
{
    if (MultiBandBand* b = bandOf(instance, band))
        ClipperSetSoftHard(&b->clipper, mode);
}

void MultiBandClipperSetThresh(int instance, int band, float gain)
{
    if (MultiBandBand* b = bandOf(instance, band))
        ClipperSetThresh(&b->clipper, gain);
}

void MultiBandClipperSetOutput(int instance, int band, float gain)
{
    if (MultiBandBand* b = bandOf(instance, band))
        ClipperSetOutput(&b->clipper, gain);
}

void MultiBandClipperSetThresh_dB(int instance, int band, float dB)
{
    if (MultiBandBand* b = bandOf(instance, band))
        ClipperSetThresh_dB(&b->clipper, dB);
}

void MultiBandClipperSetOutput_dB(int instance, int band, float dB)
{
    if (MultiBandBand* b = bandOf(instance, band))
        ClipperSetOutput_dB(&b->clipper, dB);
}

void MultiBandBypassSetOutputGain(int instance, int band, float gain)
{
    if (MultiBandBand* b = bandOf(instance, band))
        b->gainOnlyGain = gain;
}

void MultiBandBypassSetOutputGain_dB(int instance, int band, float dB)
{
    MultiBandBypassSetOutputGain(instance, band, dbToGain(dB));
}

void MultiBandCompressorGetGainReduction(int instance, int band, float* gain0, float* gain1)
{
    const MultiBandBand* b = bandOf(instance, band);
    if (gain0 != nullptr)
        *gain0 = b != nullptr ? b->lastCompressorGain[0] : 1.0f;
    if (gain1 != nullptr)
        *gain1 = b != nullptr ? b->lastCompressorGain[1] : 1.0f;
}

float MultiBandGetLimiterGainReduction(int instance, int band)
{
    const MultiBandBand* b = bandOf(instance, band);
    return b != nullptr ? b->lastLimiterGain : 1.0f;
}

void VykMultiBandCompress(int instance, float* samples, float* aux, int frames, int channels)
{
    if (!isValid(instance) || samples == nullptr || channels < 1 || channels > kMultiBandChannels ||
        frames < 0 || frames > kMaxFrames)
        return;
    MultiBandInstance& mb = sInstances[instance];
    MetersBlock* meters = mb.meters;
    if (meters == nullptr)
        return;

    if (mb.bypass)
    {
        meters->values[kMeterVirtualBassGain] = 1.0f;
        for (int b = 0; b < kMultiBandMaxBands; ++b)
            setBandBypassMeters(meters, b);
        for (int ch = 0; ch < channels; ++ch)
            computeMaxLevel(channels, samples + ch, &meters->values[kMeterMultiBandPeak0 + ch], frames);
        return;
    }

    const int count = frames * channels;
    std::memset(mb.output, 0, sizeof(float) * static_cast<size_t>(count));
    if (aux != nullptr)
        std::memset(aux, 0, sizeof(float) * static_cast<size_t>(frames));

    meters->values[kMeterVirtualBassGain] = virtualBassActive(mb) ? mb.virtualBassStage.gain : 1.0f;

    if (channels == 2)
        processBands<2>(mb, samples, aux, frames);
    else
        processBands<1>(mb, samples, aux, frames);
    finishSubwoofer(mb, aux, frames);

    for (int ch = 0; ch < channels; ++ch)
        computeMaxLevel(channels, mb.output + ch, &meters->values[kMeterMultiBandPeak0 + ch], frames);
    copyBuffer(channels, mb.output, samples, frames);

    if (virtualBassActive(mb))
    {
        MultiBandVirtualBass& vb = mb.virtualBassStage;
        for (int ch = 0; ch < channels; ++ch)
            linkwitzRiley(channels, &vb.finalHighPassState[ch], &vb.finalHighPass, samples + ch, samples + ch,
                          frames);
    }
}

int MultiBandGetLatency(int instance)
{
    if (!isValid(instance) || sInstances[instance].bypass)
        return 0;
    return kMultiBandLookAhead;
}
