// Bass AGC: shelving split with a compressor on the bass.
#pragma once

#include "core/MasterBlock.h"
#include "core/StoreBlocks.h"

/// Prepares the module's instance table; 0, or -1 when count > 20.
int BagcInit(int count);
/// Sample rate of one instance, Hz.
void BagcSetSampleRate(int instance, int rate);
/// Applies the whole sub-block (a pointer into the store's current record).
void BagcSetAll(int instance, BagcBlock* block);
void BagcSetBypass(int instance, int flag);
/// 0 for an invalid instance.
int BagcGetBypass(int instance);
/// In place on interleaved samples (audio thread).
void VykBagcProcess(int instance, float* samples, int frames, int channels);
