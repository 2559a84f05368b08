#include "Loudness.h"

#include "RenderError.h"

#include <ebur128.h>

#include <algorithm>
#include <cmath>
#include <limits>

namespace render
{
namespace
{

double toDecibels(double linear)
{
    return linear > 0.0 ? 20.0 * std::log10(linear) : -std::numeric_limits<double>::infinity();
}

} // namespace

LoudnessMeter::LoudnessMeter(int channels, int sampleRate)
    : mChannels(channels), mTruePeak(channels, sampleRate)
{
    mState = ebur128_init(static_cast<unsigned>(channels), static_cast<unsigned long>(sampleRate),
                          EBUR128_MODE_I | EBUR128_MODE_LRA | EBUR128_MODE_SAMPLE_PEAK);
    if (mState == nullptr)
    {
        throw RenderError("cannot measure " + std::to_string(channels) + "-channel audio at " +
                          std::to_string(sampleRate) + " Hz");
    }
    if (channels == 1)
    {
        ebur128_set_channel(mState, 0, EBUR128_DUAL_MONO);
    }
}

LoudnessMeter::~LoudnessMeter()
{
    ebur128_destroy(&mState);
}

void LoudnessMeter::add(const float* interleaved, int frames)
{
    if (frames > 0 &&
        ebur128_add_frames_float(mState, interleaved, static_cast<size_t>(frames)) != EBUR128_SUCCESS)
    {
        throw RenderError("loudness measurement failed");
    }
    mTruePeak.add(interleaved, frames);
}

LoudnessResult LoudnessMeter::result() const
{
    double samplePeak = 0.0;
    for (int channel = 0; channel < mChannels; ++channel)
    {
        double value = 0.0;
        if (ebur128_sample_peak(mState, static_cast<unsigned>(channel), &value) == EBUR128_SUCCESS)
        {
            samplePeak = std::max(samplePeak, value);
        }
    }
    const double truePeak = std::max(samplePeak, mTruePeak.peak());
    double integrated = -std::numeric_limits<double>::infinity();
    if (ebur128_loudness_global(mState, &integrated) != EBUR128_SUCCESS || std::isnan(integrated))
    {
        integrated = -std::numeric_limits<double>::infinity();
    }
    double range = 0.0;
    if (ebur128_loudness_range(mState, &range) != EBUR128_SUCCESS || !std::isfinite(range))
    {
        range = 0.0;
    }
    return {toDecibels(samplePeak), toDecibels(truePeak), integrated, range};
}

} // namespace render
