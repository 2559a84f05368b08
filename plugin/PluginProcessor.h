// The host-facing processor of the "Ulmar" plug-in: seven parameters mapped onto one engine facade,
// audio in pieces the engine accepts, a gain-reduction figure for the editor, the host-state blob,
// latency reporting and the log file.
#pragma once

#include "LatencyCompensator.h"
#include "facade/VYKLib.h"

#include <juce_audio_processors/juce_audio_processors.h>

#include <array>
#include <atomic>
#include <memory>

class ZentravoVykAudioProcessor : public juce::AudioProcessor,
                                  public juce::AudioProcessorValueTreeState::Listener,
                                  private juce::Timer
{
  public:
    /// Frames of the interleaving scratch; longer host blocks are processed in portions of this size.
    static constexpr int kScratchFrames = 16384;
    /// Frames per engine call, the engine's own limit.
    static constexpr int kEnginePieceFrames = 2048;

    ZentravoVykAudioProcessor();
    ~ZentravoVykAudioProcessor() override;

    const juce::String getName() const override;
    void prepareToPlay(double sampleRate, int samplesPerBlock) override;
    void releaseResources() override;
    /// Forgets every audio history, the engine's and both bypass delays' (hosts call it on transport
    /// jumps; prepareToPlay calls it too). Audio thread, never during processBlock.
    void reset() override;
    bool isBusesLayoutSupported(const BusesLayout& layouts) const override;
    void processBlock(juce::AudioBuffer<float>& buffer, juce::MidiBuffer& midi) override;
    void processBlockBypassed(juce::AudioBuffer<float>& buffer, juce::MidiBuffer& midi) override;
    using juce::AudioProcessor::processBlock;
    using juce::AudioProcessor::processBlockBypassed;

    juce::AudioProcessorEditor* createEditor() override;
    bool hasEditor() const override;

    bool acceptsMidi() const override;
    bool producesMidi() const override;
    bool isMidiEffect() const override;
    double getTailLengthSeconds() const override;

    int getNumPrograms() override;
    int getCurrentProgram() override;
    void setCurrentProgram(int index) override;
    const juce::String getProgramName(int index) override;
    void changeProgramName(int index, const juce::String& newName) override;

    void getStateInformation(juce::MemoryBlock& destData) override;
    void setStateInformation(const void* data, int sizeInBytes) override;

    /// Copies the engine's current values into the seven host parameters (message thread).
    void UpdateVykControls();
    /// Loads built-in profile 0..19; other indices load nothing but still refresh the parameters.
    void LoadEmbeddedProfile(int index);
    /// Loads record `index` of the file at profileFilePath.
    void LoadProfile(int index);

    juce::AudioProcessorValueTreeState& getParameters() { return parameters; }
    VYKLib& getEngine() { return engine; }
    const juce::String& getProfileFilePath() const { return profileFilePath; }
    void setProfileFilePath(const juce::String& path) { profileFilePath = path; }
    int getFileProfileIndex() const { return fileProfileIndex; }
    int getEmbeddedProfileIndex() const { return embeddedProfileIndex; }
    /// Linear gain-reduction figure of the last block, 1.0 = none (written by the audio thread).
    float getReductionGain() const { return reductionGain.load(std::memory_order_relaxed); }

    /// Applies a parameter change to the engine; the ID is matched ignoring letter case.
    void parameterChanged(const juce::String& parameterID, float newValue) override;

  private:
    void timerCallback() override;
    void updateReportedLatency();
    void processThroughEngine(juce::AudioBuffer<float>& buffer, int numChannels);
    void publishReductionGain();
    void openLogFile();

    VYKLib engine;
    juce::AudioProcessorValueTreeState parameters;
    std::unique_ptr<juce::FileLogger> logger;

    juce::String profileFilePath;
    int fileProfileIndex = -1;
    int embeddedProfileIndex = -1;
    std::atomic<float> reductionGain{1.0f};

    // The look-ahead the host is told about; paths that bypass the engine's look-ahead are delayed
    // by the difference so the audio never moves when a bypass is switched.
    std::atomic<int> reportedLatency{0};
    LatencyCompensator engineBypassDelay;
    LatencyCompensator hostBypassDelay;
    std::array<float, 2 * kScratchFrames> scratch{};

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR(ZentravoVykAudioProcessor)
};
