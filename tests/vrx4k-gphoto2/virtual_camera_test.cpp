#include "virtual_camera_fixture.h"

#include <cstring>
#include <map>
#include <string>

namespace gphoto2test {
namespace {

std::string FieldText(const char *field, size_t size)
{
    return std::string(field, strnlen(field, size));
}

TEST_F(VirtualCameraTest, DescribesTheVirtualCamera)
{
    const CameraDeviceInfo info = Describe(0);
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
}

TEST_F(VirtualCameraTest, ConnectionReportsTheCardsBatteryAndShotsRemaining)
{
    uint32_t handle = 0;
    ASSERT_EQ(m_library.Open(0, &handle, &EventRecorder::Callback, 0), 0u);
    ASSERT_TRUE(m_events.WaitFor(CAMERA_EVENT_PROPERTY_CHANGED, 1));
    const std::vector<uint8_t> list = ChangedPropertyBuffer(handle);
    const uint16_t count = static_cast<uint16_t>(list[0] | list[1] << 8);
    ASSERT_EQ(count, 2u); // the virtual camera has no ISO setting
    std::map<uint32_t, uint32_t> values;
    for (uint16_t i = 0; i < count; ++i) {
        const uint8_t *entry = list.data() + CHANGED_PROPERTY_COUNT_SIZE + i * CHANGED_PROPERTY_ENTRY_SIZE;
        values[ReadLe32(entry)] = ReadLe32(entry + 4);
    }
    EXPECT_EQ(values[VRX4K_GP_PROPERTY_BATTERY], 50u);          // "50%"
    EXPECT_EQ(values[VRX4K_GP_PROPERTY_SHOTS_REMAINING], 150u); // its card's free images
}

TEST_F(VirtualCameraTest, ShotTakenOnTheCameraIsAnnouncedWithoutShoot)
{
    // The virtual camera's own shutter: its vendor operation 0x9999 with
    // action 0 reports a new picture after the given milliseconds.
    ScopedEnvironment environment;
    environment.Set("VRX4K_GPHOTO2_CONFIG", "opcode=0x9999,0x0,0x12c");
    const uint32_t handle = Connect();
    ASSERT_TRUE(m_events.WaitFor(CAMERA_EVENT_IMAGE_READY, 1));
    const cameratest::DownloadedPicture picture = Download(handle);
    EXPECT_TRUE(picture.bytes == m_cardPicture);
    EXPECT_EQ(picture.info.ImageType, CAMERA_IMAGE_JPEG);
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
    EXPECT_TRUE(Download(handle).bytes == m_cardPicture);
    CameraDeviceInfo device{};
    EXPECT_EQ(m_library.GetDeviceInfo(handle, &device), 0u);
    EXPECT_EQ(FieldText(device.Name, sizeof device.Name), "Nikon DSC D750");
    EXPECT_EQ(m_library.Close(handle), 0u);

    // Plugged in again: found, connected, and shooting.
    cable.Plug();
    m_events.Reset();
    int32_t count = 0;
    ASSERT_EQ(m_library.Detect(0, &count), 0u);
    EXPECT_EQ(count, 1);
    const uint32_t again = Connect();
    ASSERT_EQ(m_library.Shoot(again, nullptr, nullptr), 0u);
    ASSERT_TRUE(m_events.WaitFor(CAMERA_EVENT_IMAGE_READY, 1));
    EXPECT_TRUE(Download(again).bytes == m_cardPicture);
}

TEST_F(VirtualCameraTest, UnusableCameraSettingFailsTheConnection)
{
    ScopedEnvironment environment;
    environment.Set("VRX4K_GPHOTO2_CONFIG", "nosuchsetting=1");
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

} // namespace
} // namespace gphoto2test
