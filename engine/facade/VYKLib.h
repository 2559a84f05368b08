// VYKLib: the object facade through which a host program uses one engine instance. Each object
// claims one instance (slot 0..19, lowest free first) for its lifetime; the first object ever
// constructed starts the engine. Setters act at once from the caller's thread, without fades.
#pragma once

#include "core/MasterBlock.h"
#include "core/StoreBlocks.h"

#include <memory>

class VYKLibImpl;

class VYKLib
{
  public:
    /// Receives every command handled for this facade's slot (audio thread for fade-sequence steps).
    using CommandInvokeCallback = void (*)(int channel, int slot, void* data, void* userData);
    /// Receives the control protocol's outgoing bytes.
    using CommandResultCallback = void (*)(const unsigned char* bytes, int count);

    static constexpr int kStateSize = 4048;

    VYKLib();
    ~VYKLib();
    VYKLib(const VYKLib&) = delete;
    VYKLib& operator=(const VYKLib&) = delete;

    /// Claimed slot 0..19, or -1 when all were taken (every call is then a no-op).
    int getInstanceId() const;

    /// Runs the instance's chain in place (audio thread) with flush-to-zero and denormals-are-zero on;
    /// the previous floating-point modes are restored on every exit. frames <= 2048, channels 1 or 2.
    void process(float* samples, float* aux, int frames, int channels);
    void setSampleRate(int rate);
    /// Forgets the instance's audio history and settles its gain ramps (VykResetAudio); settings stay.
    /// Audio thread between blocks, or while the instance is not processing.
    void resetAudio();
    /// Rate of engine instance 0.
    int getSampleRate() const;
    /// Chain bypass, at once (no fade).
    void setEnabled(bool enabled);
    bool getEnabled() const;
    /// Force-mute on / off.
    void setMuteState(bool muted);
    bool getMuteState() const;
    bool getSilenceState() const;
    void getMeters(MetersBlock* meters) const;
    int getVersion() const;
    /// Delay the instance currently adds to the signal, in samples at its rate (0 while the chain is
    /// bypassed, when only the user gain runs).
    int getLatencySamples() const;
    /// Delay of the chain as configured, whether or not the chain is bypassed: what a host should be
    /// told, so that switching the bypass does not move the audio.
    int getChainLatencySamples() const;

    /// Built-in profile 0..19 (others are refused), then the tone offsets are reset.
    void loadEmbeddedProfile(int index);
    /// Record `index` of a buffer of current-layout records; the caller guarantees (index + 1) x 2048
    /// bytes. Prefer the sized overload wherever the length is known.
    bool loadProfileFromBuffer(const void* buffer, int index);
    /// As above, refusing a record that does not lie entirely within `size` bytes.
    bool loadProfileFromBuffer(const void* buffer, long size, int index);
    /// Record `index` of a profile file in whichever of the five layouts fits.
    bool loadProfileFromFile(const char* path, int index);
    /// Snapshot, copy into the store, apply. Tone offsets stay.
    void setAll(const MasterBlock* master);
    void getAll(MasterBlock* master) const;
    /// 4048-byte blob: record, then both tone-offset groups. Valid until the next call or destruction.
    const void* getState(int* sizeOut);
    /// Applies a blob whose record validates; restores the tone offsets only from a 4048-byte blob.
    void setState(const void* blob, int size);

    /// Tone gains relative to the loaded profile (1.0 = the profile's own value).
    void setToneBassGain(float gain);
    float getToneBassGain() const;
    void setToneTrebleGain(float gain);
    float getToneTrebleGain() const;

    void setInputGain(float gain);
    float getInputGain() const;
    void setOutputGain(float gain);
    float getOutputGain() const;
    /// Input gain s with an output gain of 1 / sqrt(s).
    void setSensitivity(float sensitivity);
    float getSensitivity() const;

    void setVyk(const VYKBlock* block);
    void getVyk(VYKBlock* block) const;
    void setInput(const InputBlock* block);
    void getInput(InputBlock* block) const;
    void setOutput(const OutputBlock* block);
    void getOutput(OutputBlock* block) const;
    void setUser(const UserBlock* block);
    void getUser(UserBlock* block) const;
    void setNoiseGate(const NoiseGateBlock* block);
    void getNoiseGate(NoiseGateBlock* block) const;
    void setMultiBandCore(const MultiBandCoreBlock* block);
    void getMultiBandCore(MultiBandCoreBlock* block) const;
    /// Band 0..4; other values do nothing.
    void setMultiBandBand(const MultiBandBandBlock* block, int band);
    void getMultiBandBand(MultiBandBandBlock* block, int band) const;
    void setEq(const EQBlock* block);
    void getEq(EQBlock* block) const;
    void setBagc(const BagcBlock* block);
    void getBagc(BagcBlock* block) const;
    void setOutputCompressor(const OutputCompressorBlock* block);
    void getOutputCompressor(OutputCompressorBlock* block) const;
    void setStereoWiden(const StereoWidenBlock* block);
    void getStereoWiden(StereoWidenBlock* block) const;
    void setFbx(const FbxBlock* block);
    void getFbx(FbxBlock* block) const;
    void setKaraoke(const KaraokeBlock* block);
    void getKaraoke(KaraokeBlock* block) const;
    void setPitchShift(const PitchShiftBlock* block);
    void getPitchShift(PitchShiftBlock* block) const;
    void setV3d(const V3dBlock* block);
    void getV3d(V3dBlock* block) const;

    /// Feeds one control-protocol byte to the engine's parser (not tied to this slot).
    void parseByte(unsigned char byte);
    /// Facade-wide receiver of the protocol's outgoing bytes.
    void setCommandResultCallback(CommandResultCallback callback);
    void setCommandInvokeCallback(CommandInvokeCallback callback, void* userData);
    /// TCP control listener on `port`; false when it cannot be started.
    bool startListener(int port);
    void stopListener();

  private:
    std::unique_ptr<VYKLibImpl> impl;
};
