// What only the simulated cameras do at start-up, discovery and connection:
// the settings they read, how they describe themselves, their symbols.
#include "sim_test_support.h"

#include "camera/camera_records.h"

#include <cstring>
#include <set>

namespace simtest {
namespace {

using LifecycleTest = SimulatedCameraTest;

TEST_F(LifecycleTest, ExportsNothingOfItsOwn)
{
    // Internal functions are hidden, so no other library can bind to them.
    for (const char *internal : {"_ZN8vrx4ksim9Sha256HexB5cxx11EPKhm", "_ZN8vrx4ksim10ReadConfigERKSt8functionIFPKcS2_EERNSt7__cxx1112basic_stringIcSt11char_traitsIcESaIcEEE", "_ZN8vrx4ksim9Simulator5StartEv"})
        EXPECT_EQ(platform::FindEntryPoint(m_library.ModuleHandle(), internal), nullptr) << internal;
}

TEST_F(LifecycleTest, DetectReportsTheConfiguredNumberOfCameras)
{
    for (const char *cameras : {"0", "1", "8"}) {
        Start({{"VRX4K_SIM_CAMERAS", cameras}});
        int32_t count = -1;
        EXPECT_EQ(m_library.Detect(0, &count), 0u);
        EXPECT_EQ(count, std::atoi(cameras));
        Stop();
    }
    Start({{"VRX4K_SIM_CAMERAS", ""}});
    int32_t count = -1;
    EXPECT_EQ(m_library.Detect(0, &count), 0u);
    EXPECT_EQ(count, 2) << "two cameras by default";
}

TEST_F(LifecycleTest, EachCameraDescribesItselfInTheRecordLayout)
{
    Start({{"VRX4K_SIM_CAMERAS", "5"}, {"VRX4K_SIM_SIZE", "640x480"}});
    std::set<std::string> names, details;
    for (int32_t index = 0; index < 5; ++index) {
        const CameraDeviceInfo info = Describe(index);
        const std::string name = DeviceName(info), detail = DeviceDetail(info);
        names.insert(name);
        details.insert(detail);

        const uint8_t *block = info.Reserved;
        EXPECT_EQ(std::memcmp(block, VRX4K_SIM_DEVICE_MAGIC, 8), 0);
        EXPECT_EQ(ReadLe32(block + VRX4K_SIM_DEVICE_INDEX_OFFSET), static_cast<uint32_t>(index));
        EXPECT_EQ(ReadLe32(block + VRX4K_SIM_DEVICE_WIDTH_OFFSET), 640u);
        EXPECT_EQ(ReadLe32(block + VRX4K_SIM_DEVICE_HEIGHT_OFFSET), 480u);
        const std::string serial(reinterpret_cast<const char *>(block + VRX4K_SIM_DEVICE_SERIAL_OFFSET));
        EXPECT_FALSE(serial.empty());
        EXPECT_NE(detail.find(serial), std::string::npos) << "Detail carries the serial number";
    }
    EXPECT_EQ(details.size(), 5u) << "every camera has its own serial number";
    EXPECT_EQ(names.size(), 4u) << "four models, the fifth camera repeats the first";
}

TEST_F(LifecycleTest, OpenRefusesASecondConnectionButNotAProbe)
{
    Start();
    const uint32_t connected = Connect(0);
    uint32_t other = 0;
    EXPECT_EQ(m_library.Open(0, &other, &EventRecorder::Callback, 0), CAMERA_ERROR_UNKNOWN);
    EXPECT_EQ(LibraryErrorNumber(), VRX4K_ERROR_IN_USE);
    uint32_t probe = 0;
    EXPECT_EQ(m_library.Open(0, &probe, nullptr, 0), 0u) << "probing a connected camera is allowed";
    EXPECT_EQ(m_library.Close(probe), 0u);

    EXPECT_EQ(m_library.Close(connected), 0u);
    EXPECT_EQ(m_library.Open(0, &other, &EventRecorder::Callback, 0), 0u) << "Close frees the camera";
}

} // namespace
} // namespace simtest
