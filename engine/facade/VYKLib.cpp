#include "facade/VYKLib.h"

#include "VykCommParser.h"
#include "core/Platform.h"
#include "core/ProfileImporter.h"
#include "core/VykComm.h"
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

#include <cmath>
#include <cstring>

#if defined(__SSE__) || defined(__x86_64__) || defined(_M_X64)
#include <xmmintrin.h>
#define ULMAR_HAS_MXCSR 1
#endif

namespace
{
constexpr int kNumToneOffsets = 4;
constexpr int kStateToneOffsetsBass = 3048;
constexpr int kStateToneOffsetsTreble = 3064;

// Flush-to-zero and denormals-are-zero for the lifetime of the object; the previous modes come back
// however the scope is left.
class ScopedDenormalsOff
{
  public:
    ScopedDenormalsOff()
    {
#if defined(ULMAR_HAS_MXCSR)
        saved = _mm_getcsr();
        _mm_setcsr(saved | kFlushToZero | kDenormalsAreZero);
#elif defined(__aarch64__)
        asm volatile("mrs %0, fpcr" : "=r"(saved));
        asm volatile("msr fpcr, %0" ::"r"(saved | kAarch64FlushToZero));
#endif
    }
    ~ScopedDenormalsOff()
    {
#if defined(ULMAR_HAS_MXCSR)
        _mm_setcsr(saved);
#elif defined(__aarch64__)
        asm volatile("msr fpcr, %0" ::"r"(saved));
#endif
    }
    ScopedDenormalsOff(const ScopedDenormalsOff&) = delete;
    ScopedDenormalsOff& operator=(const ScopedDenormalsOff&) = delete;

  private:
#if defined(ULMAR_HAS_MXCSR)
    static constexpr unsigned kFlushToZero = 0x8000;
    static constexpr unsigned kDenormalsAreZero = 0x0040;
    unsigned saved = 0;
#elif defined(__aarch64__)
    static constexpr unsigned long kAarch64FlushToZero = 1ul << 24;
    unsigned long saved = 0;
#endif
};

bool isBand(int band)
{
    return band >= 0 && band < kNumBands;
}

// The treble band is the highest band in use; band 0 when every band is off.
int trebleBandOf(const MasterBlock* master)
{
    for (int band = kNumBands - 1; band >= 0; --band)
        if (master->bands[band].bandOff == 0)
            return band;
    return 0;
}

void computeToneOffsets(const MultiBandBandBlock& band, float* offsets)
{
    offsets[kBandTypeCompressor] = 1.0f - band.compMakeupGain;
    offsets[kBandTypeLimiter] = 1.0f - (1.0f / band.limiterThreshold);
    offsets[kBandTypeClipper] = 1.0f - band.clipperOutputGain;
    offsets[kBandTypeGain] = 1.0f - band.gainOnlyGain;
}

// Writes gain g relative to the profile into the field that the band's type selects; additive on the
// linear value, so g = 1 restores the profile's own setting. Other types have no tone field.
void applyToneGain(MultiBandBandBlock& band, float gain, const float* offsets)
{
    switch (band.bandType)
    {
    case kBandTypeCompressor:
        band.compMakeupGain = gain - offsets[kBandTypeCompressor];
        break;
    case kBandTypeLimiter:
        band.limiterThreshold = 1.0f / (gain - offsets[kBandTypeLimiter]);
        break;
    case kBandTypeClipper:
        band.clipperOutputGain = gain - offsets[kBandTypeClipper];
        break;
    case kBandTypeGain:
        band.gainOnlyGain = gain - offsets[kBandTypeGain];
        break;
    default:
        break;
    }
}

float readToneGain(const MultiBandBandBlock& band, const float* offsets)
{
    switch (band.bandType)
    {
    case kBandTypeCompressor:
        return band.compMakeupGain + offsets[kBandTypeCompressor];
    case kBandTypeLimiter:
        return 1.0f / band.limiterThreshold + offsets[kBandTypeLimiter];
    case kBandTypeClipper:
        return band.clipperOutputGain + offsets[kBandTypeClipper];
    case kBandTypeGain:
        return band.gainOnlyGain + offsets[kBandTypeGain];
    default:
        return 0.0f;
    }
}
} // namespace

class VYKLibImpl
{
  public:
    explicit VYKLibImpl(VYKLib* owner);
    ~VYKLibImpl();

    static int platformCallback(int channel, int slot, void* data, void* reply);
    static void commCallback(const unsigned char* bytes, int count);
    static void updateActiveInstances();

    bool hasSlot() const { return instanceId >= 0; }
    void resetToneOffsets();
    void setAll(const MasterBlock* record);

    // Snapshot, copy the caller's block into the stored record, then apply the stored copy.
    template <typename Block, typename Apply>
    void setBlock(Block* stored, const Block* block, Apply apply)
    {
        if (!hasSlot() || block == nullptr)
            return;
        VYKCommSaveState(instanceId);
        std::memcpy(stored, block, sizeof(Block));
        apply(instanceId, stored);
    }

    template <typename Block>
    void getBlock(const Block* stored, Block* block) const
    {
        if (hasSlot() && block != nullptr)
            std::memcpy(block, stored, sizeof(Block));
    }

    template <typename Value>
    void updateParam(Value* field, Value value)
    {
        VYKCommUpdateParam(field, &value, instanceId);
    }

    VYKLib* owner;
    int instanceId = -1;
    MasterBlock* master = nullptr;
    float bassToneOffsets[kNumToneOffsets] = {};
    float trebleToneOffsets[kNumToneOffsets] = {};
    unsigned char stateBuffer[VYKLib::kStateSize] = {};
    VYKLib::CommandInvokeCallback commandInvokeCallback = nullptr;
    void* commandInvokeUserData = nullptr;

    static bool sInitialized;
    static VYKLibImpl* sInstSlots[kMaxInstances];
    static VYKLib::CommandResultCallback sCommandResultCallback;
};

bool VYKLibImpl::sInitialized = false;
VYKLibImpl* VYKLibImpl::sInstSlots[kMaxInstances] = {};
VYKLib::CommandResultCallback VYKLibImpl::sCommandResultCallback = nullptr;

VYKLibImpl::VYKLibImpl(VYKLib* ownerHandle) : owner(ownerHandle)
{
    if (!sInitialized)
    {
        PlatformInit(platformCallback, commCallback);
        for (VYKLibImpl*& entry : sInstSlots)
            entry = nullptr;
        sInitialized = true;
    }
    for (int slot = 0; slot < kMaxInstances; ++slot)
    {
        if (sInstSlots[slot] == nullptr)
        {
            sInstSlots[slot] = this;
            instanceId = slot;
            break;
        }
    }
    updateActiveInstances();
    if (!hasSlot())
        return;
    master = static_cast<MasterBlock*>(VYKCommGetBlockData(kBlockMaster + 1, instanceId, nullptr));
    resetToneOffsets();
}

VYKLibImpl::~VYKLibImpl()
{
    if (hasSlot() && sInstSlots[instanceId] == this)
        sInstSlots[instanceId] = nullptr;
    updateActiveInstances();
}

void VYKLibImpl::updateActiveInstances()
{
    int active = 0;
    for (int slot = 0; slot < kMaxInstances; ++slot)
        if (sInstSlots[slot] != nullptr)
            VYKCommSetInstanceMapping(active++, slot);
    PlatformSetNumActiveInstances(active);
}

int VYKLibImpl::platformCallback(int channel, int slot, void* data, void*)
{
    if (slot < 0 || slot >= kMaxInstances || sInstSlots[slot] == nullptr)
        return 0;
    VYKLibImpl* facade = sInstSlots[slot];
    if (channel == kBlockMaster || channel == kBlockLoadProfile || channel == kBlockLoadProfileAll)
        facade->resetToneOffsets();
    if (facade->commandInvokeCallback != nullptr)
        facade->commandInvokeCallback(channel, slot, data, facade->commandInvokeUserData);
    return 0;
}

void VYKLibImpl::commCallback(const unsigned char* bytes, int count)
{
    if (sCommandResultCallback != nullptr)
        sCommandResultCallback(bytes, count);
}

void VYKLibImpl::resetToneOffsets()
{
    if (!hasSlot())
        return;
    computeToneOffsets(master->bands[0], bassToneOffsets);
    computeToneOffsets(master->bands[trebleBandOf(master)], trebleToneOffsets);
}

void VYKLibImpl::setAll(const MasterBlock* record)
{
    if (!hasSlot() || record == nullptr)
        return;
    VYKCommSaveState(instanceId);
    std::memmove(master, record, sizeof(MasterBlock));
    VykSetMaster(instanceId, master);
}

VYKLib::VYKLib() : impl(std::make_unique<VYKLibImpl>(this))
{
}

VYKLib::~VYKLib() = default;

int VYKLib::getInstanceId() const
{
    return impl->instanceId;
}

void VYKLib::process(float* samples, float* aux, int frames, int channels)
{
    if (!impl->hasSlot())
        return;
    ScopedDenormalsOff denormalsOff;
    VykProcess(impl->instanceId, samples, aux, frames, channels);
}

void VYKLib::setSampleRate(int rate)
{
    if (impl->hasSlot())
        VykSetSampleRate(impl->instanceId, rate);
}

void VYKLib::resetAudio()
{
    if (impl->hasSlot())
        VykResetAudio(impl->instanceId);
}

int VYKLib::getSampleRate() const
{
    return impl->hasSlot() ? VykGetSampleRate() : 0;
}

void VYKLib::setEnabled(bool enabled)
{
    if (!impl->hasSlot())
        return;
    const int32_t bypass = enabled ? 0 : 1;
    impl->updateParam(&impl->master->vyk.bypass, bypass);
    VykSetBypass(impl->instanceId, bypass);
}

bool VYKLib::getEnabled() const
{
    return impl->hasSlot() && impl->master->vyk.bypass == 0;
}

void VYKLib::setMuteState(bool muted)
{
    if (!impl->hasSlot())
        return;
    if (muted)
        VykForceMute(impl->instanceId);
    else
        VykForceUnmute(impl->instanceId);
}

bool VYKLib::getMuteState() const
{
    return impl->hasSlot() && VykIsForceMuted(impl->instanceId) != 0;
}

bool VYKLib::getSilenceState() const
{
    return impl->hasSlot() && VykGetSilenceStatus(impl->instanceId) != 0;
}

void VYKLib::getMeters(MetersBlock* meters) const
{
    if (impl->hasSlot() && meters != nullptr)
        *meters = *VYKCommGetMeters(impl->instanceId);
}

int VYKLib::getVersion() const
{
    return impl->hasSlot() ? VykGetVersion() : 0;
}

int VYKLib::getLatencySamples() const
{
    if (!impl->hasSlot() || VykGetBypass(impl->instanceId))
        return 0;
    return getChainLatencySamples();
}

int VYKLib::getChainLatencySamples() const
{
    if (!impl->hasSlot())
        return 0;
    const int instance = impl->instanceId;
    return MultiBandGetLatency(instance) + PitchShiftGetLatency(instance) + OutputCompressorGetLatency(instance);
}

void VYKLib::loadEmbeddedProfile(int index)
{
    if (!impl->hasSlot())
        return;
    VYKLoadProfile(index, impl->instanceId, nullptr);
    impl->resetToneOffsets();
}

bool VYKLib::loadProfileFromBuffer(const void* buffer, int index)
{
    if (!impl->hasSlot() || buffer == nullptr || index < 0)
        return false;
    MasterBlock record;
    std::memcpy(&record, static_cast<const unsigned char*>(buffer) + static_cast<long>(index) * kMasterBlockSize,
                sizeof(record));
    if (!ProfileImporter::validateMasterBlock(&record))
        return false;
    impl->setAll(&record);
    impl->resetToneOffsets();
    return true;
}

bool VYKLib::loadProfileFromBuffer(const void* buffer, long size, int index)
{
    if (index < 0 || size < 0 || static_cast<long>(index) + 1 > size / kMasterBlockSize)
        return false;
    return loadProfileFromBuffer(buffer, index);
}

bool VYKLib::loadProfileFromFile(const char* path, int index)
{
    if (!impl->hasSlot())
        return false;
    // Fields an old layout has no source for keep the instance's current values.
    MasterBlock scratch = *impl->master;
    for (int type = 0; type < kNumImportTypes; ++type)
    {
        if (ProfileImporter::importFromKtvs(path, &scratch, index, type))
        {
            impl->setAll(&scratch);
            impl->resetToneOffsets();
            return true;
        }
    }
    return false;
}

void VYKLib::setAll(const MasterBlock* master)
{
    impl->setAll(master);
}

void VYKLib::getAll(MasterBlock* master) const
{
    impl->getBlock(impl->master, master);
}

const void* VYKLib::getState(int* sizeOut)
{
    unsigned char* state = impl->stateBuffer;
    std::memset(state, 0, kStateSize);
    if (impl->hasSlot())
    {
        std::memcpy(state, impl->master, sizeof(MasterBlock));
        std::memcpy(state + kStateToneOffsetsBass, impl->bassToneOffsets, sizeof(impl->bassToneOffsets));
        std::memcpy(state + kStateToneOffsetsTreble, impl->trebleToneOffsets, sizeof(impl->trebleToneOffsets));
    }
    if (sizeOut != nullptr)
        *sizeOut = kStateSize;
    return state;
}

void VYKLib::setState(const void* blob, int size)
{
    // A blob too short to hold a record is refused rather than read past its end.
    if (!impl->hasSlot() || blob == nullptr || size < kMasterBlockSize)
        return;
    MasterBlock record;
    std::memcpy(&record, blob, sizeof(record));
    if (!ProfileImporter::validateMasterBlock(&record))
        return;
    impl->setAll(&record);
    if (size == kStateSize)
    {
        const auto* bytes = static_cast<const unsigned char*>(blob);
        std::memcpy(impl->bassToneOffsets, bytes + kStateToneOffsetsBass, sizeof(impl->bassToneOffsets));
        std::memcpy(impl->trebleToneOffsets, bytes + kStateToneOffsetsTreble, sizeof(impl->trebleToneOffsets));
    }
}

void VYKLib::setToneBassGain(float gain)
{
    if (!impl->hasSlot())
        return;
    MultiBandBandBlock band = impl->master->bands[0];
    applyToneGain(band, gain, impl->bassToneOffsets);
    VYKCommSaveState(impl->instanceId);
    impl->master->bands[0] = band;
    MultiBandSetBand(impl->instanceId, &impl->master->bands[0]);
}

float VYKLib::getToneBassGain() const
{
    return impl->hasSlot() ? readToneGain(impl->master->bands[0], impl->bassToneOffsets) : 0.0f;
}

void VYKLib::setToneTrebleGain(float gain)
{
    if (!impl->hasSlot())
        return;
    const int treble = trebleBandOf(impl->master);
    MultiBandBandBlock band = impl->master->bands[treble];
    applyToneGain(band, gain, impl->trebleToneOffsets);
    setMultiBandBand(&band, treble);
}

float VYKLib::getToneTrebleGain() const
{
    if (!impl->hasSlot())
        return 0.0f;
    return readToneGain(impl->master->bands[trebleBandOf(impl->master)], impl->trebleToneOffsets);
}

void VYKLib::setInputGain(float gain)
{
    if (!impl->hasSlot())
        return;
    impl->updateParam(&impl->master->input.gain, gain);
    InputSetInputGain(impl->instanceId, gain);
}

float VYKLib::getInputGain() const
{
    return impl->hasSlot() ? impl->master->input.gain : 0.0f;
}

void VYKLib::setOutputGain(float gain)
{
    if (!impl->hasSlot())
        return;
    impl->updateParam(&impl->master->outputCompressor.outputGain, gain);
    OutputCompressorSetOutputGain(impl->instanceId, gain);
}

float VYKLib::getOutputGain() const
{
    return impl->hasSlot() ? impl->master->outputCompressor.outputGain : 0.0f;
}

void VYKLib::setSensitivity(float sensitivity)
{
    setInputGain(sensitivity);
    // Half of the input boost in dB is taken off again at the output: 1 / sqrt(s).
    setOutputGain(std::pow(10.0f, std::log10(sensitivity) * 20.0f * -0.5f * 0.05f));
}

float VYKLib::getSensitivity() const
{
    return getInputGain();
}

void VYKLib::setVyk(const VYKBlock* block)
{
    impl->setBlock(&impl->master->vyk, block, VykSetAll);
}

void VYKLib::getVyk(VYKBlock* block) const
{
    impl->getBlock(&impl->master->vyk, block);
}

void VYKLib::setInput(const InputBlock* block)
{
    impl->setBlock(&impl->master->input, block, InputSetAll);
}

void VYKLib::getInput(InputBlock* block) const
{
    impl->getBlock(&impl->master->input, block);
}

void VYKLib::setOutput(const OutputBlock* block)
{
    impl->setBlock(&impl->master->output, block, OutputSetAll);
}

void VYKLib::getOutput(OutputBlock* block) const
{
    impl->getBlock(&impl->master->output, block);
}

void VYKLib::setUser(const UserBlock* block)
{
    impl->setBlock(&impl->master->user, block, UserSetAll);
}

void VYKLib::getUser(UserBlock* block) const
{
    impl->getBlock(&impl->master->user, block);
}

void VYKLib::setNoiseGate(const NoiseGateBlock* block)
{
    impl->setBlock(&impl->master->noiseGate, block, NoiseGateSetAll);
}

void VYKLib::getNoiseGate(NoiseGateBlock* block) const
{
    impl->getBlock(&impl->master->noiseGate, block);
}

void VYKLib::setMultiBandCore(const MultiBandCoreBlock* block)
{
    impl->setBlock(&impl->master->multiBandCore, block, MultiBandSetCore);
}

void VYKLib::getMultiBandCore(MultiBandCoreBlock* block) const
{
    impl->getBlock(&impl->master->multiBandCore, block);
}

void VYKLib::setMultiBandBand(const MultiBandBandBlock* block, int band)
{
    if (isBand(band))
        impl->setBlock(&impl->master->bands[band], block, MultiBandSetBand);
}

void VYKLib::getMultiBandBand(MultiBandBandBlock* block, int band) const
{
    if (isBand(band))
        impl->getBlock(&impl->master->bands[band], block);
}

void VYKLib::setEq(const EQBlock* block)
{
    impl->setBlock(&impl->master->eq, block, EqSetAll);
}

void VYKLib::getEq(EQBlock* block) const
{
    impl->getBlock(&impl->master->eq, block);
}

void VYKLib::setBagc(const BagcBlock* block)
{
    impl->setBlock(&impl->master->bagc, block, BagcSetAll);
}

void VYKLib::getBagc(BagcBlock* block) const
{
    impl->getBlock(&impl->master->bagc, block);
}

void VYKLib::setOutputCompressor(const OutputCompressorBlock* block)
{
    impl->setBlock(&impl->master->outputCompressor, block, OutputCompressorSetAll);
}

void VYKLib::getOutputCompressor(OutputCompressorBlock* block) const
{
    impl->getBlock(&impl->master->outputCompressor, block);
}

void VYKLib::setStereoWiden(const StereoWidenBlock* block)
{
    impl->setBlock(&impl->master->stereoWiden, block, StereoWidenSetAll);
}

void VYKLib::getStereoWiden(StereoWidenBlock* block) const
{
    impl->getBlock(&impl->master->stereoWiden, block);
}

void VYKLib::setFbx(const FbxBlock* block)
{
    impl->setBlock(&impl->master->fbx, block, FbxSetAll);
}

void VYKLib::getFbx(FbxBlock* block) const
{
    impl->getBlock(&impl->master->fbx, block);
}

void VYKLib::setKaraoke(const KaraokeBlock* block)
{
    impl->setBlock(&impl->master->karaoke, block, KaraokeSetAll);
}

void VYKLib::getKaraoke(KaraokeBlock* block) const
{
    impl->getBlock(&impl->master->karaoke, block);
}

void VYKLib::setPitchShift(const PitchShiftBlock* block)
{
    impl->setBlock(&impl->master->pitchShift, block, PitchShiftSetAll);
}

void VYKLib::getPitchShift(PitchShiftBlock* block) const
{
    impl->getBlock(&impl->master->pitchShift, block);
}

void VYKLib::setV3d(const V3dBlock* block)
{
    impl->setBlock(&impl->master->v3d, block, V3dSetAll);
}

void VYKLib::getV3d(V3dBlock* block) const
{
    impl->getBlock(&impl->master->v3d, block);
}

void VYKLib::parseByte(unsigned char byte)
{
    VYKCommParseByte(byte);
}

void VYKLib::setCommandResultCallback(CommandResultCallback callback)
{
    VYKLibImpl::sCommandResultCallback = callback;
}

void VYKLib::setCommandInvokeCallback(CommandInvokeCallback callback, void* userData)
{
    impl->commandInvokeCallback = callback;
    impl->commandInvokeUserData = userData;
}

bool VYKLib::startListener(int)
{
    return false;
}

void VYKLib::stopListener()
{
}
