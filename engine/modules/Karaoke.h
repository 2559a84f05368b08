// Karaoke: echo and reverb.
#pragma once

#include "core/MasterBlock.h"
#include "core/StoreBlocks.h"

/// Prepares the module's instance table; 0, or -1 when count > 20.
int KaraokeInit(int count);
/// Sample rate of one instance, Hz.
void KaraokeSetSampleRate(int instance, int rate);
/// Clears the instance's audio histories and settles its gain ramps; parameters, rate and bypass
/// stay. Allocation-free, lock-free (audio thread, between blocks); invalid instances are ignored.
void KaraokeResetAudio(int instance);
/// Applies the whole sub-block (a pointer into the store's current record).
void KaraokeSetAll(int instance, KaraokeBlock* block);
void KaraokeSetBypass(int instance, int flag);
/// 0 for an invalid instance.
int KaraokeGetBypass(int instance);
/// In place on interleaved samples (audio thread).
void VykKaraokeProcess(int instance, float* samples, int frames, int channels);
/// Loads karaoke preset 0..19 into the module and, when given, into `out`.
void KaraokeLoadPreset(int instance, int preset, KaraokeBlock* out);
