#include "sim_test_support.h"

#include <turbojpeg.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include <unistd.h>

namespace simtest {

void SimulatedCameraTest::SetUp()
{
    m_events.Reset();
    // Settings from the caller's shell must not leak into the tests.
    for (const char *name : {"VRX4K_SIM_CAMERAS", "VRX4K_SIM_FORMAT", "VRX4K_SIM_QUALITY", "VRX4K_SIM_BUFFER",
                             "VRX4K_SIM_CARD_SHOTS", "VRX4K_SIM_PHOTO_DIR", "VRX4K_SIM_FAIL_OPEN",
                             "VRX4K_SIM_FAIL_INIT", "VRX4K_SIM_FAIL_DETECT", "VRX4K_SIM_SCRIPT", "VRX4K_SIM_LOG"}) {
        m_environment.Unset(name);
    }
    m_environment.Set("VRX4K_SIM_SIZE", "320x240");
    m_environment.Set("VRX4K_SIM_DELAY_MS", "5");
    m_environment.Set("VRX4K_SIM_INTERVAL_MS", "0");
    m_log = (std::filesystem::temp_directory_path() / ("vrx4k-sim-test-" + std::to_string(::getpid()) + ".log")).string();
    std::filesystem::remove(m_log);
    m_environment.Set("VRX4K_SIM_LOG", m_log);
    ASSERT_EQ(m_library.Load(), 1) << "libVRX4KAPI.so not found: is LD_LIBRARY_PATH set to the build's bin?";
}

void SimulatedCameraTest::TearDown()
{
    Stop();
    m_library.Unload();
    std::filesystem::remove(m_log);
}

int64_t SimulatedCameraTest::Logged(uint32_t handle, uint32_t shot, uint32_t part, const std::string &key) const
{
    const std::string prefix = "VRX4K_ReadImageInfo handle=" + std::to_string(handle) +
                               " -> 0 shot=" + std::to_string(shot) + " part=" + std::to_string(part) + " ";
    std::ifstream log(m_log);
    for (std::string line; std::getline(log, line);) {
        if (line.rfind(prefix, 0) != 0)
            continue;
        std::istringstream words(line);
        for (std::string word; words >> word;) {
            if (word.rfind(key + "=", 0) == 0)
                return std::stoll(word.substr(key.size() + 1));
        }
    }
    return -1;
}

void SimulatedCameraTest::Start(const std::map<std::string, std::string> &settings)
{
    for (const auto &[name, value] : settings)
        m_environment.Set(name, value);
    LibraryCalls::Start();
}

std::optional<std::pair<int, int>> JpegSize(const std::vector<uint8_t> &jpeg)
{
    tjhandle decoder = tjInitDecompress();
    int width = 0, height = 0, subsampling = 0, colourspace = 0;
    const int result = tjDecompressHeader3(decoder, jpeg.data(), static_cast<unsigned long>(jpeg.size()), &width,
                                           &height, &subsampling, &colourspace);
    tjDestroy(decoder);
    if (result != 0 || width <= 0 || height <= 0)
        return std::nullopt;
    return std::make_pair(width, height);
}

std::vector<uint8_t> DecodeRgb(const std::vector<uint8_t> &jpeg, int &width, int &height)
{
    auto size = JpegSize(jpeg);
    if (!size)
        return {};
    width = size->first;
    height = size->second;
    std::vector<uint8_t> rgb(static_cast<size_t>(width) * height * 3);
    tjhandle decoder = tjInitDecompress();
    const int result = tjDecompress2(decoder, jpeg.data(), static_cast<unsigned long>(jpeg.size()), rgb.data(),
                                     width, 0, height, TJPF_RGB, 0);
    tjDestroy(decoder);
    if (result != 0)
        rgb.clear();
    return rgb;
}

std::vector<uint8_t> SolidJpeg(int width, int height, uint8_t r, uint8_t g, uint8_t b)
{
    std::vector<uint8_t> rgb;
    for (int i = 0; i < width * height; ++i)
        rgb.insert(rgb.end(), {r, g, b});
    tjhandle encoder = tjInitCompress();
    unsigned char *jpeg = nullptr;
    unsigned long size = 0;
    std::vector<uint8_t> result;
    if (tjCompress2(encoder, rgb.data(), width, 0, height, TJPF_RGB, &jpeg, &size, TJSAMP_444, 95, 0) == 0)
        result.assign(jpeg, jpeg + size);
    tjFree(jpeg);
    tjDestroy(encoder);
    return result;
}

} // namespace simtest
