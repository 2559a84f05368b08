// Multiband dynamics: up to five Linkwitz-Riley bands, each with a compressor, W1 look-ahead limiter,
// clipper or plain gain fed by a two-section detector EQ, summed back; virtual bass and subwoofer output.
// Every routine takes the instance first and ignores an instance outside the initialised table (and a
// band outside 0 .. 4, a section outside 0 .. 4, a detector EQ outside 0 .. 1). dB values convert as
// 10 ^ (dB / 20). Setters may run on another thread than processing; nothing here allocates or locks.
#pragma once

#include "core/MasterBlock.h"
#include "core/StoreBlocks.h"

/// Prepares the module's instance table; 0, or -1 when count > 20 (then nothing changes).
int MultiBandInit(int count);
/// Sample rate of one instance, Hz (ignored unless positive); recomputes every rate-dependent
/// coefficient from the multiband part of the store's current record.
void MultiBandSetSampleRate(int instance, int rate);
/// Clears every band's crossover, all-pass and detector-EQ histories, compressor envelopes, limiter and
/// look-ahead lines, the block buffers and the final high-pass; settles makeup and detector-EQ gain
/// ramps on their targets and idles the module's meters (gains 1.0, peaks 0). Parameters, rate and
/// bypass stay. Allocation-free, lock-free (audio thread, between blocks).
void MultiBandResetAudio(int instance);
/// Applies the core block, then the five band blocks (pointers into the store's current record).
void MultiBandSetAll(int instance, MasterBlock* master);
/// Applies the module bypass, virtual-bass and subwoofer settings and the Q of all 25 all-pass sections;
/// every field is applied, changed or not.
void MultiBandSetCore(int instance, MultiBandCoreBlock* core);
/// Applies the band named by the block's own band-index field (above 4: ignored); coefficients are
/// recomputed only for fields that differ from the store's previous record.
void MultiBandSetBand(int instance, MultiBandBandBlock* band);
/// Whole-module bypass: the audio passes untouched and undelayed.
void MultiBandSetBypass(int instance, int flag);
/// 0 for an invalid instance.
int MultiBandGetBypass(int instance);

/// kBandType* (0 compressor, 1 W1 limiter, 2 clipper, 3 gain only); other values: no dynamics stage.
void MultiBandSetBandType(int instance, int band, int type);
/// 0: the band is not processed and adds nothing to the output.
void MultiBandSetBandEnabled(int instance, int band, int enabled);
/// Marks the band that takes the closing low-pass in descending mode with a single enabled band.
void MultiBandSetIsLastBand(int instance, int band, int flag);
/// 0 parallel (all-pass aligned), 1 ascending subtractive, 2 descending subtractive, other: low-pass only.
void MultiBandSetCrossoverMode(int instance, int mode);
/// Second low-pass (isLowPass != 0) or high-pass section in use, for 8th-order slopes.
void MultiBandSet8thOrderEnabled(int instance, int band, int flag, int isLowPass);
/// Bypass of the first low-pass or high-pass section only; the second section has no bypass.
void MultiBandLinkwitzRileyFilterSetBypass(int instance, int band, int flag, int isLowPass);
/// Crossover frequency of both sections of one side, Hz (20 .. 20000, below half the rate); also retunes
/// the all-pass sections standing for this crossover in every band (band 0's high-pass: section 0 and
/// the final high-pass; band k - 1's low-pass or band k's high-pass: section k).
void MultiBandLinkwitzRileyFilterSetFreqAndIsLowPass(int instance, int band, int freqHz, int isLowPass);
/// Section k of the band is bypassed unless bit k of `mask` is set (k = 0 .. 4).
void MultiBandAllPassSetMask(int instance, int band, int mask);
/// All-pass section frequency, Hz, clamped to 28 .. 20000.
void MultiBandAllPassSetFreq(int instance, int band, int section, int freqHz);
/// All-pass section Q, clamped to 0.1 .. 8.
void MultiBandAllPassSetQuality(int instance, int band, int section, float q);
/// Detector EQ section `eq` (0 or 1) of the band: bypass.
void MultiBandEqSetBypass(int instance, int band, int eq, int flag);
/// Detector EQ centre, Hz (28 .. 20000), and Q (0.4 .. 8).
void MultiBandEqSetFreqAndQ(int instance, int band, int eq, int freqHz, float q);
/// Detector EQ gain, linear 0.1 .. 10; large changes ramp by half a decibel per block.
void MultiBandEqSetGain(int instance, int band, int eq, float gain);

/// Nonzero: the compressor leaves the band untouched (its makeup ramp included).
void MultiBandCompressorSetBypass(int instance, int band, int flag);
/// Attack, ms 0 .. 99, at the instance's rate.
void MultiBandCompressorSetAttack(int instance, int band, float ms);
/// Release, ms 0 .. 4000, at the instance's rate.
void MultiBandCompressorSetRelease(int instance, int band, float ms);
/// Makeup target, linear 0.009999 .. 14.9623566; the applied makeup ramps towards it.
void MultiBandCompressorSetMakeupGain(int instance, int band, float gain);
/// Threshold, linear 0.0025117 .. 1.
void MultiBandCompressorSetThreshold(int instance, int band, float threshold);
/// Ratio given directly: below 1 gives 1, above 6 limits.
void MultiBandCompressorSetRatio(int instance, int band, float ratio);
/// Makeup target and threshold in dB, clamped as their linear setters.
void MultiBandCompressorSetMakeupGain_dB(int instance, int band, float dB);
void MultiBandCompressorSetThreshold_dB(int instance, int band, float dB);

/// Nonzero: a limiter band passes its crossover signal undelayed and unlimited.
void MultiBandW1LimiterSetBypass(int instance, int band, int flag);
/// Input gain 0 .. 3.162278, threshold and clip 0.031623 .. 1, all linear.
void MultiBandW1LimiterSetInputGainAndThresholdAndClip(int instance, int band, float inputGain,
                                                       float threshold, float clip);
/// Release, ms 1 .. 4000, at the instance's rate.
void MultiBandW1LimiterSetReleaseTime(int instance, int band, float ms);
/// Recomputes the release coefficient for the instance's rate.
void MultiBandW1LimiterUpdateCoeff(int instance, int band);

/// 1: hard clipping; any other value: soft.
void MultiBandClipperSetSoftHard(int instance, int band, int mode);
/// Clipper input gain, linear.
void MultiBandClipperSetThresh(int instance, int band, float gain);
/// Clipper output gain, linear.
void MultiBandClipperSetOutput(int instance, int band, float gain);
/// Clipping threshold T dB (T <= 0): peaks clip at T + output dB.
void MultiBandClipperSetThresh_dB(int instance, int band, float dB);
/// Clipper output level for small signals, dB.
void MultiBandClipperSetOutput_dB(int instance, int band, float dB);

/// Output gain of a gain-only band (type 3), linear.
void MultiBandBypassSetOutputGain(int instance, int band, float gain);
/// Output gain of a gain-only band, dB.
void MultiBandBypassSetOutputGain_dB(int instance, int band, float dB);

/// Last compressor gain of channels 0 and 1 (both 1.0 for an invalid instance or band). Null outputs
/// are skipped.
void MultiBandCompressorGetGainReduction(int instance, int band, float* gain0, float* gain1);
/// Last W1 limiter gain (1.0 for an invalid instance or band).
float MultiBandGetLimiterGainReduction(int instance, int band);

/// Processes one block in place on interleaved samples (1 or 2 channels, at most 2048 frames; other
/// shapes are left untouched). `aux` receives the mono subwoofer output (frames floats) or is null.
/// Audio thread.
void VykMultiBandCompress(int instance, float* samples, float* aux, int frames, int channels);
/// Delay this module adds to the signal, in samples: the 64-sample look-ahead of every band, 0 while
/// bypassed or for an invalid instance.
int MultiBandGetLatency(int instance);
