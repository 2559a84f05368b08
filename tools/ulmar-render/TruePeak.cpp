#include "TruePeak.h"

#include <algorithm>
#include <cmath>

namespace render
{

TruePeakMeter::TruePeakMeter(int channels, int sampleRate)
    : mChannels(channels), mFactor(sampleRate < 96000    ? 4
                                   : sampleRate < 192000 ? 2
                                                         : 1),
      mStates(static_cast<size_t>(std::max(1, channels)))
{
    // Interpolating low-pass: a Hann-windowed sinc cut off at the original Nyquist frequency, split
    // into one polyphase branch per output phase. Each branch is scaled to unity gain at DC, so a
    // constant reads as itself.
    constexpr double kPi = 3.14159265358979323846;
    const int taps = kTapsPerPhase * mFactor;
    for (int phase = 0; phase < mFactor; ++phase)
    {
        double sum = 0.0;
        double branch[kTapsPerPhase];
        for (int k = 0; k < kTapsPerPhase; ++k)
        {
            const int n = k * mFactor + phase;
            const double x = (n - (taps - 1) / 2.0) / mFactor;
            const double sinc = x == 0.0 ? 1.0 : std::sin(kPi * x) / (kPi * x);
            const double window = 0.5 - 0.5 * std::cos(2.0 * kPi * (n + 0.5) / taps);
            branch[k] = sinc * window;
            sum += branch[k];
        }
        double magnitudeSum = 0.0;
        for (int k = 0; k < kTapsPerPhase; ++k)
        {
            // Tap k of the branch meets the k-th oldest sample of the history.
            mCoefficients[kTapsPerPhase - 1 - k][phase] = static_cast<float>(branch[k] / sum);
            magnitudeSum += std::fabs(branch[k] / sum);
        }
        mInterpolationBound = std::max(mInterpolationBound, static_cast<float>(magnitudeSum * 1.001));
    }
}

void TruePeakMeter::add(const float* interleaved, int frames)
{
    for (int channel = 0; channel < mChannels; ++channel)
    {
        ChannelState& state = mStates[static_cast<size_t>(channel)];
        float peak = state.peak;
        int position = state.position;
        int framesSinceLoud = state.framesSinceLoud;
        float* history = state.history.data();
        for (int frame = 0; frame < frames; ++frame)
        {
            const float sample = interleaved[static_cast<size_t>(frame) * mChannels + channel];
            position = position + 1 == kTapsPerPhase ? 0 : position + 1;
            history[position] = sample;
            history[position + kTapsPerPhase] = sample;
            // The samples themselves count too: no interpolation phase falls exactly on them.
            peak = std::max(peak, std::fabs(sample));
            if (std::fabs(sample) * mInterpolationBound > peak)
                framesSinceLoud = 0;
            else if (framesSinceLoud < kTapsPerPhase)
                ++framesSinceLoud;
            // While no sample in the window could reach above the peak, no interpolated value can.
            if (mFactor == 1 || framesSinceLoud >= kTapsPerPhase)
            {
                continue;
            }
            // Oldest sample first: history[position + 1] .. history[position + kTapsPerPhase].
            const float* newest = history + position + 1;
            float lanes[kMaxFactor] = {};
            for (int k = 0; k < kTapsPerPhase; ++k)
            {
                for (int phase = 0; phase < kMaxFactor; ++phase)
                {
                    lanes[phase] += mCoefficients[k][phase] * newest[k];
                }
            }
            for (const float lane : lanes)
            {
                peak = std::max(peak, std::fabs(lane));
            }
        }
        state.peak = peak;
        state.position = position;
        state.framesSinceLoud = framesSinceLoud;
    }
}

double TruePeakMeter::peak() const
{
    float peak = 0.0f;
    for (const ChannelState& state : mStates)
    {
        peak = std::max(peak, state.peak);
    }
    return peak;
}

} // namespace render
