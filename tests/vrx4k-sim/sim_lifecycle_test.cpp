// Init, Exit, discovery, device descriptions, handles and error numbers.
#include "sim_test_support.h"

#include "camera/camera_records.h"

#include <cstring>
#include <set>

namespace simtest {
namespace {

using LifecycleTest = SimulatedCameraTest;

TEST_F(LifecycleTest, ExportsTheElevenEntryPointsAndNothingOfItsOwn)
{
    EXPECT_TRUE(m_library.IsFullyBound());
    // Internal functions are hidden, so no other library can bind to them.
    for (const char *internal : {"_ZN8vrx4ksim9Sha256HexB5cxx11EPKhm", "_ZN8vrx4ksim10ReadConfigERKSt8functionIFPKcS2_EERNSt7__cxx1112basic_stringIcSt11char_traitsIcESaIcEEE", "_ZN8vrx4ksim9Simulator5StartEv"})
        EXPECT_EQ(platform::FindEntryPoint(m_library.ModuleHandle(), internal), nullptr) << internal;
}

TEST_F(LifecycleTest, EveryCallFailsBeforeInitAndAfterExit)
{
    for (int round = 0; round < 2; ++round) {
        int32_t count = 7;
        uint32_t handle = 99;
        CameraImageInfo info{};
        uint8_t byte = 0;
        EXPECT_EQ(m_library.Detect(0, &count), CAMERA_ERROR_UNKNOWN);
        EXPECT_EQ(count, 7);
        EXPECT_EQ(m_library.Open(0, &handle, nullptr, 0), CAMERA_ERROR_UNKNOWN);
        EXPECT_EQ(handle, 0u) << "a failed Open leaves no handle behind";
        EXPECT_EQ(LibraryErrorNumber(), VRX4K_ERROR_NOT_INITIALISED);
        EXPECT_EQ(m_library.Shoot(0x10001, nullptr, nullptr), CAMERA_ERROR_UNKNOWN);
        EXPECT_EQ(m_library.ReadImageInfo(0x10001, &info), CAMERA_ERROR_UNKNOWN);
        EXPECT_EQ(m_library.ReadImage(0x10001, &byte, 1), CAMERA_ERROR_UNKNOWN);
        EXPECT_EQ(m_library.Exit(), CAMERA_ERROR_UNKNOWN);
        if (round == 0) {
            Start();
            Stop();
        }
    }
}

TEST_F(LifecycleTest, InitTwiceFailsAndInitAfterExitWorksAgain)
{
    Start();
    const uint32_t first = Connect();
    EXPECT_EQ(m_library.Init(0), CAMERA_ERROR_UNKNOWN);
    EXPECT_EQ(LibraryErrorNumber(), VRX4K_ERROR_ALREADY_INITIALISED);
    Stop();

    m_events.Reset();
    Start({{"VRX4K_SIM_CAMERAS", "3"}});
    int32_t count = 0;
    ASSERT_EQ(m_library.Detect(0, &count), 0u);
    EXPECT_EQ(count, 3) << "Init reads the environment again";
    CameraImageInfo imageInfo{};
    EXPECT_NE(m_library.ReadImageInfo(first, &imageInfo), 0u) << "handles do not survive Exit";
    const uint32_t second = Connect();
    EXPECT_NE(second, first) << "a handle is never given out twice";
    int32_t shot = 0;
    EXPECT_EQ(m_library.Shoot(second, &shot, nullptr), 0u);
    EXPECT_EQ(shot, 1);
    ASSERT_TRUE(m_events.WaitFor(CAMERA_EVENT_IMAGE_READY, 1));
    EXPECT_EQ(Download(second).info.ImageType, CAMERA_IMAGE_JPEG);
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
    EXPECT_EQ(m_library.Detect(0, nullptr), CAMERA_ERROR_UNKNOWN);
    EXPECT_EQ(LibraryErrorNumber(), VRX4K_ERROR_BAD_ARGUMENT);
}

TEST_F(LifecycleTest, EachCameraDescribesItselfInTheRecordLayout)
{
    Start({{"VRX4K_SIM_CAMERAS", "5"}, {"VRX4K_SIM_SIZE", "640x480"}});
    std::set<std::string> names, details;
    for (int32_t index = 0; index < 5; ++index) {
        uint32_t handle = 0;
        ASSERT_EQ(m_library.Open(index, &handle, nullptr, 0), 0u);
        CameraDeviceInfo info;
        std::memset(&info, 0xEE, sizeof info);
        ASSERT_EQ(m_library.GetDeviceInfo(handle, &info), 0u);
        EXPECT_EQ(m_library.Close(handle), 0u);

        const std::string name = DeviceName(info), detail = DeviceDetail(info);
        EXPECT_FALSE(name.empty());
        EXPECT_LT(detail.size(), sizeof info.Detail) << "Detail ends with its NUL inside the field";
        EXPECT_NE(info.Name[name.size()], 0xEE);
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
        // Bytes after the description block are cleared, not left as they were.
        EXPECT_EQ(block[1279], 0);
    }
    EXPECT_EQ(details.size(), 5u) << "every camera has its own serial number";
    EXPECT_EQ(names.size(), 4u) << "four models, the fifth camera repeats the first";
}

TEST_F(LifecycleTest, OpenRefusesBadArgumentsAndASecondConnection)
{
    Start();
    uint32_t handle = 77;
    EXPECT_EQ(m_library.Open(-1, &handle, nullptr, 0), CAMERA_ERROR_UNKNOWN);
    EXPECT_EQ(handle, 0u);
    EXPECT_EQ(m_library.Open(2, &handle, nullptr, 0), CAMERA_ERROR_UNKNOWN);
    EXPECT_EQ(LibraryErrorNumber(), VRX4K_ERROR_BAD_ARGUMENT);
    EXPECT_EQ(m_library.Open(0, nullptr, nullptr, 0), CAMERA_ERROR_UNKNOWN);

    const uint32_t connected = Connect(0);
    uint32_t other = 0;
    EXPECT_EQ(m_library.Open(0, &other, &EventRecorder::EventCallback, 0), CAMERA_ERROR_UNKNOWN);
    EXPECT_EQ(LibraryErrorNumber(), VRX4K_ERROR_IN_USE);
    uint32_t probe = 0;
    EXPECT_EQ(m_library.Open(0, &probe, nullptr, 0), 0u) << "probing a connected camera is allowed";
    EXPECT_EQ(m_library.Close(probe), 0u);

    EXPECT_EQ(m_library.Close(connected), 0u);
    EXPECT_EQ(m_library.Open(0, &other, &EventRecorder::EventCallback, 0), 0u) << "Close frees the camera";
}

TEST_F(LifecycleTest, CallsOnUnknownOrClosedHandlesFailSafely)
{
    Start();
    uint32_t closed = 0;
    ASSERT_EQ(m_library.Open(1, &closed, nullptr, 0), 0u);
    ASSERT_EQ(m_library.Close(closed), 0u);

    for (uint32_t handle : {0u, 1u, 0xFFFFFFFEu, closed}) {
        CameraDeviceInfo device{};
        CameraImageInfo info{};
        std::vector<uint8_t> list(CHANGED_PROPERTY_LIST_SIZE);
        uint8_t byte = 0;
        EXPECT_EQ(m_library.Close(handle), CAMERA_ERROR_UNKNOWN);
        EXPECT_EQ(m_library.GetDeviceInfo(handle, &device), CAMERA_ERROR_UNKNOWN);
        EXPECT_EQ(m_library.GetChangedProperty(handle, list.data()), CAMERA_ERROR_UNKNOWN);
        EXPECT_EQ(m_library.Shoot(handle, nullptr, nullptr), CAMERA_ERROR_UNKNOWN);
        EXPECT_EQ(m_library.ReadImageInfo(handle, &info), CAMERA_ERROR_UNKNOWN);
        EXPECT_EQ(m_library.ReadImage(handle, &byte, 1), CAMERA_ERROR_UNKNOWN);
        if (handle != 0) {
            EXPECT_EQ(LibraryErrorNumber(), VRX4K_ERROR_BAD_HANDLE);
        }
        EXPECT_EQ(DeviceName(device), "");
    }
}

TEST_F(LifecycleTest, EachHandleKeepsTheNumberOfItsOwnLatestFailure)
{
    Start();
    const uint32_t first = Connect(0);
    uint32_t second = 0;
    ASSERT_EQ(m_library.Open(1, &second, nullptr, 0), 0u);
    CameraImageInfo info{};
    uint8_t byte = 0;

    EXPECT_EQ(m_library.ReadImageInfo(first, &info), VRX4K_ERROR_NO_IMAGE);
    EXPECT_EQ(m_library.ReadImage(second, &byte, 1), VRX4K_ERROR_NOT_DESCRIBED);
    EXPECT_EQ(m_library.ReadImageInfo(first, nullptr), VRX4K_ERROR_BAD_ARGUMENT);
    EXPECT_EQ(m_library.GetDeviceInfo(second, nullptr), VRX4K_ERROR_BAD_ARGUMENT);
    EXPECT_EQ(m_library.GetChangedProperty(first, nullptr), VRX4K_ERROR_BAD_ARGUMENT);

    // The library also says which call failed; the binding ignores it.
    auto getErrorNumber =
        platform::FindFunction<PfnVRX4K_GetErrorNumber>(m_library.ModuleHandle(), "VRX4K_GetErrorNumber");
    int32_t failedCall = -1;
    uint32_t number = 0;
    ASSERT_EQ(getErrorNumber(first, &failedCall, &number), 0);
    EXPECT_EQ(number, VRX4K_ERROR_BAD_ARGUMENT);
    EXPECT_EQ(failedCall, 8) << "GetChangedProperty is the eighth entry point";
    EXPECT_EQ(getErrorNumber(first, nullptr, nullptr), -1);
    EXPECT_EQ(getErrorNumber(0x7FFFFFFF, &failedCall, &number), -1);
}

} // namespace
} // namespace simtest
