// Noise gate: a downward gate with hysteresis, first stage of the chain.
#pragma once

#include "core/MasterBlock.h"
#include "core/StoreBlocks.h"

/// Prepares the module's instance table; 0, or -1 when count > 20.
int NoiseGateInit(int count);
/// Sample rate of one instance, Hz.
void NoiseGateSetSampleRate(int instance, int rate);
/// Clears the instance's audio histories and settles its gain ramps; parameters, rate and bypass
/// stay. Allocation-free, lock-free (audio thread, between blocks); invalid instances are ignored.
void NoiseGateResetAudio(int instance);
/// Applies the whole sub-block (a pointer into the store's current record).
void NoiseGateSetAll(int instance, NoiseGateBlock* block);
void NoiseGateSetBypass(int instance, int flag);
/// 0 for an invalid instance.
int NoiseGateGetBypass(int instance);
/// In place on interleaved samples (audio thread).
void VykNoiseGateProcess(int instance, float* samples, int frames, int channels);
