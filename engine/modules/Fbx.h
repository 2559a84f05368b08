// Feedback suppressor: detects ringing frequencies and notches them.
#pragma once

#include "core/MasterBlock.h"
#include "core/StoreBlocks.h"

/// Prepares the module's instance table; 0, or -1 when count > 20.
int FbxInit(int count);
/// Sample rate of one instance, Hz.
void FbxSetSampleRate(int instance, int rate);
/// Clears the instance's audio histories and settles its gain ramps; parameters, rate and bypass
/// stay. Allocation-free, lock-free (audio thread, between blocks); invalid instances are ignored.
void FbxResetAudio(int instance);
/// Applies the whole sub-block (a pointer into the store's current record).
void FbxSetAll(int instance, FbxBlock* block);
void FbxSetBypass(int instance, int flag);
/// 0 for an invalid instance.
int FbxGetBypass(int instance);
/// In place on interleaved samples (audio thread).
void VykFbxProcess(int instance, float* samples, int frames, int channels);
/// Clears the detected filters.
void FbxReset(int instance);
/// Fills `stats` with the active filters' gains and frequencies.
void FbxGetStats(int instance, FbxStats* stats);
