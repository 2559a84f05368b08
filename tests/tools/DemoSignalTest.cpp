// The demo is what a new user hears first: it must be the same every time, 30 s of stereo with
// headroom, and have quiet and loud parts for the dynamics to work on.
#include "DemoSignal.h"
#include "Loudness.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace
{

using render::kDemoChannels;
using render::kDemoSampleRate;

class DemoSignal : public ::testing::Test
{
  protected:
    static void SetUpTestSuite() { sSignal = new std::vector<float>(render::generateDemoSignal()); }
    static void TearDownTestSuite()
    {
        delete sSignal;
        sSignal = nullptr;
    }

    static const std::vector<float>& signal() { return *sSignal; }

    static render::LoudnessResult measureSeconds(double fromSeconds, double toSeconds)
    {
        const size_t first = static_cast<size_t>(fromSeconds * kDemoSampleRate);
        const size_t last = static_cast<size_t>(toSeconds * kDemoSampleRate);
        render::LoudnessMeter meter(kDemoChannels, kDemoSampleRate);
        meter.add(signal().data() + first * kDemoChannels, static_cast<int>(last - first));
        return meter.result();
    }

  private:
    static std::vector<float>* sSignal;
};

std::vector<float>* DemoSignal::sSignal = nullptr;

TEST_F(DemoSignal, IsThirtySecondsOfStereoPeakingAtMinusOneDb)
{
    ASSERT_EQ(signal().size(), static_cast<size_t>(30 * kDemoSampleRate * kDemoChannels));
    float peak = 0.0f;
    for (const float sample : signal())
    {
        ASSERT_TRUE(std::isfinite(sample));
        peak = std::max(peak, std::fabs(sample));
    }
    EXPECT_NEAR(20.0 * std::log10(peak), -1.0, 0.01);
}

TEST_F(DemoSignal, IsIdenticalOnEveryCall)
{
    const std::vector<float> again = render::generateDemoSignal();
    ASSERT_EQ(again.size(), signal().size());
    EXPECT_EQ(std::memcmp(again.data(), signal().data(), again.size() * sizeof(float)), 0);
}

TEST_F(DemoSignal, HasQuietAndLoudSectionsAndFadesOut)
{
    const double intro = measureSeconds(0.0, 8.0).integratedLufs;
    const double verse = measureSeconds(8.0, 16.0).integratedLufs;
    const double chorus = measureSeconds(16.0, 26.0).integratedLufs;
    EXPECT_GT(verse - intro, 3.0);
    EXPECT_GT(chorus - verse, 3.0);
    EXPECT_GT(chorus, -20.0);
    EXPECT_LT(measureSeconds(29.99, 30.0).samplePeakDbfs, -40.0);
}

TEST_F(DemoSignal, IsWideButNotOutOfPhase)
{
    double mid = 0.0;
    double side = 0.0;
    for (size_t frame = 0; frame < signal().size() / 2; ++frame)
    {
        const double left = signal()[2 * frame];
        const double right = signal()[2 * frame + 1];
        mid += (left + right) * (left + right);
        side += (left - right) * (left - right);
    }
    const double sideToMidDb = 10.0 * std::log10(side / mid);
    EXPECT_GT(sideToMidDb, -25.0);
    EXPECT_LT(sideToMidDb, -3.0);
}

} // namespace
