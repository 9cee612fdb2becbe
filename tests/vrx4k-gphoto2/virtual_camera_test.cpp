#include "virtual_camera_fixture.h"

#include <cstdlib>
#include <cstring>
#include <string>

namespace gphoto2test {
namespace {

// Sets one environment variable for a test and removes it afterwards.
class ScopedVariable {
public:
    ScopedVariable(const char *name, const char *value) : m_name(name) { setenv(name, value, 1); }
    ~ScopedVariable() { unsetenv(m_name); }
    ScopedVariable(const ScopedVariable &) = delete;
    ScopedVariable &operator=(const ScopedVariable &) = delete;

private:
    const char *m_name;
};

std::string FieldText(const char *field, size_t size)
{
    return std::string(field, strnlen(field, size));
}

TEST_F(VirtualCameraTest, DetectsAndDescribesTheVirtualCamera)
{
    int32_t count = -1;
    ASSERT_EQ(m_library.Detect(0, &count), 0u);
    ASSERT_EQ(count, 1);

    uint32_t handle = 0;
    ASSERT_EQ(m_library.Open(0, &handle, nullptr, 0), 0u);
    ASSERT_NE(handle, 0u);
    CameraDeviceInfo info;
    std::memset(&info, 0xEE, sizeof info); // the library clears what it does not fill
    ASSERT_EQ(m_library.GetDeviceInfo(handle, &info), 0u);

    EXPECT_EQ(FieldText(info.Name, sizeof info.Name), "Nikon DSC D750");
    EXPECT_EQ(FieldText(info.Detail, sizeof info.Detail), "S/N 0.1");
    EXPECT_EQ(std::memcmp(info.Reserved, VRX4K_GP_DEVICE_MAGIC, 8), 0);
    const auto text = [&](size_t offset) {
        return FieldText(reinterpret_cast<const char *>(info.Reserved + offset), VRX4K_GP_DEVICE_TEXT_SIZE);
    };
    EXPECT_EQ(text(VRX4K_GP_DEVICE_MODEL_OFFSET), "Nikon DSC D750");
    EXPECT_EQ(text(VRX4K_GP_DEVICE_PORT_OFFSET), "usb:001,001");
    EXPECT_EQ(text(VRX4K_GP_DEVICE_MANUFACTURER_OFFSET), "GP");
    EXPECT_EQ(text(VRX4K_GP_DEVICE_SERIAL_OFFSET), "0.1");
    EXPECT_EQ(text(VRX4K_GP_DEVICE_VERSION_OFFSET), "2.5.11");
    EXPECT_EQ(info.Reserved[VRX4K_GP_DEVICE_TEXT_SIZE * 7], 0); // past the last text
    EXPECT_EQ(info.Name[sizeof info.Name - 1], '\0');

    // A probe sends no events, even after a while.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(m_events.Count(CAMERA_EVENT_PROPERTY_CHANGED) + m_events.Count(CAMERA_EVENT_IMAGE_READY), 0u);
    EXPECT_EQ(m_library.Close(handle), 0u);
}

TEST_F(VirtualCameraTest, ConnectionReportsBatteryAndShotsRemainingOnce)
{
    const uint32_t handle = Connect(7);
    std::vector<uint8_t> list(CHANGED_PROPERTY_LIST_SIZE, 0xEE);
    ASSERT_EQ(m_library.GetChangedProperty(handle, list.data()), 0u);
    const uint16_t count = static_cast<uint16_t>(list[0] | list[1] << 8);
    ASSERT_EQ(count, 2u); // the virtual camera has no ISO setting
    std::map<uint32_t, uint32_t> values;
    for (uint16_t i = 0; i < count; ++i) {
        const uint8_t *entry = list.data() + CHANGED_PROPERTY_COUNT_SIZE + i * CHANGED_PROPERTY_ENTRY_SIZE;
        values[ReadU32(entry)] = ReadU32(entry + 4);
    }
    EXPECT_EQ(values[VRX4K_GP_PROPERTY_BATTERY], 50u);          // "50%"
    EXPECT_EQ(values[VRX4K_GP_PROPERTY_SHOTS_REMAINING], 150u); // its card's free images
    EXPECT_EQ(m_events.Contexts(), std::set<int32_t>{7});

    // Nothing new since: the next read is empty.
    ASSERT_EQ(m_library.GetChangedProperty(handle, list.data()), 0u);
    EXPECT_EQ(list[0] | list[1] << 8, 0);
}

TEST_F(VirtualCameraTest, ShotIsAnnouncedOnTheLibrarysThreadAndDownloadedByteForByte)
{
    const uint32_t handle = Connect();
    int32_t out1 = -1;
    int32_t out2 = -1;
    ASSERT_EQ(m_library.Shoot(handle, &out1, &out2), 0u);
    ASSERT_TRUE(m_events.WaitFor(CAMERA_EVENT_IMAGE_READY, 1));

    CameraImageInfo info;
    const std::vector<uint8_t> bytes = Download(handle, info);
    EXPECT_EQ(info.ImageType, CAMERA_IMAGE_JPEG);
    EXPECT_EQ(info.ImageSize, m_cardPicture.size());
    EXPECT_EQ(info.Reserved[VRX4K_GP_INFO_NUMBER], 1u);
    EXPECT_TRUE(bytes == m_cardPicture) << "the downloaded picture differs from the one on the card";
    EXPECT_EQ(m_events.Threads().count(std::this_thread::get_id()), 0u);

    // The picture was handed over: the queue is empty again.
    EXPECT_EQ(m_library.ReadImageInfo(handle, &info), VRX4K_ERROR_NO_IMAGE);
}

TEST_F(VirtualCameraTest, ShotTakenOnTheCameraIsAnnouncedWithoutShoot)
{
    // The virtual camera's own shutter: its vendor operation 0x9999 with
    // action 0 reports a new picture after the given milliseconds.
    ScopedVariable press("VRX4K_GPHOTO2_CONFIG", "opcode=0x9999,0x0,0x12c");
    const uint32_t handle = Connect();
    ASSERT_TRUE(m_events.WaitFor(CAMERA_EVENT_IMAGE_READY, 1));
    CameraImageInfo info;
    EXPECT_TRUE(Download(handle, info) == m_cardPicture);
    EXPECT_EQ(info.ImageType, CAMERA_IMAGE_JPEG);
}

TEST_F(VirtualCameraTest, PictureIsReadAndTheCameraClosedFromInsideTheCallback)
{
    // The callback runs on the camera's own thread: reading there must not
    // wait for that thread, and Close there cannot join it.
    uint32_t handle = 0;
    std::vector<uint8_t> bytes;
    uint32_t readError = 1;
    uint32_t closeError = 1;
    m_events.hook = [&](int32_t event) {
        if (event != CAMERA_EVENT_IMAGE_READY)
            return;
        CameraImageInfo info;
        bytes = Download(handle, info);
        CameraDeviceInfo device{};
        readError = m_library.GetDeviceInfo(handle, &device);
        closeError = m_library.Close(handle);
    };
    handle = Connect();
    ASSERT_EQ(m_library.Shoot(handle, nullptr, nullptr), 0u);
    ASSERT_TRUE(m_events.WaitFor(CAMERA_EVENT_IMAGE_READY, 1));
    // The hook ran before the event was recorded; the camera is closed.
    EXPECT_NE(m_library.Shoot(handle, nullptr, nullptr), 0u);
    EXPECT_EQ(readError, 0u);
    EXPECT_EQ(closeError, 0u);
    EXPECT_TRUE(bytes == m_cardPicture);
    // Exit joins the closed camera's worker; a new connection works.
    ASSERT_EQ(m_library.Exit(), 0u);
    m_events.Reset();
    ASSERT_EQ(m_library.Init(0), 0u);
    const uint32_t again = Connect();
    EXPECT_NE(again, handle);
}

TEST_F(VirtualCameraTest, QueueRefusalsGiveTheirErrorNumbersAndKeepThePicture)
{
    const uint32_t handle = Connect();
    CameraImageInfo info;
    uint8_t byte = 0;
    EXPECT_EQ(m_library.ReadImageInfo(handle, &info), VRX4K_ERROR_NO_IMAGE);
    EXPECT_EQ(m_library.ReadImage(handle, &byte, 1), VRX4K_ERROR_NOT_DESCRIBED);

    ASSERT_EQ(m_library.Shoot(handle, nullptr, nullptr), 0u);
    ASSERT_TRUE(m_events.WaitFor(CAMERA_EVENT_IMAGE_READY, 1));
    ASSERT_EQ(m_library.ReadImageInfo(handle, &info), 0u);
    std::vector<uint8_t> bytes(info.ImageSize + 1);
    EXPECT_EQ(m_library.ReadImage(handle, bytes.data(), info.ImageSize + 1), VRX4K_ERROR_SIZE_MISMATCH);
    EXPECT_EQ(m_library.ReadImage(handle, nullptr, info.ImageSize), VRX4K_ERROR_BAD_ARGUMENT);
    // Still described after both refusals.
    bytes.resize(info.ImageSize);
    EXPECT_EQ(m_library.ReadImage(handle, bytes.data(), info.ImageSize), 0u);
    EXPECT_TRUE(bytes == m_cardPicture);
    EXPECT_EQ(m_library.ReadImage(handle, bytes.data(), info.ImageSize), VRX4K_ERROR_NOT_DESCRIBED);
}

TEST_F(VirtualCameraTest, UnpluggedCameraFailsItsCallsAndIsFoundAgainWhenBack)
{
    const uint32_t handle = Connect();
    ASSERT_EQ(m_library.Shoot(handle, nullptr, nullptr), 0u);
    ASSERT_TRUE(m_events.WaitFor(CAMERA_EVENT_IMAGE_READY, 1));

    // The virtual camera's port fails every transfer while this file exists.
    struct Cable {
        Cable() { std::ofstream("unplugged").put('x'); }
        ~Cable() { Plug(); }
        void Plug() { std::filesystem::remove("unplugged"); }
    } cable;

    // The worker notices within a few event waits; from then on Shoot fails
    // at once with libgphoto2's error.
    CameraError error = 0;
    for (int attempt = 0; attempt < 100 && error == 0; ++attempt) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        error = m_library.Shoot(handle, nullptr, nullptr);
    }
    EXPECT_NE(error, 0u);
    EXPECT_LT(error, 1000u) << "expected a libgphoto2 result code, got " << error;

    // What arrived before the cable went is still there; the camera closes.
    CameraImageInfo info;
    EXPECT_TRUE(Download(handle, info) == m_cardPicture);
    CameraDeviceInfo device{};
    EXPECT_EQ(m_library.GetDeviceInfo(handle, &device), 0u);
    EXPECT_EQ(FieldText(device.Name, sizeof device.Name), "Nikon DSC D750");
    EXPECT_EQ(m_library.Close(handle), 0u);

    // Plugged in again: found, connected, and shooting.
    cable.Plug();
    m_events.Reset();
    const uint32_t again = Connect();
    ASSERT_EQ(m_library.Shoot(again, nullptr, nullptr), 0u);
    ASSERT_TRUE(m_events.WaitFor(CAMERA_EVENT_IMAGE_READY, 1));
    EXPECT_TRUE(Download(again, info) == m_cardPicture);
}

TEST_F(VirtualCameraTest, UnusableCameraSettingFailsTheConnection)
{
    ScopedVariable setting("VRX4K_GPHOTO2_CONFIG", "nosuchsetting=1");
    int32_t count = 0;
    ASSERT_EQ(m_library.Detect(0, &count), 0u);
    uint32_t handle = 99;
    EXPECT_EQ(m_library.Open(0, &handle, &EventRecorder::Callback, 0), CAMERA_ERROR_UNKNOWN);
    EXPECT_EQ(handle, 0u);
    EXPECT_EQ(LibraryErrorNumber(), VRX4K_ERROR_BAD_CONFIGURATION);
    // A probe does not apply settings, so discovery still works.
    EXPECT_EQ(m_library.Open(0, &handle, nullptr, 0), 0u);
    EXPECT_EQ(m_library.Close(handle), 0u);
}

TEST_F(VirtualCameraTest, BadHandlesAndMissingArgumentsAreRefused)
{
    CameraImageInfo info;
    CameraDeviceInfo device;
    uint8_t list[CHANGED_PROPERTY_LIST_SIZE];
    for (const uint32_t handle : {0u, 1u, 4242u}) {
        EXPECT_NE(m_library.Shoot(handle, nullptr, nullptr), 0u);
        EXPECT_NE(m_library.ReadImageInfo(handle, &info), 0u);
        EXPECT_NE(m_library.GetDeviceInfo(handle, &device), 0u);
        EXPECT_NE(m_library.GetChangedProperty(handle, list), 0u);
        EXPECT_NE(m_library.Close(handle), 0u);
    }
    EXPECT_EQ(LibraryErrorNumber(), VRX4K_ERROR_BAD_HANDLE);

    int32_t count = 0;
    ASSERT_EQ(m_library.Detect(0, &count), 0u);
    EXPECT_NE(m_library.Detect(0, nullptr), 0u);
    uint32_t handle = 5;
    EXPECT_NE(m_library.Open(count, &handle, nullptr, 0), 0u); // one past the last camera
    EXPECT_EQ(handle, 0u);
    EXPECT_EQ(LibraryErrorNumber(), VRX4K_ERROR_BAD_ARGUMENT);
    EXPECT_NE(m_library.Open(-1, &handle, nullptr, 0), 0u);
    EXPECT_NE(m_library.Open(0, nullptr, nullptr, 0), 0u);

    ASSERT_EQ(m_library.Open(0, &handle, nullptr, 0), 0u);
    EXPECT_EQ(m_library.GetDeviceInfo(handle, nullptr), VRX4K_ERROR_BAD_ARGUMENT);
    EXPECT_EQ(m_library.GetChangedProperty(handle, nullptr), VRX4K_ERROR_BAD_ARGUMENT);
    EXPECT_EQ(m_library.ReadImageInfo(handle, nullptr), VRX4K_ERROR_BAD_ARGUMENT);
    ASSERT_EQ(m_library.Close(handle), 0u);
    // A closed handle is gone for good.
    EXPECT_NE(m_library.Close(handle), 0u);
    EXPECT_NE(m_library.Shoot(handle, nullptr, nullptr), 0u);
}

TEST_F(VirtualCameraTest, CamerasOpenAndCloseRepeatedly)
{
    std::set<uint32_t> handles;
    for (int round = 0; round < 3; ++round) {
        uint32_t probe = 0;
        ASSERT_EQ(m_library.Open(0, &probe, nullptr, 0), 0u) << "round " << round;
        CameraDeviceInfo info{};
        EXPECT_EQ(m_library.GetDeviceInfo(probe, &info), 0u);
        EXPECT_EQ(FieldText(info.Name, sizeof info.Name), "Nikon DSC D750");
        ASSERT_EQ(m_library.Close(probe), 0u);

        m_events.Reset();
        const uint32_t handle = Connect();
        ASSERT_EQ(m_library.Shoot(handle, nullptr, nullptr), 0u);
        ASSERT_TRUE(m_events.WaitFor(CAMERA_EVENT_IMAGE_READY, 1)) << "round " << round;
        CameraImageInfo picture;
        EXPECT_TRUE(Download(handle, picture) == m_cardPicture) << "round " << round;
        ASSERT_EQ(m_library.Close(handle), 0u);
        handles.insert(probe);
        handles.insert(handle);
    }
    EXPECT_EQ(handles.size(), 6u); // no handle is issued twice
}

TEST_F(VirtualCameraTest, ExitWithACaptureInFlightEndsEveryCallback)
{
    const uint32_t handle = Connect();
    ASSERT_EQ(m_library.Shoot(handle, nullptr, nullptr), 0u);
    ASSERT_EQ(m_library.Exit(), 0u);
    m_initialised = false;
    m_events.exited = true;
    const size_t readyAtExit = m_events.Count(CAMERA_EVENT_IMAGE_READY);
    std::this_thread::sleep_for(std::chrono::milliseconds(600)); // past the capture's events
    EXPECT_EQ(m_events.callbacksAfterExit, 0);
    EXPECT_EQ(m_events.Count(CAMERA_EVENT_IMAGE_READY), readyAtExit);

    // The old handle is dead; the library starts again and finds the camera.
    CameraImageInfo info;
    EXPECT_NE(m_library.ReadImageInfo(handle, &info), 0u);
    ASSERT_EQ(m_library.Init(0), 0u);
    m_initialised = true;
    int32_t count = 0;
    EXPECT_EQ(m_library.Detect(0, &count), 0u);
    EXPECT_EQ(count, 1);
}

TEST_F(VirtualCameraTest, CallsBeforeInitAndTwiceInitAreRefused)
{
    EXPECT_NE(m_library.Init(0), 0u);
    EXPECT_EQ(LibraryErrorNumber(), VRX4K_ERROR_ALREADY_INITIALISED);
    ASSERT_EQ(m_library.Exit(), 0u);
    m_initialised = false;
    int32_t count = 0;
    EXPECT_NE(m_library.Detect(0, &count), 0u);
    EXPECT_EQ(LibraryErrorNumber(), VRX4K_ERROR_NOT_INITIALISED);
    EXPECT_NE(m_library.Exit(), 0u);
}

} // namespace
} // namespace gphoto2test
