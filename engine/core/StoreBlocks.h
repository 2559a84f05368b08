// Auxiliary records of the parameter store that are not part of the MasterBlock: live meters,
// profiling results, system information and the read/write-only module blocks. Each is a wire format
// of the control protocol, little-endian, so the layouts are frozen.
#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>

// Indices into MetersBlock::values. Every meter is linear; "0"/"1" name channel 0 and 1.
enum MeterIndex : int
{
    kMeterInputPeak0 = 0, // before the chain
    kMeterInputPeak1 = 1,
    kMeterOutputPeak0 = 2, // after the chain and the mute ramp
    kMeterOutputPeak1 = 3,
    kMeterVirtualBassGain = 4, // 1.0 while virtual bass or the multiband is bypassed
    kMeterBagcPeak0 = 5,
    kMeterBagcPeak1 = 6,
    kMeterBagcGain0 = 7, // bass AGC compressor gain, 1.0 while bypassed
    kMeterBagcGain1 = 8,
    kMeterUserPeak0 = 9,
    kMeterUserPeak1 = 10,
    kMeterStereoWidenPeak0 = 11,
    kMeterStereoWidenPeak1 = 12,
    kMeterEqPeak0 = 13,
    kMeterEqPeak1 = 14,
    kMeterMultiBandPeak0 = 15,
    kMeterMultiBandPeak1 = 16,
    kMeterBandGain0 = 17, // gain reduction of multiband band k at 17 + k (1.0 = none or band disabled)
    kMeterBandGain1 = 18,
    kMeterBandGain2 = 19,
    kMeterBandGain3 = 20,
    kMeterBandGain4 = 21,
    kMeterBandPeak0 = 22, // peak of multiband band k at 22 + k (0 for a disabled band)
    kMeterBandPeak1 = 23,
    kMeterBandPeak2 = 24,
    kMeterBandPeak3 = 25,
    kMeterBandPeak4 = 26,
    kMeterStereoWidenGain = 27,   // widener compressor gain, 1.0 while bypassed
    kMeterOutputLimiterGain = 28, // smallest output-limiter gain of the block, else 1.0
    kNumMeters = 29
};

// Live meters of one instance (store block 29), written by the engine.
struct MetersBlock
{
    float values[kNumMeters]; // indexed by MeterIndex
};

static_assert(sizeof(MetersBlock) == 116);
static_assert(offsetof(MetersBlock, values) == 0);
static_assert(offsetof(MetersBlock, values[kMeterBandGain0]) == 68);
static_assert(offsetof(MetersBlock, values[kMeterBandPeak0]) == 88);
static_assert(offsetof(MetersBlock, values[kMeterOutputLimiterGain]) == 112);

constexpr int kNumProfileTimers = 14;

// Result of one profiling timer, refreshed after every window of measurements.
struct TimerResult
{
    int32_t index;         // timer index 0 .. 13
    float maxMs;           // largest time of the last window
    float averageMs;       // average time of the last window
    float percentRealtime; // average time as a percentage of the block's real-time duration
};

static_assert(sizeof(TimerResult) == 16);
static_assert(offsetof(TimerResult, index) == 0);
static_assert(offsetof(TimerResult, maxMs) == 4);
static_assert(offsetof(TimerResult, averageMs) == 8);
static_assert(offsetof(TimerResult, percentRealtime) == 12);

// Profiling record of one instance (store block 59).
struct ProfilingBlock
{
    TimerResult timers[kNumProfileTimers]; // in timer-index order
    int32_t frames;                        // frame count of the latest process call
    int32_t sampleRate;                    // Hz, last set through the sample-rate entry
};

static_assert(sizeof(ProfilingBlock) == 232);
static_assert(offsetof(ProfilingBlock, timers) == 0);
static_assert(offsetof(ProfilingBlock, frames) == 224);
static_assert(offsetof(ProfilingBlock, sampleRate) == 228);

// Engine-wide system information (store block 53).
struct SystemInfoBlock
{
    int32_t configId;
    int32_t numActiveInstances;
    int32_t numProfiles; // built-in profiles
    char info[256];      // NUL-terminated
    char notes[256];     // NUL-terminated
};

static_assert(sizeof(SystemInfoBlock) == 524);
static_assert(offsetof(SystemInfoBlock, configId) == 0);
static_assert(offsetof(SystemInfoBlock, numActiveInstances) == 4);
static_assert(offsetof(SystemInfoBlock, numProfiles) == 8);
static_assert(offsetof(SystemInfoBlock, info) == 12);
static_assert(offsetof(SystemInfoBlock, notes) == 268);

// Coefficients of one parametric EQ band, written straight into its lattice filter (store block 38).
struct EqCoefBlock
{
    int32_t band; // 0 .. 9
    float directMix;
    float allPassMix;
    float k2;
    float k1;
};

static_assert(sizeof(EqCoefBlock) == 20);
static_assert(offsetof(EqCoefBlock, band) == 0);
static_assert(offsetof(EqCoefBlock, directMix) == 4);
static_assert(offsetof(EqCoefBlock, allPassMix) == 8);
static_assert(offsetof(EqCoefBlock, k2) == 12);
static_assert(offsetof(EqCoefBlock, k1) == 16);

constexpr int kNumFbxFilters = 10;

// State of one feedback-suppressor notch filter as reported.
struct FbxFilterStats
{
    float gain; // 1.0 = no cut
    float freq; // centre frequency, Hz
};

// Feedback-suppressor statistics (store block 47); entries from numFilters on are zero.
struct FbxStats
{
    FbxFilterStats filters[kNumFbxFilters]; // in filter order
};

static_assert(sizeof(FbxFilterStats) == 8);
static_assert(offsetof(FbxFilterStats, gain) == 0);
static_assert(offsetof(FbxFilterStats, freq) == 4);
static_assert(sizeof(FbxStats) == 80);
static_assert(offsetof(FbxStats, filters) == 0);

static_assert(std::is_standard_layout_v<MetersBlock> && std::is_standard_layout_v<ProfilingBlock> &&
              std::is_standard_layout_v<SystemInfoBlock> && std::is_standard_layout_v<EqCoefBlock> &&
              std::is_standard_layout_v<FbxStats>);
