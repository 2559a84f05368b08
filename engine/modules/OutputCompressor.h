// Output compressor, look-ahead limiter or clipper.
#pragma once

#include "core/MasterBlock.h"
#include "core/StoreBlocks.h"

/// Prepares the module's instance table; 0, or -1 when count > 20.
int OutputCompressorInit(int count);
/// Sample rate of one instance, Hz.
void OutputCompressorSetSampleRate(int instance, int rate);
/// Applies the whole sub-block (a pointer into the store's current record).
void OutputCompressorSetAll(int instance, OutputCompressorBlock* block);
void OutputCompressorSetBypass(int instance, int flag);
/// 0 for an invalid instance.
int OutputCompressorGetBypass(int instance);
/// In place on interleaved samples (audio thread).
void VykOutputCompressorCompress(int instance, float* samples, int frames, int channels);
/// Linear gain applied ahead of the output compressor.
void OutputCompressorSetOutputGain(int instance, float gain);
/// Delay this module adds to the signal, in samples at the instance's rate (0 while bypassed).
int OutputCompressorGetLatency(int instance);
