// Stereo widener: band split, mid/side with a keyed side compressor.
#pragma once

#include "core/MasterBlock.h"
#include "core/StoreBlocks.h"

/// Prepares the module's instance table; 0, or -1 when count > 20.
int StereoWidenInit(int count);
/// Sample rate of one instance, Hz.
void StereoWidenSetSampleRate(int instance, int rate);
/// Applies the whole sub-block (a pointer into the store's current record).
void StereoWidenSetAll(int instance, StereoWidenBlock* block);
void StereoWidenSetBypass(int instance, int flag);
/// 0 for an invalid instance.
int StereoWidenGetBypass(int instance);
/// In place on interleaved samples (audio thread).
void VykStereoWidenProcess(int instance, float* samples, int frames, int channels);
