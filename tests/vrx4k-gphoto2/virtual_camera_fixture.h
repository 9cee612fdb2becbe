#pragma once

#include "camera/camera_library.h"
#include "camera_test_support.h"
#include "vrx4k-common/records.h"
#include "vrx4k_gphoto2.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <dlfcn.h>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

namespace gphoto2test {

using cameratest::EventRecorder;
using cameratest::ScopedEnvironment;
using vrx4k::ReadLe32;

inline std::vector<uint8_t> ReadWholeFile(const std::filesystem::path &path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Points libgphoto2 at the virtual PTP camera that build_vusb.sh built into
// the working directory, and reads the picture on its card. Returns why the
// camera cannot be used, or an empty text.
inline std::string UseVirtualCamera(std::vector<uint8_t> &cardPicture)
{
    const std::filesystem::path folder = std::filesystem::current_path();
    if (!std::filesystem::exists(folder / "iolibs" / "vusb.so"))
        return "libgphoto2's virtual camera was not built (see build_vusb.sh's message)";
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
    // Left by an interrupted run.
    std::filesystem::remove(folder / "unplugged");
    std::filesystem::remove(folder / "failed_downloads");
    cardPicture = ReadWholeFile(folder / "vcamera" / "DCIM" / "100TAVRN" / "TAVR0001.JPG");
    if (cardPicture.size() <= 1000)
        return "the virtual camera's card holds no picture";
    return {};
}

// The real libVRX4KAPI.so over libgphoto2, loaded through the program's
// binding, against libgphoto2's virtual PTP camera (build_vusb.sh).
class VirtualCameraTest : public ::testing::Test, protected cameratest::LibraryCalls {
protected:
    void SetUp() override
    {
        const std::string problem = UseVirtualCamera(m_cardPicture);
        if (!problem.empty())
            GTEST_SKIP() << problem;
        m_events.Reset();
        ASSERT_EQ(m_library.Load(), 1);
        Start();
    }

    void TearDown() override
    {
        Stop();
        m_library.Unload();
    }

    std::vector<uint8_t> m_cardPicture;
};

} // namespace gphoto2test
