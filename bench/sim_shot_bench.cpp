// How fast the simulated camera makes pictures: how long Shoot blocks its
// caller, and how long a picture takes from Shoot to its image-ready event,
// for each format at the default 6000 x 4000.
#include "camera/camera_library.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

std::mutex g_mutex;
std::condition_variable g_ready;
int g_readyEvents = 0;

int32_t OnEvent(int32_t, int32_t event)
{
    if (event == CAMERA_EVENT_IMAGE_READY) {
        std::lock_guard lock(g_mutex);
        ++g_readyEvents;
        g_ready.notify_all();
    }
    return 1;
}

void WaitForEvents(int count)
{
    std::unique_lock lock(g_mutex);
    g_ready.wait(lock, [&] { return g_readyEvents >= count; });
}

double Ms(Clock::duration duration)
{
    return std::chrono::duration<double, std::milli>(duration).count();
}

bool Measure(CCameraLibrary &library, const char *format, int shots)
{
    setenv("VRX4K_SIM_FORMAT", format, 1);
    if (library.Init(0) != 0)
        return false;
    uint32_t camera = 0;
    if (library.Open(0, &camera, &OnEvent, 0) != 0)
        return false;
    g_readyEvents = 0;
    const int perShot = std::string(format) == "raw+jpeg" ? 2 : 1;

    std::vector<double> shootMs;
    double readyMs = 0;
    size_t bytes = 0;
    for (int i = 0; i < shots; ++i) {
        const Clock::time_point start = Clock::now();
        library.Shoot(camera, nullptr, nullptr);
        shootMs.push_back(Ms(Clock::now() - start));
        WaitForEvents((i + 1) * perShot);
        readyMs += Ms(Clock::now() - start);
        for (int part = 0; part < perShot; ++part) {
            CameraImageInfo info{};
            library.ReadImageInfo(camera, &info);
            std::vector<uint8_t> buffer(info.ImageSize);
            library.ReadImage(camera, buffer.data(), info.ImageSize);
            bytes += buffer.size();
        }
    }
    // The median: a busy machine can preempt any single call.
    std::sort(shootMs.begin(), shootMs.end());
    std::printf("%-9s Shoot blocks %7.3f ms (median)   Shoot to ready %6.0f ms (mean)   %5.1f MB per shot\n",
                format, shootMs[shootMs.size() / 2], readyMs / shots, bytes / 1e6 / shots);
    library.Exit();
    return true;
}

} // namespace

int main()
{
    setenv("VRX4K_SIM_DELAY_MS", "0", 1);
    setenv("VRX4K_SIM_INTERVAL_MS", "0", 1);
    CCameraLibrary library;
    if (library.Load() != 1) {
        std::fprintf(stderr, "libVRX4KAPI.so not found\n");
        return 1;
    }
    const char *size = std::getenv("VRX4K_SIM_SIZE");
    std::printf("simulated camera, %s pictures, no added delay, 5 shots each\n", size ? size : "6000x4000");
    for (const char *format : {"jpeg", "raw", "raw+jpeg"}) {
        if (!Measure(library, format, 5))
            std::fprintf(stderr, "%s: the library did not start\n", format);
    }
    library.Unload();
    return 0;
}
