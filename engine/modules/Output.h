// Output stage: per-channel delay, polarity and balance gain.
#pragma once

#include "core/MasterBlock.h"
#include "core/StoreBlocks.h"

/// Prepares the module's instance table (gains 1.0, no delay, no inversion, 44100 Hz); 0, or -1 when
/// count > 20.
int OutputInit(int count);
/// Sample rate of one instance, Hz. Each delay keeps its length in ms (limited to 0 .. 10) and is
/// re-expressed in whole samples at the new rate. Rates <= 0 are ignored.
void OutputSetSampleRate(int instance, int rate);
/// Empties both delay lines and settles both balance gains on their targets; parameters, rate and
/// bypass stay. Allocation-free, lock-free (audio thread, between blocks); invalid instances are ignored.
void OutputResetAudio(int instance);
/// Applies the whole sub-block (a pointer into the store's current record): bypass, both gain
/// targets, each delay only when its field changed, both polarity flags.
void OutputSetAll(int instance, OutputBlock* block);
/// Whole stage off (1) or on (0).
void OutputSetBypass(int instance, int flag);
/// 0 for an invalid instance.
int OutputGetBypass(int instance);
/// In place on interleaved samples, 1 or 2 channels (audio thread): delay, polarity, then balance
/// gain per channel. Invalid instances and other channel counts are left untouched.
void VykOutputProcess(int instance, float* samples, int frames, int channels);
/// Balance gain target of channel 0 or 1 (linear, not limited; other channels ignored); each channel
/// ramps on its own by 1/1000 of the remaining difference per sample.
void OutputSetBalanceGain(int instance, int channel, float gain);
/// Delay of channel 0 or 1 in ms, limited to 0 .. 10, kept as whole samples at the current rate.
/// The delay line holds 480 samples: above 48 kHz the delay heard stops at 480 samples.
void OutputSetDelay(int instance, int channel, float ms);
/// Polarity of channel 0 or 1: 1 inverts it, 0 leaves it.
void OutputSetPhaseEnabled(int instance, int channel, int flag);
