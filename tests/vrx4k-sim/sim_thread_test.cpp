// The simulator's cameras worked from many threads at once.
#include "sim_test_support.h"

#include <thread>

namespace simtest {
namespace {

using ThreadTest = SimulatedCameraTest;

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
            if (m_library.Open(index, &camera, index == 0 ? &EventRecorder::Callback : nullptr, 0) != 0) {
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
                if (cameratest::ReadAnnounced(info).shot != next ||
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
