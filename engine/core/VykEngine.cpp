#include "core/VykEngine.h"

#include "core/VykComm.h"
#include "dsp/Dsp.h"
#include "modules/Bagc.h"
#include "modules/Eq.h"
#include "modules/Fbx.h"
#include "modules/Input.h"
#include "modules/Karaoke.h"
#include "modules/MultiBand.h"
#include "modules/NoiseGate.h"
#include "modules/Output.h"
#include "modules/OutputCompressor.h"
#include "modules/PitchShift.h"
#include "modules/StereoWiden.h"
#include "modules/User.h"
#include "modules/V3d.h"

#include <chrono>
#include <cmath>
#include <cstring>

int gNumInstances = 0;
VykInstance gVykInstances[kMaxInstances];

namespace
{
VykBufferCallback sBufferCallback = nullptr;
int sBufferCount = 0;

constexpr int kTimerWindowLength = 200;
constexpr float kMuteFloor = 0.001f;  // fade-out ends at or below this gain
constexpr float kUnmuteCeil = 0.999f; // fade-in ends at or above this gain
constexpr float kRampStep = 0.001f;   // per-sample step: 0.999 decay / 0.1 % approach

enum TimerIndex
{
    kTimerNoiseGate,
    kTimerInput,
    kTimerV3d,
    kTimerFbx,
    kTimerKaraoke,
    kTimerStereoWiden,
    kTimerBagc,
    kTimerUser,
    kTimerEq,
    kTimerMultiBand,
    kTimerOutput,
    kTimerPitch,
    kTimerOutputCompressor,
    kTimerMain,
};

constexpr const char* kTimerNames[kNumTimers] = {
    "noisegate", "input", "v3d",    "fbx",   "karaoke", "sw",         "bagc",
    "user",      "eq",    "multiband", "output", "pitch", "outputcomp", "main",
};

bool isValid(int instance)
{
    return instance >= 0 && instance < gNumInstances;
}

// Entries that take the index on trust from their callers still stay inside the table.
bool isInTable(int instance)
{
    return instance >= 0 && instance < kMaxInstances;
}

void MuteInit(MuteState* mute)
{
    mute->state = Unmuted;
    mute->gain = 1.0f;
}

void MuteSetMuted(MuteState* mute, bool muted)
{
    if (muted)
    {
        mute->state = Muting;
        mute->gain = 1.0f;
    }
    else if (mute->state == Muting || mute->state == Muted || mute->state == PreUnmuting)
    {
        mute->state = Unmuting;
        mute->gain = 0.0f;
    }
}

void MuteSetPreUnmuting(MuteState* mute)
{
    mute->state = PreUnmuting;
}

// Exponential fade towards silence, one step per sample; frames after the floor is reached are zeroed.
void Mute(MuteState* mute, float* samples, int frames, int channels, int previousState)
{
    float gain = mute->gain;
    int frame = 0;
    for (; frame < frames && gain > kMuteFloor; ++frame)
    {
        float* out = samples + frame * channels;
        for (int ch = 0; ch < channels; ++ch)
        {
            gain = gain * (-kRampStep) + gain;
            out[ch] = out[ch] * gain;
        }
    }
    for (; frame < frames; ++frame)
        for (int ch = 0; ch < channels; ++ch)
            samples[frame * channels + ch] = 0.0f;
    mute->gain = gain;
    // A pre-unmuted instance stays pre-unmuted for the whole fade and afterwards, so it never reaches
    // Muted and never fires a mute callback, however many blocks the fade takes.
    if (previousState == PreUnmuting)
        mute->state = PreUnmuting;
    else if (gain > kMuteFloor)
        mute->state = Muting;
    else
        mute->state = Muted;
}

// Exponential approach to unity; samples after the ceiling is reached are left untouched.
void Unmute(MuteState* mute, float* samples, int frames, int channels)
{
    float gain = mute->gain;
    for (int frame = 0; frame < frames && gain < kUnmuteCeil; ++frame)
    {
        float* out = samples + frame * channels;
        for (int ch = 0; ch < channels; ++ch)
        {
            gain = (1.0f - gain) * kRampStep + gain;
            out[ch] = out[ch] * gain;
        }
    }
    mute->gain = gain;
    mute->state = gain < kUnmuteCeil ? Unmuting : Unmuted;
}

bool isAllZero(const float* samples, int count)
{
    for (int i = 0; i < count; ++i)
        if (!(samples[i] == 0.0f))
            return false;
    return true;
}

void updateSilenceCount(VykInstance& vyk, const float* samples, int count)
{
    if (isAllZero(samples, count))
        vyk.silenceCount = vyk.silenceCount < 50 ? vyk.silenceCount + 1 : 51;
    else
        vyk.silenceCount = 0;
}

void runMuteRamp(int instance, float* samples, int frames, int channels)
{
    VykInstance& vyk = gVykInstances[instance];
    const int previousState = vyk.mute.state;
    if (previousState == Muting || previousState == Muted || previousState == PreUnmuting)
    {
        Mute(&vyk.mute, samples, frames, channels, previousState);
        const bool requested = previousState == Muting || vyk.forceMuted;
        if (vyk.muteCallback != nullptr && requested && vyk.mute.state == Muted)
        {
            VykMuteCallback callback = vyk.muteCallback;
            vyk.muteCallback = nullptr;
            callback(instance);
        }
    }
    else if (previousState == Unmuting)
    {
        Unmute(&vyk.mute, samples, frames, channels);
    }
}

void runBufferCallback()
{
    if (sBufferCount >= 1 && sBufferCallback != nullptr)
    {
        --sBufferCount;
        if (sBufferCount == 0)
        {
            VykBufferCallback callback = sBufferCallback;
            sBufferCallback = nullptr;
            callback();
        }
    }
}

void runChain(int instance, float* samples, float* aux, int frames, int channels)
{
    VykInstance& vyk = gVykInstances[instance];
    ProfileTimer* timers = vyk.timers;
    const int rate = vyk.sampleRate;
    // Each stage runs inside its own timer; the main timer spans the whole chain.
    auto stage = [&](int index, auto&& process) {
        TimerStart(&timers[index], rate, frames, kTimerWindowLength);
        process();
        TimerStop(&timers[index]);
    };

    TimerStart(&timers[kTimerMain], rate, frames, kTimerWindowLength);
    stage(kTimerNoiseGate, [&] { VykNoiseGateProcess(instance, samples, frames, channels); });
    stage(kTimerInput, [&] { VykInputProcess(instance, samples, frames, channels); });
    stage(kTimerV3d, [&] { VykV3dProcess(instance, samples, frames, channels); });
    stage(kTimerFbx, [&] { VykFbxProcess(instance, samples, frames, channels); });
    stage(kTimerKaraoke, [&] { VykKaraokeProcess(instance, samples, frames, channels); });
    stage(kTimerStereoWiden, [&] { VykStereoWidenProcess(instance, samples, frames, channels); });
    stage(kTimerBagc, [&] { VykBagcProcess(instance, samples, frames, channels); });
    if (UserGetEqPos(instance) == 0)
        stage(kTimerUser, [&] { VykUserProcess(instance, samples, frames, channels); });
    stage(kTimerEq, [&] { VykEqProcess(instance, samples, frames, channels); });
    stage(kTimerMultiBand, [&] { VykMultiBandCompress(instance, samples, aux, frames, channels); });
    // The position is asked again: the user stage runs at most once, before the EQ or after the
    // multiband, and nowhere for any other position value.
    if (UserGetEqPos(instance) == 1)
        stage(kTimerUser, [&] { VykUserProcess(instance, samples, frames, channels); });
    stage(kTimerOutput, [&] { VykOutputProcess(instance, samples, frames, channels); });
    stage(kTimerPitch, [&] { VykPitchShiftProcess(instance, samples, frames, channels); });
    stage(kTimerOutputCompressor, [&] { VykOutputCompressorCompress(instance, samples, frames, channels); });
    TimerStop(&timers[kTimerMain]);
}
} // namespace

int VykInit(int count)
{
    if (count > kMaxInstances)
        return -1;
    gNumInstances = count;
    sBufferCallback = nullptr;
    sBufferCount = 0;

    VYKCommInit();
    CompressorGlobalInit();
    MultiBandInit(count);
    EqInit(count);
    BagcInit(count);
    OutputCompressorInit(count);
    InputInit(count);
    UserInit(count);
    OutputInit(count);
    NoiseGateInit(count);
    StereoWidenInit(count);
    KaraokeInit(count);
    FbxInit(count);
    PitchShiftInit(count);
    V3dInit(count);

    for (int i = 0; i < count; ++i)
    {
        VykInstance& vyk = gVykInstances[i];
        vyk.bypass = 0;
        MuteInit(&vyk.mute);
        vyk.forceMuted = 0;
        vyk.muteCallback = nullptr;
        VykSetSampleRate(i, kDefaultSampleRate);
        vyk.meters = VYKCommGetMeters(i);
        vyk.silenceCount = 0;
        for (int j = 0; j < kNumTimers; ++j)
            TimerInit(&vyk.timers[j], kTimerNames[j], j, &vyk.profiling.timers[j]);
    }

    VYKCommLoadInitialState(count);
    return 0;
}

void VykProcess(int instance, float* samples, float* aux, int frames, int channels)
{
    if (!isInTable(instance) || frames > kMaxFrames || channels > kMaxChannels)
        return;
    if (frames < 0 || channels < 0 || (samples == nullptr && frames > 0 && channels > 0))
        return;

    VykInstance& vyk = gVykInstances[instance];
    vyk.profiling.frames = frames;

    MetersBlock* meters = vyk.meters;
    if (meters != nullptr)
        for (int ch = 0; ch < channels; ++ch)
            computeMaxLevel(channels, samples + ch, &meters->values[kMeterInputPeak0 + ch], frames);

    if (vyk.bypass)
        VykUserGainProcess(instance, samples, frames, channels);
    else
        runChain(instance, samples, aux, frames, channels);

    updateSilenceCount(vyk, samples, frames * channels);
    runMuteRamp(instance, samples, frames, channels);

    if (meters != nullptr)
        for (int ch = 0; ch < channels; ++ch)
            computeMaxLevel(channels, samples + ch, &meters->values[kMeterOutputPeak0 + ch], frames);

    runBufferCallback();
}

void VykResetAudio(int instance)
{
    if (!isValid(instance))
        return;
    NoiseGateResetAudio(instance);
    InputResetAudio(instance);
    V3dResetAudio(instance);
    FbxResetAudio(instance);
    KaraokeResetAudio(instance);
    StereoWidenResetAudio(instance);
    BagcResetAudio(instance);
    UserResetAudio(instance);
    EqResetAudio(instance);
    MultiBandResetAudio(instance);
    OutputResetAudio(instance);
    PitchShiftResetAudio(instance);
    OutputCompressorResetAudio(instance);

    VykInstance& vyk = gVykInstances[instance];
    vyk.silenceCount = 0;
    MetersBlock* meters = vyk.meters;
    if (meters == nullptr)
        return;
    for (int ch = 0; ch < kMaxChannels; ++ch)
    {
        meters->values[kMeterInputPeak0 + ch] = 0.0f;
        meters->values[kMeterOutputPeak0 + ch] = 0.0f;
    }
}

void VykSetMaster(int instance, MasterBlock* master)
{
    if (!isValid(instance) || master == nullptr)
        return;
    gVykInstances[instance].bypass = master->vyk.bypass;
    BagcSetAll(instance, &master->bagc);
    EqSetAll(instance, &master->eq);
    InputSetAll(instance, &master->input);
    OutputSetAll(instance, &master->output);
    MultiBandSetAll(instance, master);
    OutputCompressorSetAll(instance, &master->outputCompressor);
    NoiseGateSetAll(instance, &master->noiseGate);
    StereoWidenSetAll(instance, &master->stereoWiden);
    KaraokeSetAll(instance, &master->karaoke);
    FbxSetAll(instance, &master->fbx);
    PitchShiftSetAll(instance, &master->pitchShift);
    V3dSetAll(instance, &master->v3d);
}

void VykSetAll(int instance, VYKBlock* block)
{
    if (!isValid(instance) || block == nullptr)
        return;
    gVykInstances[instance].bypass = block->bypass;
}

void VykSetSampleRate(int instance, int rate)
{
    if (!isValid(instance))
        return;
    gVykInstances[instance].sampleRate = rate;
    BagcSetSampleRate(instance, rate);
    EqSetSampleRate(instance, rate);
    InputSetSampleRate(instance, rate);
    OutputSetSampleRate(instance, rate);
    MultiBandSetSampleRate(instance, rate);
    OutputCompressorSetSampleRate(instance, rate);
    UserSetSampleRate(instance, rate);
    NoiseGateSetSampleRate(instance, rate);
    StereoWidenSetSampleRate(instance, rate);
    KaraokeSetSampleRate(instance, rate);
    FbxSetSampleRate(instance, rate);
    V3dSetSampleRate(instance, rate);
    gVykInstances[instance].profiling.sampleRate = rate;
}

int VykGetSampleRate()
{
    return gVykInstances[0].sampleRate;
}

int VykGetVersion()
{
    return kEngineVersion;
}

void VykSetBypass(int instance, int flag)
{
    if (isValid(instance))
        gVykInstances[instance].bypass = flag;
}

int VykGetBypass(int instance)
{
    return isValid(instance) ? gVykInstances[instance].bypass : 0;
}

void VykMute(int instance, VykMuteCallback callback)
{
    if (!isValid(instance))
        return;
    VykInstance& vyk = gVykInstances[instance];
    vyk.muteCallback = callback;
    if (!vyk.forceMuted)
        MuteSetMuted(&vyk.mute, true);
}

void VykUnmute(int instance)
{
    if (isValid(instance) && !gVykInstances[instance].forceMuted)
        MuteSetMuted(&gVykInstances[instance].mute, false);
}

void VykPreUnmute(int instance)
{
    if (isValid(instance) && !gVykInstances[instance].forceMuted)
        MuteSetPreUnmuting(&gVykInstances[instance].mute);
}

void VykForceMute(int instance)
{
    if (!isValid(instance))
        return;
    VykInstance& vyk = gVykInstances[instance];
    vyk.muteCallback = nullptr;
    MuteSetMuted(&vyk.mute, true);
    vyk.forceMuted = 1;
}

void VykForceUnmute(int instance)
{
    if (!isValid(instance))
        return;
    gVykInstances[instance].forceMuted = 0;
    MuteSetMuted(&gVykInstances[instance].mute, false);
}

int VykIsMuted(int instance)
{
    return isValid(instance) && gVykInstances[instance].mute.state != Unmuted ? 1 : 0;
}

int VykIsForceMuted(int instance)
{
    return isInTable(instance) ? gVykInstances[instance].forceMuted : 0;
}

int VykGetSilenceStatus(int instance)
{
    return isInTable(instance) && gVykInstances[instance].silenceCount > 50 ? 1 : 0;
}

void VykCallbackAfterBuffers(int count, VykBufferCallback callback)
{
    sBufferCount = count;
    sBufferCallback = callback;
}

void VykSetProfilingEnabled(int instance, int flag)
{
    if (!isInTable(instance))
        return;
    for (ProfileTimer& timer : gVykInstances[instance].timers)
        timer.enabled = flag;
}

ProfilingBlock* VykGetProfilingData(int instance)
{
    return isInTable(instance) ? &gVykInstances[instance].profiling : nullptr;
}

double getTime()
{
    using namespace std::chrono;
    const auto sinceEpoch = system_clock::now().time_since_epoch();
    const auto secs = duration_cast<seconds>(sinceEpoch);
    const auto micros = duration_cast<microseconds>(sinceEpoch - secs);
    return static_cast<double>(secs.count()) * 1000.0 + static_cast<double>(micros.count()) / 1000.0;
}

float computePercRealtime(float averageMs, int frames, int sampleRate)
{
    const float blockMs = static_cast<float>(frames) / static_cast<float>(sampleRate) * 1000.0f;
    return averageMs / blockMs * 100.0f;
}

void TimerInit(ProfileTimer* timer, const char* name, int index, TimerResult* result)
{
    timer->frames = 0;
    timer->sampleRate = 0;
    timer->sumMs = 0.0f;
    timer->maxMs = 0.0f;
    timer->windowLength = 0;
    timer->count = 0;
    timer->startMs = 0.0;
    timer->result = result;
    result->index = index;
    result->maxMs = 0.0f;
    result->averageMs = 0.0f;
    result->percentRealtime = 0.0f;
    timer->enabled = 0;
    std::strncpy(timer->name, name, sizeof(timer->name) - 1);
    timer->name[sizeof(timer->name) - 1] = '\0';
}

void TimerStart(ProfileTimer* timer, int sampleRate, int frames, int windowLength)
{
    if (!timer->enabled)
        return;
    timer->sampleRate = sampleRate;
    timer->frames = frames;
    timer->windowLength = windowLength;
    timer->startMs = getTime();
}

void TimerStop(ProfileTimer* timer)
{
    if (!timer->enabled)
        return;
    const float elapsed = static_cast<float>(getTime() - timer->startMs);
    // The wall clock can step backwards; such a reading is only kept when it opens a window.
    if (elapsed < 0.0f && timer->count != 0)
        return;
    timer->sumMs += elapsed;
    if (elapsed > timer->maxMs)
        timer->maxMs = elapsed;
    timer->count += 1;
    if (timer->count == timer->windowLength)
    {
        const float average = timer->sumMs / static_cast<float>(timer->count);
        timer->result->maxMs = timer->maxMs;
        timer->result->averageMs = average;
        timer->result->percentRealtime = computePercRealtime(average, timer->frames, timer->sampleRate);
        timer->count = 0;
        timer->sumMs = 0.0f;
        timer->maxMs = 0.0f;
    }
}
