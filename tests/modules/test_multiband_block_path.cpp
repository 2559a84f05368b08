// The module's block path against a plain reference built from the dsp routines: every output sample,
// every meter and every band's filter, envelope, limiter and delay-line state must be bit-identical,
// over crossover modes, band types, slopes, ramps, mono and stereo and blocks of 0 to 2048 frames.
#include "MultiBandReference.h"
#include "MultiBandTestSupport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <string>

namespace
{
using namespace multiband;

struct BlockPathCase
{
    std::string name;
    int channels;
    std::function<void(MasterBlock&)> edit;
    std::function<void(int block)> betweenBlocks; // single setters applied before block `block`
};

// Loud, varied material: noise under a slow swell plus low and high tones, peaking near 1.6, so that
// compressors, limiters and clippers all work.
std::vector<float> makeInput(int frames, int channels)
{
    std::vector<float> input(static_cast<size_t>(frames * channels));
    const std::vector<float> noise = signals::noise(frames * channels, 0.6, 4242u);
    for (int n = 0; n < frames; ++n)
    {
        const double t = static_cast<double>(n) / kRate;
        const double swell = 0.2 + 0.8 * std::fabs(std::sin(2.0 * signals::kPi * 1.5 * t));
        for (int ch = 0; ch < channels; ++ch)
        {
            const double tone = 0.5 * std::sin(2.0 * signals::kPi * (55.0 + 20.0 * ch) * t) +
                                0.3 * std::sin(2.0 * signals::kPi * 3100.0 * t);
            input[n * channels + ch] = static_cast<float>(swell * (tone + noise[n * channels + ch]));
        }
    }
    return input;
}

// Block sizes from a fixed sequence, including the extremes.
std::vector<int> blockSizes(int count)
{
    std::vector<int> sizes = {0, 1, kMaxFrames, 64, 63, 65};
    uint32_t seed = 99u;
    while (static_cast<int>(sizes.size()) < count)
    {
        seed = seed * 1664525u + 1013904223u;
        sizes.push_back(static_cast<int>((seed >> 8) % (kMaxFrames + 1)));
    }
    return sizes;
}

class BlockPath : public MultiBandTest, public ::testing::WithParamInterface<BlockPathCase>
{
};

TEST_P(BlockPath, MatchesThePlainReferenceBitForBit)
{
    const BlockPathCase& c = GetParam();
    apply(c.edit);

    auto reference = std::make_unique<MultiBandInstance>();
    std::memcpy(static_cast<void*>(reference.get()), &state(), sizeof(MultiBandInstance));
    MetersBlock referenceMeters = meters();

    const std::vector<int> sizes = blockSizes(40);
    int total = 0;
    for (int size : sizes)
        total += size;
    const std::vector<float> input = makeInput(total, c.channels);
    std::vector<float> output = input;
    std::vector<float> expected = input;
    std::vector<float> sub(kMaxFrames, 1.0f);
    std::vector<float> expectedSub(kMaxFrames, 1.0f);

    int start = 0;
    for (int block = 0; block < static_cast<int>(sizes.size()); ++block)
    {
        SCOPED_TRACE("block " + std::to_string(block) + " of " + std::to_string(sizes[block]) + " frames");
        if (c.betweenBlocks)
        {
            // Apply the same setter to both sides: run it on the module, then carry the settings (not the
            // running state) over to the reference by running it there too.
            auto saved = std::make_unique<MultiBandInstance>();
            std::memcpy(static_cast<void*>(saved.get()), &state(), sizeof(MultiBandInstance));
            std::memcpy(static_cast<void*>(&state()), reference.get(), sizeof(MultiBandInstance));
            c.betweenBlocks(block);
            std::memcpy(static_cast<void*>(reference.get()), &state(), sizeof(MultiBandInstance));
            std::memcpy(static_cast<void*>(&state()), saved.get(), sizeof(MultiBandInstance));
            c.betweenBlocks(block);
        }
        const int frames = sizes[block];
        float* samples = output.data() + static_cast<size_t>(start) * c.channels;
        float* expectedSamples = expected.data() + static_cast<size_t>(start) * c.channels;
        float* aux = block % 2 ? sub.data() : nullptr;
        float* expectedAux = block % 2 ? expectedSub.data() : nullptr;

        referenceMeters = meters();
        VykMultiBandCompress(kInstance, samples, aux, frames, c.channels);
        referenceMultiBandCompress(*reference, referenceMeters, expectedSamples, expectedAux, frames,
                                   c.channels);

        ASSERT_EQ(std::memcmp(samples, expectedSamples, sizeof(float) * frames * c.channels), 0);
        ASSERT_EQ(std::memcmp(&meters(), &referenceMeters, sizeof(MetersBlock)), 0);
        ASSERT_EQ(sub, expectedSub);
        for (int b = 0; b < kMultiBandMaxBands; ++b)
            ASSERT_EQ(std::memcmp(&state().bands[b], &reference->bands[b], sizeof(MultiBandBand)), 0)
                << "band " << b;
        start += frames;
    }
}

void rampDetectorEqs(int block)
{
    // Large gain changes ramp once per channel call: both channels must see their own step.
    if (block % 7 == 3)
    {
        for (int b = 0; b < kNumBands; ++b)
        {
            MultiBandEqSetGain(kInstance, b, 0, block % 2 ? 8.0f : 0.2f);
            MultiBandEqSetGain(kInstance, b, 1, block % 2 ? 0.15f : 6.0f);
        }
    }
}

void mixedTypes(MasterBlock& m)
{
    const int types[kNumBands] = {kBandTypeLimiter, kBandTypeCompressor, kBandTypeClipper, kBandTypeGain, 5};
    for (int b = 0; b < kNumBands; ++b)
    {
        MultiBandBandBlock& band = m.bands[b];
        band.bandType = types[b];
        band.lowPass8thOrder = b % 2;
        band.highPass8thOrder = (b + 1) % 2;
        band.gainOnlyGain = 0.7f;
        band.softClip = b % 2;
        band.compRatioRecip = 0.3f;
        band.limiterThreshold = 0.2f;
        band.limiterReleaseMs = 40.0f;
        band.compMakeupGain = 1.6f; // ramps from 1.0
        for (EqBandBlock& eq : band.detectorEq)
            eq.bypass = 0;
    }
}

const BlockPathCase kBlockPathCases[] = {
    {"Profile0Stereo", 2, [](MasterBlock&) {}, nullptr},
    {"Profile0Mono", 1, [](MasterBlock&) {}, nullptr},
    {"ParallelMixedTypesWithEqRamps", 2, mixedTypes, rampDetectorEqs},
    {"AscendingMixedTypes", 2,
     [](MasterBlock& m)
     {
         mixedTypes(m);
         setCrossoverModeByte(m.bands[0], kCrossoverAscending);
         m.bands[2].bandOff = 1;
     },
     rampDetectorEqs},
    {"AscendingMono", 1,
     [](MasterBlock& m)
     {
         mixedTypes(m);
         setCrossoverModeByte(m.bands[0], kCrossoverAscending);
         m.bands[0].bandOff = 1;
         m.bands[0].lowPassEnabled = 0;
     },
     nullptr},
    {"DescendingThreeBands", 2,
     [](MasterBlock& m)
     {
         mixedTypes(m);
         setCrossoverModeByte(m.bands[0], kCrossoverDescending);
         m.bands[3].bandOff = 1;
         m.bands[4].bandOff = 1;
     },
     rampDetectorEqs},
    {"DescendingSingleLastBand", 2,
     [](MasterBlock& m)
     {
         mixedTypes(m);
         setCrossoverModeByte(m.bands[0], kCrossoverDescending);
         for (int b = 0; b < kNumBands; ++b)
             m.bands[b].bandOff = b == 1 ? 0 : 1;
         setIsLastBandByte(m.bands[1], 1);
     },
     nullptr},
    {"UnknownModeMono", 1,
     [](MasterBlock& m)
     {
         mixedTypes(m);
         setCrossoverModeByte(m.bands[0], 3);
     },
     nullptr},
    // Detector levels far above the threshold: past the end of the curves, and limiting down to the
    // 0.01 floor.
    {"DeepCompressionAndFirstSectionsOff", 2,
     [](MasterBlock& m)
     {
         for (int b = 0; b < kNumBands; ++b)
         {
             MultiBandBandBlock& band = m.bands[b];
             band.compRatioRecip = b % 2 ? 0.0f : 0.2f;
             band.compThreshold = b % 2 ? 0.0026f : 0.003f;
             band.compAttackMs = 0.0f;
             band.lowPassEnabled = 0;
             band.lowPass8thOrder = 1;
             band.allPassMask = 31;
         }
     },
     nullptr},
    {"SwitchingTypesBypassAndBandsBetweenBlocks", 2, [](MasterBlock&) {},
     [](int block)
     {
         const int b = block % kNumBands;
         MultiBandSetBandType(kInstance, b, (block / 3) % 6);
         MultiBandSetBandEnabled(kInstance, (b + 2) % kNumBands, block % 4 != 0);
         MultiBandSetBypass(kInstance, block % 9 == 5);
         MultiBandSetCrossoverMode(kInstance, (block / 5) % 4);
         MultiBandCompressorSetMakeupGain(kInstance, b, block % 2 ? 2.0f : 0.5f);
         MultiBandW1LimiterSetBypass(kInstance, b, block % 5 == 1);
         MultiBandCompressorSetBypass(kInstance, (b + 1) % kNumBands, block % 6 == 2);
         MultiBandLinkwitzRileyFilterSetBypass(kInstance, b, block % 3 == 0, block % 2);
         MultiBandSet8thOrderEnabled(kInstance, b, block % 2, (block / 2) % 2);
     }},
};

INSTANTIATE_TEST_SUITE_P(Cases, BlockPath, ::testing::ValuesIn(kBlockPathCases),
                         [](const auto& info) { return info.param.name; });

} // namespace
