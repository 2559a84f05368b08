// The parameter store (block table, snapshots, changed-field test, profile loads) and the command
// dispatcher with its fade sequences, driven the way the control protocol drives them.
#include "support/EngineFixture.h"

#include <cstring>
#include <string>

namespace
{
struct OutsideCall
{
    int channel;
    int slot;
    bool hasData;
    bool hasReply;
};
std::vector<OutsideCall> sOutsideCalls;

int recordOutside(int channel, int slot, void* data, void* reply)
{
    sOutsideCalls.push_back({channel, slot, data != nullptr, reply != nullptr});
    return 0;
}

class StoreTest : public EngineTest
{
protected:
    void SetUp() override
    {
        ASSERT_EQ(PlatformInit(recordOutside, nullptr), 0);
        sOutsideCalls.clear();
    }

    // A protocol write: snapshot, bytes into the store block, then the platform callback.
    static int writeBlock(int id, int slot, const void* bytes, int size)
    {
        int blockSize = 0;
        void* block = VYKCommGetBlockData(id, slot, &blockSize);
        EXPECT_EQ(blockSize, size);
        VYKCommSaveState(slot);
        std::memcpy(block, bytes, static_cast<size_t>(size));
        return VYKCommGetPlatformCallback()(id, slot, block, nullptr);
    }

    static int writeWord(int id, int slot, int32_t value) { return writeBlock(id, slot, &value, 4); }

    // A protocol read: the platform callback fills the block, which is then sent.
    static void* readBlock(int id, int slot)
    {
        void* block = VYKCommGetBlockData(id, slot, nullptr);
        VYKCommGetPlatformCallback()(id, slot, nullptr, block);
        return block;
    }

    static void processSlots(std::initializer_list<int> slots, int frames = 2048)
    {
        for (int slot : slots)
        {
            std::vector<float> block = constantBlock(frames, 2, 0.5f);
            process(slot, block, 2);
        }
    }

    static bool recordEquals(int slot, int profile)
    {
        return std::memcmp(VYKCommGetMasterBlock(slot), &gProfiles[profile], sizeof(MasterBlock)) == 0;
    }
};
} // namespace

TEST_F(StoreTest, BlockTableSizesAndIdFlag)
{
    struct Case
    {
        int id;
        int size;
    };
    const Case cases[] = {{1, 2048}, {2, 2048},  {3, 8},    {4, 8},   {5, 16},  {6, 16},  {7, 28},  {8, 28},
                          {9, 48},   {10, 48},   {11, 596}, {12, 596}, {13, 60}, {14, 60}, {15, 164}, {16, 164},
                          {17, 28},  {18, 28},   {19, 76},  {20, 76},  {21, 828}, {22, 828}, {23, 68}, {24, 68},
                          {25, 152}, {26, 152},  {27, 48},  {28, 48},  {29, 116}, {32, 4},  {33, 4},  {35, 4},
                          {36, 4},   {37, 4},    {38, 20},  {39, 4},   {40, 4},  {41, 64},  {42, 64}, {43, 36},
                          {44, 36},  {45, 4},    {47, 80},  {49, 12},  {50, 12}, {51, 36},  {52, 36}, {53, 524},
                          {55, 4},   {56, 4},    {58, 4},   {59, 232}, {0, 0},   {30, 0},   {31, 0},  {34, 0},
                          {46, 0},   {54, 0},    {57, 0},   {60, 0},   {127, 0}};
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.id);
        int size = -1;
        void* block = VYKCommGetBlockData(c.id, 3, &size);
        EXPECT_EQ(size, c.size);
        EXPECT_EQ(block == nullptr, c.size == 0);
        int flaggedSize = -1;
        EXPECT_EQ(VYKCommGetBlockData(c.id | 0x80, 3, &flaggedSize), block);
        EXPECT_EQ(flaggedSize, c.size);
    }

    const auto* master = reinterpret_cast<unsigned char*>(VYKCommGetMasterBlock(3));
    EXPECT_EQ(VYKCommGetBlockData(24, 3, nullptr), master + 1784);
    EXPECT_EQ(VYKCommGetBlockData(21, 3, nullptr), master + 1024);
    EXPECT_EQ(VYKCommGetBlockData(52, 3, nullptr), master + 2012);
    EXPECT_NE(VYKCommGetBlockData(25, 3, nullptr), VYKCommGetBlockData(25, 4, nullptr));
    EXPECT_EQ(VYKCommGetBlockData(39, 3, nullptr), VYKCommGetBlockData(39, 4, nullptr));
    int size = -1;
    EXPECT_EQ(VYKCommGetBlockData(1, 20, &size), nullptr);
    EXPECT_EQ(size, 0);
}

TEST_F(StoreTest, InitialStateAndSnapshots)
{
    EXPECT_TRUE(recordEquals(7, 7));
    EXPECT_EQ(std::memcmp(VYKCommGetPreviousMasterBlock(7), &gProfiles[0], sizeof(MasterBlock)), 0);
    EXPECT_EQ(VYKCommIsDefaultStateLoaded(), 1);

    // After a snapshot nothing counts as changed; a written field does, until the next snapshot.
    MasterBlock* master = VYKCommGetMasterBlock(7);
    VYKCommSaveState(7);
    EXPECT_EQ(VYKCommCheckParamChanged(&master->input), 0);
    const float newGain = 2.0f;
    float oldGain;
    std::memcpy(&oldGain, &master->input, 4);
    VYKCommUpdateParam(&master->input, &newGain, 7);
    EXPECT_EQ(VYKCommCheckParamChanged(&master->input), 1);
    EXPECT_EQ(VYKCommCheckParamChanged(&master->output), 0);
    float stored;
    std::memcpy(&stored, &master->input, 4);
    EXPECT_EQ(stored, 2.0f);
    std::memcpy(&stored, &VYKCommGetPreviousMasterBlock(7)->input, 4);
    EXPECT_EQ(stored, oldGain);

    // The test is bytewise: -0.0 differs from 0.0.
    const float zero = 0.0f;
    const float negativeZero = -0.0f;
    VYKCommUpdateParam(&master->output, &zero, 7);
    VYKCommUpdateParam(&master->output, &negativeZero, 7);
    EXPECT_EQ(VYKCommCheckParamChanged(&master->output), 1);

    // A field outside the store's records has no snapshot and always counts as changed.
    MasterBlock local = gProfiles[0];
    EXPECT_EQ(VYKCommCheckParamChanged(&local.input), 1);
}

TEST(StoreBeforeInitialState, EverythingCountsAsChangedAndNothingIsWritten)
{
    VYKCommInit();
    MasterBlock* master = VYKCommGetMasterBlock(0);
    EXPECT_EQ(VYKCommIsDefaultStateLoaded(), 0);
    EXPECT_EQ(VYKCommCheckParamChanged(&master->vyk.sampleRate), 1);
    const int32_t value = 1234;
    VYKCommUpdateParam(&master->vyk.sampleRate, &value, 0);
    EXPECT_EQ(master->vyk.sampleRate, 48000);
    // The 0xFF snapshot makes every field differ at the first application.
    EXPECT_EQ(VYKCommGetPreviousMasterBlock(0)->vyk.sampleRate, -1);
}

TEST_F(StoreTest, LoadProfileRefusesBadArgumentsAndCopiesOut)
{
    MasterBlock copy{};
    VYKLoadProfile(20, 2, &copy);
    VYKLoadProfile(-1, 2, &copy);
    VYKLoadProfile(3, 20, &copy);
    VYKLoadProfile(3, -1, &copy);
    EXPECT_TRUE(recordEquals(2, 2));
    EXPECT_TRUE(sOutsideCalls.empty());

    VYKLoadProfile(9, 2, &copy);
    EXPECT_TRUE(recordEquals(2, 9));
    EXPECT_EQ(std::memcmp(&copy, &gProfiles[9], sizeof(copy)), 0);
    EXPECT_EQ(std::memcmp(VYKCommGetPreviousMasterBlock(2), &gProfiles[2], sizeof(copy)), 0);
    ASSERT_EQ(sOutsideCalls.size(), 1u);
    EXPECT_EQ(sOutsideCalls[0].channel, 1);
    EXPECT_EQ(sOutsideCalls[0].slot, 2);
}

TEST_F(StoreTest, InstanceMappingIgnoresOutOfRange)
{
    VYKCommSetInstanceMapping(2, 9);
    VYKCommSetInstanceMapping(20, 1);
    VYKCommSetInstanceMapping(3, 20);
    VYKCommSetInstanceMapping(-1, 1);
    EXPECT_EQ(VYKCommGetInstanceMapping(2), 9);
    EXPECT_EQ(VYKCommGetInstanceMapping(3), 3);
    EXPECT_EQ(VYKCommGetInstanceMapping(20), 0);
    EXPECT_EQ(VYKCommGetInstanceMapping(-5), 0);
    VYKCommSetInstanceMapping(2, 2);
}

TEST_F(StoreTest, EngineBlockSequenceSwitchesBypassWhileSilent)
{
    VYKBlock block{48000, 1};
    writeBlock(3, 1, &block, sizeof(block));
    EXPECT_EQ(VykIsMuted(1), 1);
    EXPECT_EQ(VykGetBypass(1), 0);
    ASSERT_EQ(sOutsideCalls.size(), 1u);
    EXPECT_EQ(sOutsideCalls[0].channel, 3);

    processSlots({1}); // fading
    EXPECT_EQ(VykGetBypass(1), 0);
    // The fade completes in the second call; its mute callback arms the one-buffer step, which that
    // same call's buffer count then runs, while the output is already silent.
    processSlots({1});
    EXPECT_EQ(VykGetBypass(1), 1);
    EXPECT_EQ(gVykInstances[1].mute.state, Muted);
    processSlots({1});
    EXPECT_EQ(VykIsMuted(1), 1);
    processSlots({1}); // two buffers after the apply: fade in
    EXPECT_EQ(gVykInstances[1].mute.state, Unmuting);
}

TEST_F(StoreTest, SequencedChannelsAreRefusedWhileMutedUnlessForceMuted)
{
    VykMute(1, nullptr);
    VYKBlock block{48000, 1};
    writeBlock(3, 1, &block, sizeof(block));
    EXPECT_TRUE(sOutsideCalls.empty());
    EXPECT_EQ(VykGetBypass(1), 0);
    EXPECT_EQ(VYKCommGetMasterBlock(1)->vyk.bypass, 1); // the bytes stay in the store

    writeWord(32, 1, 4);
    writeWord(39, 1, 48000);
    EXPECT_TRUE(sOutsideCalls.empty());

    // Force-muted: the sequence runs, and its final unmute is ignored while the force-mute holds.
    VykForceMute(2);
    writeBlock(3, 2, &block, sizeof(block));
    ASSERT_EQ(sOutsideCalls.size(), 1u);
    for (int n = 0; n < 6; ++n)
        processSlots({2});
    EXPECT_EQ(VykGetBypass(2), 1);
    EXPECT_EQ(gVykInstances[2].mute.state, Muted);
}

TEST_F(StoreTest, SingleInstanceProfileLoadSequence)
{
    writeWord(32, 4, 11);
    EXPECT_EQ(gVykInstances[4].mute.state, Muting);
    EXPECT_TRUE(recordEquals(4, 4));
    processSlots({4});
    EXPECT_TRUE(recordEquals(4, 4));
    processSlots({4}); // fade finished: applied at the end of this call and held silent
    EXPECT_TRUE(recordEquals(4, 11));
    EXPECT_EQ(gVykInstances[4].mute.state, PreUnmuting);
    processSlots({4});
    EXPECT_EQ(gVykInstances[4].mute.state, PreUnmuting);
    processSlots({4}); // two buffers later: fade in
    EXPECT_EQ(gVykInstances[4].mute.state, Unmuting);
}

TEST_F(StoreTest, ProfileLoadsWithoutAutoMuteApplyAtOnce)
{
    writeWord(55, 0, 0);
    EXPECT_EQ(*static_cast<int32_t*>(readBlock(56, 0)), 0);
    writeWord(32, 4, 11);
    EXPECT_TRUE(recordEquals(4, 11));
    EXPECT_EQ(VykIsMuted(4), 0);

    PlatformSetNumActiveInstances(3);
    writeWord(33, 0, 5);
    EXPECT_TRUE(recordEquals(0, 5));
    EXPECT_TRUE(recordEquals(1, 6));
    EXPECT_TRUE(recordEquals(2, 7));
    EXPECT_TRUE(recordEquals(3, 3));

    writeWord(39, 0, 32000);
    for (int slot : {0, 1, 2})
        EXPECT_EQ(gVykInstances[slot].sampleRate, 32000);
    EXPECT_EQ(gVykInstances[3].sampleRate, 44100);
    EXPECT_EQ(*static_cast<int32_t*>(readBlock(40, 5)), 32000);

    // A slot beyond the active instances is not loaded, but the command still reaches the outside.
    sOutsideCalls.clear();
    writeWord(32, 5, 1);
    EXPECT_TRUE(recordEquals(5, 5));
    ASSERT_EQ(sOutsideCalls.size(), 1u);
    EXPECT_EQ(sOutsideCalls[0].channel, 32);
}

TEST_F(StoreTest, AllInstanceProfileLoadOneInstancePerBuffer)
{
    PlatformSetNumActiveInstances(3);
    VYKCommSetInstanceMapping(2, 9);
    writeWord(33, 0, 5);
    for (int slot : {0, 1, 9})
        EXPECT_EQ(gVykInstances[slot].mute.state, Muting);

    processSlots({0, 1, 9}); // fading
    processSlots({0, 1});
    EXPECT_TRUE(recordEquals(0, 0));
    processSlots({9}); // the last fade finishes: the first load runs at the end of this call
    EXPECT_TRUE(recordEquals(0, 5));
    EXPECT_TRUE(recordEquals(1, 1));
    processSlots({0});
    EXPECT_TRUE(recordEquals(1, 6));
    EXPECT_TRUE(recordEquals(9, 9));
    processSlots({0});
    EXPECT_TRUE(recordEquals(9, 7));
    for (int slot : {0, 1, 9})
        EXPECT_EQ(gVykInstances[slot].mute.state, PreUnmuting);
    processSlots({1, 9});
    for (int slot : {0, 1, 9})
        EXPECT_EQ(gVykInstances[slot].mute.state, Unmuting);
    VYKCommSetInstanceMapping(2, 2);
}

TEST_F(StoreTest, SampleRateSequence)
{
    PlatformSetNumActiveInstances(2);
    writeWord(39, 0, 48000);
    processSlots({0, 1});
    processSlots({0, 1});
    EXPECT_EQ(gVykInstances[0].sampleRate, 48000);
    EXPECT_EQ(gVykInstances[1].sampleRate, 44100);
    processSlots({0});
    EXPECT_EQ(gVykInstances[1].sampleRate, 48000);
    EXPECT_EQ(gVykInstances[2].sampleRate, 44100);
    processSlots({0, 0});
    EXPECT_EQ(gVykInstances[0].mute.state, Unmuting);
    EXPECT_EQ(gVykInstances[1].mute.state, Unmuting);
}

TEST_F(StoreTest, ReadsFillTheirBlocks)
{
    auto* info = static_cast<ProfileInfoBlock*>(readBlock(12, 6));
    EXPECT_EQ(info->version, 0x05000302);
    int32_t stored;
    std::memcpy(&stored, reinterpret_cast<unsigned char*>(VYKCommGetMasterBlock(6)) + 180, 4);
    EXPECT_EQ(stored, 0x05000302);

    auto* system = static_cast<SystemInfoBlock*>(readBlock(53, 0));
    EXPECT_EQ(system->configId, 0);
    EXPECT_EQ(system->numActiveInstances, 20);
    EXPECT_EQ(system->numProfiles, 20);
    EXPECT_STREQ(system->info, "Local SDK Emulation Mode");
    EXPECT_STREQ(system->notes, "Subwoofer Output on Channel 3");

    const std::string longText(300, 'x');
    PlatformSetInfoNotes(longText.c_str(), nullptr);
    PlatformSetConfigId(42);
    system = static_cast<SystemInfoBlock*>(readBlock(53, 0));
    EXPECT_EQ(std::string(system->info), std::string(255, 'x'));
    EXPECT_STREQ(system->notes, "Subwoofer Output on Channel 3");
    EXPECT_EQ(system->configId, 42);
    PlatformSetInfoNotes("Local SDK Emulation Mode", nullptr);
    PlatformSetConfigId(0);

    writeWord(35, 3, 1);
    EXPECT_EQ(*static_cast<int32_t*>(readBlock(36, 3)), 1);
    writeWord(35, 3, 0);
    EXPECT_EQ(*static_cast<int32_t*>(readBlock(36, 3)), 0);

    writeWord(58, 3, 1);
    EXPECT_EQ(gVykInstances[3].timers[13].enabled, 1);
    processSlots({3}, 512);
    auto* profiling = static_cast<ProfilingBlock*>(readBlock(59, 3));
    EXPECT_EQ(profiling->frames, 512);
    EXPECT_EQ(profiling->sampleRate, 44100);
    EXPECT_EQ(profiling->timers[13].index, 13);

    // A read ID written, or a write ID read, only reaches the outside callback.
    sOutsideCalls.clear();
    VYKCommGetPlatformCallback()(12, 6, nullptr, nullptr);
    VYKCommGetPlatformCallback()(32, 6, nullptr, VYKCommGetBlockData(32, 6, nullptr));
    EXPECT_EQ(sOutsideCalls.size(), 2u);
    EXPECT_TRUE(recordEquals(6, 6) == false); // only the version word differs from profile 6
}

TEST_F(StoreTest, UserGainForAllActiveInstances)
{
    PlatformSetNumActiveInstances(2);
    const float gain = 0.5f;
    writeBlock(37, 0, &gain, 4);
    for (int slot : {0, 1, 2})
    {
        float left;
        float right;
        const auto* user = reinterpret_cast<const unsigned char*>(&VYKCommGetMasterBlock(slot)->user);
        std::memcpy(&left, user, 4);
        std::memcpy(&right, user + 4, 4);
        EXPECT_EQ(left, slot < 2 ? 0.5f : 1.0f) << slot;
        EXPECT_EQ(right, slot < 2 ? 0.5f : 1.0f) << slot;
    }
}
