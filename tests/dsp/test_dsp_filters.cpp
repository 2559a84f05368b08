// Filter sections measured like a listener would: frequency responses from impulse responses against
// the analytic transfer functions, crossover sums, null tests and exact ramp counts.
#include "dsp/Dsp.h"
#include "support/Signals.h"

#include <gtest/gtest.h>

#include <array>
#include <complex>
#include <functional>
#include <memory>
#include <vector>

namespace
{
using cplx = std::complex<double>;
using signals::kPi;

// Long enough for the slowest section tested (a Q 8 bell at 100 Hz, 192 kHz) to decay below -120 dB.
constexpr int kResponseLength = 1 << 17;

cplx unitDelay(double freqHz, double sampleRate)
{
    return std::polar(1.0, -2.0 * kPi * freqHz / sampleRate);
}

// Bilinear-transform prototype variable: tan(w / 2) / tan(w0 / 2), the analog frequency relative to
// the corner at which the digital design is prewarped.
double prewarpedRatio(double freqHz, double cornerHz, double sampleRate)
{
    return std::tan(kPi * freqHz / sampleRate) / std::tan(kPi * cornerHz / sampleRate);
}

// Complex response error within `relative` of the expected value plus `absolute` (re unity gain).
// relative 1e-3 is +-0.009 dB and +-0.06 degrees. The absolute term covers the rounding noise of float
// recursions whose poles sit close to z = 1 (low corners at high rates), seen only far down a stop band.
void expectResponseNear(cplx measured, cplx expected, double relative, double absolute)
{
    EXPECT_LE(std::abs(measured - expected), absolute + relative * std::abs(expected))
        << "measured " << signals::toDb(std::abs(measured)) << " dB, "
        << signals::radiansToDegrees(std::arg(measured)) << " deg; expected "
        << signals::toDb(std::abs(expected)) << " dB, " << signals::radiansToDegrees(std::arg(expected))
        << " deg";
}

std::vector<double> testFrequencies(double sampleRate)
{
    return signals::logFrequencies(20.0, 0.45 * sampleRate, 25);
}

// ---------------------------------------------------------------------------------------------------
// Bell section

// Regalia-Mitra bell: (1 + G) / 2 + (1 - G) / 2 A(z), A the second-order all-pass with its -180 degree
// point at f0 and bandwidth w0 / Q, designed in double precision.
cplx bellResponse(double f0, double q, double gain, double sampleRate, double freqHz)
{
    const double w0 = 2.0 * kPi * f0 / sampleRate;
    if (w0 / q >= kPi)
    {
        q = 1.05 * w0 / kPi;
    }
    const double t = std::tan(w0 / q / 2.0);
    const double k2 = (1.0 - t) / (1.0 + t);
    const double k1 = -(1.0 + k2) * std::cos(w0);
    const cplx z1 = unitDelay(freqHz, sampleRate);
    const cplx z2 = z1 * z1;
    const cplx allPass = (k2 + k1 * z1 + z2) / (1.0 + k1 * z1 + k2 * z2);
    return (1.0 + gain) / 2.0 + (1.0 - gain) / 2.0 * allPass;
}

struct BellCase
{
    int sampleRate;
    int freqHz;
    float q;
    float gain;
    double absoluteTolerance; // see expectResponseNear
};

// Runs silent blocks until a gain ramp has completed, then clears the histories.
void settleGain(LatticeFilter& filter, LatticeState* states)
{
    float silence[16] = {};
    while (filter.gainStep != 0.0f)
    {
        lattice(1, &states[0], &filter, silence, 16);
    }
    states[0] = LatticeState{};
}

class BellResponse : public ::testing::TestWithParam<BellCase>
{
};

TEST_P(BellResponse, MatchesAnalyticCurveAndHitsGainAtCentre)
{
    const BellCase c = GetParam();
    LatticeFilter filter;
    LatticeState states[kLatticeChannels];
    LatticeInit(&filter, states, c.sampleRate);
    LatticeSetFreqAndQ(&filter, c.freqHz, c.sampleRate, c.q);
    LatticeSetGain(&filter, c.gain);
    settleGain(filter, states);
    ASSERT_EQ(filter.currentGain, c.gain);

    const std::vector<float> ir = signals::impulseResponse(
        [&](float* x, int n) { lattice(1, &states[0], &filter, x, n); }, kResponseLength);

    for (double f : testFrequencies(c.sampleRate))
    {
        SCOPED_TRACE(f);
        expectResponseNear(signals::dftAt(ir, f, c.sampleRate),
                           bellResponse(c.freqHz, c.q, c.gain, c.sampleRate, f), 1e-3, c.absoluteTolerance);
    }
    // The all-pass returns -x at the centre: the section's gain there is the current gain.
    const double centreToleranceDb = c.absoluteTolerance > 1e-4 ? 0.01 : 0.002;
    EXPECT_NEAR(signals::toDb(std::abs(signals::dftAt(ir, c.freqHz, c.sampleRate))), signals::toDb(c.gain),
                centreToleranceDb);
}

// The last case sits where float coefficients and histories limit a lattice section (f0 / fs = 5e-4,
// Q 8): it still matches within 0.06 dB.
INSTANTIATE_TEST_SUITE_P(
    Bell, BellResponse,
    ::testing::Values(BellCase{44100, 1000, 1.0f, 10.0f, 1e-4}, BellCase{44100, 850, 1.8f, 1.05f, 1e-4},
                      BellCase{44100, 3000, 4.0f, 0.1f, 1e-4}, BellCase{44100, 20000, 0.4f, 4.0f, 1e-4},
                      BellCase{48000, 60, 0.7f, 3.0f, 1e-4}, BellCase{48000, 100, 8.0f, 0.5f, 1e-4},
                      BellCase{96000, 8000, 1.5f, 0.25f, 1e-4}, BellCase{96000, 12000, 2.0f, 1.5f, 1e-4},
                      BellCase{192000, 1000, 0.5f, 0.2f, 1e-4}, BellCase{192000, 100, 8.0f, 2.0f, 1e-2}));

TEST(Bell, InitIsTransparentAt850HzQ18)
{
    LatticeFilter filter;
    LatticeState states[kLatticeChannels] = {{1, 2, 3, 4}, {5, 6, 7, 8}};
    LatticeInit(&filter, states, 44100);
    EXPECT_EQ(filter.frequency, 850);
    EXPECT_FLOAT_EQ(filter.q, 1.8f);
    EXPECT_EQ(filter.gain, 1.0f);
    EXPECT_EQ(filter.bypass, 0);
    EXPECT_EQ(filter.smoothing, 1);
    for (const LatticeState& s : states)
    {
        EXPECT_EQ(s.x1, 0.0f);
        EXPECT_EQ(s.x2, 0.0f);
        EXPECT_EQ(s.y1, 0.0f);
        EXPECT_EQ(s.y2, 0.0f);
    }
    const std::vector<float> input = signals::noise(1024);
    std::vector<float> output = input;
    lattice(1, &states[0], &filter, output.data(), 1024);
    EXPECT_EQ(output, input); // direct mix 1, all-pass mix 0
}

TEST(Bell, SettersClampFrequencyQAndGain)
{
    LatticeFilter filter;
    LatticeState states[kLatticeChannels];
    LatticeInit(&filter, states, 44100);

    LatticeSetFreqAndQ(&filter, 10, 44100, 20.0f);
    EXPECT_EQ(filter.frequency, 28);
    EXPECT_EQ(filter.q, 8.0f);

    LatticeSetFreqAndQ(&filter, 30000, 192000, 0.1f);
    EXPECT_EQ(filter.frequency, 20000);
    EXPECT_EQ(filter.q, 0.4f);

    // 20 kHz at 44.1 kHz with Q 0.4: w / Q is above pi, so Q is raised to 1.05 w / pi.
    LatticeSetFreqAndQ(&filter, 20000, 44100, 0.4f);
    const float w = 6.28318548f * 20000.0f / 44100.0f;
    EXPECT_EQ(filter.q, 1.05f * w / 3.14159274f);
    EXPECT_GT(filter.q, 0.4f);

    filter.smoothing = 0;
    LatticeSetGain(&filter, 0.01f);
    EXPECT_EQ(filter.gain, 0.1f);
    LatticeSetGain(&filter, 100.0f);
    EXPECT_EQ(filter.gain, 10.0f);
}

// Counts processed blocks until the ramp has settled.
int blocksToSettle(LatticeFilter& filter, LatticeState& state, int callsPerBlock)
{
    std::vector<float> block(64, 0.0f);
    int blocks = 0;
    while (filter.gainStep != 0.0f && blocks < 10000)
    {
        const float before = filter.currentGain;
        for (int call = 0; call < callsPerBlock; ++call)
        {
            lattice(1, &state, &filter, block.data(), 64);
        }
        if (filter.gainStep != 0.0f)
        {
            EXPECT_NEAR(std::fabs(filter.currentGain - before), callsPerBlock * kLatticeGainStep, 1e-5f)
                << "block " << blocks;
        }
        // The mixes always follow the gain in effect.
        EXPECT_EQ(filter.directMix, (1.0f + filter.currentGain) / 2.0f);
        EXPECT_EQ(filter.allPassMix, (1.0f - filter.currentGain) / 2.0f);
        ++blocks;
        if (filter.gainStep == 0.0f)
        {
            break;
        }
    }
    return blocks;
}

TEST(Bell, LargeGainChangesRampOneStepPerProcessedBlock)
{
    LatticeFilter filter;
    LatticeState states[kLatticeChannels];
    LatticeInit(&filter, states, 48000);

    LatticeSetGain(&filter, 10.0f);
    EXPECT_EQ(filter.gain, 10.0f);
    EXPECT_EQ(filter.currentGain, 1.0f);
    EXPECT_EQ(filter.gainStep, kLatticeGainStep);
    // 9 / 0.0592537262 = 151.9: 151 full steps and a last one clamped to the target.
    int steps = 0;
    std::vector<float> block(64, 0.0f);
    while (filter.gainStep != 0.0f)
    {
        const float expected = filter.currentGain + kLatticeGainStep;
        lattice(1, &states[0], &filter, block.data(), 64);
        ++steps;
        if (filter.gainStep != 0.0f)
        {
            ASSERT_EQ(filter.currentGain, expected) << "step " << steps;
        }
        ASSERT_LT(steps, 1000);
    }
    EXPECT_EQ(steps, 152);
    EXPECT_EQ(filter.currentGain, 10.0f);
    EXPECT_EQ(filter.directMix, 5.5f);
    EXPECT_EQ(filter.allPassMix, -4.5f);

    // Down again: also 152 steps, the last clamped.
    LatticeSetGain(&filter, 1.0f);
    EXPECT_EQ(filter.gainStep, -kLatticeGainStep);
    EXPECT_EQ(blocksToSettle(filter, states[0], 1), 152);
    EXPECT_EQ(filter.currentGain, 1.0f);

    // Two channel calls per block advance the ramp twice per block.
    LatticeSetGain(&filter, 10.0f);
    EXPECT_EQ(blocksToSettle(filter, states[0], 2), 76);
    EXPECT_EQ(filter.currentGain, 10.0f);
}

TEST(Bell, SmallChangesApplyAtOnceAndBypassHoldsTheRamp)
{
    LatticeFilter filter;
    LatticeState states[kLatticeChannels];
    LatticeInit(&filter, states, 44100);

    LatticeSetGain(&filter, 1.05f); // 0.05 below the step: no ramp
    EXPECT_EQ(filter.currentGain, 1.05f);
    EXPECT_EQ(filter.targetGain, 1.05f);
    EXPECT_EQ(filter.gainStep, 0.0f);
    EXPECT_FLOAT_EQ(filter.directMix, 1.025f);

    // The boundary: one step or less applies at once, anything more ramps.
    LatticeSetGain(&filter, 1.05f + 0.0592f);
    EXPECT_EQ(filter.gainStep, 0.0f);
    LatticeSetGain(&filter, filter.currentGain - 0.0593f);
    EXPECT_EQ(filter.gainStep, -kLatticeGainStep);
    EXPECT_EQ(filter.targetGain, 1.05f + 0.0592f - 0.0593f);
    LatticeSetGain(&filter, 1.05f);
    EXPECT_EQ(filter.gainStep, 0.0f) << "back within one step of the current gain";

    LatticeSetGain(&filter, 0.5f);
    LatticeSetBypass(&filter, 1);
    std::vector<float> block = signals::noise(64);
    const std::vector<float> untouched = block;
    lattice(1, &states[0], &filter, block.data(), 64);
    EXPECT_EQ(block, untouched);
    EXPECT_EQ(filter.currentGain, 1.05f) << "a bypassed band does not advance its ramp";
    EXPECT_EQ(states[0].x1, 0.0f);
}

TEST(Bell, StereoChannelsRunOnTheirOwnHistories)
{
    LatticeFilter filter;
    LatticeState states[kLatticeChannels];
    LatticeInit(&filter, states, 48000);
    filter.smoothing = 0;
    LatticeSetFreqAndQ(&filter, 2000, 48000, 2.0f);
    LatticeSetGain(&filter, 4.0f);
    LatticeFilter mono = filter;
    LatticeState monoStates[2] = {};

    const std::vector<float> left = signals::noise(700, 0.5, 1);
    const std::vector<float> right = signals::noise(700, 0.5, 2);
    std::vector<float> stereo = signals::interleave({left, right});
    std::vector<float> expectedLeft = left;
    std::vector<float> expectedRight = right;
    for (int start = 0; start < 700; start += 100)
    {
        lattice(2, &states[0], &filter, stereo.data() + 2 * start, 100);
        lattice(2, &states[1], &filter, stereo.data() + 2 * start + 1, 100);
        lattice(1, &monoStates[0], &mono, expectedLeft.data() + start, 100);
        lattice(1, &monoStates[1], &mono, expectedRight.data() + start, 100);
    }
    EXPECT_EQ(signals::channelOf(stereo, 2, 0), expectedLeft);
    EXPECT_EQ(signals::channelOf(stereo, 2, 1), expectedRight);
}

// ---------------------------------------------------------------------------------------------------
// Shelf section

// First-order all-pass (a - z^-1) / (1 - a z^-1) with a from the 1000 pi / fs approximation.
double shelfAllPassCoefficient(double sampleRate)
{
    const double t = 1000.0 * kPi / sampleRate;
    return (1.0 - t) / (1.0 + t);
}

cplx shelfResponse(double gain, bool lowShelf, double sampleRate, double freqHz)
{
    const double g = gain > 1.0 ? 1.0 / gain : gain;
    const double a = shelfAllPassCoefficient(sampleRate);
    const cplx z1 = unitDelay(freqHz, sampleRate);
    const cplx allPass = (a - z1) / (1.0 - a * z1);
    const double am = (1.0 - g) / 2.0;
    const cplx cut = (1.0 + g) / 2.0 + (lowShelf ? am : -am) * allPass;
    return gain > 1.0 ? 1.0 / cut : cut;
}

void setupShelf(ShelfFilter& filter, float gain, int isLowShelf, float sampleRate)
{
    filter = ShelfFilter{};
    compute_ShelfFilter_coef(&filter, sampleRate);
    ShelfSetIsLowShelf(&filter, isLowShelf);
    ShelfSetGain(&filter, gain);
}

TEST(Shelf, MatchesAnalyticCurveForCutsAndBoosts)
{
    for (float sampleRate : {44100.0f, 48000.0f, 96000.0f, 192000.0f})
    {
        for (int isLowShelf : {1, 0})
        {
            for (float gain : {0.2511885f, 0.5f, 0.9f, 1.0f, 1.5f, 3.9810718f})
            {
                SCOPED_TRACE(::testing::Message()
                             << sampleRate << " Hz, low " << isLowShelf << ", gain " << gain);
                ShelfFilter filter;
                setupShelf(filter, gain, isLowShelf, sampleRate);
                ShelfState state{};
                const std::vector<float> ir = signals::impulseResponse(
                    [&](float* x, int n) { shelf(1, &state, &filter, x, n); }, 1 << 15);
                for (double f : testFrequencies(sampleRate))
                {
                    SCOPED_TRACE(f);
                    expectResponseNear(signals::dftAt(ir, f, sampleRate),
                                       shelfResponse(gain, isLowShelf, sampleRate, f), 1e-3, 1e-4);
                }
                // Shelf gain at 0 Hz (low) or Nyquist (high), unity at the other end.
                const double dc = std::abs(signals::dftAt(ir, 0.0, sampleRate));
                const double nyquist = std::abs(signals::dftAt(ir, sampleRate / 2.0, sampleRate));
                EXPECT_NEAR(isLowShelf ? dc : nyquist, gain, 1e-4 * gain);
                EXPECT_NEAR(isLowShelf ? nyquist : dc, 1.0, 1e-4);
                // Mid-shelf point (power average of the two plateaus) where the all-pass turns by -90
                // degrees: tan(w / 2) = 1000 pi / fs, just below 1 kHz.
                const double transitionHz = sampleRate / kPi * std::atan(1000.0 * kPi / sampleRate);
                const double g = gain > 1.0f ? 1.0 / gain : gain;
                const double midPower = (1.0 + g * g) / 2.0;
                const double measured = std::norm(signals::dftAt(ir, transitionHz, sampleRate));
                EXPECT_NEAR(measured, gain > 1.0f ? 1.0 / midPower : midPower, 1e-4);
            }
        }
    }
}

TEST(Shelf, BoostStructureExactlyInvertsTheCut)
{
    const std::vector<float> input = signals::noise(4096, 0.5);
    for (float sampleRate : {44100.0f, 96000.0f})
    {
        for (int isLowShelf : {1, 0})
        {
            for (float boostGain : {1.0001f, 1.4125375f, 2.0f, 3.9810718f})
            {
                SCOPED_TRACE(::testing::Message()
                             << sampleRate << " Hz, low " << isLowShelf << ", gain " << boostGain);
                ShelfFilter boost;
                ShelfFilter cut;
                setupShelf(boost, boostGain, isLowShelf, sampleRate);
                setupShelf(cut, 1.0f / boostGain, isLowShelf, sampleRate);
                ASSERT_EQ(boost.boost, 1);
                ASSERT_EQ(cut.boost, 0);
                ASSERT_EQ(boost.g, cut.g);

                ShelfState boostState{};
                ShelfState cutState{};
                std::vector<float> x = input;
                shelf(1, &cutState, &cut, x.data(), 4096);
                shelf(1, &boostState, &boost, x.data(), 4096);
                EXPECT_LT(signals::maxAbsDifference(x, input), 2e-6);

                boostState = {};
                cutState = {};
                x = input;
                shelf(1, &boostState, &boost, x.data(), 4096);
                shelf(1, &cutState, &cut, x.data(), 4096);
                EXPECT_LT(signals::maxAbsDifference(x, input), 2e-6);
            }
        }
    }
}

TEST(Shelf, GainClampsAndStructureSwitch)
{
    ShelfFilter filter;
    setupShelf(filter, 1.0f, 1, 48000.0f);
    EXPECT_EQ(filter.boost, 0);
    EXPECT_EQ(filter.g, 1.0f);
    EXPECT_EQ(filter.dm, 1.0f);
    EXPECT_EQ(filter.am, 0.0f);
    ShelfState state{};
    const std::vector<float> input = signals::noise(512);
    std::vector<float> x = input;
    shelf(1, &state, &filter, x.data(), 512);
    EXPECT_EQ(x, input) << "unity gain is transparent";

    ShelfSetGain(&filter, 1.0001f);
    EXPECT_EQ(filter.boost, 1);
    EXPECT_EQ(filter.g, 1.0f / 1.0001f);
    EXPECT_GT(filter.boostNorm, 0.0f);

    ShelfSetGain(&filter, 0.1f);
    EXPECT_EQ(ShelfGetGain(&filter), 0.251188487f);
    EXPECT_EQ(filter.boostNorm, 0.0f);
    ShelfSetGain(&filter, 10.0f);
    EXPECT_EQ(ShelfGetGain(&filter), 3.98107171f);

    // Switching the side renormalises a boost: 2 / (g + 1 -+ (1 - g) a).
    const float lowNorm = filter.boostNorm;
    ShelfSetIsLowShelf(&filter, 0);
    EXPECT_EQ(ShelfGetIsLowShelf(&filter), 0);
    EXPECT_EQ(filter.boostNorm, 2.0f / (filter.g + 1.0f + -1.0f * (1.0f - filter.g) * filter.a));
    EXPECT_NE(filter.boostNorm, lowNorm);

    ShelfSetBypass(&filter, 1);
    EXPECT_EQ(ShelfGetBypass(&filter), 1);
    x = input;
    const ShelfState before = state;
    shelf(1, &state, &filter, x.data(), 512);
    EXPECT_EQ(x, input);
    EXPECT_EQ(state.s, before.s);
}

// ---------------------------------------------------------------------------------------------------
// Linkwitz-Riley section

// Bilinear transform of the fourth-order Linkwitz-Riley prototype (squared Butterworth, Q = 1/sqrt 2)
// prewarped at the crossover.
cplx linkwitzRileyResponse(bool lowPass, double crossoverHz, double sampleRate, double freqHz)
{
    const double r = prewarpedRatio(freqHz, crossoverHz, sampleRate);
    const cplx s(0.0, r);
    const cplx butterworth = 1.0 / (s * s + std::sqrt(2.0) * s + 1.0);
    const cplx section = lowPass ? butterworth : s * s * butterworth;
    return section * section;
}

std::vector<float> linkwitzRileyImpulse(int frequency, int sampleRate, int isLowPass, int length)
{
    LinkwitzRileyFilter filter;
    LinkwitzRileyState states[kLinkwitzRileyChannels];
    LinkwitzRileyInit(&filter, states);
    LinkwitzRileyFilterSetFreqAndIsLowPass(&filter, frequency, sampleRate, isLowPass);
    return signals::impulseResponse([&](float* x, int n) { linkwitzRiley(1, &states[0], &filter, x, x, n); },
                                    length);
}

TEST(LinkwitzRiley, LowAndHighPassMatchAnalyticCurvesAndSumToAnAllPass)
{
    struct Case
    {
        int sampleRate;
        int crossoverHz;
    };
    // Corners down to f / fs = 1.8e-3. Below that the float coefficients themselves drift (at 192 kHz a
    // 40 Hz crossover sits 0.4 dB low), a limit of single-precision biquads rather than of the code.
    const Case cases[] = {{44100, 80},  {44100, 850},   {48000, 2500},  {48000, 12000},
                          {96000, 200}, {96000, 20000}, {192000, 1000}, {192000, 400}};
    for (const Case& c : cases)
    {
        SCOPED_TRACE(::testing::Message() << c.sampleRate << " Hz, crossover " << c.crossoverHz);
        const std::vector<float> lowIr =
            linkwitzRileyImpulse(c.crossoverHz, c.sampleRate, 1, kResponseLength);
        const std::vector<float> highIr =
            linkwitzRileyImpulse(c.crossoverHz, c.sampleRate, 0, kResponseLength);
        std::vector<double> frequencies = testFrequencies(c.sampleRate);
        frequencies.push_back(c.crossoverHz);
        for (double f : frequencies)
        {
            SCOPED_TRACE(f);
            const cplx low = signals::dftAt(lowIr, f, c.sampleRate);
            const cplx high = signals::dftAt(highIr, f, c.sampleRate);
            const cplx expectedLow = linkwitzRileyResponse(true, c.crossoverHz, c.sampleRate, f);
            const cplx expectedHigh = linkwitzRileyResponse(false, c.crossoverHz, c.sampleRate, f);
            expectResponseNear(low, expectedLow, 1e-3, 3e-4);
            expectResponseNear(high, expectedHigh, 1e-3, 3e-4);
            // The two bands are in phase and sum to a flat magnitude.
            EXPECT_NEAR(signals::toDb(std::abs(low + high)), 0.0, 0.005);
        }
        const double lowAtCrossover = std::abs(signals::dftAt(lowIr, c.crossoverHz, c.sampleRate));
        const double highAtCrossover = std::abs(signals::dftAt(highIr, c.crossoverHz, c.sampleRate));
        EXPECT_NEAR(signals::toDb(lowAtCrossover), -6.0206, 0.005);
        EXPECT_NEAR(signals::toDb(highAtCrossover), -6.0206, 0.005);
    }
}

TEST(LinkwitzRiley, FrequencyLimits)
{
    LinkwitzRileyFilter filter{};
    compute_LinkwitzRiley_lp(20000.0f, &filter, 8000.0f);
    EXPECT_EQ(filter.frequency, 3900); // sampleRate / 2 - 100
    EXPECT_EQ(filter.isLowPass, 1);
    compute_LinkwitzRiley_hp(1234.9f, &filter, 48000.0f);
    EXPECT_EQ(filter.frequency, 1234); // truncated
    EXPECT_EQ(filter.isLowPass, 0);
    compute_LinkwitzRiley_lp(5.0f, &filter, 48000.0f);
    EXPECT_EQ(filter.frequency, 20);

    LinkwitzRileyFilterSetFreqAndIsLowPass(&filter, 30000, 96000, 1);
    EXPECT_EQ(filter.frequency, 20000);
    LinkwitzRileyFilterSetFreqAndIsLowPass(&filter, 10, 44100, 0);
    EXPECT_EQ(filter.frequency, 20);
    EXPECT_EQ(filter.isLowPass, 0);
    LinkwitzRileyFilterSetFreqAndIsLowPass(&filter, 22000, 44100, 1);
    EXPECT_EQ(filter.frequency, 20000);
    LinkwitzRileyFilterSetFreqAndIsLowPass(&filter, 20000, 32000, 1);
    EXPECT_EQ(filter.frequency, 15900);
}

TEST(LinkwitzRiley, InitSilencesUntilTunedAndBypassLeavesOutputAlone)
{
    LinkwitzRileyFilter filter{};
    filter.frequency = 1234;
    LinkwitzRileyState states[kLinkwitzRileyChannels];
    states[1].z2 = 3.0f;
    LinkwitzRileyInit(&filter, states);
    EXPECT_EQ(filter.frequency, 1234) << "the frequency field is kept";
    EXPECT_EQ(filter.isLowPass, 1);
    EXPECT_EQ(states[1].z2, 0.0f);

    const std::vector<float> input = signals::noise(256);
    std::vector<float> output(256, 7.0f);
    linkwitzRiley(1, &states[0], &filter, input.data(), output.data(), 256);
    EXPECT_EQ(signals::peak(output), 0.0);

    LinkwitzRileyFilterSetFreqAndIsLowPass(&filter, 1000, 48000, 1);
    LinkwitzRileyFilterSetBypass(&filter, 1);
    std::fill(output.begin(), output.end(), 7.0f);
    const LinkwitzRileyState before = states[0];
    linkwitzRiley(1, &states[0], &filter, input.data(), output.data(), 256);
    EXPECT_EQ(output, std::vector<float>(256, 7.0f));
    EXPECT_EQ(states[0].x1, before.x1) << "a bypassed section does not advance its history";
    EXPECT_EQ(states[0].z1, before.z1);

    LinkwitzRileyFilterSetBypass(&filter, 0);
    linkwitzRiley(1, &states[0], &filter, input.data(), output.data(), 0);
    EXPECT_EQ(output, std::vector<float>(256, 7.0f));
}

TEST(LinkwitzRiley, SeparateOutputAndStrideMatchInPlaceMono)
{
    LinkwitzRileyFilter filter;
    LinkwitzRileyState states[kLinkwitzRileyChannels];
    LinkwitzRileyInit(&filter, states);
    LinkwitzRileyFilterSetFreqAndIsLowPass(&filter, 500, 44100, 0);
    LinkwitzRileyState monoStates[2] = {};

    const std::vector<float> left = signals::noise(1000, 0.5, 3);
    const std::vector<float> right = signals::noise(1000, 0.5, 4);
    const std::vector<float> stereo = signals::interleave({left, right});
    std::vector<float> output(stereo.size(), 0.0f);
    std::vector<float> expectedLeft = left;
    std::vector<float> expectedRight = right;
    for (int start = 0; start < 1000; start += 250)
    {
        linkwitzRiley(2, &states[0], &filter, stereo.data() + 2 * start, output.data() + 2 * start, 250);
        linkwitzRiley(2, &states[1], &filter, stereo.data() + 2 * start + 1, output.data() + 2 * start + 1,
                      250);
        linkwitzRiley(1, &monoStates[0], &filter, expectedLeft.data() + start, expectedLeft.data() + start,
                      250);
        linkwitzRiley(1, &monoStates[1], &filter, expectedRight.data() + start, expectedRight.data() + start,
                      250);
    }
    EXPECT_EQ(signals::channelOf(output, 2, 0), expectedLeft);
    EXPECT_EQ(signals::channelOf(output, 2, 1), expectedRight);
}

// ---------------------------------------------------------------------------------------------------
// All-pass section

// Bilinear transform of (s^2 - s / Q + 1) / (s^2 + s / Q + 1) prewarped at its frequency.
cplx allPassResponse(double freqHz0, double q, double sampleRate, double freqHz)
{
    const cplx s(0.0, prewarpedRatio(freqHz, freqHz0, sampleRate));
    return (s * s - s / q + 1.0) / (s * s + s / q + 1.0);
}

TEST(AllPass, UnitMagnitudeAndAnalyticPhase)
{
    struct Case
    {
        int sampleRate;
        int freqHz;
        float q;
    };
    const Case cases[] = {{44100, 850, 1.0f},
                          {44100, 100, 0.1f},
                          {48000, 5000, 8.0f},
                          {96000, 200, 0.7f},
                          {192000, 15000, 2.0f}};
    for (const Case& c : cases)
    {
        SCOPED_TRACE(::testing::Message() << c.sampleRate << " Hz, " << c.freqHz << " Hz, Q " << c.q);
        AllPassFilter filter;
        AllPassInit(&filter);
        AllPassSetQuality(&filter, c.sampleRate, c.q);
        AllPassSetFreq(&filter, c.freqHz, c.sampleRate);
        const std::vector<float> ir = signals::impulseResponse(
            [&](float* x, int n) { allPass(1, 0, &filter, x, x, n); }, kResponseLength);
        for (double f : testFrequencies(c.sampleRate))
        {
            SCOPED_TRACE(f);
            const cplx measured = signals::dftAt(ir, f, c.sampleRate);
            EXPECT_NEAR(signals::toDb(std::abs(measured)), 0.0, 0.005);
            expectResponseNear(measured, allPassResponse(c.freqHz, c.q, c.sampleRate, f), 1e-3, 3e-4);
        }
        const cplx atFrequency = signals::dftAt(ir, c.freqHz, c.sampleRate);
        EXPECT_NEAR(std::fabs(signals::radiansToDegrees(std::arg(atFrequency))), 180.0, 0.1);
    }
}

TEST(AllPass, SettersClampAndStoreOnlyWhatTheyName)
{
    AllPassFilter filter;
    AllPassInit(&filter);
    AllPassSetQuality(&filter, 48000, 20.0f);
    EXPECT_EQ(filter.q, 8.0f);
    AllPassSetQuality(&filter, 48000, 0.01f);
    EXPECT_EQ(filter.q, 0.1f);
    AllPassSetFreq(&filter, 5, 48000);
    EXPECT_EQ(filter.frequency, 28);
    AllPassSetFreq(&filter, 25000, 48000);
    EXPECT_EQ(filter.frequency, 20000);

    computeAllPass(&filter, 1000.0f, 2.0f, 48000.0f);
    EXPECT_EQ(filter.frequency, 20000);
    EXPECT_EQ(filter.q, 0.1f);
    EXPECT_EQ(filter.b2, 1.0f);
    EXPECT_EQ(filter.a1, filter.b1);
    EXPECT_EQ(filter.a2, filter.b0);

    filter.history[1].y2 = 5.0f;
    AllPassInit(&filter);
    EXPECT_EQ(filter.frequency, 0);
    EXPECT_EQ(filter.q, 0.0f);
    EXPECT_EQ(filter.b0, 0.0f);
    EXPECT_EQ(filter.history[1].y2, 0.0f);
}

TEST(AllPass, ChannelsKeepSeparateHistoriesAndBypassLeavesOutputAlone)
{
    AllPassFilter filter;
    AllPassInit(&filter);
    AllPassSetQuality(&filter, 44100, 1.0f);
    AllPassSetFreq(&filter, 1000, 44100);
    AllPassFilter mono0 = filter;
    AllPassFilter mono1 = filter;

    const std::vector<float> left = signals::noise(600, 0.5, 5);
    const std::vector<float> right = signals::noise(600, 0.5, 6);
    std::vector<float> stereo = signals::interleave({left, right});
    std::vector<float> expectedLeft = left;
    std::vector<float> expectedRight = right;
    for (int start = 0; start < 600; start += 200)
    {
        allPass(2, 0, &filter, stereo.data() + 2 * start, stereo.data() + 2 * start, 200);
        allPass(2, 1, &filter, stereo.data() + 2 * start + 1, stereo.data() + 2 * start + 1, 200);
        allPass(1, 0, &mono0, expectedLeft.data() + start, expectedLeft.data() + start, 200);
        allPass(1, 0, &mono1, expectedRight.data() + start, expectedRight.data() + start, 200);
    }
    EXPECT_EQ(signals::channelOf(stereo, 2, 0), expectedLeft);
    EXPECT_EQ(signals::channelOf(stereo, 2, 1), expectedRight);

    AllPassSetBypass(&filter, 1);
    std::vector<float> output(600, 7.0f);
    allPass(1, 0, &filter, left.data(), output.data(), 600);
    EXPECT_EQ(output, std::vector<float>(600, 7.0f));
}

// ---------------------------------------------------------------------------------------------------
// Resonant low-pass

TEST(ResonantLowPass, MatchesAnalyticCurveWithPeakOfQAtTheCorner)
{
    struct Case
    {
        int sampleRate;
        float freqHz;
        float q;
    };
    const Case cases[] = {
        {44100, 100.0f, 0.7071068f}, {48000, 350.0f, 0.2f}, {48000, 80.0f, 2.0f}, {96000, 2000.0f, 5.0f}};
    for (const Case& c : cases)
    {
        SCOPED_TRACE(::testing::Message() << c.sampleRate << " Hz, " << c.freqHz << " Hz, Q " << c.q);
        ResonantLowPass filter{};
        filter.frequency = c.freqHz;
        filter.q = c.q;
        compute_rlpf(&filter, c.sampleRate);
        const std::vector<float> ir =
            signals::impulseResponse([&](float* x, int n) { rlpf(&filter, x, n); }, kResponseLength);
        for (double f : testFrequencies(c.sampleRate))
        {
            SCOPED_TRACE(f);
            const cplx s(0.0, prewarpedRatio(f, c.freqHz, c.sampleRate));
            const cplx expected = 1.0 / (s * s + s / static_cast<double>(c.q) + 1.0);
            expectResponseNear(signals::dftAt(ir, f, c.sampleRate), expected, 1e-3, 3e-4);
        }
        EXPECT_NEAR(std::abs(signals::dftAt(ir, c.freqHz, c.sampleRate)), c.q, 1e-3 * c.q);
    }
}

// ---------------------------------------------------------------------------------------------------

// Histories carried across blocks: any split of a signal into blocks gives the same samples as one block.
TEST(Sections, BlockSizesDoNotChangeTheOutput)
{
    const int total = 3000;
    const std::vector<float> input = signals::noise(total, 0.7, 21);
    const int sizes[] = {1, 7, 64, 500, 2, 333, 2048};

    struct Section
    {
        const char* name;
        std::function<std::function<void(float*, int)>()> make; // fresh section, returns its process
    };
    const Section sections[] = {
        {"bell",
         []
         {
             auto filter = std::make_shared<LatticeFilter>();
             auto states = std::make_shared<std::array<LatticeState, 2>>();
             LatticeInit(filter.get(), states->data(), 48000);
             LatticeSetFreqAndQ(filter.get(), 700, 48000, 3.0f);
             filter->smoothing = 0;
             LatticeSetGain(filter.get(), 5.0f);
             return [=](float* x, int n) { lattice(1, &(*states)[0], filter.get(), x, n); };
         }},
        {"shelf boost",
         []
         {
             auto filter = std::make_shared<ShelfFilter>();
             auto state = std::make_shared<ShelfState>();
             setupShelf(*filter, 2.5f, 0, 48000.0f);
             return [=](float* x, int n) { shelf(1, state.get(), filter.get(), x, n); };
         }},
        {"linkwitz-riley",
         []
         {
             auto filter = std::make_shared<LinkwitzRileyFilter>();
             auto states = std::make_shared<std::array<LinkwitzRileyState, 2>>();
             LinkwitzRileyInit(filter.get(), states->data());
             LinkwitzRileyFilterSetFreqAndIsLowPass(filter.get(), 300, 48000, 1);
             return [=](float* x, int n) { linkwitzRiley(1, &(*states)[0], filter.get(), x, x, n); };
         }},
        {"all-pass",
         []
         {
             auto filter = std::make_shared<AllPassFilter>();
             AllPassInit(filter.get());
             AllPassSetQuality(filter.get(), 48000, 0.7f);
             AllPassSetFreq(filter.get(), 3000, 48000);
             return [=](float* x, int n) { allPass(1, 1, filter.get(), x, x, n); };
         }},
        {"resonant low-pass",
         []
         {
             auto filter = std::make_shared<ResonantLowPass>();
             filter->frequency = 150.0f;
             filter->q = 1.5f;
             compute_rlpf(filter.get(), 48000);
             return [=](float* x, int n) { rlpf(filter.get(), x, n); };
         }},
    };
    for (const Section& section : sections)
    {
        SCOPED_TRACE(section.name);
        std::vector<float> whole = input;
        section.make()(whole.data(), total);
        std::vector<float> pieces = input;
        const auto process = section.make();
        for (int start = 0, i = 0; start < total; ++i)
        {
            const int n = std::min(sizes[i % 7], total - start);
            process(pieces.data() + start, n);
            start += n;
        }
        EXPECT_EQ(pieces, whole);
    }
}

} // namespace
