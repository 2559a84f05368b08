// Output compressor, look-ahead limiter or clipper: the last stage of the chain. A smoothed output
// gain, then one dynamics stage chosen by type; every type runs 64 samples late, so switching types
// keeps the timing.
#pragma once

#include "core/MasterBlock.h"
#include "core/StoreBlocks.h"

/// Delay of every non-bypassed type, in samples (the limiter's look-ahead).
constexpr int kOutputCompressorLookAhead = 64;

/// Prepares the module's instance table (type 0 with ratio 1 and makeup 1, limiter and clipper
/// neutral, output gain 1.0, 44100 Hz); 0, or -1 when count > 20. Needs CompressorGlobalInit first.
int OutputCompressorInit(int count);
/// Sample rate of one instance, Hz; recomputes the limiter release (the compressor keeps its
/// coefficients until its attack or release is set again). Rates <= 0 are ignored.
void OutputCompressorSetSampleRate(int instance, int rate);
/// Clears the limiter, the compressor envelopes and the look-ahead lines, settles the output gain and
/// the compressor makeup on their targets and sets meter 28 to 1.0; parameters, rate, type and bypass
/// stay. Allocation-free, lock-free (audio thread, between blocks); invalid instances are ignored.
void OutputCompressorResetAudio(int instance);
/// Applies the whole sub-block (a pointer into the store's current record): bypass, type, limiter
/// bypass and clipper mode always; limiter levels, release, clipper gains and output gain only when
/// their fields changed.
void OutputCompressorSetAll(int instance, OutputCompressorBlock* block);
/// Dynamics stage off (1): only the output gain ramp runs, without delay.
void OutputCompressorSetBypass(int instance, int flag);
/// 0 for an invalid instance.
int OutputCompressorGetBypass(int instance);
/// In place on interleaved samples, 1 or 2 channels (audio thread); meter 28 gets the smallest limiter
/// gain of the block (1.0 for the other types). Invalid instances and other channel counts are left
/// untouched.
void VykOutputCompressorCompress(int instance, float* samples, int frames, int channels);
/// Target of the smoothed output gain (linear, not limited), applied even while bypassed; both
/// channels follow one ramp that covers 1/1000 of the remaining difference per sample.
void OutputCompressorSetOutputGain(int instance, float gain);
/// Delay this module adds to the signal, in samples: 64, or 0 while bypassed or when the limiter type
/// runs with the limiter bypassed.
int OutputCompressorGetLatency(int instance);

/// 0 compressor, 1 W1 limiter, 2 clipper, 3 fixed gain; any other value delays only.
void OutputCompressorSetCompressorType(int instance, int type);
/// Gain of type 3, linear, not limited.
void OutputCompressorBypassSetOutputGain(int instance, float gain);

/// Limiter off (1): the limiter type then passes the signal without delay.
void OutputCompressorW1LimiterSetBypass(int instance, int flag);
/// Limiter input gain (0 .. 3.162278), threshold and clip (each 0.031623 .. 1), all linear: below the
/// threshold audio leaves scaled by clip / threshold, limited peaks leave at clip / input gain.
void OutputCompressorW1LimiterSetInputGainAndThresholdAndClip(int instance, float inputGain, float threshold,
                                                              float clip);
/// Limiter release in ms, 1 .. 4000, at the instance's rate.
void OutputCompressorW1LimiterSetReleaseTime(int instance, float ms);
/// Recomputes the limiter release coefficient for the instance's rate.
void OutputCompressorW1LimiterUpdateCoeff(int instance);

/// 1: hard clipping; any other value: soft clipping.
void OutputCompressorClipperSetSoftHard(int instance, int mode);
/// Clipper input gain, linear.
void OutputCompressorClipperSetThresh(int instance, float gain);
/// Clipper output gain, linear.
void OutputCompressorClipperSetOutput(int instance, float gain);
/// Clipper threshold T in dB (T <= 0): peaks clip at T + output dB.
void OutputCompressorClipperSetThresh_dB(int instance, float dB);
/// Clipper output level in dB for small signals.
void OutputCompressorClipperSetOutput_dB(int instance, float dB);

/// Compressor attack in ms, 0 .. 99, at the instance's rate.
void OutputCompressorCompressorSetAttack(int instance, float ms);
/// Compressor release in ms, 0 .. 4000, at the instance's rate.
void OutputCompressorCompressorSetRelease(int instance, float ms);
/// Compressor makeup target, linear, 0.009999 .. 14.9623566 (ramped while processing).
void OutputCompressorCompressorSetMakeupGain(int instance, float gain);
/// Compressor threshold, linear, 0.0025117 .. 1.
void OutputCompressorCompressorSetThreshold(int instance, float threshold);
/// Compressor ratio: below 1 gives 1, above 6 gives 999 (limiting).
void OutputCompressorCompressorSetRatio(int instance, float ratio);
/// Compressor off (1): the compressor type then only delays.
void OutputCompressorCompressorSetBypass(int instance, int flag);
