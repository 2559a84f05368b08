// The built bundles as a host sees them: loaded through JUCE's VST3 and LV2 hosting, headless.
// Lifecycle, layouts, parameters, audio at every rate and block size, state, isolation of instances
// and latency.
#include "support/Signals.h"
#include "ControlMapping.h"
#include "ProcessorState.h"
#include "vyk.h"

#include <juce_audio_processors/juce_audio_processors.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <random>
#include <stdexcept>
#include <vector>

namespace
{
constexpr int kMaxBlock = 20000;

enum class Format
{
    vst3,
    lv2
};

std::unique_ptr<juce::AudioPluginInstance> loadPlugin(Format format, double rate = 48000.0,
                                                      int maxBlock = kMaxBlock)
{
    juce::String error;
    juce::OwnedArray<juce::PluginDescription> types;
    std::unique_ptr<juce::AudioPluginFormat> pluginFormat;
    if (format == Format::vst3)
    {
        pluginFormat = std::make_unique<juce::VST3PluginFormat>();
        pluginFormat->findAllTypesForFile(types, ULMAR_VST3_BUNDLE);
    }
    else
    {
        pluginFormat = std::make_unique<juce::LV2PluginFormat>();
        pluginFormat->searchPathsForPlugins(juce::FileSearchPath(ULMAR_LV2_FOLDER), false, false);
        pluginFormat->findAllTypesForFile(types, ULMAR_LV2_URI);
    }
    if (types.isEmpty())
        return nullptr;
    auto instance = pluginFormat->createInstanceFromDescription(*types[0], rate, maxBlock, error);
    EXPECT_TRUE(error.isEmpty()) << error;
    return instance;
}

bool setLayout(juce::AudioPluginInstance& plugin, const juce::AudioChannelSet& in, const juce::AudioChannelSet& out)
{
    juce::AudioProcessor::BusesLayout layout;
    layout.inputBuses.add(in);
    layout.outputBuses.add(out);
    return plugin.setBusesLayout(layout);
}

// Hosts see the parameters by name (a VST3 host gets numeric IDs derived from ours).
juce::AudioProcessorParameter* parameterById(juce::AudioPluginInstance& plugin, const juce::String& id)
{
    const auto control = findControl(id.toStdString());
    if (!control)
        return nullptr;
    for (auto* parameter : plugin.getParameters())
        if (parameter->getName(100) == kControlSpecs[*control].name)
            return parameter;
    return nullptr;
}

juce::AudioProcessorParameter& parameterOf(juce::AudioPluginInstance& plugin, const juce::String& id)
{
    auto* parameter = parameterById(plugin, id);
    if (parameter == nullptr)
        throw std::runtime_error(("no parameter " + id).toStdString());
    return *parameter;
}

enum class Signal
{
    noise,
    nearNyquist,
    dc,
    square,
    silence
};

void fill(juce::AudioBuffer<float>& buffer, Signal signal, double rate, int offset)
{
    std::mt19937 random(static_cast<unsigned>(offset + 17));
    std::uniform_real_distribution<float> uniform(-1.0f, 1.0f);
    for (int ch = 0; ch < buffer.getNumChannels(); ++ch)
        for (int i = 0; i < buffer.getNumSamples(); ++i)
        {
            const double t = static_cast<double>(offset + i) / rate;
            float value = 0.0f;
            switch (signal)
            {
            case Signal::noise:
                value = uniform(random);
                break;
            case Signal::nearNyquist:
                value = static_cast<float>(0.9 * std::sin(2.0 * juce::MathConstants<double>::pi * 0.49 * rate * t));
                break;
            case Signal::dc:
                value = 0.8f;
                break;
            case Signal::square:
                value = ((offset + i) / 50) % 2 == 0 ? 1.0f : -1.0f;
                break;
            case Signal::silence:
                break;
            }
            buffer.setSample(ch, i, value);
        }
}

// Finite, not subnormal, and within the output limiter's reach.
void expectSane(const juce::AudioBuffer<float>& buffer, float bound)
{
    for (int ch = 0; ch < buffer.getNumChannels(); ++ch)
        for (int i = 0; i < buffer.getNumSamples(); ++i)
        {
            const float v = buffer.getSample(ch, i);
            ASSERT_TRUE(std::isfinite(v)) << ch << ":" << i;
            ASSERT_FALSE(std::fpclassify(v) == FP_SUBNORMAL) << ch << ":" << i;
            ASSERT_LE(std::fabs(v), bound) << ch << ":" << i;
        }
}

int peakIndex(const float* samples, int frames)
{
    int index = 0;
    for (int i = 1; i < frames; ++i)
        if (std::fabs(samples[i]) > std::fabs(samples[index]))
            index = i;
    return index;
}

juce::MemoryBlock stateOfProfile(int profile)
{
    const auto blob = buildProcessorState(&gProfiles[profile], 2048, -1, profile, "");
    return juce::MemoryBlock(blob.data(), blob.size());
}

// The host's view of a plug-in state wraps the plug-in's own blob: VST3 hosts keep the component state
// in XML, LV2 hosts a Turtle document with the blob as a base64 string (JUCE's encoding).
juce::String findEncodedBlob(const juce::String& turtle)
{
    for (int start = turtle.indexOfChar('"'); start >= 0; start = turtle.indexOfChar(start + 1, '"'))
    {
        const int end = turtle.indexOfChar(start + 1, '"');
        if (end < 0)
            break;
        const auto literal = turtle.substring(start + 1, end);
        if (literal.length() > 64 && literal.upToFirstOccurrenceOf(".", false, false).containsOnly("0123456789"))
            return literal;
        start = end;
    }
    return {};
}

juce::MemoryBlock pluginBlobOf(Format format, const juce::MemoryBlock& hostState)
{
    juce::MemoryBlock blob;
    if (format == Format::vst3)
    {
        if (auto xml = juce::AudioProcessor::getXmlFromBinary(hostState.getData(), static_cast<int>(hostState.getSize())))
            if (auto* component = xml->getChildByName("IComponent"))
                blob.fromBase64Encoding(component->getAllSubText());
    }
    else
    {
        blob.fromBase64Encoding(findEncodedBlob(hostState.toString()));
    }
    return blob;
}

juce::MemoryBlock hostStateWithBlob(Format format, juce::AudioPluginInstance& plugin, const juce::MemoryBlock& blob)
{
    juce::MemoryBlock state;
    if (format == Format::vst3)
    {
        juce::XmlElement xml("VST3PluginState");
        xml.createNewChildElement("IComponent")->addTextElement(blob.toBase64Encoding());
        juce::AudioProcessor::copyXmlToBinary(xml, state);
        return state;
    }
    juce::MemoryBlock current;
    plugin.getStateInformation(current);
    const auto turtle = current.toString().replace(findEncodedBlob(current.toString()), blob.toBase64Encoding());
    state.append(turtle.toRawUTF8(), turtle.getNumBytesAsUTF8());
    return state;
}

// Puts built-in profile `profile` into the plug-in through the host's state interface.
void loadProfileThroughHost(Format format, juce::AudioPluginInstance& plugin, int profile)
{
    const auto state = hostStateWithBlob(format, plugin, stateOfProfile(profile));
    plugin.setStateInformation(state.getData(), static_cast<int>(state.getSize()));
}

bool holdsProfile(Format format, juce::AudioPluginInstance& plugin, int profile)
{
    juce::MemoryBlock state;
    plugin.getStateInformation(state);
    const auto blob = pluginBlobOf(format, state);
    return blob.getSize() >= 552 + 2048 &&
           std::memcmp(static_cast<const char*>(blob.getData()) + 552, &gProfiles[profile], 2048) == 0;
}

class PluginHost : public ::testing::TestWithParam<Format>
{
};
} // namespace

TEST_P(PluginHost, OpensAndClosesRepeatedly)
{
    for (int n = 0; n < 8; ++n)
    {
        auto plugin = loadPlugin(GetParam());
        ASSERT_NE(plugin, nullptr);
        EXPECT_EQ(plugin->getName(), "Ulmar");
        plugin->prepareToPlay(44100.0, 512);
        juce::AudioBuffer<float> buffer(2, 512);
        fill(buffer, Signal::noise, 44100.0, 0);
        juce::MidiBuffer midi;
        plugin->processBlock(buffer, midi);
        plugin->releaseResources();
    }
}

TEST_P(PluginHost, LayoutsAndParameters)
{
    auto plugin = loadPlugin(GetParam());
    ASSERT_NE(plugin, nullptr);
    const auto mono = juce::AudioChannelSet::mono();
    const auto stereo = juce::AudioChannelSet::stereo();
    EXPECT_TRUE(setLayout(*plugin, stereo, stereo));
    // An LV2 plug-in publishes one fixed port set, stereo in and out.
    if (GetParam() == Format::vst3)
    {
        EXPECT_TRUE(setLayout(*plugin, mono, mono));
        EXPECT_TRUE(setLayout(*plugin, mono, stereo));
        EXPECT_FALSE(setLayout(*plugin, stereo, mono));
        EXPECT_FALSE(setLayout(*plugin, juce::AudioChannelSet::create5point1(), juce::AudioChannelSet::create5point1()));
    }

    for (int control = 0; control < kNumControls; ++control)
    {
        const ControlSpec& meta = kControlSpecs[control];
        SCOPED_TRACE(meta.id);
        auto* parameter = parameterById(*plugin, meta.id);
        ASSERT_NE(parameter, nullptr);
        EXPECT_EQ(parameter->getName(100), meta.name);
        EXPECT_EQ(parameter->getDefaultValue(), (0.0f - meta.minimum) / (meta.maximum - meta.minimum));
    }
    // LV2 hosts print values themselves; the texts travel through VST3 only.
    if (GetParam() == Format::lv2)
        return;
    auto& bypass = parameterOf(*plugin, "VykBypassed");
    EXPECT_EQ(bypass.getText(0.0f, 100), "Enabled");
    EXPECT_EQ(bypass.getText(1.0f, 100), "Bypassed");
    auto& drive = parameterOf(*plugin, "VykDrive");
    EXPECT_EQ(drive.getText(0.25f, 100), "-5");
    EXPECT_EQ(drive.getText(0.525f, 100), "0.5");
}

TEST_P(PluginHost, AudioStaysFiniteAndBoundedAtEveryRateAndBlockSize)
{
    const double rates[] = {8000, 22050, 44100, 48000, 96000, 192000, 384000};
    const int blockSizes[] = {0, 1, 7, 64, 511, 2048, 2049, 5000, 16384, 20000};
    const Signal signals[] = {Signal::noise, Signal::nearNyquist, Signal::dc, Signal::square, Signal::silence};
    auto plugin = loadPlugin(GetParam());
    ASSERT_NE(plugin, nullptr);
    juce::MidiBuffer midi;
    for (double rate : rates)
    {
        // A new rate without releaseResources in between, as hosts do.
        plugin->prepareToPlay(rate, kMaxBlock);
        for (Signal signal : signals)
        {
            int position = 0;
            for (int size : blockSizes)
            {
                SCOPED_TRACE(testing::Message() << rate << " Hz, signal " << static_cast<int>(signal) << ", block "
                                                << size);
                juce::AudioBuffer<float> buffer(2, size);
                fill(buffer, signal, rate, position);
                plugin->processBlock(buffer, midi);
                expectSane(buffer, 1.0001f);
                position += size;
                if (HasFatalFailure())
                    return;
            }
            // Long silence after the burst decays to silence, never to denormals.
            for (int n = 0; n < 4; ++n)
            {
                juce::AudioBuffer<float> buffer(2, 2048);
                buffer.clear();
                plugin->processBlock(buffer, midi);
                expectSane(buffer, 1.0001f);
            }
        }
    }
}

TEST_P(PluginHost, VariableBlocksWithParameterChangesBetweenSubBlocks)
{
    auto plugin = loadPlugin(GetParam());
    ASSERT_NE(plugin, nullptr);
    plugin->prepareToPlay(48000.0, 4096);
    std::mt19937 random(7);
    std::uniform_int_distribution<int> sizes(1, 4096);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    std::uniform_int_distribution<int> which(0, kNumControls - 1);
    juce::MidiBuffer midi;
    int position = 0;
    for (int block = 0; block < 200; ++block)
    {
        const int size = sizes(random);
        juce::AudioBuffer<float> buffer(2, size);
        fill(buffer, Signal::noise, 48000.0, position);
        for (int offset = 0; offset < size; offset += 32)
        {
            parameterOf(*plugin, kControlSpecs[which(random)].id).setValueNotifyingHost(unit(random));
            juce::AudioBuffer<float> view(buffer.getArrayOfWritePointers(), 2, offset, std::min(32, size - offset));
            plugin->processBlock(view, midi);
        }
        // The drive can push +10 dB into a ceiling anywhere in -10..0 dB; the limiter holds it.
        expectSane(buffer, 4.0f);
        position += size;
    }
}

TEST_P(PluginHost, StateRoundTripsForEveryProfile)
{
    for (int profile = 0; profile < 20; ++profile)
    {
        SCOPED_TRACE(profile);
        auto first = loadPlugin(GetParam());
        ASSERT_NE(first, nullptr);
        loadProfileThroughHost(GetParam(), *first, profile);
        EXPECT_TRUE(holdsProfile(GetParam(), *first, profile));
        juce::MemoryBlock saved;
        first->getStateInformation(saved);

        auto fresh = loadPlugin(GetParam());
        fresh->setStateInformation(saved.getData(), static_cast<int>(saved.getSize()));
        juce::MemoryBlock again;
        fresh->getStateInformation(again);
        EXPECT_EQ(pluginBlobOf(GetParam(), again), pluginBlobOf(GetParam(), saved));
        EXPECT_GE(pluginBlobOf(GetParam(), again).getSize(), 4604u); // a wrapper may append its own data
        if (GetParam() == Format::vst3)
            EXPECT_EQ(again, saved);
    }
}

TEST_P(PluginHost, BadStateBlobsDoNotCrash)
{
    auto plugin = loadPlugin(GetParam());
    ASSERT_NE(plugin, nullptr);
    juce::MemoryBlock before;
    plugin->getStateInformation(before);
    std::mt19937 random(3);
    for (int size : {1, 3, 100, 2047, 2048, 2049, 2567, 2568, 2569, 4604, 9000, 100000})
    {
        SCOPED_TRACE(size);
        std::vector<unsigned char> blob(static_cast<size_t>(size));
        for (auto& byte : blob)
            byte = static_cast<unsigned char>(random());
        plugin->setStateInformation(blob.data(), size);
        juce::AudioBuffer<float> buffer(2, 256);
        fill(buffer, Signal::noise, 48000.0, 0);
        juce::MidiBuffer midi;
        plugin->prepareToPlay(48000.0, 256);
        plugin->processBlock(buffer, midi);
        expectSane(buffer, 100.0f);
    }
}

TEST_P(PluginHost, TwoInstancesAreIndependent)
{
    // Engine slots come with the audio history of earlier instances (and earlier rates), which
    // prepareToPlay clears: two instances fed the same audio match exactly from the first block, while a
    // third one between their calls drives a very different signal and settings. The LV2 wrapper prepares
    // a new instance before the host restores its state, so there the restored gains still ramp from the
    // settings the slot held before: those twins only come close after a run-in.
    const bool exact = GetParam() == Format::vst3;
    juce::MidiBuffer midi;
    {
        // Earlier instances leave different histories, at other rates and drives, in the slots the twins
        // are about to claim.
        std::vector<std::unique_ptr<juce::AudioPluginInstance>> predecessors;
        for (int n = 0; n < 4; ++n)
        {
            auto plugin = loadPlugin(GetParam());
            ASSERT_NE(plugin, nullptr);
            const double rate = n % 2 == 0 ? 96000.0 : 44100.0;
            plugin->prepareToPlay(rate, 512);
            parameterOf(*plugin, "VykDrive").setValueNotifyingHost(0.3f * static_cast<float>(n));
            for (int block = 0; block < 20; ++block)
            {
                juce::AudioBuffer<float> buffer(2, 512);
                fill(buffer, n % 2 == 0 ? Signal::square : Signal::noise, rate, block * 512);
                plugin->processBlock(buffer, midi);
            }
            predecessors.push_back(std::move(plugin));
        }
    }
    auto twinA = loadPlugin(GetParam());
    auto twinB = loadPlugin(GetParam());
    auto other = loadPlugin(GetParam());
    ASSERT_NE(twinA, nullptr);
    ASSERT_NE(twinB, nullptr);
    ASSERT_NE(other, nullptr);
    for (auto* plugin : {twinA.get(), twinB.get()})
    {
        loadProfileThroughHost(GetParam(), *plugin, 0);
        ASSERT_TRUE(holdsProfile(GetParam(), *plugin, 0));
        plugin->prepareToPlay(48000.0, 512);
    }
    other->prepareToPlay(48000.0, 512);
    parameterOf(*other, "VykDrive").setValueNotifyingHost(1.0f);
    double largestDifference = 0.0;
    for (int block = 0; block < (exact ? 200 : 1000); ++block)
    {
        juce::AudioBuffer<float> a(2, 512);
        fill(a, Signal::noise, 48000.0, block * 512);
        juce::AudioBuffer<float> b(a);
        juce::AudioBuffer<float> square(2, 512);
        fill(square, Signal::square, 48000.0, block * 512);
        twinA->processBlock(a, midi);
        other->processBlock(square, midi);
        twinB->processBlock(b, midi);
        if (exact)
        {
            for (int ch = 0; ch < 2; ++ch)
                ASSERT_EQ(std::memcmp(a.getReadPointer(ch), b.getReadPointer(ch), sizeof(float) * 512), 0)
                    << "block " << block << ", channel " << ch;
            continue;
        }
        if (block < 800)
            continue;
        for (int ch = 0; ch < 2; ++ch)
            for (int i = 0; i < 512; ++i)
                largestDifference = std::max(largestDifference,
                                             static_cast<double>(std::fabs(a.getSample(ch, i) - b.getSample(ch, i))));
    }
    EXPECT_LT(largestDifference, 1e-2);
}

TEST_P(PluginHost, ReportedLatencyEqualsTheMeasuredDelay)
{
    auto plugin = loadPlugin(GetParam());
    ASSERT_NE(plugin, nullptr);
    loadProfileThroughHost(GetParam(), *plugin, 0);
    ASSERT_TRUE(holdsProfile(GetParam(), *plugin, 0));
    plugin->prepareToPlay(48000.0, 4096);
    juce::MidiBuffer midi;
    juce::AudioBuffer<float> first(2, 4096);
    first.clear();
    plugin->processBlock(first, midi); // an LV2 host reads the latency port after a run
    const int latency = plugin->getLatencySamples();
    EXPECT_GT(latency, 0);
    constexpr int kImpulseAt = 300;
    auto* bypassParameter = &parameterOf(*plugin, "VykBypassed");
    auto* hostBypass = plugin->getBypassParameter();

    for (int path = 0; path < 3; ++path)
    {
        if (path == 2 && hostBypass == nullptr)
            continue;
        SCOPED_TRACE(path);
        bypassParameter->setValueNotifyingHost(path == 1 ? 1.0f : 0.0f);
        if (hostBypass != nullptr)
            hostBypass->setValueNotifyingHost(path == 2 ? 1.0f : 0.0f);
        juce::AudioBuffer<float> buffer(2, 4096);
        buffer.clear();
        plugin->processBlock(buffer, midi); // flush what the previous path left in the delay lines
        if (path == 0)
        {
            // Through the chain the crossover and high-pass filters smear an impulse; broadband noise
            // still lines up at the look-ahead delay, give or take their few samples of group delay.
            fill(buffer, Signal::noise, 48000.0, 0);
            juce::AudioBuffer<float> input(buffer);
            plugin->processBlock(buffer, midi);
            for (int ch = 0; ch < 2; ++ch)
                EXPECT_NEAR(signals::measuredDelay(input.getReadPointer(ch), buffer.getReadPointer(ch), 4096), latency, 4);
            continue;
        }
        buffer.clear();
        buffer.setSample(0, kImpulseAt, 0.25f);
        buffer.setSample(1, kImpulseAt, 0.25f);
        plugin->processBlock(buffer, midi);
        EXPECT_EQ(peakIndex(buffer.getReadPointer(0), 4096), kImpulseAt + latency);
        EXPECT_EQ(peakIndex(buffer.getReadPointer(1), 4096), kImpulseAt + latency);
    }
}

INSTANTIATE_TEST_SUITE_P(Formats, PluginHost, ::testing::Values(Format::vst3, Format::lv2),
                         [](const auto& info) { return info.param == Format::vst3 ? "VST3" : "LV2"; });
