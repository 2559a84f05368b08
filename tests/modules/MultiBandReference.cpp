#include "MultiBandReference.h"

#include <cstring>

namespace
{
void crossoverSide(int channels, int ch, const LinkwitzRileyFilter* first, LinkwitzRileyState* firstStates,
                   const LinkwitzRileyFilter* second, LinkwitzRileyState* secondStates, int use8thOrder,
                   float* buffer, int frames)
{
    linkwitzRiley(channels, &firstStates[ch], first, buffer + ch, buffer + ch, frames);
    if (use8thOrder)
        linkwitzRiley(channels, &secondStates[ch], second, buffer + ch, buffer + ch, frames);
}

void lowPassSide(MultiBandBand& band, int channels, int ch, float* buffer, int frames)
{
    crossoverSide(channels, ch, &band.lowPassA, band.lowPassAState, &band.lowPassB, band.lowPassBState,
                  band.lowPass8thOrder, buffer, frames);
}

void highPassSide(MultiBandBand& band, int channels, int ch, float* buffer, int frames)
{
    crossoverSide(channels, ch, &band.highPassA, band.highPassAState, &band.highPassB, band.highPassBState,
                  band.highPass8thOrder, buffer, frames);
}

void storeNegated(int channels, int ch, const float* buffer, float* stored, int frames)
{
    for (int n = 0; n < frames; ++n)
        stored[n * channels + ch] = -buffer[n * channels + ch];
}

void processBand(MultiBandInstance& mb, MetersBlock& meters, int b, int n, const float* samples, int frames,
                 int channels)
{
    MultiBandBand& band = mb.bands[b];
    const int mode = mb.crossoverMode;
    float* working = mb.working;
    float* delayed = mb.delayed;
    float* gainMeter = &meters.values[kMeterBandGain0 + b];
    copyBuffer(channels, samples, working, frames);

    if (!band.enabled)
    {
        *gainMeter = 1.0f;
        meters.values[kMeterBandPeak0 + b] = 0.0f;
        if (mode == kCrossoverAscending || mode == kCrossoverDescending)
        {
            for (int ch = 0; ch < channels; ++ch)
            {
                if (mode == kCrossoverAscending)
                    linkwitzRiley(channels, &band.lowPassAState[ch], &band.lowPassA, working + ch,
                                  working + ch, frames);
                else
                    linkwitzRiley(channels, &band.highPassAState[ch], &band.highPassA, working + ch,
                                  working + ch, frames);
                storeNegated(channels, ch, working, mb.stored[b], frames);
            }
        }
        return;
    }

    for (int ch = 0; ch < channels; ++ch)
    {
        switch (mode)
        {
        case kCrossoverParallel:
            lowPassSide(band, channels, ch, working, frames);
            highPassSide(band, channels, ch, working, frames);
            for (AllPassFilter& section : band.allPass)
                allPass(channels, ch, &section, working + ch, working + ch, frames);
            break;
        case kCrossoverAscending:
            lowPassSide(band, channels, ch, working, frames);
            storeNegated(channels, ch, working, mb.stored[b], frames);
            if (b > 0)
                sum_two_buffers(channels, channels, channels, working + ch, mb.stored[b - 1] + ch,
                                working + ch, 0, frames);
            if (b == 0)
                highPassSide(band, channels, ch, working, frames);
            break;
        case kCrossoverDescending:
            highPassSide(band, channels, ch, working, frames);
            storeNegated(channels, ch, working, mb.stored[b], frames);
            if (b < n - 1)
                sum_two_buffers(channels, channels, channels, working + ch, mb.stored[b + 1] + ch,
                                working + ch, 0, frames);
            if ((b == n - 1 && n > 1) || (n == 1 && band.isLastBand))
                lowPassSide(band, channels, ch, working, frames);
            break;
        default:
            lowPassSide(band, channels, ch, working, frames);
            break;
        }
    }

    for (int ch = 0; ch < channels; ++ch)
    {
        if (band.type == kBandTypeLimiter)
        {
            copyBuffer2(channels, channels, working + ch, delayed + ch, frames);
        }
        else
        {
            for (int i = 0; i < frames; ++i)
            {
                const int k = i * channels + ch;
                delayed[k] = lookAhead(&band.lookAhead[ch], kMultiBandLookAhead, working[k]);
            }
        }
    }

    for (int ch = 0; ch < channels; ++ch)
    {
        switch (band.type)
        {
        case kBandTypeCompressor:
            copyBuffer2(channels, channels, delayed + ch, working + ch, frames);
            lattice(channels, &band.eqState[0][ch], &band.eq[0], working + ch, frames);
            lattice(channels, &band.eqState[1][ch], &band.eq[1], working + ch, frames);
            break;
        case kBandTypeLimiter:
            lattice(channels, &band.eqState[0][ch], &band.eq[0], working + ch, frames);
            lattice(channels, &band.eqState[1][ch], &band.eq[1], working + ch, frames);
            break;
        case kBandTypeClipper:
            clip(&band.clipper, channels, delayed + ch, frames, channels);
            *gainMeter = 1.0f;
            break;
        case kBandTypeGain:
            scaleBuffer(channels, delayed + ch, frames, band.gainOnlyGain);
            *gainMeter = 1.0f;
            break;
        default:
            *gainMeter = 1.0f;
            break;
        }
    }

    if (band.type == kBandTypeCompressor)
    {
        const float gain = sidechaincompress(channels, delayed, working, &band.compressor, band.envelope,
                                             channels, kMultiBandCompressorFloor, frames);
        for (int ch = 0; ch < channels; ++ch)
            band.lastCompressorGain[ch] = gain;
        *gainMeter = gain;
    }
    else if (band.type == kBandTypeLimiter)
    {
        const float gain =
            w1limit(channels, &band.limiterState, &band.limiter, delayed, delayed, working, frames);
        band.lastLimiterGain = gain;
        *gainMeter = gain;
    }

    copyBuffer(channels, delayed, working, frames);
    for (int ch = 0; ch < channels; ++ch)
    {
        band.lastPeak = computeMaxLevel(channels, working + ch, &meters.values[kMeterBandPeak0 + b], frames);
        sum_two_buffers(channels, channels, channels, mb.output + ch, working + ch, mb.output + ch, 0,
                        frames);
    }
}
} // namespace

void referenceMultiBandCompress(MultiBandInstance& mb, MetersBlock& meters, float* samples, float* aux,
                                int frames, int channels)
{
    if (mb.bypass)
    {
        meters.values[kMeterVirtualBassGain] = 1.0f;
        for (int b = 0; b < kMultiBandMaxBands; ++b)
        {
            meters.values[kMeterBandGain0 + b] = 1.0f;
            meters.values[kMeterBandPeak0 + b] = 0.0f;
        }
        for (int ch = 0; ch < channels; ++ch)
            computeMaxLevel(channels, samples + ch, &meters.values[kMeterMultiBandPeak0 + ch], frames);
        return;
    }
    std::memset(mb.output, 0, sizeof(float) * static_cast<size_t>(frames * channels));
    if (aux != nullptr)
        std::memset(aux, 0, sizeof(float) * static_cast<size_t>(frames));
    meters.values[kMeterVirtualBassGain] = 1.0f;

    if (mb.crossoverMode == kCrossoverDescending)
    {
        int enabledBands = 0;
        for (const MultiBandBand& band : mb.bands)
            enabledBands += band.enabled ? 1 : 0;
        for (int b = kMultiBandMaxBands - 1; b >= 0; --b)
            processBand(mb, meters, b, enabledBands, samples, frames, channels);
    }
    else
    {
        for (int b = 0; b < kMultiBandMaxBands; ++b)
            processBand(mb, meters, b, 0, samples, frames, channels);
    }
    for (int ch = 0; ch < channels; ++ch)
        computeMaxLevel(channels, mb.output + ch, &meters.values[kMeterMultiBandPeak0 + ch], frames);
    copyBuffer(channels, mb.output, samples, frames);
}
