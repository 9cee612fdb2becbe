#pragma once

#include <thread>
#include <utility>

namespace image {

// Runs `work` on a thread of its own while the caller goes on, or at once on
// the caller's thread when no thread can be had. Joined at the latest when
// this ends, on every path, so whatever `work` touches must outlive it.
// `work` must not throw: nothing could catch it on the other thread.
class BackgroundTask {
public:
    template <typename Work>
    explicit BackgroundTask(Work work)
    {
        try {
            m_thread = std::thread(work);
        } catch (...) {
            work();
        }
    }
    BackgroundTask(const BackgroundTask &) = delete;
    BackgroundTask &operator=(const BackgroundTask &) = delete;
    ~BackgroundTask() { Join(); }

    void Join()
    {
        if (m_thread.joinable())
            m_thread.join();
    }

private:
    std::thread m_thread;
};

} // namespace image
