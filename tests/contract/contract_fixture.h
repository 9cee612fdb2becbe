// The camera library contract, as every camera library TAVREN ships keeps
// it, checked through the program's own binding. Each library runs in a
// process of its own: both are libVRX4KAPI.so, and the loader reads
// LD_LIBRARY_PATH once.
#pragma once

#include "camera/camera_library.h"
#include "camera_test_support.h"
#include "virtual_camera_fixture.h"
#include "vrx4k-common/error_numbers.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

namespace contract {

using cameratest::DownloadedPicture;
using cameratest::EventRecorder;

// What a test may rely on for one camera library, set up as the test sets it up.
struct CameraLibraryKind {
    const char *name;
    bool virtualCamera;        // the real-camera library against libgphoto2's virtual camera
    int32_t cameras;           // what Detect finds
    // Leaves room on the card for one more picture: a variable and its value.
    const char *oneShotLeftVariable;
    const char *oneShotLeftValue;
};

inline std::ostream &operator<<(std::ostream &out, const CameraLibraryKind &kind)
{
    return out << kind.name;
}

class Camera : public ::testing::TestWithParam<CameraLibraryKind>, protected cameratest::LibraryCalls {
protected:
    void SetUp() override
    {
        m_events.Reset();
        if (GetParam().virtualCamera) {
            const std::string problem = gphoto2test::UseVirtualCamera(m_cardPicture);
            if (!problem.empty())
                GTEST_SKIP() << problem;
        } else {
            // Settings from the caller's shell must not leak in; small, fast pictures.
            for (const char *name : {"VRX4K_SIM_CAMERAS", "VRX4K_SIM_FORMAT", "VRX4K_SIM_QUALITY", "VRX4K_SIM_BUFFER",
                                     "VRX4K_SIM_CARD_SHOTS", "VRX4K_SIM_PHOTO_DIR", "VRX4K_SIM_FAIL_OPEN",
                                     "VRX4K_SIM_FAIL_INIT", "VRX4K_SIM_FAIL_DETECT", "VRX4K_SIM_SCRIPT",
                                     "VRX4K_SIM_LOG"})
                m_environment.Unset(name);
            m_environment.Set("VRX4K_SIM_SIZE", "320x240");
            m_environment.Set("VRX4K_SIM_DELAY_MS", "5");
            m_environment.Set("VRX4K_SIM_INTERVAL_MS", "0");
        }
        ASSERT_EQ(m_library.Load(), 1) << "libVRX4KAPI.so not found: is LD_LIBRARY_PATH set to its folder?";
    }

    void TearDown() override
    {
        Stop();
        m_library.Unload();
    }

    // Shoots and waits until the library has announced `ready` pictures in all.
    void ShootAndWait(uint32_t handle, size_t ready)
    {
        ASSERT_EQ(m_library.Shoot(handle, nullptr, nullptr), 0u);
        ASSERT_TRUE(m_events.WaitFor(CAMERA_EVENT_IMAGE_READY, ready));
    }

    // A whole JPEG: the one on the virtual camera's card byte for byte, or
    // one that starts and ends as a JPEG does.
    bool IsWholePicture(const std::vector<uint8_t> &bytes) const
    {
        if (!m_cardPicture.empty())
            return bytes == m_cardPicture;
        return bytes.size() > 4 && bytes[0] == 0xFF && bytes[1] == 0xD8 && bytes[bytes.size() - 2] == 0xFF &&
               bytes.back() == 0xD9;
    }

    cameratest::ScopedEnvironment m_environment;
    std::vector<uint8_t> m_cardPicture;
};

} // namespace contract
