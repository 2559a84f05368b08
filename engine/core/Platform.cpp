#include "core/Platform.h"

#include "VykCommParser.h"
#include "core/Profiles.h"
#include "core/VykEngine.h"
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

#include <cstring>

namespace
{
constexpr int kTextLength = 256;

VykPlatformCallback sOutsideCallback = nullptr;
int sNumActiveInstances = 1;
int sConfigId = 0;
char sInfo[kTextLength] = "Local SDK Emulation Mode";
char sNotes[kTextLength] = "Subwoofer Output on Channel 3";
int sAutoMuteEnabled = 1;

// Engine-block sequence.
VYKBlock* sVykBlock = nullptr;
int sVykInstanceId = 0;
// All-instance profile load.
int sLoadProfile = 0;
int sLoadInstanceId = 0;
int sNumInstancesMuted = 0;
// Single-instance profile load.
int sLpfLoadProfile = 0;
int sLpfLoadInstanceId = 0;
// Sample-rate sequence.
int sSampleRate = 0;
int sSrInstanceId = 0;
int sSrNumInstancesMuted = 0;

void defaultCommCallback(const unsigned char*, int)
{
}

int activeSlot(int number)
{
    return VYKCommGetInstanceMapping(number);
}

void preUnmuteAllActive()
{
    for (int i = 0; i < sNumActiveInstances; ++i)
        VykPreUnmute(activeSlot(i));
}

void unmuteAllActive()
{
    for (int i = 0; i < sNumActiveInstances; ++i)
        VykUnmute(activeSlot(i));
}

// Engine-block sequence: fade out, switch the bypass one buffer later, fade in two buffers after that.
void vykBufferCallbackFinal()
{
    VykUnmute(sVykInstanceId);
}

void vykBufferCallback()
{
    VykSetAll(sVykInstanceId, sVykBlock);
    VykCallbackAfterBuffers(2, vykBufferCallbackFinal);
}

void vykMuteCallback(int)
{
    VykCallbackAfterBuffers(1, vykBufferCallback);
}

// Single-instance profile load.
void lpfBufferCallbackFinal()
{
    VykUnmute(sLpfLoadInstanceId);
}

void lpfBufferCallback()
{
    VYKLoadProfile(sLpfLoadProfile, sLpfLoadInstanceId, nullptr);
    VykPreUnmute(sLpfLoadInstanceId);
    VykCallbackAfterBuffers(2, lpfBufferCallbackFinal);
}

void lpfMuteCallback(int)
{
    VykCallbackAfterBuffers(1, lpfBufferCallback);
}

// All-instance profile load: one instance per buffer once every active instance is silent.
void lpBufferCallbackFinal()
{
    unmuteAllActive();
}

void lpBufferCallback()
{
    VYKLoadProfile(sLoadProfile, activeSlot(sLoadInstanceId), nullptr);
    ++sLoadProfile;
    ++sLoadInstanceId;
    if (sLoadInstanceId < sNumActiveInstances)
    {
        VykCallbackAfterBuffers(1, lpBufferCallback);
        return;
    }
    preUnmuteAllActive();
    VykCallbackAfterBuffers(2, lpBufferCallbackFinal);
}

void lpMuteCallback(int)
{
    ++sNumInstancesMuted;
    if (sNumInstancesMuted == sNumActiveInstances)
        VykCallbackAfterBuffers(1, lpBufferCallback);
}

// Sample-rate sequence: the same shape as the all-instance load.
void srBufferCallbackFinal()
{
    unmuteAllActive();
}

void srBufferCallback()
{
    VykSetSampleRate(activeSlot(sSrInstanceId), sSampleRate);
    ++sSrInstanceId;
    if (sSrInstanceId < sNumActiveInstances)
    {
        VykCallbackAfterBuffers(1, srBufferCallback);
        return;
    }
    preUnmuteAllActive();
    VykCallbackAfterBuffers(2, srBufferCallbackFinal);
}

void srMuteCallback(int)
{
    ++sSrNumInstancesMuted;
    if (sSrNumInstancesMuted == sNumActiveInstances)
        VykCallbackAfterBuffers(1, srBufferCallback);
}

int32_t firstWord(const void* data)
{
    int32_t value;
    std::memcpy(&value, data, sizeof(value));
    return value;
}

void writeFirstWord(void* reply, int32_t value)
{
    std::memcpy(reply, &value, sizeof(value));
}

void copyText(char* destination, const char* source)
{
    const size_t length = strnlen(source, kTextLength - 1);
    std::memmove(destination, source, length);
    destination[length] = '\0';
}

// Applies a written block (data non-null) to the engine.
void applyWrite(int channel, int slot, void* data)
{
    switch (channel)
    {
    case kBlockMaster:
        VykSetMaster(slot, static_cast<MasterBlock*>(data));
        break;
    case kBlockVyk:
        if (slot < sNumActiveInstances)
        {
            sVykBlock = static_cast<VYKBlock*>(data);
            sVykInstanceId = slot;
            VykMute(slot, vykMuteCallback);
        }
        break;
    case kBlockInput:
        InputSetAll(slot, static_cast<InputBlock*>(data));
        break;
    case kBlockOutput:
        OutputSetAll(slot, static_cast<OutputBlock*>(data));
        break;
    case kBlockUser:
        UserSetAll(slot, static_cast<UserBlock*>(data));
        break;
    case kBlockBagc:
        BagcSetAll(slot, static_cast<BagcBlock*>(data));
        break;
    case kBlockEq:
        EqSetAll(slot, static_cast<EQBlock*>(data));
        break;
    case kBlockNoiseGate:
        NoiseGateSetAll(slot, static_cast<NoiseGateBlock*>(data));
        break;
    case kBlockStereoWiden:
        StereoWidenSetAll(slot, static_cast<StereoWidenBlock*>(data));
        break;
    case kBlockMultiBandCore:
        MultiBandSetCore(slot, static_cast<MultiBandCoreBlock*>(data));
        break;
    case kBlockMultiBandBand:
        MultiBandSetBand(slot, static_cast<MultiBandBandBlock*>(data));
        break;
    case kBlockOutputCompressor:
        OutputCompressorSetAll(slot, static_cast<OutputCompressorBlock*>(data));
        break;
    case kBlockLoadProfile:
        if (slot < sNumActiveInstances)
        {
            if (sAutoMuteEnabled)
            {
                sLpfLoadProfile = firstWord(data);
                sLpfLoadInstanceId = slot;
                VykMute(slot, lpfMuteCallback);
            }
            else
            {
                VYKLoadProfile(firstWord(data), slot, nullptr);
            }
        }
        break;
    case kBlockLoadProfileAll:
        if (sAutoMuteEnabled)
        {
            sLoadProfile = firstWord(data);
            sLoadInstanceId = 0;
            sNumInstancesMuted = 0;
            for (int i = 0; i < sNumActiveInstances; ++i)
                VykMute(activeSlot(i), lpMuteCallback);
        }
        else
        {
            const int first = firstWord(data);
            for (int i = 0; i < sNumActiveInstances; ++i)
                VYKLoadProfile(first + i, activeSlot(i), nullptr);
        }
        break;
    case kBlockForceMute:
        if (firstWord(data) != 0)
            VykForceMute(slot);
        else
            VykForceUnmute(slot);
        break;
    case kBlockUserGainAll:
    {
        float gain;
        std::memcpy(&gain, data, sizeof(gain));
        for (int i = 0; i < sNumActiveInstances; ++i)
        {
            const int mapped = activeSlot(i);
            MasterBlock* master = VYKCommGetMasterBlock(mapped);
            if (master == nullptr)
                continue;
            master->user.gain[0] = gain;
            master->user.gain[1] = gain;
            UserSetAll(mapped, &master->user);
        }
        break;
    }
    case kBlockEqCoef:
    {
        auto* coefs = static_cast<EqCoefBlock*>(data);
        if (coefs->band > 1)
            EqSetPeqCoefs(slot, coefs);
        else
            UserSetPeqCoefs(slot, coefs);
        break;
    }
    case kBlockSampleRate:
        if (sAutoMuteEnabled)
        {
            sSampleRate = firstWord(data);
            sSrInstanceId = 0;
            sSrNumInstancesMuted = 0;
            for (int i = 0; i < sNumActiveInstances; ++i)
                VykMute(activeSlot(i), srMuteCallback);
        }
        else
        {
            const int rate = firstWord(data);
            for (int i = 0; i < sNumActiveInstances; ++i)
                VykSetSampleRate(activeSlot(i), rate);
        }
        break;
    case kBlockKaraoke:
        KaraokeSetAll(slot, static_cast<KaraokeBlock*>(data));
        break;
    case kBlockFbx:
        FbxSetAll(slot, static_cast<FbxBlock*>(data));
        break;
    case kBlockKaraokePreset:
        KaraokeLoadPreset(slot, firstWord(data), nullptr);
        break;
    case kBlockPitchShift:
        PitchShiftSetAll(slot, static_cast<PitchShiftBlock*>(data));
        break;
    case kBlockV3d:
        V3dSetAll(slot, static_cast<V3dBlock*>(data));
        break;
    case kBlockAutoMute:
        sAutoMuteEnabled = firstWord(data);
        break;
    case kBlockProfiling:
        VykSetProfilingEnabled(slot, firstWord(data));
        break;
    default:
        break;
    }
}

// Fills a block that is about to be sent (reply non-null).
void fillReply(int channel, int slot, void* reply)
{
    switch (channel)
    {
    case kBlockProfileInfoGet:
        static_cast<ProfileInfoBlock*>(reply)->version = kEngineVersion;
        break;
    case kBlockForceMuteGet:
        writeFirstWord(reply, VykIsForceMuted(slot));
        break;
    case kBlockSampleRateGet:
        writeFirstWord(reply, VykGetSampleRate());
        break;
    case kBlockFbxStats:
        FbxGetStats(slot, static_cast<FbxStats*>(reply));
        break;
    case kBlockSystemInfo:
    {
        auto* info = static_cast<SystemInfoBlock*>(reply);
        info->configId = sConfigId;
        info->numActiveInstances = sNumActiveInstances;
        info->numProfiles = gNumProfiles;
        copyText(info->info, sInfo);
        copyText(info->notes, sNotes);
        break;
    }
    case kBlockAutoMuteGet:
        writeFirstWord(reply, sAutoMuteEnabled);
        break;
    case kBlockProfilingData:
        if (const ProfilingBlock* profiling = VykGetProfilingData(slot))
            std::memcpy(reply, profiling, sizeof(ProfilingBlock));
        break;
    default:
        break;
    }
}

bool isSequencedChannel(int channel)
{
    return channel == kBlockVyk || channel == kBlockLoadProfile || channel == kBlockSampleRate;
}
} // namespace

int defaultPlatformCallback(int channel, int slot, void* data, void* reply)
{
    // A muted slot is in the middle of a fade sequence; starting another would overwrite its registers.
    if (isSequencedChannel(channel) && VykIsMuted(slot) && !VykIsForceMuted(slot))
        return 0;

    if (slot >= 0 && slot < kNumSlots)
    {
        if (data != nullptr)
            applyWrite(channel, slot, data);
        if (reply != nullptr)
            fillReply(channel, slot, reply);
    }

    if (sOutsideCallback != nullptr)
        return sOutsideCallback(channel, slot, data, reply);
    return 0;
}

int PlatformInit(VykPlatformCallback callback, VykCommCallback commCallback)
{
    sOutsideCallback = callback;
    VYKCommRegisterPlatformCallback(defaultPlatformCallback);
    VYKCommRegisterCommCallback(commCallback != nullptr ? commCallback : defaultCommCallback);
    sAutoMuteEnabled = 1;
    const int result = VykInit(kMaxInstances);
    sNumActiveInstances = kMaxInstances;
    return result;
}

void PlatformReceiveByte(unsigned char byte)
{
    VYKCommParseByte(byte);
}

void PlatformSetNumActiveInstances(int n)
{
    sNumActiveInstances = n;
}

int PlatformGetNumActiveInstances()
{
    return sNumActiveInstances;
}

void PlatformSetConfigId(int id)
{
    sConfigId = id;
}

void PlatformSetInfoNotes(const char* info, const char* notes)
{
    if (info != nullptr)
        copyText(sInfo, info);
    if (notes != nullptr)
        copyText(sNotes, notes);
}
