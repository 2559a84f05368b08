// Feed-forward compressor with table-driven gain curves, in plain and side-chain form.
// The gain curves for the four supported ratios are shared by every compressor of every instance.
#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>

constexpr int kNumRatioTables = 4;
constexpr int kRatioTableSize = 2048;
constexpr int kRatioTableStepsPerUnit = 64; // entries per unit of detector level / threshold
constexpr float kLimitingRatio = 999.0f;    // ratios above 6 hold the output at the threshold

/// The ratios of the four curves: 1.5, 2, 3, 6.
extern const float gRatios[kNumRatioTables];
/// Curve r, entry j: the gain that puts a detector level of j / 64 times the threshold on the r:1
/// line, (j / 64) ^ (1 / r - 1); entry 0 is 0. Built by CompressorGlobalInit.
extern float gRatioTables[kNumRatioTables][kRatioTableSize];

struct Compressor
{
    float attack;        // ms, 0 .. 99
    float release;       // ms, 0 .. 4000
    float makeup;        // target, linear 0.009999 .. 14.9623566 (-40 .. +23.5 dB)
    float currentMakeup; // in effect, ramped towards makeup while processing
    float threshold;     // linear 0.0025117 .. 1 (-52 .. 0 dB)
    float ratio;         // 1 .. 6, or 999 (limiting)
    int32_t link;        // 1: two channels in one call share detection and gain
    int32_t bypass;
    float releaseCoefficient; // envelope coefficient while the level falls
    float attackCoefficient;  // envelope coefficient while the level rises
    const float* ratioTable;  // one curve of gRatioTables
    float inverseThreshold;
};
static_assert(std::is_standard_layout<Compressor>::value, "Compressor is a plain record");
static_assert(offsetof(Compressor, ratioTable) == 40, "ten 4-byte fields precede the curve pointer");

// Smoothed detector level; one per channel for unlinked use.
struct CompressorEnvelope
{
    float level;
};
static_assert(sizeof(CompressorEnvelope) == 4, "CompressorEnvelope is one float");

/// Builds gRatioTables; once per process, before any compressor runs (engine init).
void CompressorGlobalInit();
/// Link off, current makeup 1.0, envelopes[0] and envelopes[1] cleared; the setters do the rest.
void CompressorInit(Compressor* compressor, CompressorEnvelope* envelopes);
/// Clears envelopes[0] and envelopes[1] and puts the makeup in effect at its target, so no ramp runs
/// afterwards; settings and coefficients stay. Audio thread, between blocks.
void CompressorResetAudio(Compressor* compressor, CompressorEnvelope* envelopes);
/// Attack in ms, clamped to 0 .. 99; 0 follows rising levels at once. `sampleRate` in Hz.
void CompressorSetAttack(Compressor* compressor, float ms, float sampleRate);
/// Release in ms, clamped to 0 .. 4000.
void CompressorSetRelease(Compressor* compressor, float ms, float sampleRate);
/// Envelope coefficient exp(-2 / (ms * sampleRate / 1000)): a level step is 86 % covered after ms.
double calculate_compressor_time(float sampleRate, float ms);
/// Makeup target, linear, clamped to 0.009999 .. 14.9623566; reached by a ramp while processing.
void CompressorSetMakeupGain(Compressor* compressor, float gain);
/// Threshold, linear, clamped to 0.0025117 .. 1.
void CompressorSetThreshold(Compressor* compressor, float threshold);
/// Ratio: below 1 gives 1 (no compression), above 6 gives 999 (limiting); otherwise the curve of the
/// first of 1.5, 2, 3, 6 not below it is used.
void CompressorSetRatio(Compressor* compressor, float ratio);
void CompressorSetBypass(Compressor* compressor, int flag);
/// Compresses `frames` frames in place, detecting on the samples themselves. With channels 2 and link
/// on, both channels (samples[0], samples[1] of each frame) share one gain; otherwise only the channel
/// at `samples` is processed. Returns the smallest compression gain (without makeup), 1.0 if none.
/// Audio thread.
float vykcompress(int stride, float* samples, Compressor* compressor, CompressorEnvelope* envelope,
                  int channels, int frames);
/// As vykcompress, detecting on `sideChain` (same stride and layout); the compression gain never falls
/// below `floorGain`.
float sidechaincompress(int stride, float* samples, const float* sideChain, Compressor* compressor,
                        CompressorEnvelope* envelope, int channels, float floorGain, int frames);
