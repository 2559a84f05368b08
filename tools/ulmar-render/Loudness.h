// Peak and loudness measurement of interleaved audio with libebur128 (ITU-R BS.1770 / EBU R 128).
#pragma once

#include <ebur128.h>

namespace render
{

/// Levels in decibels; minus infinity for silence (and integrated loudness of audio shorter than
/// one 400 ms gating block or entirely below the -70 LUFS gate).
struct LoudnessResult
{
    double samplePeakDbfs;
    double truePeakDbtp;
    double integratedLufs;
};

class LoudnessMeter
{
  public:
    /// Mono is measured as dual mono: as loud as the same signal on both speakers.
    /// Throws RenderError when libebur128 refuses the rate or channel count.
    LoudnessMeter(int channels, int sampleRate);
    ~LoudnessMeter();
    LoudnessMeter(const LoudnessMeter&) = delete;
    LoudnessMeter& operator=(const LoudnessMeter&) = delete;

    void add(const float* interleaved, int frames);
    LoudnessResult result() const;

  private:
    ebur128_state* mState = nullptr;
    int mChannels;
};

} // namespace render
