// Run-time state of one multiband instance. Internal to the module; tests include it to compare the
// module's block path with a plain reference built from the dsp routines.
#pragma once

#include "core/MasterBlock.h"
#include "core/StoreBlocks.h"
#include "dsp/Dsp.h"

#include <cstdint>

constexpr int kMultiBandMaxBands = 5;
constexpr int kMultiBandAllPassSections = 5;
constexpr int kMultiBandDetectorEqs = 2;
constexpr int kMultiBandChannels = 2;
constexpr int kMultiBandBufferLength = 4096; // one block of up to 2048 stereo frames
constexpr int kMultiBandLookAhead = 64;      // the W1 limiter's delay; every other band type matches it
constexpr float kMultiBandCompressorFloor = 0.01f;

// Crossover modes (byte 26 of band 0's record); any other value uses the band's low-pass only.
constexpr int kCrossoverParallel = 0;
constexpr int kCrossoverAscending = 1;
constexpr int kCrossoverDescending = 2;

struct MultiBandBand
{
    int32_t type; // kBandType*; other values pass the delayed crossover signal
    int32_t enabled;
    int32_t isLastBand;
    int32_t lowPass8thOrder; // second low-pass section in use
    int32_t highPass8thOrder;
    LinkwitzRileyFilter highPassA;
    LinkwitzRileyFilter lowPassA;
    LinkwitzRileyFilter highPassB;
    LinkwitzRileyFilter lowPassB;
    LinkwitzRileyState highPassAState[kMultiBandChannels];
    LinkwitzRileyState lowPassAState[kMultiBandChannels];
    LinkwitzRileyState highPassBState[kMultiBandChannels];
    LinkwitzRileyState lowPassBState[kMultiBandChannels];
    AllPassFilter allPass[kMultiBandAllPassSections]; // section k stands for crossover k
    Compressor compressor;
    CompressorEnvelope envelope[kMultiBandChannels];
    W1Limiter limiter;
    W1LimiterState limiterState;
    Clipper clipper;
    float gainOnlyGain;
    LookAheadLine lookAhead[kMultiBandChannels];
    LatticeFilter eq[kMultiBandDetectorEqs];
    LatticeState eqState[kMultiBandDetectorEqs][kMultiBandChannels];
    float lastLimiterGain;
    float lastCompressorGain[kMultiBandChannels];
    float lastPeak;
};

// Settings of the virtual-bass stage (inactive until its synthesis is built; see MultiBand.cpp). The
// final high-pass already follows band 0's high-pass frequency.
struct MultiBandVirtualBass
{
    int32_t bypass;
    int32_t bandBypass[2]; // 1: no virtual bass in band 0 / band 1
    float gain;            // current gain, reported on the meters
    LinkwitzRileyFilter finalHighPass;
    LinkwitzRileyState finalHighPassState[kMultiBandChannels];
};

// Settings of the subwoofer output (its routing is not built yet; see MultiBand.cpp).
struct MultiBandSubwoofer
{
    int32_t bandMask; // bit b: band b feeds the subwoofer output
    float gain;
    float userGain;
    float delayMs;
    int32_t phase;
};

struct alignas(64) MultiBandInstance
{
    float working[kMultiBandBufferLength];
    float delayed[kMultiBandBufferLength];
    float stored[kMultiBandMaxBands][kMultiBandBufferLength]; // negated crossover signal per band
    float virtualBass[kMultiBandBufferLength];
    float output[kMultiBandBufferLength]; // accumulator of the band outputs
    MultiBandBand bands[kMultiBandMaxBands];
    MultiBandVirtualBass virtualBassStage;
    MultiBandSubwoofer subwoofer;
    int32_t sampleRate;
    int32_t crossoverMode;
    int32_t bypass;
    MetersBlock* meters;
};

/// The instance's state, or null for an index outside the initialised table. For tests.
MultiBandInstance* MultiBandGetInstanceState(int instance);
