// The engine spine: instance set-up, process-call guards, bypass path, silence detection, mute ramps
// and their callbacks, the engine-wide after-buffers callback and the profiling timers.
#include "support/EngineFixture.h"

#include <chrono>
#include <cmath>
#include <cstring>
#include <limits>
#include <thread>

namespace
{
int sMuteCalls = 0;
int sMuteInstance = -1;
void recordMute(int instance)
{
    ++sMuteCalls;
    sMuteInstance = instance;
}

int sBufferCalls = 0;
void recordBuffer()
{
    ++sBufferCalls;
}

// Index of the first frame from which every sample is exactly 0, or -1 when the block ends sounding.
int firstSilentFrame(const std::vector<float>& block, int channels)
{
    const int frames = static_cast<int>(block.size()) / channels;
    int first = -1;
    for (int f = frames - 1; f >= 0; --f)
    {
        bool silent = true;
        for (int ch = 0; ch < channels; ++ch)
            silent = silent && block[f * channels + ch] == 0.0f;
        if (!silent)
            break;
        first = f;
    }
    return first;
}

class SpineTest : public EngineTest
{
protected:
    void SetUp() override
    {
        EngineTest::SetUp();
        sMuteCalls = 0;
        sMuteInstance = -1;
        sBufferCalls = 0;
        // Bypassed instances run only the unity user gain, so the ramps are measured on their own.
        for (int i = 0; i < kMaxInstances; ++i)
            VykSetBypass(i, 1);
    }
};
} // namespace

TEST(SpineInit, RejectsMoreThanTwentyInstancesAndChangesNothing)
{
    ASSERT_EQ(PlatformInit(nullptr, nullptr), 0);
    VykSetSampleRate(3, 96000);
    EXPECT_EQ(VykInit(21), -1);
    EXPECT_EQ(gNumInstances, 20);
    EXPECT_EQ(gVykInstances[3].sampleRate, 96000);
}

TEST_F(EngineTest, InitLeavesInstanceIRunningProfileIUnmutedAt44100)
{
    for (int i = 0; i < kMaxInstances; ++i)
    {
        SCOPED_TRACE(i);
        EXPECT_EQ(std::memcmp(VYKCommGetMasterBlock(i), &gProfiles[i], sizeof(MasterBlock)), 0);
        EXPECT_EQ(gVykInstances[i].sampleRate, 44100);
        EXPECT_EQ(VykGetProfilingData(i)->sampleRate, 44100);
        EXPECT_EQ(VykIsMuted(i), 0);
        EXPECT_EQ(VykGetBypass(i), 0);
        EXPECT_EQ(VykGetSilenceStatus(i), 0);
        EXPECT_EQ(gVykInstances[i].meters, VYKCommGetMeters(i));
    }
    EXPECT_EQ(VykGetVersion(), 0x05000302);
}

TEST_F(SpineTest, OversizedCallsPassThroughUntouched)
{
    struct Case
    {
        int frames;
        int channels;
    };
    for (Case c : {Case{2049, 2}, Case{16, 3}})
    {
        SCOPED_TRACE(c.frames);
        VykMute(0, nullptr);
        std::vector<float> block(static_cast<size_t>(c.frames * c.channels));
        for (size_t i = 0; i < block.size(); ++i)
            block[i] = std::sin(0.01f * static_cast<float>(i));
        const std::vector<float> original = block;
        MetersBlock before = *VYKCommGetMeters(0);
        const int silenceBefore = gVykInstances[0].silenceCount;

        VykProcess(0, block.data(), nullptr, c.frames, c.channels);

        EXPECT_EQ(std::memcmp(block.data(), original.data(), block.size() * sizeof(float)), 0);
        EXPECT_EQ(std::memcmp(&before, VYKCommGetMeters(0), sizeof(before)), 0);
        EXPECT_EQ(gVykInstances[0].silenceCount, silenceBefore);
        EXPECT_EQ(gVykInstances[0].mute.state, Muting);
        EXPECT_EQ(gVykInstances[0].mute.gain, 1.0f);
    }
}

TEST_F(SpineTest, MetersReportPeaksPerChannelBeforeAndAfterTheChain)
{
    std::vector<float> block = {0.25f, -0.5f, -0.75f, 0.125f, 0.0f, 0.0f};
    process(2, block, 2);
    const MetersBlock* meters = VYKCommGetMeters(2);
    EXPECT_EQ(meters->values[kMeterInputPeak0], 0.75f);
    EXPECT_EQ(meters->values[kMeterInputPeak1], 0.5f);
    EXPECT_EQ(meters->values[kMeterOutputPeak0], 0.75f);
    EXPECT_EQ(meters->values[kMeterOutputPeak1], 0.5f);
    EXPECT_EQ(VykGetProfilingData(2)->frames, 3);
}

TEST_F(SpineTest, BypassPathLeavesAuxUntouchedAndRunsNoTimer)
{
    VykSetProfilingEnabled(0, 1);
    std::vector<float> aux(64, 123.0f);
    std::vector<float> block = constantBlock(64, 2, 0.5f);
    VykProcess(0, block.data(), aux.data(), 64, 2);
    for (float v : aux)
        ASSERT_EQ(v, 123.0f);
    for (const ProfileTimer& timer : gVykInstances[0].timers)
        EXPECT_EQ(timer.frames, 0) << timer.name;

    VykSetBypass(0, 0);
    VykProcess(0, block.data(), aux.data(), 64, 2);
    for (const ProfileTimer& timer : gVykInstances[0].timers)
        EXPECT_EQ(timer.frames, 64) << timer.name;
}

TEST_F(SpineTest, SilentAfterFiftyOneZeroBlocksAndResetByAnyNonZeroSample)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    for (float breaker : {0.25f, -1e-30f, nan})
    {
        SCOPED_TRACE(breaker);
        for (int n = 1; n <= 50; ++n)
        {
            std::vector<float> zeros = constantBlock(32, 2, 0.0f);
            process(1, zeros, 2);
        }
        EXPECT_EQ(gVykInstances[1].silenceCount, 50);
        EXPECT_EQ(VykGetSilenceStatus(1), 0);
        std::vector<float> zeros = constantBlock(32, 2, 0.0f);
        process(1, zeros, 2);
        EXPECT_EQ(VykGetSilenceStatus(1), 1);
        process(1, zeros, 2);
        EXPECT_EQ(gVykInstances[1].silenceCount, 51);

        std::vector<float> block = constantBlock(32, 2, 0.0f);
        block[17] = breaker;
        process(1, block, 2);
        EXPECT_EQ(gVykInstances[1].silenceCount, 0);
        EXPECT_EQ(VykGetSilenceStatus(1), 0);
    }
    // An empty block counts as silent.
    VykProcess(1, nullptr, nullptr, 0, 2);
    EXPECT_EQ(gVykInstances[1].silenceCount, 1);
}

TEST_F(SpineTest, FadeOutLengthsAndCallbackTiming)
{
    struct Case
    {
        int channels;
        int silentFrom; // first frame that is exactly zero
    };
    for (Case c : {Case{2, 3453}, Case{1, 6905}})
    {
        SCOPED_TRACE(c.channels);
        ASSERT_EQ(PlatformInit(nullptr, nullptr), 0);
        VykSetBypass(4, 1);
        sMuteCalls = 0;
        VykMute(4, recordMute);

        std::vector<float> first = constantBlock(2048, c.channels, 1.0f);
        std::vector<float> whole;
        int blocks = 0;
        while (gVykInstances[4].mute.state == Muting)
        {
            EXPECT_EQ(sMuteCalls, 0);
            std::vector<float> block = constantBlock(2048, c.channels, 1.0f);
            process(4, block, c.channels);
            whole.insert(whole.end(), block.begin(), block.end());
            ++blocks;
        }
        EXPECT_EQ(gVykInstances[4].mute.state, Muted);
        EXPECT_EQ(blocks, (c.silentFrom + 2047) / 2048);
        EXPECT_EQ(sMuteCalls, 1);
        EXPECT_EQ(sMuteInstance, 4);
        EXPECT_EQ(firstSilentFrame(whole, c.channels), c.silentFrom);

        // Within a frame the right sample is one step further down the ramp than the left.
        if (c.channels == 2)
        {
            EXPECT_EQ(whole[0], 0.999f);
            EXPECT_LT(whole[1], whole[0]);
        }

        // Muted: the callback does not run again and blocks stay silent.
        std::vector<float> block = constantBlock(2048, c.channels, 1.0f);
        process(4, block, c.channels);
        EXPECT_EQ(firstSilentFrame(block, c.channels), 0);
        EXPECT_EQ(sMuteCalls, 1);
    }
}

TEST_F(SpineTest, FadeInFromSilenceLengthsAndUntouchedTail)
{
    for (int channels : {2, 1})
    {
        SCOPED_TRACE(channels);
        const int rampFrames = channels == 2 ? 3453 : 6905;
        gVykInstances[5].mute = {Muted, 0.0f};
        VykUnmute(5);
        EXPECT_EQ(gVykInstances[5].mute.state, Unmuting);

        std::vector<float> whole;
        while (gVykInstances[5].mute.state == Unmuting)
        {
            std::vector<float> block = constantBlock(2048, channels, 1.0f);
            process(5, block, channels);
            whole.insert(whole.end(), block.begin(), block.end());
        }
        EXPECT_EQ(gVykInstances[5].mute.state, Unmuted);
        EXPECT_LT(whole[(rampFrames - 1) * channels], 1.0f);
        for (size_t i = static_cast<size_t>(rampFrames * channels); i < whole.size(); ++i)
            ASSERT_EQ(whole[i], 1.0f) << i;
        EXPECT_EQ(VykIsMuted(5), 0);
    }
}

TEST_F(SpineTest, PreUnmuteFadesOutWithoutCallbackThenUnmuteFadesInFromSilence)
{
    VykMute(6, recordMute);
    std::vector<float> block = constantBlock(1024, 2, 1.0f);
    process(6, block, 2);
    VykPreUnmute(6);
    for (int n = 0; n < 4; ++n)
    {
        block = constantBlock(1024, 2, 1.0f);
        process(6, block, 2);
    }
    EXPECT_EQ(gVykInstances[6].mute.state, PreUnmuting);
    EXPECT_EQ(firstSilentFrame(block, 2), 0);
    EXPECT_EQ(sMuteCalls, 0);
    EXPECT_EQ(VykIsMuted(6), 1);

    VykUnmute(6);
    EXPECT_EQ(gVykInstances[6].mute.state, Unmuting);
    EXPECT_EQ(gVykInstances[6].mute.gain, 0.0f);
    block = constantBlock(4, 2, 1.0f);
    process(6, block, 2);
    EXPECT_NEAR(block[0], 0.001f, 1e-7f);
}

TEST_F(SpineTest, ForceMuteHoldsUntilForceUnmute)
{
    VykForceMute(7);
    EXPECT_EQ(VykIsForceMuted(7), 1);
    for (int n = 0; n < 2; ++n)
    {
        std::vector<float> block = constantBlock(2048, 2, 1.0f);
        process(7, block, 2);
    }
    ASSERT_EQ(gVykInstances[7].mute.state, Muted);

    // A mute request while force-muted starts no new fade; its callback runs after the next call.
    VykMute(7, recordMute);
    EXPECT_EQ(gVykInstances[7].mute.state, Muted);
    EXPECT_EQ(sMuteCalls, 0);
    std::vector<float> block = constantBlock(256, 2, 1.0f);
    process(7, block, 2);
    EXPECT_EQ(sMuteCalls, 1);
    EXPECT_EQ(sMuteInstance, 7);

    VykUnmute(7);
    VykPreUnmute(7);
    EXPECT_EQ(gVykInstances[7].mute.state, Muted);

    VykForceUnmute(7);
    EXPECT_EQ(VykIsForceMuted(7), 0);
    EXPECT_EQ(gVykInstances[7].mute.state, Unmuting);
}

TEST_F(SpineTest, AfterBuffersCallbackCountsCallsOfAnyInstance)
{
    VykCallbackAfterBuffers(2, recordBuffer);
    std::vector<float> block = constantBlock(16, 2, 0.1f);
    process(0, block, 2);
    EXPECT_EQ(sBufferCalls, 0);
    // A refused call does not count.
    std::vector<float> tooLarge = constantBlock(2049, 2, 0.1f);
    process(1, tooLarge, 2);
    EXPECT_EQ(sBufferCalls, 0);
    process(1, block, 2);
    EXPECT_EQ(sBufferCalls, 1);
    process(0, block, 2);
    EXPECT_EQ(sBufferCalls, 1);
}

namespace
{
void rearm()
{
    ++sBufferCalls;
    if (sBufferCalls < 3)
        VykCallbackAfterBuffers(1, rearm);
}
} // namespace

TEST_F(SpineTest, AfterBuffersCallbackMayArmTheNextStep)
{
    VykCallbackAfterBuffers(1, rearm);
    std::vector<float> block = constantBlock(16, 1, 0.1f);
    for (int n = 0; n < 5; ++n)
        process(0, block, 1);
    EXPECT_EQ(sBufferCalls, 3);
}

TEST_F(EngineTest, SampleRateGetterReportsInstanceZero)
{
    VykSetSampleRate(3, 48000);
    EXPECT_EQ(VykGetSampleRate(), 44100);
    EXPECT_EQ(VykGetProfilingData(3)->sampleRate, 48000);
    VykSetSampleRate(0, 96000);
    EXPECT_EQ(VykGetSampleRate(), 96000);
}

TEST_F(EngineTest, InvalidInstancesAreIgnored)
{
    for (int bad : {-1, 20, 1000})
    {
        SCOPED_TRACE(bad);
        VykSetBypass(bad, 1);
        VykMute(bad, recordMute);
        VykForceMute(bad);
        VykSetSampleRate(bad, 8000);
        VykSetProfilingEnabled(bad, 1);
        EXPECT_EQ(VykGetBypass(bad), 0);
        EXPECT_EQ(VykIsMuted(bad), 0);
        EXPECT_EQ(VykIsForceMuted(bad), 0);
        EXPECT_EQ(VykGetSilenceStatus(bad), 0);
        EXPECT_EQ(VykGetProfilingData(bad), nullptr);
        std::vector<float> block = constantBlock(8, 2, 0.5f);
        process(bad, block, 2);
        EXPECT_EQ(block[0], 0.5f);
    }
}

TEST(ProfilingTimer, ReportsOncePerWindow)
{
    TimerResult result{};
    ProfileTimer timer{};
    TimerInit(&timer, "main", 13, &result);
    EXPECT_STREQ(timer.name, "main");
    EXPECT_EQ(result.index, 13);

    // Disabled timers measure nothing.
    TimerStart(&timer, 48000, 512, 3);
    TimerStop(&timer);
    EXPECT_EQ(timer.count, 0);

    timer.enabled = 1;
    for (int n = 0; n < 3; ++n)
    {
        EXPECT_EQ(result.maxMs, 0.0f);
        TimerStart(&timer, 48000, 512, 3);
        std::this_thread::sleep_for(std::chrono::microseconds(200));
        TimerStop(&timer);
    }
    EXPECT_GT(result.averageMs, 0.1f);
    EXPECT_GE(result.maxMs, result.averageMs);
    EXPECT_FLOAT_EQ(result.percentRealtime, computePercRealtime(result.averageMs, 512, 48000));
    EXPECT_EQ(timer.count, 0);
    EXPECT_EQ(timer.sumMs, 0.0f);
}

TEST(ProfilingTimer, PercentOfRealtime)
{
    EXPECT_NEAR(computePercRealtime(1.0667f, 512, 48000), 10.0f, 0.001f);
    EXPECT_NEAR(computePercRealtime(5.0f, 441, 44100), 50.0f, 1e-4f);
}
