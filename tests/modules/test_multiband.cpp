// Multiband dynamics measured from outside: crossover structures against their analytic responses, null
// tests, latency from impulses, the dynamics of each band type, the record routines' change handling and
// the meters.
#include "MultiBandTestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <string>

namespace
{
using namespace multiband;
using cplx = std::complex<double>;

// The bytes of every band's settings and state, to show that a call changed nothing.
std::vector<unsigned char> bandBytes()
{
    const auto* bands = reinterpret_cast<const unsigned char*>(MultiBandGetInstanceState(kInstance)->bands);
    return std::vector<unsigned char>(bands, bands + sizeof(MultiBandInstance::bands));
}

// ---------------------------------------------------------------------------------------------------
// Recombination

class AscendingIdentity : public MultiBandTest, public ::testing::WithParamInterface<int>
{
};

// Ascending subtractive bands are LP_b - LP_(b-1): with band 0's high-pass and band 4's low-pass off the
// five bands telescope back to the input, delayed by the look-ahead. The sum is not bit-exact: each
// band is formed by one float subtraction and the accumulator adds five bands, so the result carries a
// few roundings of the low-pass signals: measured at most 6.0e-8 (one unit in the last place of the
// input's largest values) for noise of peak 0.5, with 70 % of the samples exact.
TEST_P(AscendingIdentity, NeutralBandsSumToTheInputDelayedBy64Samples)
{
    const int channels = GetParam();
    apply(
        [](MasterBlock& m)
        {
            makeNeutral(m);
            setCrossoverModeByte(m.bands[0], kCrossoverAscending);
            for (MultiBandBandBlock& band : m.bands)
            {
                band.lowPassEnabled = 1;
                band.highPassEnabled = 1;
                band.lowPass8thOrder = 0;
                band.highPass8thOrder = 0;
            }
            m.bands[0].highPassEnabled = 0;
            m.bands[4].lowPassEnabled = 0;
        });
    const int frames = kRate;
    std::vector<float> input = signals::noise(frames * channels, 0.5);
    const std::vector<float> output = run(input, channels, 480);

    double worst = 0.0;
    for (int n = 0; n < frames; ++n)
    {
        for (int ch = 0; ch < channels; ++ch)
        {
            const float expected =
                n < kMultiBandLookAhead ? 0.0f : input[(n - kMultiBandLookAhead) * channels + ch];
            worst = std::max(worst, std::fabs(double(output[n * channels + ch]) - expected));
        }
    }
    EXPECT_LE(worst, 1.2e-7);
    EXPECT_EQ(MultiBandGetLatency(kInstance), kMultiBandLookAhead);
}

INSTANTIATE_TEST_SUITE_P(Channels, AscendingIdentity, ::testing::Values(1, 2));

TEST_F(MultiBandTest, LatencyIsTheImpulsePeakAndVanishesWhenBypassed)
{
    apply(
        [](MasterBlock& m)
        {
            makeNeutral(m);
            setCrossoverModeByte(m.bands[0], kCrossoverAscending);
        });
    const std::vector<float> response = impulseResponse(4096);
    const auto peak = std::max_element(response.begin(), response.end(),
                                       [](float a, float b) { return std::fabs(a) < std::fabs(b); });
    EXPECT_EQ(peak - response.begin(), MultiBandGetLatency(kInstance));
    EXPECT_EQ(MultiBandGetLatency(kInstance), 64);

    apply([](MasterBlock& m) { m.multiBandCore.bypass = 1; });
    EXPECT_EQ(MultiBandGetLatency(kInstance), 0);
    const std::vector<float> input = signals::noise(1024);
    EXPECT_EQ(run(input, 1), input);
    EXPECT_EQ(MultiBandGetLatency(7 * kMaxInstances), 0);
}

// Profile 0's parallel bands (crossovers 100, 300, 1000 and 5000 Hz, all-pass Q 0.4, one all-pass per
// band) with neutral dynamics: the recombined magnitude stays within -1.07 .. +0.01 dB from 20 Hz to
// 20 kHz (measured: -1.06 dB near 75 Hz is the deepest point). Without the all-passes it dips by more than
// 4 dB.
TEST_F(MultiBandTest, ParallelProfile0BandsRecombineNearlyFlat)
{
    const auto magnitudeRangeDb = []()
    {
        const std::vector<float> response = impulseResponse();
        double low = 1e9;
        double high = -1e9;
        for (double f : signals::logFrequencies(20.0, 20000.0, 300))
        {
            const double dB = signals::toDb(std::abs(signals::dftAt(response, f, kRate)));
            low = std::min(low, dB);
            high = std::max(high, dB);
        }
        return std::make_pair(low, high);
    };

    apply(makeNeutral);
    ASSERT_EQ(state().crossoverMode, kCrossoverParallel);
    const auto [low, high] = magnitudeRangeDb();
    EXPECT_GE(low, -1.07);
    EXPECT_LE(high, 0.01);

    ASSERT_EQ(PlatformInit(nullptr, nullptr), 0);
    MultiBandSetSampleRate(kInstance, kRate);
    apply(
        [](MasterBlock& m)
        {
            makeNeutral(m);
            for (MultiBandBandBlock& band : m.bands)
                band.allPassMask = 0;
        });
    EXPECT_LT(magnitudeRangeDb().first, -4.0);
}

// Each case sets up a crossover structure and states its transfer function from the module's own
// filter sections; the measured response must match it. This checks how sections are combined, not
// the section designs (the dsp tests cover those).
struct StructureCase
{
    std::string name;
    std::function<void(MasterBlock&)> edit;
    std::function<cplx(const MultiBandInstance&, double)> expected; // without the look-ahead delay
};

class CrossoverStructure : public MultiBandTest, public ::testing::WithParamInterface<StructureCase>
{
};

TEST_P(CrossoverStructure, MatchesTheAnalyticResponse)
{
    apply(GetParam().edit);
    const std::vector<float> response = impulseResponse();
    for (double f : signals::logFrequencies(20.0, 20000.0, 40))
    {
        const cplx expected = GetParam().expected(state(), f) * delayResponse(kMultiBandLookAhead, f);
        const cplx measured = signals::dftAt(response, f, kRate);
        EXPECT_LE(std::abs(measured - expected), 2e-4 + 1e-3 * std::abs(expected)) << f << " Hz";
    }
}

cplx allPassChain(const MultiBandBand& band, double f)
{
    cplx h = 1.0;
    for (const AllPassFilter& section : band.allPass)
        if (!section.bypass)
            h *= biquadResponse(section, f);
    return h;
}

const StructureCase kStructureCases[] = {
    {"ParallelProfile0", [](MasterBlock& m) { makeNeutral(m); },
     [](const MultiBandInstance& mb, double f)
     {
         // Band 0's high-pass and band 4's low-pass are off in profile 0.
         cplx sum = 0.0;
         for (int b = 0; b < kNumBands; ++b)
         {
             const MultiBandBand& band = mb.bands[b];
             const cplx lowPass = b == 4 ? 1.0 : lr4Response(band.lowPassA, f);
             const cplx highPass = b == 0 ? 1.0 : lr4Response(band.highPassA, f);
             sum += lowPass * highPass * allPassChain(band, f);
         }
         return sum;
     }},
    {"DescendingThreeBandsCloseWithTheLastLowPass",
     [](MasterBlock& m)
     {
         makeNeutral(m);
         setCrossoverModeByte(m.bands[0], kCrossoverDescending);
         m.bands[3].bandOff = 1;
         m.bands[4].bandOff = 1;
     },
     [](const MultiBandInstance& mb, double f)
     {
         // (x - HP1) + (HP1 - HP2) + LP2 HP2: band 0's high-pass is off, bands 3 and 4 only store.
         const cplx hp2 = lr4Response(mb.bands[2].highPassA, f);
         return 1.0 - hp2 + lr4Response(mb.bands[2].lowPassA, f) * hp2;
     }},
    {"DescendingSingleLastBandTakesItsLowPass",
     [](MasterBlock& m)
     {
         makeSingleBand(m, 1);
         setCrossoverModeByte(m.bands[0], kCrossoverDescending);
         m.bands[1].highPassEnabled = 1;
         m.bands[1].lowPassEnabled = 1;
         setIsLastBandByte(m.bands[1], -1); // any nonzero byte, sign-extended
     },
     [](const MultiBandInstance& mb, double f)
     { return lr4Response(mb.bands[1].highPassA, f) * lr4Response(mb.bands[1].lowPassA, f); }},
    {"DescendingSingleBandNotLastKeepsOnlyItsHighPass",
     [](MasterBlock& m)
     {
         makeSingleBand(m, 1);
         setCrossoverModeByte(m.bands[0], kCrossoverDescending);
         m.bands[1].highPassEnabled = 1;
         m.bands[1].lowPassEnabled = 1;
         setIsLastBandByte(m.bands[1], 0);
     },
     [](const MultiBandInstance& mb, double f) { return lr4Response(mb.bands[1].highPassA, f); }},
    {"EighthOrderLowPassWithoutItsFirstSection",
     [](MasterBlock& m)
     {
         makeSingleBand(m, 0);
         m.bands[0].lowPass8thOrder = 1;
     },
     [](const MultiBandInstance& mb, double f) { return lr4Response(mb.bands[0].lowPassB, f); }},
    {"EighthOrderOnBothSides",
     [](MasterBlock& m)
     {
         makeSingleBand(m, 2);
         MultiBandBandBlock& band = m.bands[2];
         band.lowPassEnabled = 1;
         band.highPassEnabled = 1;
         band.lowPass8thOrder = 1;
         band.highPass8thOrder = 1;
     },
     [](const MultiBandInstance& mb, double f)
     {
         const MultiBandBand& band = mb.bands[2];
         const cplx lowPass = lr4Response(band.lowPassA, f);
         const cplx highPass = lr4Response(band.highPassA, f);
         return lowPass * lowPass * highPass * highPass;
     }},
    {"AscendingBandZeroAddsItsHighPass",
     [](MasterBlock& m)
     {
         makeNeutral(m);
         setCrossoverModeByte(m.bands[0], kCrossoverAscending);
         m.bands[0].highPassEnabled = 1;
         m.bands[0].highPassFreq = 40.0f;
         for (int b = 2; b < kNumBands; ++b)
             m.bands[b].bandOff = 1;
     },
     [](const MultiBandInstance& mb, double f)
     {
         // LP0 HP0 + (LP1 - LP0)
         const cplx lp0 = lr4Response(mb.bands[0].lowPassA, f);
         return lp0 * lr4Response(mb.bands[0].highPassA, f) + lr4Response(mb.bands[1].lowPassA, f) - lp0;
     }},
    {"UnknownModeUsesLowPassesOnly",
     [](MasterBlock& m)
     {
         makeNeutral(m);
         setCrossoverModeByte(m.bands[0], 200);
     },
     [](const MultiBandInstance& mb, double f)
     {
         cplx sum = 1.0; // band 4's low-pass is off
         for (int b = 0; b < 4; ++b)
             sum += lr4Response(mb.bands[b].lowPassA, f);
         return sum;
     }},
    {"BandWithoutDynamicsIsDelayedOnly",
     [](MasterBlock& m)
     {
         makeSingleBand(m, 3);
         m.bands[3].bandType = 5;
         m.bands[3].lowPassEnabled = 1;
     },
     [](const MultiBandInstance& mb, double f) { return lr4Response(mb.bands[3].lowPassA, f); }},
};

INSTANTIATE_TEST_SUITE_P(Cases, CrossoverStructure, ::testing::ValuesIn(kStructureCases),
                         [](const auto& info) { return info.param.name; });

// ---------------------------------------------------------------------------------------------------
// Band types

// Full-range band 0 of type `type`, threshold low enough for the detector EQ to matter.
std::vector<float> runTypeWithEqGain(int type, float eqGain)
{
    EXPECT_EQ(PlatformInit(nullptr, nullptr), 0);
    MultiBandSetSampleRate(kInstance, kRate);
    VYKCommSaveState(kInstance);
    MasterBlock& m = *VYKCommGetMasterBlock(kInstance);
    makeSingleBand(m, 0);
    MultiBandBandBlock& band = m.bands[0];
    band.bandType = type;
    band.compRatioRecip = 0.25f;
    band.compThreshold = 0.1f;
    band.limiterThreshold = 0.1f;
    for (EqBandBlock& eq : band.detectorEq)
    {
        eq.bypass = 0;
        eq.gain = eqGain;
        eq.freq = 1000.0f;
    }
    MultiBandSetAll(kInstance, &m);
    std::vector<float> input = signals::interleave(
        {signals::sine(1000.0, kRate, 8192, 0.3), signals::sine(1000.0, kRate, 8192, 0.2)});
    for (int start = 0; start < 8192; start += 512)
        VykMultiBandCompress(kInstance, input.data() + start * 2, nullptr, 512, 2);
    return input;
}

TEST(MultiBandTypes, DetectorEqShapesOnlyTheCompressorAndLimiterSideChains)
{
    for (int type = 0; type <= 5; ++type)
    {
        SCOPED_TRACE("type " + std::to_string(type));
        const bool detects = type == kBandTypeCompressor || type == kBandTypeLimiter;
        const std::vector<float> cut = runTypeWithEqGain(type, 0.1f);
        const std::vector<float> boost = runTypeWithEqGain(type, 10.0f);
        EXPECT_EQ(cut != boost, detects);
    }
}

TEST_F(MultiBandTest, ClipperAndGainBandsActOnTheDelayedSignal)
{
    const std::vector<float> input = signals::sine(440.0, kRate, 4096, 0.9);
    // The look-ahead line starts empty, then holds the end of the previous run.
    bool firstRun = true;
    const auto delayedInput = [&](int n)
    {
        if (n >= 64)
            return input[n - 64];
        return firstRun ? 0.0f : input[input.size() - 64 + n];
    };

    apply(
        [](MasterBlock& m)
        {
            makeSingleBand(m, 0);
            m.bands[0].bandType = kBandTypeGain;
            m.bands[0].gainOnlyGain = 0.5f;
        });
    std::vector<float> output = run(input, 1);
    for (int n = 0; n < 4096; ++n)
        ASSERT_EQ(output[n], delayedInput(n) * 0.5f) << n;
    EXPECT_EQ(meters().values[kMeterBandGain0], 1.0f);

    // Hard clipper: input gain 2, output gain 0.25, so the peaks flatten at 0.25.
    firstRun = false;
    apply(
        [](MasterBlock& m)
        {
            m.bands[0].bandType = kBandTypeClipper;
            m.bands[0].softClip = 0;
            m.bands[0].clipperThreshold = 2.0f;
            m.bands[0].clipperOutputGain = 0.25f;
        });
    output = run(input, 1);
    for (int n = 0; n < 4096; ++n)
        ASSERT_EQ(output[n], std::clamp(delayedInput(n) * 2.0f, -1.0f, 1.0f) * 0.25f) << n;
    EXPECT_EQ(meters().values[kMeterBandGain0], 1.0f);
}

TEST_F(MultiBandTest, LimiterBandHoldsItsCeilingAndReportsItsGain)
{
    apply(
        [](MasterBlock& m)
        {
            makeSingleBand(m, 0);
            MultiBandBandBlock& band = m.bands[0];
            band.bandType = kBandTypeLimiter;
            band.limiterInputGain = 1.0f;
            band.limiterThreshold = 0.25f;
            band.limiterClip = 0.5f;
            for (EqBandBlock& eq : band.detectorEq)
                eq.bypass = 1;
        });
    const std::vector<float> input = signals::sine(200.0, kRate, kRate, 0.8);
    const std::vector<float> output = run(input, 1);
    // A limited peak leaves at clip / input gain; below the threshold audio is scaled by clip / threshold.
    EXPECT_LE(signals::peak(output), 0.5 + 1e-5);
    EXPECT_GT(signals::peak(output, kRate / 2), 0.49);
    const float gain = MultiBandGetLimiterGainReduction(kInstance, 0);
    EXPECT_NEAR(gain, 0.25 / 0.8, 0.01);
    EXPECT_EQ(meters().values[kMeterBandGain0], gain);
    EXPECT_EQ(MultiBandGetLatency(kInstance), 64);
}

TEST_F(MultiBandTest, StereoCompressorAppliesOneGainToBothChannels)
{
    apply(
        [](MasterBlock& m)
        {
            makeSingleBand(m, 0);
            MultiBandBandBlock& band = m.bands[0];
            band.compRatioRecip = 0.5f;
            band.compMakeupGain = 1.0f;
            band.compThreshold = 0.05f;
            band.compAttackMs = 1.0f;
            band.compReleaseMs = 50.0f;
            for (EqBandBlock& eq : band.detectorEq)
                eq.bypass = 1;
        });
    const int frames = 512;
    std::vector<float> input =
        signals::interleave({signals::noise(frames, 0.9, 7u), signals::sine(300.0, kRate, frames, 0.6)});
    // Warm up with the same material so the whole block lies behind the look-ahead.
    run(input, 2);
    const std::vector<float> output = run(input, 2);

    float smallest = 1.0f;
    for (int n = 64; n < frames; ++n)
    {
        const float left = input[(n - 64) * 2];
        const float right = input[(n - 64) * 2 + 1];
        if (std::fabs(left) < 0.05f || std::fabs(right) < 0.05f)
            continue;
        const double gainLeft = output[n * 2] / left;
        const double gainRight = output[n * 2 + 1] / right;
        ASSERT_NEAR(gainLeft, gainRight, 1e-6 * std::fabs(gainLeft)) << n;
        smallest = std::min(smallest, static_cast<float>(gainLeft));
    }
    float gain0 = 0.0f;
    float gain1 = 0.0f;
    MultiBandCompressorGetGainReduction(kInstance, 0, &gain0, &gain1);
    EXPECT_EQ(gain0, gain1);
    EXPECT_EQ(meters().values[kMeterBandGain0], gain0);
    EXPECT_LT(gain0, 0.5f);
    // The meter is the block's smallest gain, also over frames skipped above.
    EXPECT_LE(gain0, smallest * (1.0f + 1e-5f));
}

// ---------------------------------------------------------------------------------------------------
// Record routines

TEST_F(MultiBandTest, RecordsAreAppliedToTheBandTheyName)
{
    const std::vector<unsigned char> before = bandBytes();
    MultiBandBandBlock stray = record().bands[1];
    stray.bandIndex = 7;
    stray.bandType = kBandTypeGain;
    stray.compAttackMs = 77.0f;
    MultiBandSetBand(kInstance, &stray);
    EXPECT_EQ(bandBytes(), before);

    // A record naming band 2 configures band 2 wherever it sits.
    VYKCommSaveState(kInstance);
    MultiBandBandBlock& first = record().bands[0];
    first.bandIndex = 2;
    first.bandType = kBandTypeClipper;
    first.lowPassFreq = 2500.0f;
    setCrossoverModeByte(first, kCrossoverAscending);
    MultiBandSetBand(kInstance, &first);
    EXPECT_EQ(state().bands[2].type, kBandTypeClipper);
    EXPECT_EQ(state().bands[2].lowPassA.frequency, 2500);
    EXPECT_EQ(state().bands[0].type, kBandTypeCompressor);
    EXPECT_EQ(state().bands[0].lowPassA.frequency, 100);
    EXPECT_EQ(state().crossoverMode, kCrossoverParallel); // only band 0 sets the mode
}

TEST_F(MultiBandTest, CrossoverModeComesFromBandZerosRecordOnly)
{
    apply(
        [](MasterBlock& m)
        {
            for (int b = 1; b < kNumBands; ++b)
                setCrossoverModeByte(m.bands[b], kCrossoverDescending);
        });
    EXPECT_EQ(state().crossoverMode, kCrossoverParallel);
    apply([](MasterBlock& m) { setCrossoverModeByte(m.bands[0], 250); });
    EXPECT_EQ(state().crossoverMode, 250); // unsigned byte
    apply([](MasterBlock& m) { setIsLastBandByte(m.bands[3], -2); });
    EXPECT_EQ(state().bands[3].isLastBand, -2); // signed byte
    EXPECT_EQ(state().bands[4].isLastBand, 0);  // profile 0 leaves the byte 0
}

TEST_F(MultiBandTest, InverseRatioSelectsTheCompressorCurve)
{
    struct Case
    {
        float inverse;
        float ratio;
        const float* table;
    };
    const Case cases[] = {
        {0.5f, 2.0f, gRatioTables[1]},   {0.25f, 4.0f, gRatioTables[3]}, // 4:1 uses the 6:1 curve
        {0.0f, kLimitingRatio, nullptr}, {1.0f, 1.0f, nullptr},          {-0.0f, 1.0f, nullptr},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.inverse);
        apply([&c](MasterBlock& m) { m.bands[1].compRatioRecip = c.inverse; });
        const Compressor& compressor = state().bands[1].compressor;
        EXPECT_EQ(compressor.ratio, c.ratio);
        if (c.table != nullptr)
        {
            EXPECT_EQ(compressor.ratioTable, c.table);
        }
    }
}

TEST_F(MultiBandTest, MovingACrossoverRetunesItsAllPassInEveryBand)
{
    const auto sectionFrequencies = [](int section)
    {
        std::vector<int> frequencies;
        for (const MultiBandBand& band : state().bands)
            frequencies.push_back(band.allPass[section].frequency);
        return frequencies;
    };
    const float q = record().multiBandCore.allPassQ;

    apply([](MasterBlock& m) { m.bands[2].highPassFreq = 350.0f; });
    EXPECT_EQ(sectionFrequencies(2), std::vector<int>(5, 350));
    apply([](MasterBlock& m) { m.bands[2].lowPassFreq = 1500.0f; });
    EXPECT_EQ(sectionFrequencies(3), std::vector<int>(5, 1500));
    apply([](MasterBlock& m) { m.bands[0].highPassFreq = 45.0f; });
    EXPECT_EQ(sectionFrequencies(0), std::vector<int>(5, 45));
    EXPECT_EQ(state().virtualBassStage.finalHighPass.frequency, 45);
    EXPECT_EQ(state().virtualBassStage.finalHighPass.isLowPass, 0);

    std::vector<AllPassFilter> before;
    for (const MultiBandBand& band : state().bands)
        before.insert(before.end(), std::begin(band.allPass), std::end(band.allPass));
    MultiBandLinkwitzRileyFilterSetFreqAndIsLowPass(kInstance, 4, 12000, 1); // no crossover above band 4
    EXPECT_EQ(state().bands[4].lowPassA.frequency, 12000);
    EXPECT_EQ(state().bands[4].lowPassB.frequency, 12000);
    for (int b = 0; b < kNumBands; ++b)
        EXPECT_EQ(std::memcmp(&before[b * kMultiBandAllPassSections], state().bands[b].allPass,
                              sizeof(state().bands[b].allPass)),
                  0);

    for (const MultiBandBand& band : state().bands)
        for (const AllPassFilter& section : band.allPass)
            EXPECT_EQ(section.q, q);
}

// Fields behind the change test keep a value set by a single setter until their bytes change in the
// record; the others are applied every time.
TEST_F(MultiBandTest, BandRecordRecomputesOnlyChangedFields)
{
    MultiBandBand& band = state().bands[1];
    MultiBandCompressorSetAttack(kInstance, 1, 5.0f);
    MultiBandEqSetFreqAndQ(kInstance, 1, 0, 5000, 3.0f);
    MultiBandLinkwitzRileyFilterSetFreqAndIsLowPass(kInstance, 1, 7000, 1);
    MultiBandCompressorSetBypass(kInstance, 1, 1);
    MultiBandEqSetGain(kInstance, 1, 1, 2.0f);
    MultiBandAllPassSetMask(kInstance, 1, 31);

    apply([](MasterBlock& m) { m.bands[1].compReleaseMs = 123.0f; });
    EXPECT_EQ(band.compressor.attack, 5.0f);
    EXPECT_EQ(band.eq[0].frequency, 5000);
    EXPECT_EQ(band.lowPassA.frequency, 7000);
    EXPECT_EQ(band.compressor.release, 123.0f);
    EXPECT_EQ(band.compressor.bypass, 0);                             // always applied
    EXPECT_EQ(band.eq[1].gain, record().bands[1].detectorEq[1].gain); // always applied
    EXPECT_EQ(band.allPass[4].bypass, 1);                             // mask always applied

    apply(
        [](MasterBlock& m)
        {
            m.bands[1].compAttackMs = 12.0f;
            m.bands[1].detectorEq[0].q = 2.0f;
            m.bands[1].lowPassFreq = 310.0f;
        });
    EXPECT_EQ(band.compressor.attack, 12.0f);
    EXPECT_EQ(band.eq[0].frequency, static_cast<int>(record().bands[1].detectorEq[0].freq));
    EXPECT_EQ(band.eq[0].q, 2.0f);
    EXPECT_EQ(band.lowPassA.frequency, 310);
}

TEST_F(MultiBandTest, CoreRecordIsAppliedWhetherChangedOrNot)
{
    MultiBandAllPassSetQuality(kInstance, 3, 2, 5.0f);
    MultiBandSetBypass(kInstance, 1);
    MultiBandSetCore(kInstance, &record().multiBandCore);
    EXPECT_EQ(state().bands[3].allPass[2].q, record().multiBandCore.allPassQ);
    EXPECT_EQ(MultiBandGetBypass(kInstance), 0);

    apply([](MasterBlock& m) { m.multiBandCore.bypass = 1; });
    EXPECT_EQ(MultiBandGetBypass(kInstance), 1);
}

TEST_F(MultiBandTest, SampleRateRecomputesFromTheStoredRecord)
{
    constexpr int kNewRate = 96000;
    MultiBandSetSampleRate(kInstance, kNewRate);
    const MultiBandBandBlock& r = record().bands[3];
    const MultiBandBand& band = state().bands[3];

    LinkwitzRileyFilter lowPass{};
    LinkwitzRileyFilterSetFreqAndIsLowPass(&lowPass, static_cast<int>(r.lowPassFreq), kNewRate, 1);
    EXPECT_EQ(band.lowPassA.b0, lowPass.b0);
    EXPECT_EQ(band.lowPassB.a1, lowPass.a1);
    Compressor compressor{};
    CompressorSetRelease(&compressor, r.compReleaseMs, kNewRate);
    EXPECT_EQ(band.compressor.releaseCoefficient, compressor.releaseCoefficient);
    W1Limiter limiter{};
    W1LimiterSetReleaseTime(&limiter, band.limiter.release, kNewRate);
    EXPECT_EQ(band.limiter.releaseCoefficient, limiter.releaseCoefficient);
    LatticeFilter eq = band.eq[1];
    LatticeSetFreqAndQ(&eq, static_cast<int>(r.detectorEq[1].freq), kNewRate, r.detectorEq[1].q);
    EXPECT_EQ(band.eq[1].k1, eq.k1);
    AllPassFilter section = band.allPass[3];
    AllPassSetQuality(&section, kNewRate, record().multiBandCore.allPassQ);
    EXPECT_EQ(band.allPass[3].b1, section.b1);

    MultiBandSetSampleRate(kInstance, 0); // meaningless rates are ignored
    EXPECT_EQ(state().sampleRate, kNewRate);
}

TEST_F(MultiBandTest, SettersAndGettersIgnoreInvalidInstancesAndBands)
{
    const std::vector<unsigned char> before = bandBytes();
    for (int instance : {-1, kMaxInstances, 1000})
    {
        MultiBandSetBandType(instance, 0, 3);
        MultiBandCompressorSetThreshold_dB(instance, 0, -30.0f);
        MultiBandSetBypass(instance, 1);
        float gain0 = 0.0f;
        float gain1 = 0.0f;
        MultiBandCompressorGetGainReduction(instance, 0, &gain0, &gain1);
        EXPECT_EQ(gain0, 1.0f);
        EXPECT_EQ(gain1, 1.0f);
        EXPECT_EQ(MultiBandGetLimiterGainReduction(instance, 0), 1.0f);
        EXPECT_EQ(MultiBandGetBypass(instance), 0);
    }
    for (int band : {-1, 5})
    {
        MultiBandSetBandType(kInstance, band, 3);
        MultiBandEqSetGain(kInstance, band, 0, 3.0f);
        EXPECT_EQ(MultiBandGetLimiterGainReduction(kInstance, band), 1.0f);
    }
    MultiBandEqSetGain(kInstance, 0, 2, 3.0f);
    MultiBandAllPassSetFreq(kInstance, 0, 5, 300);
    EXPECT_EQ(bandBytes(), before);
    EXPECT_EQ(MultiBandGetBypass(kInstance), 0);
}

TEST_F(MultiBandTest, DecibelSettersConvertAsTenToTheDbOverTwenty)
{
    MultiBandCompressorSetThreshold_dB(kInstance, 2, -20.0f);
    MultiBandCompressorSetMakeupGain_dB(kInstance, 2, 6.0f);
    MultiBandBypassSetOutputGain_dB(kInstance, 2, -6.0f);
    const MultiBandBand& band = state().bands[2];
    EXPECT_FLOAT_EQ(band.compressor.threshold, 0.1f);
    EXPECT_FLOAT_EQ(band.compressor.makeup, 1.9952623f);
    EXPECT_FLOAT_EQ(band.gainOnlyGain, 0.5011872f);
}

// ---------------------------------------------------------------------------------------------------
// Meters and block shapes

TEST_F(MultiBandTest, MetersReportBandsAndOutput)
{
    apply(
        [](MasterBlock& m)
        {
            makeNeutral(m);
            m.bands[3].bandOff = 1;
        });
    MetersBlock& meter = meters();
    std::fill(std::begin(meter.values), std::end(meter.values), -5.0f);
    const std::vector<float> input = signals::interleave(
        {signals::sine(150.0, kRate, 4096, 0.5), signals::sine(150.0, kRate, 4096, 0.25)});
    const std::vector<float> output = run(input, 2, 4096 / 2);

    EXPECT_EQ(meter.values[kMeterVirtualBassGain], 1.0f);
    EXPECT_EQ(meter.values[kMeterBandGain0 + 3], 1.0f);
    EXPECT_EQ(meter.values[kMeterBandPeak0 + 3], 0.0f);
    for (int b : {0, 1, 2, 4})
        EXPECT_EQ(meter.values[kMeterBandGain0 + b], 1.0f) << b; // ratio 1
    // 150 Hz sits in band 1 (100 .. 300 Hz); its level meter holds channel 1's peak.
    EXPECT_NEAR(meter.values[kMeterBandPeak0 + 1], 0.25 * 0.8, 0.05);
    EXPECT_LT(meter.values[kMeterBandPeak0 + 4], 0.001);
    const std::vector<float> lastBlock(output.begin() + 4096, output.end());
    EXPECT_EQ(meter.values[kMeterMultiBandPeak0], signals::peak(signals::channelOf(lastBlock, 2, 0)));
    EXPECT_EQ(meter.values[kMeterMultiBandPeak1], signals::peak(signals::channelOf(lastBlock, 2, 1)));
}

TEST_F(MultiBandTest, BypassedModuleOnlyMeters)
{
    apply([](MasterBlock& m) { m.multiBandCore.bypass = 1; });
    MetersBlock& meter = meters();
    std::fill(std::begin(meter.values), std::end(meter.values), -5.0f);
    const std::vector<float> input =
        signals::interleave({signals::noise(300, 0.7), signals::noise(300, 0.2, 99u)});
    EXPECT_EQ(run(input, 2), input);
    EXPECT_EQ(meter.values[kMeterVirtualBassGain], 1.0f);
    for (int b = 0; b < kNumBands; ++b)
    {
        EXPECT_EQ(meter.values[kMeterBandGain0 + b], 1.0f);
        EXPECT_EQ(meter.values[kMeterBandPeak0 + b], 0.0f);
    }
    EXPECT_EQ(meter.values[kMeterMultiBandPeak0], signals::peak(signals::channelOf(input, 2, 0)));
    EXPECT_EQ(meter.values[kMeterMultiBandPeak1], signals::peak(signals::channelOf(input, 2, 1)));
    EXPECT_EQ(meter.values[kMeterOutputLimiterGain], -5.0f);
}

TEST_F(MultiBandTest, UnsupportedBlockShapesAreLeftAlone)
{
    MetersBlock& meter = meters();
    std::fill(std::begin(meter.values), std::end(meter.values), -5.0f);
    std::vector<float> samples = signals::noise(3 * 2049, 0.5);
    const std::vector<float> original = samples;
    VykMultiBandCompress(kInstance, samples.data(), nullptr, 2049, 1);
    VykMultiBandCompress(kInstance, samples.data(), nullptr, 100, 3);
    VykMultiBandCompress(kInstance, samples.data(), nullptr, -1, 2);
    VykMultiBandCompress(kInstance, samples.data(), nullptr, 100, 0);
    VykMultiBandCompress(kMaxInstances, samples.data(), nullptr, 100, 2);
    VykMultiBandCompress(kInstance, nullptr, nullptr, 100, 2);
    EXPECT_EQ(samples, original);
    EXPECT_EQ(meter.values[kMeterBandGain0], -5.0f);

    // An empty block is valid: nothing to process, peaks of nothing.
    VykMultiBandCompress(kInstance, samples.data(), nullptr, 0, 2);
    EXPECT_EQ(samples, original);
    EXPECT_EQ(meter.values[kMeterMultiBandPeak0], 0.0f);
    EXPECT_EQ(meter.values[kMeterBandGain0], 1.0f);
}

TEST_F(MultiBandTest, SubwooferBufferReceivesSilenceWhileItsRoutingIsOff)
{
    apply([](MasterBlock& m) { m.multiBandCore.subwooferBandMask = 7; });
    std::vector<float> samples = signals::noise(2 * 256, 0.5);
    std::vector<float> sub(256, 9.0f);
    std::vector<float> plain = samples;
    VykMultiBandCompress(kInstance, samples.data(), sub.data(), 256, 2);
    EXPECT_EQ(sub, std::vector<float>(256, 0.0f));
    // Every band still reaches the main output.
    ASSERT_EQ(PlatformInit(nullptr, nullptr), 0);
    MultiBandSetSampleRate(kInstance, kRate);
    apply([](MasterBlock& m) { m.multiBandCore.subwooferBandMask = 7; });
    VykMultiBandCompress(kInstance, plain.data(), nullptr, 256, 2);
    EXPECT_EQ(samples, plain);
}

} // namespace
