#include "virtual_camera_fixture.h"

#include "gphoto2_access.h"

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

// Shoots until the camera takes the shot, for at most `seconds`.
CameraError ShootWithin(CCameraLibrary &library, uint32_t handle, int seconds)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    CameraError error = library.Shoot(handle, nullptr, nullptr);
    while (error != 0 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        error = library.Shoot(handle, nullptr, nullptr);
    }
    return error;
}

TEST_F(VirtualCameraTest, UnpluggedCameraAnswersGoneAndComesBackOnTheSameHandle)
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

    // The camera is found gone by the shot itself or by the worker's next
    // event wait; from then on camera calls answer so.
    CameraError error = 0;
    for (int attempt = 0; attempt < 50 && error == 0; ++attempt) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        error = m_library.Shoot(handle, nullptr, nullptr);
    }
    EXPECT_EQ(error, VRX4K_ERROR_CAMERA_GONE);
    CameraDeviceInfo device{};
    EXPECT_EQ(m_library.GetDeviceInfo(handle, &device), VRX4K_ERROR_CAMERA_GONE);
    // What was announced before the cable went is still delivered.
    EXPECT_TRUE(Download(handle).bytes == m_cardPicture);

    // Plugged in again: the same handle shoots, with no Detect or Open.
    cable.Plug();
    ASSERT_EQ(ShootWithin(m_library, handle, 15), 0u) << "the camera did not come back";
    ASSERT_TRUE(m_events.WaitFor(CAMERA_EVENT_IMAGE_READY, 2));
    EXPECT_TRUE(Download(handle).bytes == m_cardPicture);
    EXPECT_EQ(m_library.GetDeviceInfo(handle, &device), 0u);
    EXPECT_EQ(FieldText(device.Detail, sizeof device.Detail), "S/N 0.1");
}

// The virtual camera's port fails that many of the next downloads with an
// I/O error (vusb_unplug.c); returns how many are still to fail.
int FailDownloads(int count)
{
    if (count >= 0)
        std::ofstream("failed_downloads") << count;
    int left = -1;
    std::ifstream("failed_downloads") >> left;
    return left;
}

TEST_F(VirtualCameraTest, FailedDownloadIsTriedAgainAndGivenUpAfterThreeAttempts)
{
    const uint32_t handle = Connect();
    FailDownloads(1);
    ASSERT_EQ(m_library.Shoot(handle, nullptr, nullptr), 0u);
    ASSERT_TRUE(m_events.WaitFor(CAMERA_EVENT_IMAGE_READY, 1));
    EXPECT_EQ(FailDownloads(-1), 0);
    EXPECT_TRUE(Download(handle).bytes == m_cardPicture);

    // Three failures give the next picture up; the one after it fails once
    // and still arrives, and nothing else does.
    FailDownloads(4);
    ASSERT_EQ(m_library.Shoot(handle, nullptr, nullptr), 0u);
    ASSERT_EQ(ShootWithin(m_library, handle, 5), 0u);
    ASSERT_TRUE(m_events.WaitFor(CAMERA_EVENT_IMAGE_READY, 2));
    EXPECT_EQ(FailDownloads(-1), 0);
    const cameratest::DownloadedPicture picture = Download(handle);
    EXPECT_TRUE(picture.bytes == m_cardPicture);
    EXPECT_EQ(ReadLe32(reinterpret_cast<const uint8_t *>(picture.info.Reserved) + 12), 2u); // shot number
    EXPECT_FALSE(m_events.WaitFor(CAMERA_EVENT_IMAGE_READY, 3, std::chrono::milliseconds(1500)));
}

TEST_F(VirtualCameraTest, DriverWithoutEventWaitingStillShoots)
{
    // libgphoto2's PTP driver with its event waiting taken away
    // (no_event_driver.c): waiting answers "not supported".
    setenv("CAMLIBS", (std::filesystem::current_path() / "camlibs-noevents").c_str(), 1);
    const uint32_t handle = Connect();
    ASSERT_TRUE(m_events.WaitFor(CAMERA_EVENT_PROPERTY_CHANGED, 1));
    // Long past the three failed waits that once meant a lost camera.
    std::this_thread::sleep_for(std::chrono::milliseconds(800));
    for (size_t shot = 1; shot <= 2; ++shot) {
        ASSERT_EQ(m_library.Shoot(handle, nullptr, nullptr), 0u) << "shot " << shot;
        ASSERT_TRUE(m_events.WaitFor(CAMERA_EVENT_IMAGE_READY, shot));
        const cameratest::DownloadedPicture picture = Download(handle);
        EXPECT_TRUE(picture.bytes == m_cardPicture) << "shot " << shot;
    }
    CameraDeviceInfo device{};
    EXPECT_EQ(m_library.GetDeviceInfo(handle, &device), 0u);
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

// A mounted memory card with a DCIM folder, which libgphoto2 lists as a
// "Mass Storage Camera" on a disk: port. Run by mounted_card.sh, which mounts
// one in a mount namespace of its own and names it in TAVREN_MOUNTED_CARD.
TEST(MassStorageTest, MountedCardIsNoCamera)
{
    const char *card = std::getenv("TAVREN_MOUNTED_CARD");
    if (!card || !*card)
        GTEST_SKIP() << "no card mounted (mounted_card.sh mounts one)";
    // Only the drivers a mounted card needs: the others (USB, serial, PTP/IP)
    // leave allocations behind that LeakSanitizer cannot place once unloaded.
    const std::filesystem::path drivers = std::filesystem::path(card).parent_path() / "camlibs";
    const std::filesystem::path ports = std::filesystem::path(card).parent_path() / "iolibs";
    std::filesystem::create_directories(drivers);
    std::filesystem::create_directories(ports);
    std::filesystem::create_symlink(std::filesystem::path(std::getenv("TAVREN_GPHOTO2_CAMLIBS")) / "directory.so",
                                    drivers / "directory.so");
    std::filesystem::create_symlink(std::filesystem::path(std::getenv("TAVREN_GPHOTO2_IOLIBS")) / "disk.so",
                                    ports / "disk.so");
    setenv("IOLIBS", ports.c_str(), 1);
    setenv("CAMLIBS", drivers.c_str(), 1);

    // libgphoto2 itself lists the card ...
    CameraList *list = nullptr;
    ASSERT_EQ(gp_list_new(&list), GP_OK);
    GPContext *context = gp_context_new();
    const int found = gp_camera_autodetect(list, context);
    bool listed = false;
    for (int i = 0; i < found; ++i) {
        const char *port = nullptr;
        gp_list_get_value(list, i, &port);
        listed = listed || (port && std::string(port) == std::string("disk:") + card);
    }
    gp_list_free(list);
    gp_context_unref(context);
    ASSERT_TRUE(listed) << "libgphoto2 does not list the mounted card: nothing to leave out";

    // ... and the library leaves it out.
    std::vector<vrx4kgp::DetectedCamera> cameras;
    ASSERT_GE(vrx4kgp::DetectCameras(cameras), GP_OK);
    for (const vrx4kgp::DetectedCamera &camera : cameras)
        EXPECT_NE(camera.port.rfind("disk:", 0), 0u) << camera.model << " on " << camera.port;
}

} // namespace
} // namespace gphoto2test
