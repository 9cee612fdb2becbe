#pragma once

#include "camera/camera_library.h"
#include "vrx4k_gphoto2.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <dlfcn.h>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace gphoto2test {

// Events the library sends to Callback, with the threads they came on.
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
            recorder.m_contexts.insert(context);
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

    std::set<int32_t> Contexts() const
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
    std::atomic<bool> exited{false};
    std::atomic<int> callbacksAfterExit{0};

private:
    size_t CountLocked(int32_t event) const
    {
        size_t count = 0;
        for (int32_t seen : m_events)
            count += seen == event ? 1 : 0;
        return count;
    }

    mutable std::mutex m_mutex;
    std::condition_variable m_arrived;
    std::vector<int32_t> m_events;
    std::set<int32_t> m_contexts;
    std::set<std::thread::id> m_threads;
};

inline std::vector<uint8_t> ReadWholeFile(const std::filesystem::path &path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline uint32_t ReadU32(const uint8_t *at)
{
    return static_cast<uint32_t>(at[0]) | static_cast<uint32_t>(at[1]) << 8 | static_cast<uint32_t>(at[2]) << 16 |
           static_cast<uint32_t>(at[3]) << 24;
}

// The real libVRX4KAPI.so over libgphoto2, loaded through the program's
// binding, against libgphoto2's virtual PTP camera (build_vusb.sh).
class VirtualCameraTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        // The tests run in build_vusb.sh's folder, where the port file is.
        const std::filesystem::path folder = std::filesystem::current_path();
        if (!std::filesystem::exists(folder / "iolibs" / "vusb.so"))
            GTEST_SKIP() << "libgphoto2's virtual camera was not built (see build_vusb.sh's message)";
        // libgphoto2 loads only the virtual camera's port driver and the PTP
        // camera driver.
        setenv("IOLIBS", (folder / "iolibs").c_str(), 1);
        setenv("CAMLIBS", (folder / "camlibs").c_str(), 1);
        // libgphoto2 unloads its drivers after use; kept loaded, what they
        // leave allocated on purpose can be traced to them (LeakSanitizer).
        dlopen("libgphoto2.so.6", RTLD_NOW | RTLD_NODELETE);
        dlopen("libgphoto2_port.so.12", RTLD_NOW | RTLD_NODELETE);
        dlopen((folder / "iolibs" / "vusb.so").c_str(), RTLD_NOW | RTLD_NODELETE);
        dlopen((folder / "camlibs" / "ptp2.so").c_str(), RTLD_NOW | RTLD_NODELETE);
        std::filesystem::remove(folder / "unplugged"); // left by an interrupted run
        m_cardPicture = ReadWholeFile(folder / "vcamera" / "DCIM" / "100TAVRN" / "TAVR0001.JPG");
        ASSERT_GT(m_cardPicture.size(), 1000u);
        m_events.Reset();
        ASSERT_EQ(m_library.Load(), 1);
        ASSERT_EQ(m_library.Init(0), 0u);
        m_initialised = true;
    }

    void TearDown() override
    {
        if (m_initialised) {
            EXPECT_EQ(m_library.Exit(), 0u);
        }
        m_library.Unload();
    }

    // Opens the virtual camera with the callback and takes its first
    // property report.
    uint32_t Connect(int32_t context = 0)
    {
        int32_t count = 0;
        EXPECT_EQ(m_library.Detect(0, &count), 0u);
        uint32_t handle = 0;
        EXPECT_EQ(m_library.Open(0, &handle, &EventRecorder::Callback, context), 0u);
        EXPECT_NE(handle, 0u);
        EXPECT_TRUE(m_events.WaitFor(CAMERA_EVENT_PROPERTY_CHANGED, 1));
        return handle;
    }

    std::vector<uint8_t> Download(uint32_t handle, CameraImageInfo &info)
    {
        std::vector<uint8_t> bytes;
        if (m_library.ReadImageInfo(handle, &info) != 0u)
            return bytes;
        bytes.resize(info.ImageSize);
        EXPECT_EQ(m_library.ReadImage(handle, bytes.data(), info.ImageSize), 0u);
        return bytes;
    }

    // The library's own answer for handle 0, which the binding never asks.
    uint32_t LibraryErrorNumber()
    {
        auto getErrorNumber =
            platform::FindFunction<PfnVRX4K_GetErrorNumber>(m_library.ModuleHandle(), "VRX4K_GetErrorNumber");
        uint32_t number = 0;
        EXPECT_EQ(getErrorNumber(0, nullptr, &number), 0);
        return number;
    }

    CCameraLibrary m_library;
    EventRecorder &m_events = EventRecorder::Instance();
    std::vector<uint8_t> m_cardPicture;
    bool m_initialised = false;
};

} // namespace gphoto2test
