// The parameter store: per-slot current and previous records, meters and auxiliary blocks,
// addressed by block ID, plus the changed-field test used by every whole-block routine.
#pragma once

#include "core/MasterBlock.h"
#include "core/StoreBlocks.h"

constexpr int kNumSlots = 20;
constexpr int kBlockIdFlag = 0x80; // bit 7 of an ID is ignored by the lookup
constexpr int kMultiBandBlockSize = 828; // five band blocks and the core block, back to back

/// (channel, slot, data, reply) -> result. For a write, `data` points at the store block that already
/// holds the new bytes; for a read, `data` is null and `reply` is the block about to be sent.
using VykPlatformCallback = int (*)(int channel, int slot, void* data, void* reply);
/// Byte sink for protocol replies.
using VykCommCallback = void (*)(const unsigned char* bytes, int count);

// Store block IDs: odd IDs write, the following even IDs read.
enum VykBlockId : int
{
    kBlockMaster = 1,
    kBlockVyk = 3,
    kBlockInput = 5,
    kBlockOutput = 7,
    kBlockUser = 9,
    kBlockProfileInfo = 11,
    kBlockProfileInfoGet = 12,
    kBlockBagc = 13,
    kBlockEq = 15,
    kBlockNoiseGate = 17,
    kBlockStereoWiden = 19,
    kBlockMultiBand = 21,
    kBlockMultiBandCore = 23,
    kBlockMultiBandBand = 25,
    kBlockOutputCompressor = 27,
    kBlockMeters = 29,
    kBlockLoadProfile = 32,
    kBlockLoadProfileAll = 33,
    kBlockText = 34,
    kBlockForceMute = 35,
    kBlockForceMuteGet = 36,
    kBlockUserGainAll = 37,
    kBlockEqCoef = 38,
    kBlockSampleRate = 39,
    kBlockSampleRateGet = 40,
    kBlockKaraoke = 41,
    kBlockFbx = 43,
    kBlockKaraokePreset = 45,
    kBlockFbxReset = 46,
    kBlockFbxStats = 47,
    kBlockPitchShift = 49,
    kBlockV3d = 51,
    kBlockSystemInfo = 53,
    kBlockAutoMute = 55,
    kBlockAutoMuteGet = 56,
    kBlockProfiling = 58,
    kBlockProfilingData = 59,
};

/// Every slot: previous record = 0xFF bytes, current record = built-in profile 0; identity mapping.
void VYKCommInit();
/// Loads built-in profile i into slot i for i < count, then marks the initial state loaded.
void VYKCommLoadInitialState(int count);
/// Loads built-in profile `profile` into `slot` (snapshot first) and applies it through the platform
/// callback; copies the profile into `copyOut` when given. Refuses slots above 19 and unknown profiles.
int VYKLoadProfile(int profile, int slot, MasterBlock* copyOut);

/// Maps an external instance number (0..19) to a slot (0..19); out-of-range arguments are ignored.
void VYKCommSetInstanceMapping(int number, int slot);
/// Slot of an external instance number; 0 for numbers outside 0..19.
int VYKCommGetInstanceMapping(int number);

/// The block named by `id` (bit 7 ignored) in `slot`, its size written to *sizeOut when given;
/// null and size 0 for IDs without a block or slots outside 0..19.
void* VYKCommGetBlockData(int id, int slot, int* sizeOut);
/// 1 when the 4 bytes at `field` (inside a slot's current record) differ from the previous record,
/// or before the initial state is loaded; else 0.
int VYKCommCheckParamChanged(const void* field);
/// Snapshot: previous record = current record (once the initial state is loaded).
void VYKCommSaveState(int slot);
/// Snapshot, then copies the 4 bytes at `value` into `field` (nothing before the initial state).
void VYKCommUpdateParam(void* field, const void* value, int slot);
/// The slot's current record, or null outside 0..19.
MasterBlock* VYKCommGetMasterBlock(int slot);
/// The slot's previous (snapshot) record, or null outside 0..19.
MasterBlock* VYKCommGetPreviousMasterBlock(int slot);
/// The slot's live meters, or null outside 0..19.
MetersBlock* VYKCommGetMeters(int slot);
/// 1 once the initial profiles have been loaded.
int VYKCommIsDefaultStateLoaded();

void VYKCommRegisterPlatformCallback(VykPlatformCallback fn);
void VYKCommRegisterCommCallback(VykCommCallback fn);
VykPlatformCallback VYKCommGetPlatformCallback();
VykCommCallback VYKCommGetCommCallback();
