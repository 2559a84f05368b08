// Pitch shifter.
#pragma once

#include "core/MasterBlock.h"
#include "core/StoreBlocks.h"

/// Prepares the module's instance table; 0, or -1 when count > 20.
int PitchShiftInit(int count);
/// Clears the instance's audio histories and settles its gain ramps; parameters, rate and bypass
/// stay. Allocation-free, lock-free (audio thread, between blocks); invalid instances are ignored.
void PitchShiftResetAudio(int instance);
/// Applies the whole sub-block (a pointer into the store's current record).
void PitchShiftSetAll(int instance, PitchShiftBlock* block);
void PitchShiftSetBypass(int instance, int flag);
/// 0 for an invalid instance.
int PitchShiftGetBypass(int instance);
/// In place on interleaved samples (audio thread).
void VykPitchShiftProcess(int instance, float* samples, int frames, int channels);
/// Delay this module adds to the signal, in samples at the instance's rate (0 while bypassed).
int PitchShiftGetLatency(int instance);
