// The per-instance audio reset: whatever an instance played before, and at whatever rate, after
// VykResetAudio it sounds exactly like any other instance with the same settings, from the first sample.
#include "modules/MultiBandState.h"
#include "support/EngineFixture.h"
#include "support/Signals.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <functional>
#include <initializer_list>
#include <string>

namespace
{
constexpr int kRate = 48000;
constexpr int kChannels = 2;
constexpr int kTwinA = 3;
constexpr int kTwinB = 11;

// Stereo material with tonal parts and sharp, decaying hits: chords drifting in level, a hit every
// 150 ms, the channels panned differently.
std::vector<float> music(int frames, double rate, uint32_t seed, double amplitude = 0.8)
{
    const std::vector<float> grit = signals::noise(frames, 1.0, seed);
    std::vector<float> out(static_cast<size_t>(frames * kChannels));
    const int hitSpacing = static_cast<int>(0.15 * rate);
    for (int n = 0; n < frames; ++n)
    {
        const double t = n / rate;
        const double chord = std::sin(2.0 * signals::kPi * 110.0 * t) +
                             0.6 * std::sin(2.0 * signals::kPi * 277.2 * t) +
                             0.4 * std::sin(2.0 * signals::kPi * 3300.0 * t);
        const double swell = 0.6 + 0.4 * std::sin(2.0 * signals::kPi * 0.7 * t);
        const double hit =
            std::exp(-static_cast<double>(n % hitSpacing) / (0.01 * rate)) * grit[static_cast<size_t>(n)];
        const double mix = amplitude * (0.35 * swell * chord + 0.6 * hit);
        out[static_cast<size_t>(n * kChannels)] = static_cast<float>(mix);
        out[static_cast<size_t>(n * kChannels + 1)] = static_cast<float>(0.7 * mix + 0.2 * amplitude * hit);
    }
    return out;
}

std::vector<float> stereoNoise(int frames, double amplitude, uint32_t seed)
{
    return signals::interleave(
        {signals::noise(frames, amplitude, seed), signals::noise(frames, amplitude, seed + 1)});
}

std::vector<float> concat(std::vector<float> a, const std::vector<float>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// What an instance made of some material: the audio, and the meters after every block.
struct Played
{
    std::vector<float> audio;
    std::vector<MetersBlock> meters;
};

// Plays interleaved stereo `signal` through the instance in blocks cycling through `blockFrames`.
Played play(int instance, std::vector<float> signal, std::initializer_list<int> blockFrames)
{
    Played played;
    const int frames = static_cast<int>(signal.size()) / kChannels;
    const std::vector<int> sizes(blockFrames);
    size_t next = 0;
    for (int start = 0; start < frames; next = (next + 1) % sizes.size())
    {
        const int count = std::min(sizes[next], frames - start);
        VykProcess(instance, signal.data() + static_cast<size_t>(start * kChannels), nullptr, count,
                   kChannels);
        played.meters.push_back(*VYKCommGetMeters(instance));
        start += count;
    }
    played.audio = std::move(signal);
    return played;
}

// Edits the instance's record the way every change is made (snapshot, write, apply the whole record), so
// that only the edited fields count as changed.
void changeRecord(int instance, const std::function<void(MasterBlock&)>& edit)
{
    VYKCommSaveState(instance);
    MasterBlock* master = VYKCommGetMasterBlock(instance);
    edit(*master);
    VykSetMaster(instance, master);
}

void loadProfileAt48k(int instance, int profile)
{
    ASSERT_EQ(VYKLoadProfile(profile, instance, nullptr), 0);
    VykSetSampleRate(instance, kRate);
}

// Loud noise, then drive, ceiling and tone moved and put back, ending while the gain ramps that the
// return started are still on their way.
void historyA(int instance)
{
    play(instance, stereoNoise(20 * 512, 0.9, 101u), {512});
    const MasterBlock original = *VYKCommGetMasterBlock(instance);
    changeRecord(instance,
                 [](MasterBlock& m)
                 {
                     m.input.gain = 3.1622777f; // +10 dB drive
                     m.outputCompressor.limiterClip = 0.5f;
                     m.outputCompressor.limiterThreshold = 0.3f;
                     m.outputCompressor.outputGain *= 0.5f;
                     m.output.leftGain = 0.5f;
                     for (MultiBandBandBlock& band : m.bands)
                     {
                         band.compMakeupGain *= 2.0f;
                         band.limiterThreshold *= 0.5f;
                         band.clipperOutputGain *= 1.5f;
                         band.gainOnlyGain *= 2.0f;
                         band.detectorEq[0].gain = 8.0f;
                     }
                     m.bagc.makeupGain *= 0.5f;
                 });
    play(instance, music(10 * 512, kRate, 102u, 1.0), {512});
    changeRecord(instance, [&original](MasterBlock& m) { m = original; });
    play(instance, stereoNoise(999, 0.5, 103u), {333});
}

// Music at 384 kHz in odd block sizes, a stretch bypassed, then back at 48 kHz on quiet noise.
void historyB(int instance)
{
    VykSetSampleRate(instance, 384000);
    play(instance, music(40000, 384000.0, 201u, 1.0), {2048, 1, 777, 64});
    VykSetBypass(instance, 1);
    play(instance, music(3000, 384000.0, 202u), {1000});
    VykSetBypass(instance, 0);
    VykSetSampleRate(instance, kRate);
    play(instance, stereoNoise(5000, 0.3, 203u), {100, 2048});
}

// Settings given to both twins on top of the profile, to reach paths the profiles leave alone. Early
// ones go into the record (a whole-record apply would undo module setters), late ones are set directly.
using RecordEdit = void (*)(MasterBlock& record);
using Setup = void (*)(int instance);

void unchanged(MasterBlock&) {}

void noSetup(int) {}

// The widener on, its side signal compressed (above the floor the S gain sets) by a key through boosted
// shelves.
void widen(MasterBlock& m)
{
    m.stereoWiden.bypass = 0;
    m.stereoWiden.sGain = 3.0f;
    m.stereoWiden.compThreshold = 0.25f;
    m.stereoWiden.compRatioRecip = 0.5f;
    m.stereoWiden.keyLoShelfGain = 3.0f;
    m.stereoWiden.keyHiShelfGain = 2.0f;
}

void setCrossoverMode(MasterBlock& m, int mode)
{
    reinterpret_cast<uint8_t*>(&m.bands[0])[26] = static_cast<uint8_t>(mode);
}

void widenLinkAscendHighPass(MasterBlock& m)
{
    widen(m);
    m.bagc.linked = 1;
    setCrossoverMode(m, kCrossoverAscending);
    m.input.highPassBypass = 0;
    m.input.highPassFreq = 40.0f;
}

void widenDescend(MasterBlock& m)
{
    widen(m);
    setCrossoverMode(m, kCrossoverDescending);
}

// Delays are set after the rate change, which re-expresses them in whole samples and can shorten them. A
// bypassed widener section replays its band buffer as the history left it.
void delayOutputBypassUpperSection(int instance)
{
    OutputSetDelay(instance, 0, 2.5f);
    OutputSetDelay(instance, 1, 7.0f);
    OutputSetPhaseEnabled(instance, 1, 1);
    StereoWidenXOver1HISetBypass(instance, 1);
}

void bypassLowSection(int instance)
{
    StereoWidenXOver1LOSetBypass(instance, 1);
}

struct TwinCase
{
    int profile;
    RecordEdit early; // before the histories
    Setup late;       // after them, before each twin plays a little more of its own audio
    const char* name;
};

class ResetTwins : public EngineTest, public ::testing::WithParamInterface<TwinCase>
{
};

// Every meter at its idle value: gains 1.0, peaks 0.
bool metersAreIdle(const MetersBlock& meters)
{
    for (int m = 0; m < kNumMeters; ++m)
    {
        const bool gain = m == kMeterVirtualBassGain || m == kMeterBagcGain0 || m == kMeterBagcGain1 ||
                          (m >= kMeterBandGain0 && m <= kMeterBandGain4) || m == kMeterStereoWidenGain ||
                          m == kMeterOutputLimiterGain;
        if (meters.values[m] != (gain ? 1.0f : 0.0f))
            return false;
    }
    return true;
}
} // namespace

TEST_P(ResetTwins, DifferentHistoriesSoundBitIdenticalFromTheFirstSample)
{
    const TwinCase& c = GetParam();
    for (int twin : {kTwinA, kTwinB})
    {
        loadProfileAt48k(twin, c.profile);
        changeRecord(twin, c.early);
    }
    historyA(kTwinA);
    historyB(kTwinB);
    for (int twin : {kTwinA, kTwinB})
        c.late(twin);
    play(kTwinA, stereoNoise(700, 0.8, 301u), {700});
    play(kTwinB, music(700, kRate, 302u), {350});
    ASSERT_NE(std::memcmp(VYKCommGetMeters(kTwinA), VYKCommGetMeters(kTwinB), sizeof(MetersBlock)), 0);

    VykResetAudio(kTwinA);
    VykResetAudio(kTwinB);
    EXPECT_TRUE(metersAreIdle(*VYKCommGetMeters(kTwinA)));
    EXPECT_TRUE(metersAreIdle(*VYKCommGetMeters(kTwinB)));

    const std::vector<float> material = concat(stereoNoise(9000, 0.7, 401u), music(30000, kRate, 402u, 1.0));
    const Played a = play(kTwinA, material, {512, 1, 2048, 300});
    const Played b = play(kTwinB, material, {512, 1, 2048, 300});
    ASSERT_EQ(a.audio.size(), b.audio.size());
    for (size_t i = 0; i < a.audio.size(); ++i)
        ASSERT_EQ(std::memcmp(&a.audio[i], &b.audio[i], sizeof(float)), 0) << "sample " << i;
    ASSERT_EQ(a.meters.size(), b.meters.size());
    for (size_t block = 0; block < a.meters.size(); ++block)
        ASSERT_EQ(std::memcmp(&a.meters[block], &b.meters[block], sizeof(MetersBlock)), 0)
            << "block " << block;
}

TEST_P(ResetTwins, SilenceRightAfterAResetIsExactlySilent)
{
    const TwinCase& c = GetParam();
    loadProfileAt48k(kTwinA, c.profile);
    changeRecord(kTwinA, c.early);
    historyA(kTwinA);
    c.late(kTwinA);
    play(kTwinA, stereoNoise(700, 0.8, 301u), {700});
    VykResetAudio(kTwinA);
    const Played silence = play(kTwinA, std::vector<float>(2048 * kChannels, 0.0f), {2048});
    for (size_t i = 0; i < silence.audio.size(); ++i)
        ASSERT_EQ(silence.audio[i], 0.0f) << "sample " << i;
}

// Profiles 0, 6, 8, 12, 14 and 19 cover compressor, limiter, clipper and gain bands, disabled bands, and
// the output limiter and clipper.
INSTANTIATE_TEST_SUITE_P(
    Profiles, ResetTwins,
    ::testing::Values(
        TwinCase{0, unchanged, noSetup, "profile0"}, TwinCase{6, unchanged, noSetup, "profile6"},
        TwinCase{8, unchanged, noSetup, "profile8"}, TwinCase{12, unchanged, noSetup, "profile12"},
        TwinCase{14, unchanged, noSetup, "profile14"}, TwinCase{19, unchanged, noSetup, "profile19"},
        TwinCase{0, widenLinkAscendHighPass, delayOutputBypassUpperSection,
                 "profile0WidenedLinkedAscendingHighPassDelayedUpperSectionOff"},
        TwinCase{19, widenDescend, bypassLowSection, "profile19WidenedDescendingLowSectionOff"}),
    [](const auto& info) { return std::string(info.param.name); });

// A reset ends every gain ramp on its target: the instance then plays exactly like a twin whose ramps ran
// to their end on silence (which leaves every history as initialised). Limiters are kept out, as
// silence moves their state.
TEST_F(EngineTest, ResetSettlesEveryGainRampWhereItWouldHaveEnded)
{
    for (int profile : {0, 8, 14})
    {
        SCOPED_TRACE(profile);
        ASSERT_EQ(PlatformInit(nullptr, nullptr), 0);
        for (int twin : {kTwinA, kTwinB})
        {
            loadProfileAt48k(twin, profile);
            InputSetInputGain(twin, 0.5f);
            OutputSetBalanceGain(twin, 0, 0.7f);
            OutputSetBalanceGain(twin, 1, 1.25f);
            OutputCompressorSetOutputGain(twin, 0.8f);
            OutputCompressorSetCompressorType(twin, kOutputCompressorTypeCompressor);
            OutputCompressorCompressorSetBypass(twin, 0);
            OutputCompressorCompressorSetMakeupGain(twin, 1.5f);
            BagcSetBypass(twin, 0);
            BagcCompressorSetBypass(twin, 0);
            BagcCompressorSetMakeupGain(twin, 0.6f);
            StereoWidenSetBypass(twin, 0);
            StereoWidenCompressorSetBypass(twin, 0);
            StereoWidenCompressorSetMakeupGain(twin, 1.3f);
            for (int band = 0; band < kNumBands; ++band)
            {
                if (VYKCommGetMasterBlock(twin)->bands[band].bandType == kBandTypeLimiter)
                    MultiBandSetBandType(twin, band, kBandTypeCompressor);
                MultiBandCompressorSetBypass(twin, band, 0);
                MultiBandCompressorSetMakeupGain(twin, band, 0.5f + 0.25f * static_cast<float>(band));
                MultiBandEqSetBypass(twin, band, 0, 0);
                MultiBandEqSetGain(twin, band, 0, 6.0f);
                MultiBandEqSetBypass(twin, band, 1, 0);
                MultiBandEqSetGain(twin, band, 1, 0.2f);
            }
        }
        // Blocks longer than 1000 frames finish every per-sample ramp; a detector EQ moves its gain by
        // half a decibel per block and channel.
        play(kTwinA, std::vector<float>(100 * 2048 * kChannels, 0.0f), {2048});
        VykResetAudio(kTwinB);

        const std::vector<float> material = music(20000, kRate, 501u);
        const Played a = play(kTwinA, material, {2048});
        const Played b = play(kTwinB, material, {2048});
        // Compared as values: a history cleared by silence may hold -0 where a reset holds +0.
        EXPECT_EQ(a.audio, b.audio);
    }
}

TEST_F(EngineTest, ResetKeepsSettingsRecordMuteAndCallbacksAndRestartsTheSilenceCount)
{
    constexpr int kInstance = 5;
    loadProfileAt48k(kInstance, 14);
    BagcSetBypass(kInstance, 1);
    OutputCompressorW1LimiterSetBypass(kInstance, 1);
    static int sMuteCalls;
    sMuteCalls = 0;
    VykMute(kInstance, [](int) { ++sMuteCalls; });
    // A fresh instance plays silence as exact zeros: 51 blocks make it silent, well before the fade ends.
    for (int n = 0; n < 51; ++n)
        play(kInstance, std::vector<float>(32 * kChannels, 0.0f), {32});
    ASSERT_EQ(VykGetSilenceStatus(kInstance), 1);
    ASSERT_EQ(gVykInstances[kInstance].mute.state, Muting);

    const MasterBlock record = *VYKCommGetMasterBlock(kInstance);
    const MasterBlock previous = *VYKCommGetPreviousMasterBlock(kInstance);
    const MuteState mute = gVykInstances[kInstance].mute;
    const int latency = MultiBandGetLatency(kInstance) + OutputCompressorGetLatency(kInstance);

    VykResetAudio(kInstance);

    EXPECT_EQ(std::memcmp(&record, VYKCommGetMasterBlock(kInstance), sizeof(record)), 0);
    EXPECT_EQ(std::memcmp(&previous, VYKCommGetPreviousMasterBlock(kInstance), sizeof(previous)), 0);
    EXPECT_EQ(gVykInstances[kInstance].sampleRate, kRate);
    EXPECT_EQ(BagcGetBypass(kInstance), 1);
    EXPECT_EQ(MultiBandGetLatency(kInstance) + OutputCompressorGetLatency(kInstance), latency);
    EXPECT_EQ(latency, 64); // the output limiter is still bypassed
    EXPECT_EQ(gVykInstances[kInstance].mute.state, mute.state);
    EXPECT_EQ(gVykInstances[kInstance].mute.gain, mute.gain);
    EXPECT_EQ(VykGetSilenceStatus(kInstance), 0);
    EXPECT_EQ(gVykInstances[kInstance].silenceCount, 0);

    // The fade goes on from where it was and its callback still comes.
    while (gVykInstances[kInstance].mute.state == Muting)
        play(kInstance, music(2048, kRate, 601u), {2048});
    EXPECT_EQ(gVykInstances[kInstance].mute.state, Muted);
    EXPECT_EQ(sMuteCalls, 1);
}

TEST_F(EngineTest, ResetIgnoresInstancesOutsideTheTable)
{
    // Three instances in use: slot 7 still counts its silence (processing only checks the table), but a
    // reset is refused there.
    ASSERT_EQ(VykInit(3), 0);
    for (int n = 0; n < 51; ++n)
        play(7, std::vector<float>(32 * kChannels, 0.0f), {32});
    ASSERT_EQ(VykGetSilenceStatus(7), 1);
    for (int instance : {7, 3, -1, kMaxInstances, INT_MAX, INT_MIN})
        VykResetAudio(instance);
    EXPECT_EQ(VykGetSilenceStatus(7), 1);

    // Every module ignores indices outside its table as well.
    using ModuleReset = void (*)(int);
    for (ModuleReset reset :
         {NoiseGateResetAudio, InputResetAudio, V3dResetAudio, FbxResetAudio, KaraokeResetAudio,
          StereoWidenResetAudio, BagcResetAudio, UserResetAudio, EqResetAudio, MultiBandResetAudio,
          OutputResetAudio, PitchShiftResetAudio, OutputCompressorResetAudio})
        for (int instance : {7, -1, kMaxInstances, INT_MAX, INT_MIN})
            reset(instance);
}
