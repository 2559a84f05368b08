#include "BackgroundSink.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace render
{

BackgroundSink::BackgroundSink(int channels, int maxFrames, Consumer consume)
    : mConsume(std::move(consume)), mChannels(channels), mSlotFrames(std::max(1, maxFrames))
{
    for (std::vector<float>& slot : mSlots)
    {
        slot.resize(static_cast<size_t>(mSlotFrames) * channels);
    }
    mThread = std::thread(&BackgroundSink::run, this);
}

BackgroundSink::~BackgroundSink()
{
    {
        std::lock_guard<std::mutex> lock(mMutex);
        mStop = true;
    }
    mChanged.notify_all();
    mThread.join();
}

void BackgroundSink::add(const float* interleaved, int frames)
{
    while (frames > 0)
    {
        const int count = std::min(frames, mSlotFrames);
        std::unique_lock<std::mutex> lock(mMutex);
        mChanged.wait(lock, [this] { return mQueued < kSlots || mFailure; });
        if (mFailure)
        {
            std::rethrow_exception(mFailure);
        }
        const int slot = (mFirstQueued + mQueued) % kSlots;
        lock.unlock();
        // The slot is free: only this thread fills slots, and the sink only reads queued ones.
        std::memcpy(mSlots[slot].data(), interleaved, static_cast<size_t>(count) * mChannels * sizeof(float));
        mSlotLength[slot] = count;
        lock.lock();
        ++mQueued;
        lock.unlock();
        mChanged.notify_all();
        interleaved += static_cast<size_t>(count) * mChannels;
        frames -= count;
    }
}

void BackgroundSink::finish()
{
    std::unique_lock<std::mutex> lock(mMutex);
    mChanged.wait(lock, [this] { return mQueued == 0 || mFailure; });
    if (mFailure)
    {
        std::rethrow_exception(mFailure);
    }
}

void BackgroundSink::run()
{
    std::unique_lock<std::mutex> lock(mMutex);
    for (;;)
    {
        mChanged.wait(lock, [this] { return mQueued > 0 || mStop; });
        if (mStop)
        {
            return;
        }
        // The slot stays counted as queued while it is consumed, so add() never refills it.
        const int slot = mFirstQueued;
        lock.unlock();
        try
        {
            mConsume(mSlots[slot].data(), mSlotLength[slot]);
        }
        catch (...)
        {
            lock.lock();
            mFailure = std::current_exception();
            mChanged.notify_all();
            mChanged.wait(lock, [this] { return mStop; });
            return;
        }
        lock.lock();
        mFirstQueued = (mFirstQueued + 1) % kSlots;
        --mQueued;
        mChanged.notify_all();
    }
}

} // namespace render
