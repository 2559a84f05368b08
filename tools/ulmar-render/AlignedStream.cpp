#include "AlignedStream.h"

#include <algorithm>
#include <vector>

namespace render
{

long long streamAligned(const AlignedStreamLayout& layout, const AlignedStreamCallbacks& callbacks)
{
    const int channels = layout.channels;
    const int blockFrames = layout.blockFrames;
    const int chunkFrames = blockFrames * std::max(1, layout.chunkFrames / blockFrames);
    std::vector<float> chunk(static_cast<size_t>(chunkFrames) * channels);

    long long flushLeft = layout.latencyFrames;
    long long dropLeft = layout.latencyFrames;
    long long written = 0;
    bool inputEnded = false;
    for (;;)
    {
        int frames = 0;
        if (!inputEnded)
        {
            frames = callbacks.read(chunk.data(), chunkFrames);
            inputEnded = frames < chunkFrames;
        }
        if (inputEnded)
        {
            // The silence that pushes the delayed tail out follows the input in the same chunk, so
            // the block boundaries run on unbroken.
            const int zeros = static_cast<int>(std::min<long long>(chunkFrames - frames, flushLeft));
            std::fill_n(chunk.begin() + static_cast<long>(frames) * channels,
                        static_cast<long>(zeros) * channels, 0.0f);
            frames += zeros;
            flushLeft -= zeros;
        }
        if (frames == 0)
        {
            return written;
        }

        for (int offset = 0; offset < frames; offset += blockFrames)
        {
            callbacks.process(chunk.data() + static_cast<size_t>(offset) * channels,
                              std::min(blockFrames, frames - offset));
        }
        const int skip = static_cast<int>(std::min<long long>(dropLeft, frames));
        dropLeft -= skip;
        if (frames > skip)
        {
            callbacks.write(chunk.data() + static_cast<size_t>(skip) * channels, frames - skip);
            written += frames - skip;
        }
    }
}

} // namespace render
