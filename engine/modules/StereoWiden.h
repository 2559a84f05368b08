// Stereo widener: the upper part of the spectrum is taken to mid/side and its side signal boosted by the
// S gain, while a side-chain compressor keyed by the (shelved) mid signal turns the side back down, by
// at most the S gain, whenever the mid signal is loud. The low band passes through a gain of its own.
// Every routine takes the instance first and ignores an instance outside the initialised table.
// Setters act on the run-time state only (they never write the StereoWidenBlock).
#pragma once

#include "core/MasterBlock.h"
#include "core/StoreBlocks.h"

/// Prepares the module's instance table; 0, or -1 when count > 20 (then nothing changes).
int StereoWidenInit(int count);
/// Sample rate of one instance, Hz (ignored unless positive); re-derives the crossovers and the
/// compressor times from the store's current StereoWidenBlock and the key shelves' coefficients.
void StereoWidenSetSampleRate(int instance, int rate);
/// Clears the crossover and key-shelf histories, the compressor envelope and the band buffers (which a
/// bypassed section would otherwise replay), settles the makeup on its target and idles meters 11, 12
/// (peaks 0) and 27 (1.0); parameters, rate and bypass stay. Allocation-free, lock-free (audio thread,
/// between blocks).
void StereoWidenResetAudio(int instance);
/// Applies the whole sub-block (a pointer into the store's current record); times, ratio, shelf gains,
/// crossovers and the four gains only when changed since the store's previous record.
void StereoWidenSetAll(int instance, StereoWidenBlock* block);
/// Nonzero: the audio passes untouched, only the meters are written.
void StereoWidenSetBypass(int instance, int flag);
/// 0 for an invalid instance.
int StereoWidenGetBypass(int instance);

/// Side-chain compressor attack, ms 0 .. 99, at the instance's rate.
void StereoWidenCompressorSetAttack(int instance, float ms);
/// Side-chain compressor release, ms 0 .. 4000, at the instance's rate.
void StereoWidenCompressorSetRelease(int instance, float ms);
/// Makeup applied to the side signal, linear 0.009999 .. 14.962357.
void StereoWidenCompressorSetMakeupGain(int instance, float gain);
/// Threshold, linear 0.0025117 .. 1.
void StereoWidenCompressorSetThreshold(int instance, float threshold);
/// Ratio given directly (not as reciprocal): below 1 gives 1, above 6 limits.
void StereoWidenCompressorSetRatio(int instance, float ratio);
/// Nonzero: the side signal is not compressed (it keeps the full S gain).
void StereoWidenCompressorSetBypass(int instance, int flag);
/// Key low / high shelf gain, linear 0.2511885 .. 3.9810718.
void StereoWidenShelfFilterLOSetGain(int instance, float gain);
void StereoWidenShelfFilterHISetGain(int instance, float gain);
/// Key low / high shelf type: 1 low shelf, 0 high shelf.
void StereoWidenShelfFilterLOSetIsLowShelf(int instance, int flag);
void StereoWidenShelfFilterHISetIsLowShelf(int instance, int flag);
/// Key low / high shelf bypass.
void StereoWidenShelfFilterLOSetBypass(int instance, int flag);
void StereoWidenShelfFilterHISetBypass(int instance, int flag);
/// Reconfigures the section forming the low band (LO) or the upper band (HI), whole Hz, at the
/// instance's rate.
void StereoWidenXOver1LOSetFreqAndIsLowPass(int instance, int freqHz, int isLowPass);
void StereoWidenXOver1HISetFreqAndIsLowPass(int instance, int freqHz, int isLowPass);
/// A bypassed section leaves its band buffer as it was (silence before the first block).
void StereoWidenXOver1LOSetBypass(int instance, int flag);
void StereoWidenXOver1HISetBypass(int instance, int flag);
/// Low band gain, linear, clamped to 0.398106 .. 2.511887 (-8 .. +8 dB).
void StereoWidenSetLoGain(int instance, float gain);
/// Upper band gain, same clamp as the low band gain.
void StereoWidenSetMidGain(int instance, float gain);
/// Upper band mid gain at decoding, clamped to 0.251187 .. 3.981072 (-12 .. +12 dB).
void StereoWidenSetMGain(int instance, float gain);
/// Upper band side gain at decoding, clamped to 1 .. 3.981072 (0 .. +12 dB); its reciprocal is the
/// lowest gain the side-chain compressor may apply.
void StereoWidenSetSGain(int instance, float gain);

/// In place on interleaved samples (audio thread), at most 2048 frames. Two channels are widened; one
/// channel passes unchanged (bypassed: only the meters are written).
void VykStereoWidenProcess(int instance, float* samples, int frames, int channels);
