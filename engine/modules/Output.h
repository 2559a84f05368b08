// Output stage: per-channel delay, polarity and balance gain.
#pragma once

#include "core/MasterBlock.h"
#include "core/StoreBlocks.h"

/// Prepares the module's instance table; 0, or -1 when count > 20.
int OutputInit(int count);
/// Sample rate of one instance, Hz.
void OutputSetSampleRate(int instance, int rate);
/// Applies the whole sub-block (a pointer into the store's current record).
void OutputSetAll(int instance, OutputBlock* block);
void OutputSetBypass(int instance, int flag);
/// 0 for an invalid instance.
int OutputGetBypass(int instance);
/// In place on interleaved samples (audio thread).
void VykOutputProcess(int instance, float* samples, int frames, int channels);
