// The library's threads: callbacks without locks held, Exit and Close with
// work in flight, calls from inside the callback and from many threads.
#include "sim_test_support.h"

#include <thread>

namespace simtest {
namespace {

using ThreadTest = SimulatedCameraTest;

TEST_F(ThreadTest, NoCallbackRunsAfterExitReturnsWithShotsInFlight)
{
    Start({{"VRX4K_SIM_SIZE", "1200x800"}, {"VRX4K_SIM_DELAY_MS", "0"}});
    const uint32_t camera = Connect();
    // A slow callback makes Exit meet one in progress.
    m_events.hook = [](int32_t) { std::this_thread::sleep_for(std::chrono::milliseconds(20)); };
    for (int i = 0; i < 30; ++i)
        ASSERT_EQ(m_library.Shoot(camera, nullptr, nullptr), 0u);
    ASSERT_TRUE(m_events.WaitFor(CAMERA_EVENT_IMAGE_READY, 1));
    Stop();
    const size_t eventsAtExit = m_events.Events().size();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(m_events.callbacksAfterExit, 0);
    EXPECT_EQ(m_events.Events().size(), eventsAtExit);
    EXPECT_LT(m_events.Count(CAMERA_EVENT_IMAGE_READY), 30u) << "Exit drops the shots not yet taken";
}

TEST_F(ThreadTest, CloseWaitsForARunningCallbackOfItsCamera)
{
    Start({{"VRX4K_SIM_DELAY_MS", "0"}});
    std::atomic<bool> inCallback{false}, callbackFinished{false};
    m_events.hook = [&](int32_t event) {
        if (event != CAMERA_EVENT_IMAGE_READY)
            return;
        inCallback = true;
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        callbackFinished = true;
    };
    const uint32_t camera = Connect();
    ASSERT_EQ(m_library.Shoot(camera, nullptr, nullptr), 0u);
    ASSERT_EQ(m_library.Shoot(camera, nullptr, nullptr), 0u);
    while (!inCallback)
        std::this_thread::yield();
    EXPECT_EQ(m_library.Close(camera), 0u);
    EXPECT_TRUE(callbackFinished) << "Close returned while the callback still ran";
    const size_t events = m_events.Events().size();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(m_events.Events().size(), events) << "no event for a closed camera";
}

TEST_F(ThreadTest, TheCallbackMayCallTheLibraryButNotExit)
{
    Start();
    std::atomic<int> downloaded{0};
    std::atomic<CameraError> exitResult{0};
    CCameraLibrary &library = m_library;
    std::atomic<uint32_t> cameraHandle{0};
    m_events.hook = [&](int32_t event) {
        if (event != CAMERA_EVENT_IMAGE_READY)
            return;
        const uint32_t handle = cameraHandle;
        CameraImageInfo info{};
        if (library.ReadImageInfo(handle, &info) != 0)
            return;
        std::vector<uint8_t> bytes(info.ImageSize);
        if (library.ReadImage(handle, bytes.data(), info.ImageSize) == 0 && JpegSize(bytes))
            ++downloaded;
        if (downloaded == 2) {
            exitResult = library.Exit();
            library.Close(handle);
        }
    };
    uint32_t camera = 0;
    ASSERT_EQ(m_library.Open(0, &camera, &EventRecorder::EventCallback, 0), 0u);
    cameraHandle = camera;
    for (int i = 0; i < 3; ++i)
        ASSERT_EQ(m_library.Shoot(camera, nullptr, nullptr), 0u);
    ASSERT_TRUE(m_events.WaitFor(CAMERA_EVENT_IMAGE_READY, 2));
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(downloaded, 2) << "the callback closed its camera: no third picture";
    EXPECT_EQ(exitResult, CAMERA_ERROR_UNKNOWN);
    EXPECT_EQ(LibraryErrorNumber(), VRX4K_ERROR_IN_CALLBACK);
    EXPECT_EQ(m_library.ReadImageInfo(camera, nullptr), CAMERA_ERROR_UNKNOWN) << "the camera is closed";
}

TEST_F(ThreadTest, CamerasWorkedFromSeveralThreadsLoseNothing)
{
    Start({{"VRX4K_SIM_CAMERAS", "4"}, {"VRX4K_SIM_SIZE", "64x48"}, {"VRX4K_SIM_DELAY_MS", "1"}});
    constexpr int kShots = 15;
    std::vector<std::thread> workers;
    std::atomic<int> failures{0};
    for (int32_t index = 0; index < 4; ++index) {
        workers.emplace_back([&, index] {
            uint32_t camera = 0;
            // Camera 0 gets the events; the others are polled.
            if (m_library.Open(index, &camera, index == 0 ? &EventRecorder::EventCallback : nullptr, 0) != 0) {
                ++failures;
                return;
            }
            uint32_t next = 1;
            int shot = 0;
            for (auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
                 next <= kShots && std::chrono::steady_clock::now() < deadline;) {
                if (shot < kShots && m_library.Shoot(camera, nullptr, nullptr) == 0)
                    ++shot;
                CameraImageInfo info{};
                if (m_library.ReadImageInfo(camera, &info) != 0) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
                    continue;
                }
                std::vector<uint8_t> bytes(info.ImageSize);
                if (info.Reserved[VRX4K_SIM_INFO_SHOT] != next ||
                    m_library.ReadImage(camera, bytes.data(), info.ImageSize) != 0 || !JpegSize(bytes))
                    ++failures;
                ++next;
            }
            if (next != kShots + 1)
                ++failures;
            if (m_library.Close(camera) != 0)
                ++failures;
        });
    }
    for (std::thread &worker : workers)
        worker.join();
    EXPECT_EQ(failures, 0);
    EXPECT_EQ(m_events.Count(CAMERA_EVENT_IMAGE_READY), size_t(kShots));
}

} // namespace
} // namespace simtest
