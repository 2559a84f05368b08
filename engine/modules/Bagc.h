// Bass AGC: a compressor between first-order shelves (transition near 1 kHz). Unlinked, each channel
// is pre-shelved, compressed on its own level and post-shelved; linked, the pre-shelves only shape a
// side-chain copy and both channels share one gain.
#pragma once

#include "core/MasterBlock.h"
#include "core/StoreBlocks.h"

constexpr int kBagcNumShelves = 4; // 0 pre low, 1 pre high, 2 post low, 3 post high

/// Prepares the module's instance table (shelves flat, compressor 30 ms / 150 ms, threshold 1.0,
/// ratio 1, makeup 1.0, unlinked, 44100 Hz); 0, or -1 when count > 20. Needs CompressorGlobalInit first.
int BagcInit(int count);
/// Sample rate of one instance, Hz: recomputes the shelves and the attack and release coefficients.
/// Rates <= 0 are ignored.
void BagcSetSampleRate(int instance, int rate);
/// Clears the shelf histories, the compressor envelopes and the side-chain scratch, settles the makeup
/// on its target and idles meters 5 .. 8 (peaks 0, gains 1.0); parameters, rate and bypass stay.
/// Allocation-free, lock-free (audio thread, between blocks); invalid instances are ignored.
void BagcResetAudio(int instance);
/// Applies the whole sub-block (a pointer into the store's current record): bypass, linked, makeup
/// and threshold always; attack, release, ratio and the four shelf gains only when their fields
/// changed. The ratio is 1 / the block's ratio inverse (0 gives limiting).
void BagcSetAll(int instance, BagcBlock* block);
/// Module off (1): audio untouched, gain meters 1.0, peak meters still measured.
void BagcSetBypass(int instance, int flag);
/// 0 for an invalid instance.
int BagcGetBypass(int instance);
/// In place on interleaved samples, 1 or 2 channels, at most 2048 frames (audio thread); writes the
/// peak (meters 5, 6) and gain (meters 7, 8) of each channel. Invalid instances, other channel counts
/// and longer blocks are left untouched.
void VykBagcProcess(int instance, float* samples, int frames, int channels);

/// 1: linked (side-chain) mode, 0: unlinked.
void BagcSetLinked(int instance, int flag);
/// 0 for an invalid instance.
int BagcGetLinked(int instance);

/// Attack in ms, 0 .. 99, at the instance's rate.
void BagcCompressorSetAttack(int instance, float ms);
/// Release in ms, 0 .. 4000, at the instance's rate.
void BagcCompressorSetRelease(int instance, float ms);
/// Makeup target, linear, 0.009999 .. 14.9623566 (ramped while processing).
void BagcCompressorSetMakeupGain(int instance, float gain);
/// Threshold, linear, 0.0025117 .. 1.
void BagcCompressorSetThreshold(int instance, float threshold);
/// The ratio itself (not its inverse): below 1 gives 1, above 6 gives 999 (limiting).
void BagcCompressorSetRatio(int instance, float ratio);
/// Compressor off (1): the shelves still run.
void BagcCompressorSetBypass(int instance, int flag);
/// Attack in ms as stored; 0 for an invalid instance.
float BagcCompressorGetAttack(int instance);
/// Release in ms as stored; 0 for an invalid instance.
float BagcCompressorGetRelease(int instance);
/// Makeup target, linear; 0 for an invalid instance.
float BagcCompressorGetMakeupGain(int instance);
/// Threshold, linear; 0 for an invalid instance.
float BagcCompressorGetThreshold(int instance);
/// The stored ratio truncated to an integer: 999 when limiting; 0 for an invalid instance.
int BagcCompressorGetRatio(int instance);
/// 0 for an invalid instance.
int BagcCompressorGetBypass(int instance);

/// Gain of shelf 0 .. 3, linear, clamped to 0.2511885 .. 3.9810718 (-12 .. +12 dB); other shelves ignored.
void BagcShelfSetGain(int instance, int shelf, float gain);
/// 1: shelf 0 .. 3 acts below the transition, 0: above it.
void BagcShelfSetIsLowShelf(int instance, int shelf, int flag);
/// 1: shelf 0 .. 3 off.
void BagcShelfSetBypass(int instance, int shelf, int flag);
/// Stored (clamped) gain; 0 for an invalid instance or shelf.
float BagcShelfGetGain(int instance, int shelf);
/// 0 for an invalid instance or shelf.
int BagcShelfGetIsLowShelf(int instance, int shelf);
/// 0 for an invalid instance or shelf.
int BagcShelfGetBypass(int instance, int shelf);
