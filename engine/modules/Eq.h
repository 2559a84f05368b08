// Ten-band parametric EQ.
#pragma once

#include "core/MasterBlock.h"
#include "core/StoreBlocks.h"

/// Prepares the module's instance table; 0, or -1 when count > 20.
int EqInit(int count);
/// Sample rate of one instance, Hz.
void EqSetSampleRate(int instance, int rate);
/// Clears the instance's audio histories and settles its gain ramps; parameters, rate and bypass
/// stay. Allocation-free, lock-free (audio thread, between blocks); invalid instances are ignored.
void EqResetAudio(int instance);
/// Applies the whole sub-block (a pointer into the store's current record).
void EqSetAll(int instance, EQBlock* block);
void EqSetBypass(int instance, int flag);
/// 0 for an invalid instance.
int EqGetBypass(int instance);
/// In place on interleaved samples (audio thread).
void VykEqProcess(int instance, float* samples, int frames, int channels);
/// Writes the coefficients of the band named in the block into that band's section.
void EqSetPeqCoefs(int instance, EqCoefBlock* coefs);
