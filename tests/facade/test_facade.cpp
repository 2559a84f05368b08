// The VYKLib facade: slot claiming, tone controls, state blob, single parameters and callbacks.
#include "support/Signals.h"
#include "facade/FacadeTestSupport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#if defined(__x86_64__)
#include <xmmintrin.h>
#endif

namespace
{
bool sameRecord(const MasterBlock& a, const MasterBlock& b)
{
    return std::memcmp(&a, &b, sizeof(MasterBlock)) == 0;
}

// A record whose band 0 and treble band settings are chosen by the test, loaded so the tone offsets
// are taken from it.
void loadWithBands(VYKLib& lib, const MasterBlock& record)
{
    ASSERT_TRUE(lib.loadProfileFromBuffer(&record, static_cast<long>(sizeof(record)), 0));
}
} // namespace

TEST(Facade, SlotsAreClaimedLowestFirstAndExternalNumbersFollowThem)
{
    auto first = std::make_unique<VYKLib>();
    auto second = std::make_unique<VYKLib>();
    EXPECT_EQ(first->getInstanceId(), 0);
    EXPECT_EQ(second->getInstanceId(), 1);
    MasterBlock record;
    second->getAll(&record);
    EXPECT_TRUE(sameRecord(record, gProfiles[1]));
    EXPECT_EQ(PlatformGetNumActiveInstances(), 2);

    first.reset();
    EXPECT_EQ(PlatformGetNumActiveInstances(), 1);
    EXPECT_EQ(VYKCommGetInstanceMapping(0), 1);
    auto third = std::make_unique<VYKLib>();
    EXPECT_EQ(third->getInstanceId(), 0);
    EXPECT_EQ(VYKCommGetInstanceMapping(0), 0);
    EXPECT_EQ(VYKCommGetInstanceMapping(1), 1);
    EXPECT_EQ(PlatformGetNumActiveInstances(), 2);
}

TEST(Facade, TwentyFirstFacadeHasNoSlotAndDoesNothing)
{
    std::vector<std::unique_ptr<VYKLib>> facades;
    for (int i = 0; i < 20; ++i)
        facades.push_back(std::make_unique<VYKLib>());
    VYKLib extra;
    EXPECT_EQ(extra.getInstanceId(), -1);
    EXPECT_EQ(PlatformGetNumActiveInstances(), 20);

    const MasterBlock before = *VYKCommGetMasterBlock(0);
    std::vector<float> block(64, 0.5f);
    extra.process(block.data(), nullptr, 32, 2);
    extra.setEnabled(false);
    extra.setInputGain(3.0f);
    extra.setToneBassGain(2.0f);
    extra.loadEmbeddedProfile(5);
    extra.setAll(&gProfiles[3]);
    extra.setState(&gProfiles[3], 2048);
    extra.resetAudio();
    EXPECT_FALSE(extra.loadProfileFromBuffer(&gProfiles[3], 0));
    EXPECT_FALSE(extra.getEnabled());
    EXPECT_EQ(extra.getInputGain(), 0.0f);
    EXPECT_EQ(extra.getToneBassGain(), 0.0f);
    EXPECT_EQ(extra.getVersion(), 0);
    EXPECT_EQ(extra.getLatencySamples(), 0);
    EXPECT_TRUE(sameRecord(before, *VYKCommGetMasterBlock(0)));
    for (const auto& facade : facades)
        EXPECT_TRUE(facade->getEnabled());
}

TEST(FacadeTone, GainsReadOneAfterEveryProfileLoad)
{
    VYKLib lib;
    for (int profile = 0; profile < 20; ++profile)
    {
        SCOPED_TRACE(profile);
        lib.loadEmbeddedProfile(profile);
        EXPECT_FLOAT_EQ(lib.getToneBassGain(), 1.0f);
        EXPECT_FLOAT_EQ(lib.getToneTrebleGain(), 1.0f);
    }
}

TEST(FacadeTone, StepsAreAdditiveOnTheTypesField)
{
    VYKLib lib;
    MasterBlock record = gProfiles[0];
    record.bands[0].bandType = kBandTypeCompressor;
    record.bands[0].compMakeupGain = 2.0f;
    loadWithBands(lib, record);
    lib.setToneBassGain(1.5f);
    MultiBandBandBlock band;
    lib.getMultiBandBand(&band, 0);
    EXPECT_FLOAT_EQ(band.compMakeupGain, 2.5f);
    EXPECT_FLOAT_EQ(lib.getToneBassGain(), 1.5f);
    // The change is visible to the module's changed-field test.
    EXPECT_EQ(VYKCommCheckParamChanged(&VYKCommGetMasterBlock(lib.getInstanceId())->bands[0].compMakeupGain), 1);

    record.bands[0].bandType = kBandTypeLimiter;
    record.bands[0].limiterThreshold = 0.5f;
    loadWithBands(lib, record);
    lib.setToneBassGain(1.0f);
    lib.getMultiBandBand(&band, 0);
    EXPECT_FLOAT_EQ(band.limiterThreshold, 0.5f);
    lib.setToneBassGain(2.0f);
    lib.getMultiBandBand(&band, 0);
    EXPECT_FLOAT_EQ(band.limiterThreshold, 1.0f / 3.0f);
    EXPECT_FLOAT_EQ(lib.getToneBassGain(), 2.0f);

    for (int type : {kBandTypeClipper, kBandTypeGain})
    {
        SCOPED_TRACE(type);
        record.bands[0].bandType = type;
        loadWithBands(lib, record);
        lib.setToneBassGain(0.75f);
        lib.getMultiBandBand(&band, 0);
        const float field = type == kBandTypeClipper ? band.clipperOutputGain : band.gainOnlyGain;
        const float profileValue =
            type == kBandTypeClipper ? record.bands[0].clipperOutputGain : record.bands[0].gainOnlyGain;
        EXPECT_FLOAT_EQ(field, profileValue - 0.25f);
    }

    // A type without a tone field reads 0 and leaves the band as it is.
    record.bands[0].bandType = 7;
    loadWithBands(lib, record);
    lib.setToneBassGain(3.0f);
    lib.getMultiBandBand(&band, 0);
    EXPECT_EQ(std::memcmp(&band, &record.bands[0], sizeof(band)), 0);
    EXPECT_EQ(lib.getToneBassGain(), 0.0f);
}

TEST(FacadeTone, TrebleActsOnTheHighestBandInUse)
{
    VYKLib lib;
    MasterBlock record = gProfiles[0];
    for (int band = 0; band < kNumBands; ++band)
        record.bands[band].compMakeupGain = 0.5f + 0.1f * band;
    record.bands[3].bandOff = 1;
    record.bands[4].bandOff = 1;
    loadWithBands(lib, record);
    lib.setToneTrebleGain(1.25f);
    MultiBandBandBlock band;
    lib.getMultiBandBand(&band, 2);
    EXPECT_FLOAT_EQ(band.compMakeupGain, 0.7f + 0.25f);
    lib.getMultiBandBand(&band, 4);
    EXPECT_FLOAT_EQ(band.compMakeupGain, 0.9f);

    record.bands[3].bandOff = 0;
    record.bands[4].bandOff = 0;
    loadWithBands(lib, record);
    lib.setToneTrebleGain(1.25f);
    lib.getMultiBandBand(&band, 4);
    EXPECT_FLOAT_EQ(band.compMakeupGain, 0.9f + 0.25f);
}

TEST(FacadeState, BlobRoundTripsRecordAndToneOffsets)
{
    VYKLib source;
    VYKLib target;
    source.loadEmbeddedProfile(12);
    source.setToneBassGain(1.4f);
    source.setToneTrebleGain(0.8f);
    int size = 0;
    const auto* blob = static_cast<const unsigned char*>(source.getState(&size));
    ASSERT_EQ(size, 4048);
    MasterBlock record;
    source.getAll(&record);
    EXPECT_EQ(std::memcmp(blob, &record, sizeof(record)), 0);
    for (int i = 2048; i < 3048; ++i)
        ASSERT_EQ(blob[i], 0) << i;
    for (int i = 3080; i < 4048; ++i)
        ASSERT_EQ(blob[i], 0) << i;

    target.setState(blob, size);
    MasterBlock restored;
    target.getAll(&restored);
    EXPECT_TRUE(sameRecord(record, restored));
    EXPECT_FLOAT_EQ(target.getToneBassGain(), 1.4f);
    EXPECT_FLOAT_EQ(target.getToneTrebleGain(), 0.8f);

    // A bare record is applied, and the target's own offsets stay.
    target.loadEmbeddedProfile(0);
    target.setState(blob, 2048);
    target.getAll(&restored);
    EXPECT_TRUE(sameRecord(record, restored));
    EXPECT_NE(target.getToneBassGain(), 1.4f);

    // An invalid record, or a blob too short to hold one, changes nothing.
    std::vector<unsigned char> invalid(blob, blob + size);
    invalid[916] = 2;
    target.loadEmbeddedProfile(3);
    target.setState(invalid.data(), size);
    target.setState(blob, 2047);
    target.getAll(&restored);
    EXPECT_TRUE(sameRecord(restored, gProfiles[3]));
}

TEST(FacadeParams, SensitivityEnabledAndGains)
{
    VYKLib lib;
    lib.setSensitivity(4.0f);
    EXPECT_FLOAT_EQ(lib.getInputGain(), 4.0f);
    EXPECT_FLOAT_EQ(lib.getOutputGain(), 0.5f);
    EXPECT_FLOAT_EQ(lib.getSensitivity(), 4.0f);
    EXPECT_FLOAT_EQ(VYKCommGetMasterBlock(lib.getInstanceId())->outputCompressor.outputGain, 0.5f);

    lib.setEnabled(false);
    EXPECT_FALSE(lib.getEnabled());
    EXPECT_EQ(VykGetBypass(lib.getInstanceId()), 1);
    EXPECT_EQ(VykIsMuted(lib.getInstanceId()), 0);
    lib.setEnabled(true);
    EXPECT_TRUE(lib.getEnabled());

    lib.setMuteState(true);
    EXPECT_TRUE(lib.getMuteState());
    lib.setMuteState(false);
    EXPECT_FALSE(lib.getMuteState());
    EXPECT_EQ(lib.getVersion(), 0x05000302);
    lib.setSampleRate(96000);
    EXPECT_EQ(gVykInstances[lib.getInstanceId()].sampleRate, 96000);
}

TEST(FacadeParams, BlockSettersStoreAndGettersCopyOut)
{
    VYKLib lib;
    OutputBlock output;
    lib.getOutput(&output);
    output.leftDelayMs = 3.0f;
    lib.setOutput(&output);
    OutputBlock readBack{};
    lib.getOutput(&readBack);
    EXPECT_EQ(readBack.leftDelayMs, 3.0f);
    EXPECT_EQ(VYKCommCheckParamChanged(&VYKCommGetMasterBlock(lib.getInstanceId())->output.leftDelayMs), 1);
    EXPECT_EQ(VYKCommCheckParamChanged(&VYKCommGetMasterBlock(lib.getInstanceId())->output.rightDelayMs), 0);

    MultiBandBandBlock band;
    lib.getMultiBandBand(&band, 4);
    band.compAttackMs = 7.0f;
    lib.setMultiBandBand(&band, 5);
    lib.setMultiBandBand(&band, -1);
    MultiBandBandBlock stored;
    lib.getMultiBandBand(&stored, 4);
    EXPECT_NE(stored.compAttackMs, 7.0f);
    lib.setMultiBandBand(&band, 4);
    lib.getMultiBandBand(&stored, 4);
    EXPECT_EQ(stored.compAttackMs, 7.0f);

    VYKBlock vyk{44100, 1};
    lib.setVyk(&vyk);
    EXPECT_EQ(VykGetBypass(lib.getInstanceId()), 1);
}

namespace
{
struct Invocation
{
    int channel = -1;
    int slot = -1;
    void* userData = nullptr;
    int count = 0;
};
Invocation sInvocation;
void recordInvocation(int channel, int slot, void*, void* userData)
{
    sInvocation.channel = channel;
    sInvocation.slot = slot;
    sInvocation.userData = userData;
    ++sInvocation.count;
}

unsigned sCsrInsideProcess = 0;
void readCsr(int)
{
#if defined(__x86_64__)
    sCsrInsideProcess = _mm_getcsr();
#endif
}
} // namespace

TEST(FacadeCallbacks, StoreAppliesResetToneOffsetsAndReachTheInvokeCallback)
{
    VYKLib lib;
    int userData = 0;
    lib.setCommandInvokeCallback(recordInvocation, &userData);
    lib.setToneBassGain(1.7f);
    sInvocation = {};
    VYKLoadProfile(4, lib.getInstanceId(), nullptr); // a whole-record apply through the store
    EXPECT_EQ(sInvocation.channel, 1);
    EXPECT_EQ(sInvocation.slot, lib.getInstanceId());
    EXPECT_EQ(sInvocation.userData, &userData);
    EXPECT_FLOAT_EQ(lib.getToneBassGain(), 1.0f);

    // A slot without a facade is ignored.
    sInvocation = {};
    VYKLoadProfile(4, 19, nullptr);
    EXPECT_EQ(sInvocation.count, 0);
    EXPECT_FALSE(lib.startListener(0));
}

TEST(FacadeProcess, ResetAudioForgetsTheTailOfWhatWasPlayed)
{
    VYKLib kept;
    VYKLib reset;
    for (VYKLib* lib : {&kept, &reset})
    {
        lib->loadEmbeddedProfile(8);
        lib->setSampleRate(48000);
        std::vector<float> loud =
            signals::interleave({signals::noise(4096, 0.9, 1u), signals::noise(4096, 0.9, 2u)});
        for (int offset = 0; offset < 4096; offset += 1024)
            lib->process(loud.data() + 2 * offset, nullptr, 1024, 2);
    }
    reset.resetAudio();
    for (VYKLib* lib : {&kept, &reset})
    {
        std::vector<float> silence(2 * 1024, 0.0f);
        lib->process(silence.data(), nullptr, 1024, 2);
        EXPECT_EQ(signals::peak(silence) == 0.0, lib == &reset) << "slot " << lib->getInstanceId();
    }
}

#if defined(__x86_64__)
TEST(FacadeProcess, FlushToZeroOnlyForTheDurationOfTheCall)
{
    VYKLib lib;
    const unsigned before = _mm_getcsr();
    ASSERT_EQ(before & 0x8040u, 0u);
    VykSetBypass(lib.getInstanceId(), 1);
    VykMute(lib.getInstanceId(), readCsr);
    std::vector<float> block(2 * 2048, 0.5f);
    for (int n = 0; n < 2; ++n)
        lib.process(block.data(), nullptr, 2048, 2);
    EXPECT_EQ(sCsrInsideProcess & 0x8040u, 0x8040u);
    EXPECT_EQ(_mm_getcsr(), before);
    VykUnmute(lib.getInstanceId());
}
#endif

TEST(FacadeLatency, ReportedLatencyMatchesTheMeasuredDelay)
{
    VYKLib lib;
    lib.setSampleRate(48000);
    // The chain's crossover and high-pass filters add a few samples of group delay on top of the
    // reported look-ahead.
    for (int profile : {0, 6, 8, 10, 12, 19})
    {
        SCOPED_TRACE(profile);
        lib.loadEmbeddedProfile(profile);
        const int latency = lib.getLatencySamples();
        EXPECT_EQ(latency, lib.getChainLatencySamples());
        EXPECT_GT(latency, 0);

        std::vector<float> input(2 * 8192);
        unsigned seed = 12345;
        for (float& v : input)
        {
            seed = seed * 1664525u + 1013904223u;
            v = (static_cast<float>(seed >> 8) / 16777216.0f - 0.5f) * 0.2f; // quiet: dynamics stay calm
        }
        std::vector<float> output = input;
        for (int offset = 0; offset < 8192; offset += 2048)
            lib.process(output.data() + 2 * offset, nullptr, 2048, 2);
        EXPECT_NEAR(signals::measuredDelay(input.data(), output.data(), 8192, 2, 512), latency, 4);
    }

    // With the chain bypassed only the user gain runs: no delay, while the configured look-ahead stays.
    lib.setEnabled(false);
    EXPECT_EQ(lib.getLatencySamples(), 0);
    EXPECT_GT(lib.getChainLatencySamples(), 0);
    lib.setEnabled(true);
}
