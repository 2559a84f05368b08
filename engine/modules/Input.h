// Input stage: smoothed drive gain and fourth-order Linkwitz-Riley high-pass.
#pragma once

#include "core/MasterBlock.h"
#include "core/StoreBlocks.h"

/// Prepares the module's instance table; 0, or -1 when count > 20.
int InputInit(int count);
/// Sample rate of one instance, Hz.
void InputSetSampleRate(int instance, int rate);
/// Applies the whole sub-block (a pointer into the store's current record).
void InputSetAll(int instance, InputBlock* block);
void InputSetBypass(int instance, int flag);
/// 0 for an invalid instance.
int InputGetBypass(int instance);
/// In place on interleaved samples (audio thread).
void VykInputProcess(int instance, float* samples, int frames, int channels);
/// Target of the smoothed input gain (linear, not limited).
void InputSetInputGain(int instance, float gain);
