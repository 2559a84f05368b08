#include "PluginProcessor.h"

#include "ControlMapping.h"
#include "ProcessorState.h"
#include "UlmarProfiles.h"

#include <algorithm>

namespace
{
constexpr const char* kValueTreeType = "ZentravoVykParams";
constexpr int kProfileFileMaxBytes = 20 * kEngineRecordSize;
constexpr int kLatencyPollMs = 250;

juce::String GetBypassStr(float value, int)
{
    return bypassText(value);
}

juce::String GetStrValue(float value, int)
{
    return valueText(value);
}

juce::AudioProcessorValueTreeState::ParameterLayout createParameterLayout()
{
    juce::AudioProcessorValueTreeState::ParameterLayout layout;
    for (const ControlSpec& meta : kControlSpecs)
    {
        auto attributes = juce::AudioParameterFloatAttributes()
                              .withLabel(meta.label)
                              .withStringFromValueFunction(meta.isSwitch ? GetBypassStr : GetStrValue);
        layout.add(std::make_unique<juce::AudioParameterFloat>(
            juce::ParameterID{meta.id, 0}, meta.name,
            juce::NormalisableRange<float>(meta.minimum, meta.maximum, meta.step), 0.0f, attributes));
    }
    return layout;
}
} // namespace

ZentravoVykAudioProcessor::ZentravoVykAudioProcessor()
    : AudioProcessor(BusesProperties()
                         .withInput("Input", juce::AudioChannelSet::stereo(), true)
                         .withOutput("Output", juce::AudioChannelSet::stereo(), true)),
      parameters(*this, nullptr, kValueTreeType, createParameterLayout())
{
    for (const ControlSpec& meta : kControlSpecs)
        parameters.addParameterListener(meta.id, this);
    openLogFile();
    updateReportedLatency();
    startTimer(kLatencyPollMs);
}

ZentravoVykAudioProcessor::~ZentravoVykAudioProcessor()
{
    stopTimer();
    for (const ControlSpec& meta : kControlSpecs)
        parameters.removeParameterListener(meta.id, this);
    // Never leave the process-wide logger pointing at a logger that is about to be deleted.
    if (logger != nullptr && juce::Logger::getCurrentLogger() == logger.get())
        juce::Logger::setCurrentLogger(nullptr);
}

void ZentravoVykAudioProcessor::openLogFile()
{
    const auto folder =
        juce::File::getSpecialLocation(juce::File::userApplicationDataDirectory).getChildFile("Ostravale");
    if (!folder.isDirectory())
        folder.createDirectory();
    logger = std::make_unique<juce::FileLogger>(folder.getChildFile("ulmar_plugin.log"), "Ulmar Plugin",
                                                131072);
    juce::Logger::setCurrentLogger(logger.get());
}

const juce::String ZentravoVykAudioProcessor::getName() const
{
    return "Ulmar";
}

void ZentravoVykAudioProcessor::prepareToPlay(double sampleRate, int)
{
    engine.setSampleRate(static_cast<int>(sampleRate));
    // The slot may have served another instance, or this one at another rate: no old tail may sound.
    reset();
    updateReportedLatency();
}

void ZentravoVykAudioProcessor::releaseResources()
{
}

void ZentravoVykAudioProcessor::reset()
{
    engine.resetAudio();
    engineBypassDelay.reset();
    hostBypassDelay.reset();
}

bool ZentravoVykAudioProcessor::isBusesLayoutSupported(const BusesLayout& layouts) const
{
    const auto input = layouts.getMainInputChannelSet();
    const auto output = layouts.getMainOutputChannelSet();
    const auto mono = juce::AudioChannelSet::mono();
    const auto stereo = juce::AudioChannelSet::stereo();
    return (input == mono && output == mono) || (input == mono && output == stereo) ||
           (input == stereo && output == stereo);
}

void ZentravoVykAudioProcessor::processBlock(juce::AudioBuffer<float>& buffer, juce::MidiBuffer&)
{
    juce::ScopedNoDenormals noDenormals;
    const int frames = buffer.getNumSamples();
    const int ins = getTotalNumInputChannels();
    const int outs = getTotalNumOutputChannels();
    const int channels = std::min(buffer.getNumChannels(), std::max(ins, outs));

    if (ins == 1 && outs == 2 && frames > 0 && buffer.getNumChannels() >= 2)
        buffer.copyFrom(1, 0, buffer, 0, 0, frames);

    if (frames > 0 && channels > 0)
        processThroughEngine(buffer, ins == 1 && outs == 1 ? 1 : std::min(channels, 2));

    publishReductionGain();
}

void ZentravoVykAudioProcessor::processThroughEngine(juce::AudioBuffer<float>& buffer, int numChannels)
{
    const int frames = buffer.getNumSamples();
    // While the chain is bypassed its look-ahead is not in the signal path; delay by the difference
    // so that the host's latency compensation stays right.
    const int padding = reportedLatency.load(std::memory_order_relaxed) - engine.getLatencySamples();

    if (numChannels == 1)
    {
        float* samples = buffer.getWritePointer(0);
        for (int offset = 0; offset < frames; offset += kEnginePieceFrames)
            engine.process(samples + offset, nullptr, std::min(kEnginePieceFrames, frames - offset), 1);
        if (padding > 0)
            engineBypassDelay.process(buffer.getArrayOfWritePointers(), 1, frames, padding);
        return;
    }

    float* left = buffer.getWritePointer(0);
    float* right = buffer.getNumChannels() > 1 ? buffer.getWritePointer(1) : nullptr;
    for (int portion = 0; portion < frames; portion += kScratchFrames)
    {
        const int portionFrames = std::min(kScratchFrames, frames - portion);
        for (int i = 0; i < portionFrames; ++i)
        {
            scratch[static_cast<size_t>(2 * i)] = left[portion + i];
            scratch[static_cast<size_t>(2 * i + 1)] = right != nullptr ? right[portion + i] : 0.0f;
        }
        for (int offset = 0; offset < portionFrames; offset += kEnginePieceFrames)
            engine.process(scratch.data() + 2 * offset, nullptr, std::min(kEnginePieceFrames, portionFrames - offset),
                           2);
        if (padding > 0)
            engineBypassDelay.processInterleaved(scratch.data(), 2, portionFrames, padding);
        for (int i = 0; i < portionFrames; ++i)
        {
            left[portion + i] = scratch[static_cast<size_t>(2 * i)];
            if (right != nullptr)
                right[portion + i] = scratch[static_cast<size_t>(2 * i + 1)];
        }
    }
}

void ZentravoVykAudioProcessor::publishReductionGain()
{
    MetersBlock meters;
    engine.getMeters(&meters);
    float gain = 99.0f;
    for (int band = 0; band < kNumBands; ++band)
    {
        MultiBandBandBlock block;
        engine.getMultiBandBand(&block, band);
        if (block.bandOff == 0)
            gain = std::min(gain, meters.values[kMeterBandGain0 + band]);
    }
    reductionGain.store(std::min(meters.values[kMeterBagcGain0], gain), std::memory_order_relaxed);
}

void ZentravoVykAudioProcessor::processBlockBypassed(juce::AudioBuffer<float>& buffer, juce::MidiBuffer&)
{
    const int frames = buffer.getNumSamples();
    if (getTotalNumInputChannels() == 1 && getTotalNumOutputChannels() == 2 && frames > 0 &&
        buffer.getNumChannels() >= 2)
        buffer.copyFrom(1, 0, buffer, 0, 0, frames);
    hostBypassDelay.process(buffer.getArrayOfWritePointers(), std::min(buffer.getNumChannels(), 2), frames,
                            reportedLatency.load(std::memory_order_relaxed));
}

void ZentravoVykAudioProcessor::updateReportedLatency()
{
    const int latency = std::clamp(engine.getChainLatencySamples(), 0, LatencyCompensator::kMaxDelay);
    if (latency != reportedLatency.load())
    {
        reportedLatency.store(latency);
        setLatencySamples(latency);
    }
    else if (getLatencySamples() != latency)
    {
        setLatencySamples(latency);
    }
}

void ZentravoVykAudioProcessor::timerCallback()
{
    // Remote tuning can reconfigure the chain behind the processor's back.
    updateReportedLatency();
}

juce::AudioProcessorEditor* ZentravoVykAudioProcessor::createEditor()
{
    return new juce::GenericAudioProcessorEditor(*this);
}

bool ZentravoVykAudioProcessor::hasEditor() const
{
    return true;
}

bool ZentravoVykAudioProcessor::acceptsMidi() const
{
    return false;
}

bool ZentravoVykAudioProcessor::producesMidi() const
{
    return false;
}

bool ZentravoVykAudioProcessor::isMidiEffect() const
{
    return false;
}

double ZentravoVykAudioProcessor::getTailLengthSeconds() const
{
    return 0.0;
}

int ZentravoVykAudioProcessor::getNumPrograms()
{
    return 1;
}

int ZentravoVykAudioProcessor::getCurrentProgram()
{
    return 0;
}

void ZentravoVykAudioProcessor::setCurrentProgram(int)
{
}

const juce::String ZentravoVykAudioProcessor::getProgramName(int)
{
    return {};
}

void ZentravoVykAudioProcessor::changeProgramName(int, const juce::String&)
{
}

void ZentravoVykAudioProcessor::getStateInformation(juce::MemoryBlock& destData)
{
    int engineStateSize = 0;
    const void* engineState = engine.getState(&engineStateSize);
    const auto blob = buildProcessorState(engineState, engineStateSize, fileProfileIndex, embeddedProfileIndex,
                                          profileFilePath.toStdString());
    destData.replaceAll(blob.data(), blob.size());
}

void ZentravoVykAudioProcessor::setStateInformation(const void* data, int sizeInBytes)
{
    if (data == nullptr || sizeInBytes <= 0)
        return;
    const auto contents = parseProcessorState(data, static_cast<size_t>(sizeInBytes));
    if (contents.hasProfileFields)
    {
        fileProfileIndex = contents.fileProfileIndex;
        embeddedProfileIndex = contents.embeddedProfileIndex;
        profileFilePath = juce::String::fromUTF8(contents.profileFilePath.data(),
                                                 static_cast<int>(contents.profileFilePath.size()));
    }
    if (contents.hasEngineState)
        engine.setState(contents.engineState.data(), static_cast<int>(contents.engineState.size()));
    updateReportedLatency();
}

void ZentravoVykAudioProcessor::parameterChanged(const juce::String& parameterID, float newValue)
{
    if (const auto control = findControl(parameterID.toStdString()))
        applyControl(engine, *control, newValue);
}

void ZentravoVykAudioProcessor::UpdateVykControls()
{
    for (int control = 0; control < kNumControls; ++control)
    {
        const auto value = readControl(engine, static_cast<ControlId>(control));
        if (!value)
            continue;
        if (auto* parameter = parameters.getParameter(kControlSpecs[control].id))
            parameter->setValueNotifyingHost(parameter->convertTo0to1(*value));
    }
}

void ZentravoVykAudioProcessor::LoadEmbeddedProfile(int index)
{
    if (index >= 0 && index < kNumUlmarProfiles)
        engine.loadEmbeddedProfile(index);
    UpdateVykControls();
    updateReportedLatency();
    embeddedProfileIndex = index;
    fileProfileIndex = -1;
}

void ZentravoVykAudioProcessor::LoadProfile(int index)
{
    const bool hasFile = juce::File::isAbsolutePath(profileFilePath);
    juce::FileInputStream stream(hasFile ? juce::File(profileFilePath) : juce::File());
    if (hasFile && stream.openedOk())
    {
        // Only the bytes actually read take part: a short file refuses records it does not hold.
        juce::HeapBlock<char> buffer(kProfileFileMaxBytes, true);
        const int bytesRead = stream.read(buffer.getData(), kProfileFileMaxBytes);
        engine.loadProfileFromBuffer(buffer.getData(), static_cast<long>(std::max(bytesRead, 0)), index);
    }
    UpdateVykControls();
    updateReportedLatency();
    fileProfileIndex = index;
    embeddedProfileIndex = -1;
}

juce::AudioProcessor* JUCE_CALLTYPE createPluginFilter()
{
    return new ZentravoVykAudioProcessor();
}
