// User stage: per-channel user gain and bass/treble tone at a selectable position.
#pragma once

#include "core/MasterBlock.h"
#include "core/StoreBlocks.h"

/// Prepares the module's instance table; 0, or -1 when count > 20.
int UserInit(int count);
/// Sample rate of one instance, Hz.
void UserSetSampleRate(int instance, int rate);
/// Clears the instance's audio histories and settles its gain ramps; parameters, rate and bypass
/// stay. Allocation-free, lock-free (audio thread, between blocks); invalid instances are ignored.
void UserResetAudio(int instance);
/// Applies the whole sub-block (a pointer into the store's current record).
void UserSetAll(int instance, UserBlock* block);
void UserSetBypass(int instance, int flag);
/// 0 for an invalid instance.
int UserGetBypass(int instance);
/// In place on interleaved samples (audio thread).
void VykUserProcess(int instance, float* samples, int frames, int channels);
/// Where the user stage sits: 0 before the EQ, 1 after the multiband, other values: nowhere. 0 for an invalid instance.
int UserGetEqPos(int instance);
/// Writes the coefficients of user section 0 or 1 named by the block's band field.
void UserSetPeqCoefs(int instance, EqCoefBlock* coefs);
/// User gain only; the bypass path of the chain (audio thread).
void VykUserGainProcess(int instance, float* samples, int frames, int channels);
