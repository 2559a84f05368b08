// Helpers shared by the tests of the input and output stages, the output compressor and the bass AGC.
#pragma once

#include "support/EngineFixture.h"
#include "support/Signals.h"

#include <algorithm>
#include <functional>
#include <vector>

namespace stages
{

/// A module process routine: (instance, samples, frames, channels).
using ProcessFn = void (*)(int, float*, int, int);

/// Runs `process` over an interleaved buffer in blocks of at most `blockFrames` frames.
inline void processInBlocks(ProcessFn process, int instance, std::vector<float>& buffer, int channels,
                            int blockFrames)
{
    const int frames = static_cast<int>(buffer.size()) / channels;
    for (int start = 0; start < frames; start += blockFrames)
        process(instance, buffer.data() + static_cast<size_t>(start) * channels,
                std::min(blockFrames, frames - start), channels);
}

/// Edits a slot's current record the way every change is made (snapshot, then write), then applies the
/// edited sub-block with `apply`, so only the fields changed by `edit` count as changed.
template <typename Block, typename Edit>
void changeBlock(int slot, Block MasterBlock::*member, Edit edit, void (*apply)(int, Block*))
{
    VYKCommSaveState(slot);
    MasterBlock* master = VYKCommGetMasterBlock(slot);
    edit(master->*member);
    apply(slot, &(master->*member));
}

/// The gain a smoothed ramp applies to each of `count` samples: it starts at `gain` and moves by
/// 1/1000 of the difference left at the start of the block per sample, stopping on the target.
/// Returns the per-sample gains; `gain` receives the value stored for the next block.
inline std::vector<float> rampGains(float& gain, float target, int count)
{
    std::vector<float> gains(static_cast<size_t>(count));
    float step = (target - gain) * 0.001f;
    for (int n = 0; n < count; ++n)
    {
        gains[static_cast<size_t>(n)] = gain;
        const float next = gain + step;
        if ((step > 0.0f && next > target) || (step < 0.0f && next < target))
        {
            gain = target;
            step = 0.0f;
        }
        else
        {
            gain = next;
        }
    }
    return gains;
}

/// Index of the largest magnitude of channel `channel`.
inline int peakIndex(const std::vector<float>& interleaved, int channels, int channel)
{
    const std::vector<float> x = signals::channelOf(interleaved, channels, channel);
    int best = 0;
    for (int n = 1; n < static_cast<int>(x.size()); ++n)
        if (std::fabs(x[static_cast<size_t>(n)]) > std::fabs(x[static_cast<size_t>(best)]))
            best = n;
    return best;
}

} // namespace stages
