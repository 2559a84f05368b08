// True-peak measurement (ITU-R BS.1770 Annex 2): the largest magnitude of the signal oversampled by
// 4 below 96 kHz and by 2 below 192 kHz, so that peaks between the samples are found.
#pragma once

#include <array>
#include <vector>

namespace render
{

class TruePeakMeter
{
  public:
    static constexpr int kMaxFactor = 4;
    static constexpr int kTapsPerPhase = 12;

    TruePeakMeter(int channels, int sampleRate);

    void add(const float* interleaved, int frames);
    /// Largest magnitude so far over every channel, linear (1 = full scale).
    double peak() const;

    int oversampling() const { return mFactor; }

  private:
    // History of one channel, written twice so that the newest kTapsPerPhase samples always lie
    // contiguous at mHistory[mPosition + 1 ..].
    struct ChannelState
    {
        std::array<float, 2 * kTapsPerPhase> history = {};
        int position = 0;
        float peak = 0.0f;
        int framesSinceLoud = kTapsPerPhase; // frames since a sample that could lift the peak
    };

    int mChannels;
    int mFactor;
    // Coefficient of tap k for output phase p at [k][p]; phases beyond the factor stay zero, so every
    // sample runs the same four-lane loop.
    float mCoefficients[kTapsPerPhase][kMaxFactor] = {};
    // Largest sum of coefficient magnitudes over the phases (with a margin for float rounding): no
    // interpolated value exceeds it times the largest sample magnitude in the window.
    float mInterpolationBound = 1.0f;
    std::vector<ChannelState> mStates;
};

} // namespace render
