// What tests of the camera libraries share: an event recorder for the
// library's callback and environment settings that last one test.
#pragma once

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace cameratest {

// Records the events a camera library sends to Callback, from its own thread.
class EventRecorder {
public:
    static EventRecorder &Instance()
    {
        static EventRecorder recorder;
        return recorder;
    }

    static int32_t Callback(int32_t context, int32_t event)
    {
        EventRecorder &recorder = Instance();
        if (recorder.exited)
            ++recorder.callbacksAfterExit;
        if (recorder.hook)
            recorder.hook(event);
        {
            std::lock_guard lock(recorder.m_mutex);
            recorder.m_events.push_back(event);
            recorder.m_contexts.push_back(context);
            recorder.m_threads.insert(std::this_thread::get_id());
        }
        recorder.m_arrived.notify_all();
        return 1;
    }

    void Reset()
    {
        hook = nullptr;
        std::lock_guard lock(m_mutex);
        m_events.clear();
        m_contexts.clear();
        m_threads.clear();
        exited = false;
        callbacksAfterExit = 0;
    }

    // Waits until count events of this code have arrived in total.
    bool WaitFor(int32_t event, size_t count, std::chrono::milliseconds timeout = std::chrono::seconds(20))
    {
        std::unique_lock lock(m_mutex);
        return m_arrived.wait_for(lock, timeout, [&] { return CountLocked(event) >= count; });
    }

    size_t Count(int32_t event) const
    {
        std::lock_guard lock(m_mutex);
        return CountLocked(event);
    }

    std::vector<int32_t> Events() const
    {
        std::lock_guard lock(m_mutex);
        return m_events;
    }

    std::vector<int32_t> Contexts() const
    {
        std::lock_guard lock(m_mutex);
        return m_contexts;
    }

    std::set<std::thread::id> Threads() const
    {
        std::lock_guard lock(m_mutex);
        return m_threads;
    }

    // Runs inside the callback, on the library's thread; set it before the
    // camera is opened.
    std::function<void(int32_t event)> hook;
    // Set once Exit has returned: a callback after that is a fault.
    std::atomic<bool> exited{false};
    std::atomic<int> callbacksAfterExit{0};

private:
    size_t CountLocked(int32_t event) const
    {
        return static_cast<size_t>(std::count(m_events.begin(), m_events.end(), event));
    }

    mutable std::mutex m_mutex;
    std::condition_variable m_arrived;
    std::vector<int32_t> m_events;
    std::vector<int32_t> m_contexts;
    std::set<std::thread::id> m_threads;
};

// Sets environment variables for one test and restores them afterwards.
class ScopedEnvironment {
public:
    ScopedEnvironment() = default;
    ScopedEnvironment(const ScopedEnvironment &) = delete;
    ScopedEnvironment &operator=(const ScopedEnvironment &) = delete;
    ~ScopedEnvironment()
    {
        for (const auto &[name, value] : m_saved) {
            if (value)
                setenv(name.c_str(), value->c_str(), 1);
            else
                unsetenv(name.c_str());
        }
    }

    void Set(const std::string &name, const std::string &value)
    {
        Save(name);
        setenv(name.c_str(), value.c_str(), 1);
    }

    void Unset(const std::string &name)
    {
        Save(name);
        unsetenv(name.c_str());
    }

private:
    void Save(const std::string &name)
    {
        if (!m_saved.count(name)) {
            const char *old = std::getenv(name.c_str());
            m_saved[name] = old ? std::optional<std::string>(old) : std::nullopt;
        }
    }

    std::map<std::string, std::optional<std::string>> m_saved;
};

} // namespace cameratest
