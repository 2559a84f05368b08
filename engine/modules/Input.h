// Input stage: smoothed drive gain and fourth-order Linkwitz-Riley high-pass.
#pragma once

#include "core/MasterBlock.h"
#include "core/StoreBlocks.h"

/// Prepares the module's instance table (gains 1.0, high-pass on at its stored corner or 20 Hz,
/// 44100 Hz); 0, or -1 when count > 20.
int InputInit(int count);
/// Sample rate of one instance, Hz; recomputes the high-pass from its stored corner. Rates <= 0 are
/// ignored.
void InputSetSampleRate(int instance, int rate);
/// Clears the high-pass histories and settles the gain ramp on its target; parameters, rate and bypass
/// stay. Allocation-free, lock-free (audio thread, between blocks); invalid instances are ignored.
void InputResetAudio(int instance);
/// Applies the whole sub-block (a pointer into the store's current record): bypass, gain target,
/// the corner only when its field changed, then the high-pass bypass.
void InputSetAll(int instance, InputBlock* block);
/// Whole stage off (1) or on (0); a bypassed stage leaves samples and the gain ramp untouched.
void InputSetBypass(int instance, int flag);
/// 0 for an invalid instance.
int InputGetBypass(int instance);
/// In place on interleaved samples, 1 or 2 channels (audio thread). Invalid instances and other
/// channel counts are left untouched.
void VykInputProcess(int instance, float* samples, int frames, int channels);
/// Target of the smoothed input gain (linear, not limited); both channels follow one ramp that covers
/// 1/1000 of the remaining difference per sample.
void InputSetInputGain(int instance, float gain);
/// High-pass corner in Hz, limited to 20 .. 20000 and to sampleRate / 2 - 100.
void InputSetHighPassFreq(int instance, int freqHz);
/// 1: high-pass off (samples and filter history untouched), 0: on.
void InputSetHighPassBypass(int instance, int flag);
