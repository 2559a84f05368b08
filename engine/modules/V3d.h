// Virtual 3D: spatial widening from fixed impulse responses.
#pragma once

#include "core/MasterBlock.h"
#include "core/StoreBlocks.h"

/// Prepares the module's instance table; 0, or -1 when count > 20.
int V3dInit(int count);
/// Sample rate of one instance, Hz.
void V3dSetSampleRate(int instance, int rate);
/// Clears the instance's audio histories and settles its gain ramps; parameters, rate and bypass
/// stay. Allocation-free, lock-free (audio thread, between blocks); invalid instances are ignored.
void V3dResetAudio(int instance);
/// Applies the whole sub-block (a pointer into the store's current record).
void V3dSetAll(int instance, V3dBlock* block);
void V3dSetBypass(int instance, int flag);
/// 0 for an invalid instance.
int V3dGetBypass(int instance);
/// In place on interleaved samples (audio thread).
void VykV3dProcess(int instance, float* samples, int frames, int channels);
