// Work on finished audio (measuring, encoding, writing) moved onto a thread of its own, so that it
// runs on a second core alongside the engine instead of after it.
#pragma once

#include <condition_variable>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace render
{

class BackgroundSink
{
  public:
    /// Everything added is handed to `consume` on the sink's thread, in order. `maxFrames` is the
    /// largest piece the queue holds in one slot; larger adds are split.
    using Consumer = std::function<void(const float* interleaved, int frames)>;

    BackgroundSink(int channels, int maxFrames, Consumer consume);
    /// Stops the thread; anything still queued is dropped.
    ~BackgroundSink();
    BackgroundSink(const BackgroundSink&) = delete;
    BackgroundSink& operator=(const BackgroundSink&) = delete;

    /// Copies the frames into the queue; waits only while every slot is still queued. Throws what the
    /// consumer threw, as soon as it is known.
    void add(const float* interleaved, int frames);

    /// Waits until everything added is consumed. Throws what the consumer threw.
    void finish();

  private:
    void run();

    static constexpr int kSlots = 4;

    Consumer mConsume;
    int mChannels;
    int mSlotFrames;
    std::vector<float> mSlots[kSlots];
    int mSlotLength[kSlots] = {};

    std::mutex mMutex;
    std::condition_variable mChanged;
    int mFirstQueued = 0; // slot the thread consumes next
    int mQueued = 0;
    bool mStop = false;
    std::exception_ptr mFailure;
    std::thread mThread; // last: started once everything above exists
};

} // namespace render
