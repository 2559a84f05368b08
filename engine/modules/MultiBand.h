// Multiband dynamics: up to five bands, virtual bass and subwoofer output.
#pragma once

#include "core/MasterBlock.h"
#include "core/StoreBlocks.h"

/// Prepares the module's instance table; 0, or -1 when count > 20.
int MultiBandInit(int count);
/// Sample rate of one instance, Hz.
void MultiBandSetSampleRate(int instance, int rate);
/// Applies the core block, then the five band blocks (pointers into the store's current record).
void MultiBandSetAll(int instance, MasterBlock* master);
/// Applies the crossover and common settings.
void MultiBandSetCore(int instance, MultiBandCoreBlock* core);
/// Applies the band named by the block's own band-index field.
void MultiBandSetBand(int instance, MultiBandBandBlock* band);
void MultiBandSetBypass(int instance, int flag);
/// 0 for an invalid instance.
int MultiBandGetBypass(int instance);
/// In place on interleaved samples (audio thread); `aux` receives the mono subwoofer output or is null.
void VykMultiBandCompress(int instance, float* samples, float* aux, int frames, int channels);
/// Delay this module adds to the signal, in samples at the instance's rate (0 while bypassed).
int MultiBandGetLatency(int instance);
