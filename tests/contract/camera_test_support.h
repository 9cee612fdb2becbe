// What tests of the camera libraries share: an event recorder for the
// library's callback, environment settings that last one test, and the calls
// every such test makes through the program's binding.
#pragma once

#include "camera/camera_library.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <cstring>
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

    ~ScopedEnvironment()
    {
        for (const auto &[name, value] : m_saved) {
            if (value)
                setenv(name.c_str(), value->c_str(), 1);
            else
                unsetenv(name.c_str());
        }
    }

    ScopedEnvironment() = default;
    ScopedEnvironment(const ScopedEnvironment &) = delete;
    ScopedEnvironment &operator=(const ScopedEnvironment &) = delete;

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

struct DownloadedPicture {
    CameraImageInfo info{};
    std::vector<uint8_t> bytes;
};

// What a TAVREN camera library announced in CameraImageInfo's first 32
// bytes, read as strictly as the layout is fixed: `valid` only with the
// marker, an extension of letters or digits followed by NULs only, and
// zeros from byte 16.
struct Announced {
    bool valid = false;
    std::string extension;
    uint32_t shot = 0;
};

inline Announced ReadAnnounced(const CameraImageInfo &info)
{
    const auto *bytes = reinterpret_cast<const uint8_t *>(info.Reserved);
    Announced announced;
    if (std::memcmp(bytes, "TVRN", 4) != 0)
        return announced;
    size_t end = 4;
    while (end < 12 && std::isalnum(bytes[end]) && bytes[end] < 0x80)
        ++end;
    for (size_t i = end; i < 12; ++i) {
        if (bytes[i] != 0)
            return announced;
    }
    for (size_t i = 16; i < 32; ++i) {
        if (bytes[i] != 0)
            return announced;
    }
    announced.extension.assign(reinterpret_cast<const char *>(bytes + 4), end - 4);
    announced.shot = uint32_t(bytes[12]) | uint32_t(bytes[13]) << 8 | uint32_t(bytes[14]) << 16 |
                     uint32_t(bytes[15]) << 24;
    announced.valid = true;
    return announced;
}

// A camera library loaded through the program's binding, and what tests do
// with it; the test loads and initialises it.
class LibraryCalls {
protected:
    void Start()
    {
        ASSERT_EQ(m_library.Init(0), 0u);
        m_initialised = true;
    }

    // Exit, once Start succeeded; from then on a callback is a fault.
    void Stop()
    {
        if (!m_initialised)
            return;
        EXPECT_EQ(m_library.Exit(), 0u);
        m_events.exited = true;
        m_initialised = false;
    }

    // Opens a camera with the event callback and takes its first property report.
    uint32_t Connect(int32_t index = 0, int32_t context = 0)
    {
        uint32_t handle = 0;
        EXPECT_EQ(m_library.Open(index, &handle, &EventRecorder::Callback, context), 0u);
        EXPECT_NE(handle, 0u);
        EXPECT_TRUE(m_events.WaitFor(CAMERA_EVENT_PROPERTY_CHANGED, 1));
        ChangedPropertyBuffer(handle);
        return handle;
    }

    // Describes and downloads the oldest waiting picture.
    DownloadedPicture Download(uint32_t handle)
    {
        DownloadedPicture picture;
        EXPECT_EQ(m_library.ReadImageInfo(handle, &picture.info), 0u);
        picture.bytes.resize(picture.info.ImageSize);
        EXPECT_EQ(m_library.ReadImage(handle, picture.bytes.data(), picture.info.ImageSize), 0u);
        return picture;
    }

    // The record of camera `index`, written over one full of 0xEE, by a probe.
    CameraDeviceInfo Describe(int32_t index)
    {
        CameraDeviceInfo info;
        std::memset(&info, 0xEE, sizeof info);
        uint32_t handle = 0;
        EXPECT_EQ(m_library.Open(index, &handle, nullptr, 0), 0u);
        EXPECT_EQ(m_library.GetDeviceInfo(handle, &info), 0u);
        EXPECT_EQ(m_library.Close(handle), 0u);
        return info;
    }

    std::vector<uint8_t> ChangedPropertyBuffer(uint32_t handle)
    {
        // Exactly the size the program gives, so that a write past it is caught.
        std::vector<uint8_t> list(CHANGED_PROPERTY_LIST_SIZE, 0xCD);
        EXPECT_EQ(m_library.GetChangedProperty(handle, list.data()), 0u);
        return list;
    }

    // The library's own GetErrorNumber, for what the binding never asks.
    int32_t RawErrorNumber(uint32_t handle, int32_t *failedCall, uint32_t *number)
    {
        auto getErrorNumber =
            platform::FindFunction<PfnVRX4K_GetErrorNumber>(m_library.ModuleHandle(), "VRX4K_GetErrorNumber");
        return getErrorNumber(handle, failedCall, number);
    }

    // Handle 0: the latest failure of any call.
    uint32_t LibraryErrorNumber()
    {
        uint32_t number = 0;
        EXPECT_EQ(RawErrorNumber(0, nullptr, &number), 0);
        return number;
    }

    CCameraLibrary m_library;
    EventRecorder &m_events = EventRecorder::Instance();
    bool m_initialised = false;
};

} // namespace cameratest
