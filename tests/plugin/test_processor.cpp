// The plug-in processor as a host drives it, without a bundle: parameters and their texts, layouts,
// audio paths and pieces, the gain-reduction figure, latency, and the host-state layouts.
#include "support/Signals.h"
#include "ControlMapping.h"
#include "PluginProcessor.h"
#include "ProcessorState.h"
#include "vyk.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <random>

namespace
{
constexpr double kRate = 48000.0;

juce::AudioBuffer<float> noiseBuffer(int channels, int frames, unsigned seed)
{
    juce::AudioBuffer<float> buffer(channels, frames);
    std::mt19937 random(seed);
    std::uniform_real_distribution<float> dist(-0.5f, 0.5f);
    for (int ch = 0; ch < channels; ++ch)
        for (int i = 0; i < frames; ++i)
            buffer.setSample(ch, i, dist(random));
    return buffer;
}

bool setLayout(ZentravoVykAudioProcessor& processor, const juce::AudioChannelSet& in,
               const juce::AudioChannelSet& out)
{
    juce::AudioProcessor::BusesLayout layout;
    layout.inputBuses.add(in);
    layout.outputBuses.add(out);
    return processor.setBusesLayout(layout);
}

// A processor on the given built-in profile, prepared at 48 kHz.
std::unique_ptr<ZentravoVykAudioProcessor> makeProcessor(int profile = 0)
{
    auto processor = std::make_unique<ZentravoVykAudioProcessor>();
    processor->LoadEmbeddedProfile(profile);
    processor->prepareToPlay(kRate, 512);
    return processor;
}

void processInBlocks(ZentravoVykAudioProcessor& processor, juce::AudioBuffer<float>& audio,
                     std::initializer_list<int> sizes)
{
    juce::MidiBuffer midi;
    int offset = 0;
    for (int size : sizes)
    {
        juce::AudioBuffer<float> view(audio.getArrayOfWritePointers(), audio.getNumChannels(), offset, size);
        processor.processBlock(view, midi);
        offset += size;
    }
}

// Engine slots keep their audio state when a processor goes and the next one claims the slot; every
// test starts from freshly initialised instances so that earlier tests' tails cannot leak in.
class Processor : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_EQ(VykInit(kMaxInstances), 0); }
};

bool sameBlocks(const MasterBlock& a, const MasterBlock& b)
{
    // The blocks the seven controls never touch: a record loaded through the processor is otherwise
    // pulled onto the parameters' grid.
    return std::memcmp(&a.eq, &b.eq, sizeof(a.eq)) == 0 && std::memcmp(&a.bagc, &b.bagc, sizeof(a.bagc)) == 0 &&
           std::memcmp(&a.multiBandCore, &b.multiBandCore, sizeof(a.multiBandCore)) == 0 &&
           std::memcmp(&a.noiseGate, &b.noiseGate, sizeof(a.noiseGate)) == 0 &&
           std::memcmp(&a.input.highPassFreq, &b.input.highPassFreq, 4) == 0;
}

} // namespace

TEST_F(Processor, IdentityAndParameters)
{
    ZentravoVykAudioProcessor processor;
    EXPECT_EQ(processor.getName(), "Ulmar");
    EXPECT_FALSE(processor.acceptsMidi());
    EXPECT_FALSE(processor.producesMidi());
    EXPECT_FALSE(processor.isMidiEffect());
    EXPECT_EQ(processor.getTailLengthSeconds(), 0.0);
    EXPECT_EQ(processor.getNumPrograms(), 1);
    EXPECT_EQ(processor.getProgramName(0), "");
    EXPECT_TRUE(processor.hasEditor());
    EXPECT_EQ(processor.getParameters().state.getType().toString(), "ZentravoVykParams");

    const auto& params = processor.getParameters().processor.getParameters();
    ASSERT_EQ(params.size(), kNumControls);
    for (int i = 0; i < kNumControls; ++i)
    {
        const ControlSpec& meta = kControlSpecs[i];
        SCOPED_TRACE(meta.id);
        auto* parameter = dynamic_cast<juce::AudioParameterFloat*>(params[i]);
        ASSERT_NE(parameter, nullptr);
        EXPECT_EQ(parameter->getParameterID(), meta.id);
        EXPECT_EQ(parameter->getVersionHint(), 0);
        EXPECT_EQ(parameter->getName(100), meta.name);
        EXPECT_EQ(parameter->getLabel(), meta.label);
        EXPECT_EQ(parameter->range.start, meta.minimum);
        EXPECT_EQ(parameter->range.end, meta.maximum);
        EXPECT_EQ(parameter->range.interval, meta.step);
        EXPECT_EQ(parameter->range.skew, 1.0f);
        EXPECT_EQ(parameter->get(), 0.0f);
        EXPECT_TRUE(parameter->isAutomatable());
        EXPECT_FALSE(parameter->isMetaParameter());
    }
    auto* bypass = params[kControlBypassed];
    EXPECT_EQ(bypass->getText(0.0f, 100), "Enabled");
    EXPECT_EQ(bypass->getText(1.0f, 100), "Bypassed");
    auto* drive = params[kControlDrive];
    EXPECT_EQ(drive->getText(drive->getValueForText("-0.5"), 100), "-0.5");
    EXPECT_EQ(drive->getText(1.0f, 100), "10");
}

TEST_F(Processor, AcceptsMonoMonoMonoStereoAndStereoStereoOnly)
{
    ZentravoVykAudioProcessor processor;
    const auto mono = juce::AudioChannelSet::mono();
    const auto stereo = juce::AudioChannelSet::stereo();
    EXPECT_TRUE(setLayout(processor, mono, mono));
    EXPECT_TRUE(setLayout(processor, mono, stereo));
    EXPECT_TRUE(setLayout(processor, stereo, stereo));
    EXPECT_FALSE(setLayout(processor, stereo, mono));
    EXPECT_FALSE(setLayout(processor, juce::AudioChannelSet::create5point1(), stereo));
    EXPECT_FALSE(setLayout(processor, juce::AudioChannelSet::disabled(), stereo));
    EXPECT_FALSE(setLayout(processor, stereo, juce::AudioChannelSet::disabled()));
}

TEST_F(Processor, ParameterChangesReachTheEngineIgnoringCase)
{
    ZentravoVykAudioProcessor processor;
    processor.parameterChanged("vykdrive", -10.0f);
    EXPECT_FLOAT_EQ(processor.getEngine().getInputGain(), 0.3162278f);
    processor.parameterChanged("VYKBYPASSED", 1.0f);
    EXPECT_FALSE(processor.getEngine().getEnabled());
    processor.parameterChanged("NoSuchParameter", 1.0f);

    // Through the host parameter: the value is snapped to the step first.
    auto* drive = processor.getParameters().getParameter("VykDrive");
    drive->setValueNotifyingHost(drive->convertTo0to1(3.2f));
    EXPECT_FLOAT_EQ(processor.getEngine().getInputGain(), gainFromDb(3.0f));
}

TEST_F(Processor, UpdateVykControlsPullsEngineValuesOntoTheGrid)
{
    ZentravoVykAudioProcessor processor;
    processor.getEngine().setInputGain(gainFromDb(12.0f));
    processor.UpdateVykControls();
    auto* drive = processor.getParameters().getRawParameterValue("VykDrive");
    EXPECT_FLOAT_EQ(drive->load(), 10.0f);
    // The parameter's listener applied the legal value back to the engine.
    EXPECT_FLOAT_EQ(processor.getEngine().getInputGain(), gainFromDb(10.0f));
    EXPECT_FLOAT_EQ(processor.getParameters().getRawParameterValue("VykLowGain")->load(), 0.0f);
}

TEST_F(Processor, MonoInputIsProcessedAsIdenticalStereo)
{
    // Profile 10 leaves the bass AGC off: its unlinked compressor advances one shared makeup ramp per
    // channel, so with it the two channels agree only once the ramp has settled.
    auto processor = makeProcessor(10);
    ASSERT_TRUE(setLayout(*processor, juce::AudioChannelSet::mono(), juce::AudioChannelSet::stereo()));
    processor->prepareToPlay(kRate, 512);
    auto audio = noiseBuffer(2, 4096, 1);
    audio.clear(1, 0, 4096);
    processInBlocks(*processor, audio, {4096});
    for (int i = 0; i < 4096; ++i)
        ASSERT_EQ(audio.getSample(0, i), audio.getSample(1, i)) << i;
}

TEST_F(Processor, LongBlocksEqualTheSameAudioInEngineSizedBlocks)
{
    struct Case
    {
        int frames;
        std::initializer_list<int> pieces;
    };
    const Case cases[] = {{5000, {2048, 2048, 904}}, {20000, {16384, 3616}}};
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.frames);
        auto whole = makeProcessor();
        auto pieces = makeProcessor();
        auto reference = noiseBuffer(2, c.frames, 2);
        auto audio = reference;
        processInBlocks(*whole, audio, {c.frames});
        processInBlocks(*pieces, reference, c.pieces);
        for (int ch = 0; ch < 2; ++ch)
            ASSERT_EQ(std::memcmp(audio.getReadPointer(ch), reference.getReadPointer(ch),
                                  sizeof(float) * static_cast<size_t>(c.frames)),
                      0);
    }
}

TEST_F(Processor, EmptyBlocksChangeNothingAndRefreshTheReductionFigure)
{
    auto processor = makeProcessor();
    const int slot = processor->getEngine().getInstanceId();
    for (int band = 0; band < kNumBands; ++band)
    {
        MultiBandBandBlock block;
        processor->getEngine().getMultiBandBand(&block, band);
        block.bandOff = 1;
        processor->getEngine().setMultiBandBand(&block, band);
    }
    juce::AudioBuffer<float> empty(2, 0);
    juce::MidiBuffer midi;

    VYKCommGetMeters(slot)->values[kMeterBagcGain0] = 1.0f;
    processor->processBlock(empty, midi);
    EXPECT_EQ(processor->getReductionGain(), 1.0f);

    VYKCommGetMeters(slot)->values[kMeterBagcGain0] = 150.0f;
    processor->processBlock(empty, midi);
    EXPECT_EQ(processor->getReductionGain(), 99.0f);

    // A band in use contributes its gain meter.
    MultiBandBandBlock block;
    processor->getEngine().getMultiBandBand(&block, 2);
    block.bandOff = 0;
    processor->getEngine().setMultiBandBand(&block, 2);
    VYKCommGetMeters(slot)->values[kMeterBandGain0 + 2] = 0.5f;
    processor->processBlock(empty, midi);
    EXPECT_EQ(processor->getReductionGain(), 0.5f);
}

TEST_F(Processor, ReportedLatencyHoldsOnEveryPath)
{
    auto processor = makeProcessor();
    const int latency = processor->getLatencySamples();
    EXPECT_EQ(latency, processor->getEngine().getChainLatencySamples());
    constexpr int kFrames = 8192;
    juce::MidiBuffer midi;

    for (int path = 0; path < 3; ++path)
    {
        SCOPED_TRACE(path);
        processor->prepareToPlay(kRate, 512);
        processor->parameterChanged("VykBypassed", path == 1 ? 1.0f : 0.0f);
        auto input = noiseBuffer(2, kFrames, 9);
        auto audio = input;
        if (path == 2)
            processor->processBlockBypassed(audio, midi);
        else
            processor->processBlock(audio, midi);
        // The paths around the chain are pure delays; through the chain, the crossover and high-pass
        // filters add a few samples of group delay on top of the look-ahead, which is what is reported.
        const int tolerance = path == 0 ? 4 : 0;
        for (int ch = 0; ch < 2; ++ch)
            EXPECT_NEAR(signals::measuredDelay(input.getReadPointer(ch), audio.getReadPointer(ch), kFrames), latency,
                        tolerance);
    }
}

TEST_F(Processor, DifferentHistoriesSoundBitIdenticalAfterPrepareOrReset)
{
    enum class Path
    {
        chain,
        chainBypassed, // the engine's bypass, delayed to the reported latency
        hostBypass,
    };
    struct Case
    {
        const char* name;
        bool viaPrepare; // prepareToPlay, or reset()
        Path path;
    };
    const Case cases[] = {
        {"prepare, chain", true, Path::chain},
        {"prepare, chain bypassed", true, Path::chainBypassed},
        {"prepare, host bypass", true, Path::hostBypass},
        {"reset, chain", false, Path::chain},
        {"reset, chain bypassed", false, Path::chainBypassed},
        {"reset, host bypass", false, Path::hostBypass},
    };
    juce::MidiBuffer midi;
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        auto first = makeProcessor(8);
        auto second = makeProcessor(8);

        // The first plays loud noise at 48 kHz along every path.
        auto loud = noiseBuffer(2, 3000, 11);
        loud.applyGain(1.8f);
        processInBlocks(*first, loud, {1000, 2000});
        first->parameterChanged("VykBypassed", 1.0f);
        auto bypassed = noiseBuffer(2, 700, 12);
        processInBlocks(*first, bypassed, {700});
        first->parameterChanged("VykBypassed", 0.0f);
        auto hostBypassed = noiseBuffer(2, 900, 13);
        first->processBlockBypassed(hostBypassed, midi);

        // The second plays other noise at 96 kHz, then at 48 kHz with the drive moved and put back.
        second->prepareToPlay(96000.0, 512);
        auto other = noiseBuffer(2, 5000, 21);
        processInBlocks(*second, other, {512, 4488});
        second->prepareToPlay(kRate, 512);
        second->parameterChanged("VykDrive", 8.0f);
        auto driven = noiseBuffer(2, 1500, 22);
        processInBlocks(*second, driven, {1500});
        second->parameterChanged("VykDrive", 0.0f);
        second->parameterChanged("VykBypassed", 1.0f);
        auto secondBypassed = noiseBuffer(2, 300, 23);
        processInBlocks(*second, secondBypassed, {300});
        second->parameterChanged("VykBypassed", 0.0f);
        auto secondHostBypassed = noiseBuffer(2, 400, 24);
        second->processBlockBypassed(secondHostBypassed, midi);
        auto tail = noiseBuffer(2, 256, 25);
        processInBlocks(*second, tail, {256});

        auto a = noiseBuffer(2, 4096, 31);
        auto b = a;
        for (auto [processor, audio] : {std::pair{first.get(), &a}, std::pair{second.get(), &b}})
        {
            if (c.viaPrepare)
                processor->prepareToPlay(kRate, 512);
            else
                processor->reset();
            processor->parameterChanged("VykBypassed", c.path == Path::chainBypassed ? 1.0f : 0.0f);
            if (c.path == Path::hostBypass)
                processor->processBlockBypassed(*audio, midi);
            else
                processInBlocks(*processor, *audio, {512, 1024, 2560});
        }
        for (int ch = 0; ch < 2; ++ch)
            EXPECT_EQ(std::memcmp(a.getReadPointer(ch), b.getReadPointer(ch), sizeof(float) * 4096), 0) << ch;
    }
}

TEST_F(Processor, StateRoundTripsEngineIndicesAndPath)
{
    auto source = makeProcessor(11);
    source->setProfileFilePath(juce::String::fromUTF8("/tmp/Pr\xC3\xB6" "file \xE2\x99\xAB.ktvs"));
    source->getEngine().setToneBassGain(1.3f);
    source->getParameters().getParameter("VykDrive")->setValueNotifyingHost(0.75f);
    juce::MemoryBlock saved;
    source->getStateInformation(saved);
    ASSERT_EQ(saved.getSize(), 4604u);

    ZentravoVykAudioProcessor target;
    target.setStateInformation(saved.getData(), static_cast<int>(saved.getSize()));
    EXPECT_EQ(target.getProfileFilePath(), source->getProfileFilePath());
    EXPECT_EQ(target.getEmbeddedProfileIndex(), 11);
    EXPECT_EQ(target.getFileProfileIndex(), -1);
    MasterBlock a;
    MasterBlock b;
    source->getEngine().getAll(&a);
    target.getEngine().getAll(&b);
    EXPECT_EQ(std::memcmp(&a, &b, sizeof(a)), 0);
    EXPECT_FLOAT_EQ(target.getEngine().getToneBassGain(), 1.3f);
    // Host parameter values are not part of the state.
    EXPECT_EQ(target.getParameters().getRawParameterValue("VykDrive")->load(), 0.0f);

    juce::MemoryBlock again;
    target.getStateInformation(again);
    EXPECT_EQ(again, saved);
}

TEST_F(Processor, OlderStateLayoutsAndRefusals)
{
    auto source = makeProcessor(6);
    MasterBlock record;
    source->getEngine().getAll(&record);

    // A bare 2048-byte engine state: applied, indices and path untouched.
    ZentravoVykAudioProcessor target;
    target.setProfileFilePath("/keep/me.ktvs");
    target.setStateInformation(&record, 2048);
    MasterBlock restored;
    target.getEngine().getAll(&restored);
    EXPECT_EQ(std::memcmp(&record, &restored, sizeof(record)), 0);
    EXPECT_EQ(target.getProfileFilePath(), "/keep/me.ktvs");
    EXPECT_EQ(target.getEmbeddedProfileIndex(), -1);

    // The 2568-byte layout without header.
    std::vector<unsigned char> legacy(2568, 0);
    const int32_t indices[2] = {4, -1};
    std::memcpy(legacy.data(), indices, 8);
    std::memcpy(legacy.data() + 8, "/old/profiles.ktvs", 18);
    std::memcpy(legacy.data() + 520, &gProfiles[9], 2048);
    target.setStateInformation(legacy.data(), static_cast<int>(legacy.size()));
    target.getEngine().getAll(&restored);
    EXPECT_EQ(std::memcmp(&gProfiles[9], &restored, sizeof(restored)), 0);
    EXPECT_EQ(target.getFileProfileIndex(), 4);
    EXPECT_EQ(target.getEmbeddedProfileIndex(), -1);
    EXPECT_EQ(target.getProfileFilePath(), "/old/profiles.ktvs");

    // Empty path field; short and garbage blobs leave the engine alone.
    legacy[8] = 0;
    target.setStateInformation(legacy.data(), static_cast<int>(legacy.size()));
    EXPECT_EQ(target.getProfileFilePath(), "");
    std::vector<unsigned char> garbage(3000, 0xFF);
    target.setStateInformation(garbage.data(), 1000);
    target.setStateInformation(garbage.data(), static_cast<int>(garbage.size()));
    target.getEngine().getAll(&restored);
    EXPECT_EQ(std::memcmp(&gProfiles[9], &restored, sizeof(restored)), 0);
}

TEST_F(Processor, EmbeddedAndFileProfileLoadsSetTheIndices)
{
    ZentravoVykAudioProcessor processor;
    processor.LoadEmbeddedProfile(19);
    EXPECT_EQ(processor.getEmbeddedProfileIndex(), 19);
    EXPECT_EQ(processor.getFileProfileIndex(), -1);
    MasterBlock record;
    processor.getEngine().getAll(&record);
    EXPECT_TRUE(sameBlocks(record, gProfiles[19]));

    // A missing file loads nothing but still records the selection.
    processor.setProfileFilePath("/nonexistent/ulmar.ktvs");
    processor.LoadProfile(3);
    EXPECT_EQ(processor.getFileProfileIndex(), 3);
    EXPECT_EQ(processor.getEmbeddedProfileIndex(), -1);
    processor.getEngine().getAll(&record);
    EXPECT_TRUE(sameBlocks(record, gProfiles[19]));

    // A file of two records: record 1 loads, record 2 lies beyond the file and is refused.
    const auto file = juce::File::createTempFile(".ktvs");
    juce::MemoryBlock contents;
    contents.append(&gProfiles[2], 2048);
    contents.append(&gProfiles[5], 2048);
    ASSERT_TRUE(file.replaceWithData(contents.getData(), contents.getSize()));
    processor.setProfileFilePath(file.getFullPathName());
    processor.LoadProfile(1);
    processor.getEngine().getAll(&record);
    EXPECT_TRUE(sameBlocks(record, gProfiles[5]));
    processor.LoadProfile(2);
    processor.getEngine().getAll(&record);
    EXPECT_TRUE(sameBlocks(record, gProfiles[5]));
    file.deleteFile();
}

TEST_F(Processor, LogFileAndLoggerOwnership)
{
    {
        ZentravoVykAudioProcessor processor;
        EXPECT_NE(juce::Logger::getCurrentLogger(), nullptr);
        const auto log = juce::File::getSpecialLocation(juce::File::userApplicationDataDirectory)
                             .getChildFile("Ostravale")
                             .getChildFile("ulmar_plugin.log");
        EXPECT_TRUE(log.existsAsFile());
        EXPECT_TRUE(log.loadFileAsString().contains("Ulmar Plugin"));
    }
    EXPECT_EQ(juce::Logger::getCurrentLogger(), nullptr);
}
