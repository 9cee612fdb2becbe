#pragma once

#include "camera/camera_library.h"
#include "camera_test_support.h"
#include "vrx4k-common/records.h"
#include "vrx4k_sim.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace simtest {

using cameratest::DownloadedPicture;
using cameratest::EventRecorder;
using cameratest::ScopedEnvironment;

// Loads the real libVRX4KAPI.so through the program's binding, with small,
// fast pictures unless a test asks otherwise.
class SimulatedCameraTest : public ::testing::Test, protected cameratest::LibraryCalls {
protected:
    void SetUp() override;
    void TearDown() override;

    // Sets the environment (over the fast defaults, which log to a file of
    // the test's own) and initialises the library.
    void Start(const std::map<std::string, std::string> &settings = {});

    // A value the call log gives for a picture ReadImageInfo described
    // (part, width, height, time_ms, iso, waiting), or -1 without one.
    int64_t Logged(uint32_t handle, uint32_t shot, uint32_t part, const std::string &key) const;

    ScopedEnvironment m_environment;
    std::string m_log;
};

// Width and height from a JPEG, or nullopt when TurboJPEG cannot read it.
std::optional<std::pair<int, int>> JpegSize(const std::vector<uint8_t> &jpeg);
// Decodes a JPEG to RGB; empty on failure.
std::vector<uint8_t> DecodeRgb(const std::vector<uint8_t> &jpeg, int &width, int &height);
// Encodes a solid colour as a JPEG.
std::vector<uint8_t> SolidJpeg(int width, int height, uint8_t r, uint8_t g, uint8_t b);

using vrx4k::ReadLe32;

} // namespace simtest
