// The engine spine: instance table, processing chain, mute ramps, meters and profiling.
// Plain functions over process-wide state; the store and the facade are the only callers.
#pragma once

#include "core/MasterBlock.h"
#include "core/StoreBlocks.h"

constexpr int kMaxInstances = 20;
constexpr int kMaxFrames = 2048;
constexpr int kMaxChannels = 2;
constexpr int kDefaultSampleRate = 44100;
constexpr int kEngineVersion = 0x05000302; // 5.0.3.2
constexpr int kNumTimers = kNumProfileTimers;

using VykMuteCallback = void (*)(int instance);
using VykBufferCallback = void (*)();

enum MuteStateId : int32_t
{
    Unmuted = 0,
    Unmuting = 1,
    Muting = 2,
    Muted = 3,
    PreUnmuting = 4,
};

struct MuteState
{
    int32_t state; // MuteStateId
    float gain;    // 0.0 .. 1.0
};

struct ProfileTimer
{
    int32_t frames;
    int32_t sampleRate;
    float sumMs;
    float maxMs;
    int32_t windowLength;
    int32_t count;
    double startMs;
    char name[256];
    TimerResult* result;
    int32_t enabled;
};

struct VykInstance
{
    int32_t sampleRate;
    int32_t bypass;
    MuteState mute;
    int32_t forceMuted;
    VykMuteCallback muteCallback;
    MetersBlock* meters;
    ProfileTimer timers[kNumTimers];
    ProfilingBlock profiling;
    int32_t silenceCount; // consecutive all-zero output blocks, saturating at 51
};

extern int gNumInstances;
extern VykInstance gVykInstances[kMaxInstances];

/// Initialises the store, every module and `count` instances (built-in profile i on instance i).
/// Returns 0, or -1 (changing nothing) when count > 20.
int VykInit(int count);

/// Runs the chain in place on frames x channels interleaved floats (audio thread).
/// `aux` is the optional mono subwoofer output of `frames` floats, or null.
/// Blocks above 2048 frames or 2 channels pass through untouched.
void VykProcess(int instance, float* samples, float* aux, int frames, int channels);

/// Clears every audio history of the instance (filters, delay and look-ahead lines, envelopes, limiters),
/// settles every smoothed gain on its target and idles the meters, module by module in chain order, and
/// restarts the silence count: the next block sounds as if the instance had never played. Parameters,
/// rate, bypass, mute state and callbacks stay. Allocation-free, lock-free (audio thread, between
/// blocks); invalid instances are ignored.
void VykResetAudio(int instance);

/// Applies a whole record; `master` must point into the store's current record.
void VykSetMaster(int instance, MasterBlock* master);
/// Applies the engine-level block: instance bypass = block bypass.
void VykSetAll(int instance, VYKBlock* block);
/// Sets the sample rate (Hz) of the instance and of every module.
void VykSetSampleRate(int instance, int rate);
/// Sample rate of instance 0.
int VykGetSampleRate();
/// 0x05000302.
int VykGetVersion();

void VykSetBypass(int instance, int flag);
int VykGetBypass(int instance);

/// Requests a fade-out; `callback` (may be null) runs once, on the audio thread, when it completes.
void VykMute(int instance, VykMuteCallback callback);
/// Requests a fade-in (ignored while force-muted).
void VykUnmute(int instance);
/// Fades out (if sounding) and holds silence without reaching Muted (ignored while force-muted).
void VykPreUnmute(int instance);
/// Holds a mute that ordinary unmute requests cannot lift.
void VykForceMute(int instance);
/// Releases a force-mute and starts the fade-in.
void VykForceUnmute(int instance);
/// 1 when the mute state is anything but Unmuted.
int VykIsMuted(int instance);
int VykIsForceMuted(int instance);
/// 1 after 51 consecutive all-zero output blocks.
int VykGetSilenceStatus(int instance);
/// Arms the engine-wide one-shot: callback() runs at the end of the count-th following process call.
void VykCallbackAfterBuffers(int count, VykBufferCallback callback);

void VykSetProfilingEnabled(int instance, int flag);
/// The instance's profiling record, or null for an index outside the table.
ProfilingBlock* VykGetProfilingData(int instance);

// Profiling timers (also used on their own by tests and tools).
void TimerInit(ProfileTimer* timer, const char* name, int index, TimerResult* result);
void TimerStart(ProfileTimer* timer, int sampleRate, int frames, int windowLength);
void TimerStop(ProfileTimer* timer);
/// Average time as a percentage of the block's real-time duration.
float computePercRealtime(float averageMs, int frames, int sampleRate);
/// Wall-clock time of day in milliseconds.
double getTime();
