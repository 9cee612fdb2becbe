// Injected faults: the per-shot script, failing start-up, discovery and
// connection, and settings the library refuses.
#include "sim_test_support.h"

#include "camera/camera_records.h"

#include <span>

namespace simtest {
namespace {

using FaultTest = SimulatedCameraTest;

TEST_F(FaultTest, TheScriptShapesEachShotInTurn)
{
    Start({{"VRX4K_SIM_SCRIPT",
            "jpeg, shootfail, type4, type5, type0, type-1, size0, badjpeg, readfail, infofail, jpeg3, raw, raw+jpeg"},
           {"VRX4K_SIM_FORMAT", "jpeg"}});
    const uint32_t camera = Connect();
    int32_t shots = 0;
    int32_t expectedPictures = 0;
    for (int i = 0; i < 13; ++i) {
        int32_t pictures = 0;
        const CameraError result = m_library.Shoot(camera, nullptr, &pictures);
        if (i == 1) {
            EXPECT_EQ(result, VRX4K_ERROR_SHOOT_FAILED);
            continue;
        }
        ASSERT_EQ(result, 0u) << "shot " << i;
        ++shots;
        expectedPictures += pictures;
    }
    EXPECT_EQ(shots, 12);
    EXPECT_EQ(expectedPictures, 13) << "raw+jpeg is two pictures";
    ASSERT_TRUE(m_events.WaitFor(CAMERA_EVENT_IMAGE_READY, 13));

    const auto describe = [&](CameraImageInfo &info) { return m_library.ReadImageInfo(camera, &info); };
    CameraImageInfo info{};

    EXPECT_TRUE(JpegSize(Download(camera).bytes)); // jpeg
    for (int32_t type : {4, 5, 0, -1}) {
        const DownloadedPicture picture = Download(camera);
        EXPECT_EQ(picture.info.ImageType, type);
        EXPECT_TRUE(JpegSize(picture.bytes)) << "type" << type << " keeps a real JPEG";
    }
    ASSERT_EQ(describe(info), 0u); // size0: described, nothing to read
    EXPECT_EQ(info.ImageType, CAMERA_IMAGE_JPEG);
    EXPECT_EQ(info.ImageSize, 0u);

    const DownloadedPicture bad = Download(camera);
    EXPECT_EQ(bad.info.ImageType, CAMERA_IMAGE_JPEG);
    EXPECT_GT(bad.bytes.size(), 100u);
    EXPECT_FALSE(JpegSize(bad.bytes)) << "badjpeg must not decode";

    ASSERT_EQ(describe(info), 0u); // readfail
    std::vector<uint8_t> bytes(info.ImageSize);
    EXPECT_EQ(m_library.ReadImage(camera, bytes.data(), info.ImageSize), VRX4K_ERROR_TRANSFER_FAILED);
    EXPECT_EQ(m_library.ReadImage(camera, bytes.data(), info.ImageSize), VRX4K_ERROR_NOT_DESCRIBED)
        << "a failed transfer loses the picture";

    EXPECT_EQ(describe(info), VRX4K_ERROR_INFO_FAILED); // infofail
    EXPECT_EQ(Download(camera).info.ImageType, CAMERA_IMAGE_JPEG_ALT) << "the lost picture does not block the next";
    EXPECT_EQ(Download(camera).info.ImageType, CAMERA_IMAGE_RAW);
    EXPECT_EQ(Download(camera).info.ImageType, CAMERA_IMAGE_RAW);
    EXPECT_EQ(Download(camera).info.ImageType, CAMERA_IMAGE_JPEG);

    // After the script the configured format applies.
    EXPECT_EQ(describe(info), VRX4K_ERROR_NO_IMAGE);
    ASSERT_EQ(m_library.Shoot(camera, nullptr, nullptr), 0u);
    ASSERT_TRUE(m_events.WaitFor(CAMERA_EVENT_IMAGE_READY, 14));
    EXPECT_EQ(Download(camera).info.ImageType, CAMERA_IMAGE_JPEG);
}

TEST_F(FaultTest, EachCameraFollowsTheScriptFromItsStart)
{
    Start({{"VRX4K_SIM_SCRIPT", "shootfail,type4"}});
    const uint32_t first = Connect(0);
    uint32_t second = 0;
    ASSERT_EQ(m_library.Open(1, &second, nullptr, 0), 0u);
    EXPECT_EQ(m_library.Shoot(first, nullptr, nullptr), VRX4K_ERROR_SHOOT_FAILED);
    EXPECT_EQ(m_library.Shoot(second, nullptr, nullptr), VRX4K_ERROR_SHOOT_FAILED);
    EXPECT_EQ(m_library.Shoot(first, nullptr, nullptr), 0u);
    ASSERT_TRUE(m_events.WaitFor(CAMERA_EVENT_IMAGE_READY, 1));
    EXPECT_EQ(Download(first).info.ImageType, 4);
}

TEST_F(FaultTest, PropertyScriptsGiveAnEmptyListAndADuplicateCode)
{
    Start({{"VRX4K_SIM_SCRIPT", "propsempty,propsdup"}});
    const uint32_t camera = Connect();
    ASSERT_EQ(m_library.Shoot(camera, nullptr, nullptr), 0u);
    // The shot's report and one more: 1 on connecting + 2.
    ASSERT_TRUE(m_events.WaitFor(CAMERA_EVENT_PROPERTY_CHANGED, 3));
    std::vector<uint8_t> list = ChangedPropertyBuffer(camera);
    EXPECT_FALSE(ReadChangedProperties(std::span<const uint8_t>(list)).empty());
    list = ChangedPropertyBuffer(camera);
    EXPECT_EQ(list[0] | list[1] << 8, 0);
    EXPECT_EQ(list[2], 0xCD) << "an empty list writes only its count";

    ASSERT_EQ(m_library.Shoot(camera, nullptr, nullptr), 0u);
    ASSERT_TRUE(m_events.WaitFor(CAMERA_EVENT_PROPERTY_CHANGED, 4));
    list = ChangedPropertyBuffer(camera);
    const std::vector<ChangedProperty> entries = ReadChangedProperties(std::span<const uint8_t>(list));
    std::vector<int32_t> isoValues;
    for (const ChangedProperty &entry : entries) {
        if (entry.code == VRX4K_SIM_PROPERTY_ISO)
            isoValues.push_back(entry.value);
    }
    ASSERT_EQ(isoValues.size(), 2u);
    EXPECT_NE(isoValues[0], isoValues[1]);
    Download(camera);
    const DownloadedPicture picture = Download(camera);
    EXPECT_EQ(isoValues[1], Logged(camera, cameratest::ReadAnnounced(picture.info).shot, 1, "iso"))
        << "the later entry holds the value in force";
}

TEST_F(FaultTest, CamerasListedToFailDoNotOpen)
{
    Start({{"VRX4K_SIM_CAMERAS", "3"}, {"VRX4K_SIM_FAIL_OPEN", "0,2"}});
    for (int32_t index : {0, 2}) {
        uint32_t handle = 5;
        EXPECT_EQ(m_library.Open(index, &handle, nullptr, 0), CAMERA_ERROR_UNKNOWN);
        EXPECT_EQ(handle, 0u);
        EXPECT_EQ(LibraryErrorNumber(), VRX4K_ERROR_OPEN_FAILED);
        EXPECT_EQ(m_library.Open(index, &handle, &EventRecorder::Callback, 0), CAMERA_ERROR_UNKNOWN);
    }
    uint32_t handle = 0;
    EXPECT_EQ(m_library.Open(1, &handle, nullptr, 0), 0u);
    EXPECT_EQ(m_events.Count(CAMERA_EVENT_PROPERTY_CHANGED), 0u);
}

TEST_F(FaultTest, InitAndDetectFailWhenAsked)
{
    m_environment.Set("VRX4K_SIM_FAIL_INIT", "1");
    EXPECT_EQ(m_library.Init(0), CAMERA_ERROR_UNKNOWN);
    EXPECT_EQ(LibraryErrorNumber(), VRX4K_ERROR_INIT_FAILED);
    int32_t count = -1;
    EXPECT_EQ(m_library.Detect(0, &count), CAMERA_ERROR_UNKNOWN) << "a failed Init leaves nothing running";

    m_environment.Set("VRX4K_SIM_FAIL_INIT", "0");
    Start({{"VRX4K_SIM_FAIL_DETECT", "yes"}});
    EXPECT_EQ(m_library.Detect(0, &count), CAMERA_ERROR_UNKNOWN);
    EXPECT_EQ(count, -1);
    EXPECT_EQ(LibraryErrorNumber(), VRX4K_ERROR_DETECT_FAILED);
}

TEST_F(FaultTest, InitRefusesSettingsItCannotRead)
{
    for (const auto &[name, value] : std::vector<std::pair<std::string, std::string>>{
             {"VRX4K_SIM_SIZE", "large"},
             {"VRX4K_SIM_SIZE", "20000x10"},
             {"VRX4K_SIM_SIZE", "0x0"},
             {"VRX4K_SIM_CAMERAS", "9"},
             {"VRX4K_SIM_CAMERAS", "two"},
             {"VRX4K_SIM_FORMAT", "tiff"},
             {"VRX4K_SIM_SCRIPT", "jpeg,explode"},
             {"VRX4K_SIM_FAIL_OPEN", "1,x"},
             {"VRX4K_SIM_DELAY_MS", "-5"},
             {"VRX4K_SIM_LOG", "/nonexistent-folder/log.txt"},
         }) {
        ScopedEnvironment environment;
        environment.Set(name, value);
        EXPECT_EQ(m_library.Init(0), CAMERA_ERROR_UNKNOWN) << name << "=" << value;
        EXPECT_EQ(LibraryErrorNumber(), VRX4K_ERROR_BAD_CONFIGURATION) << name << "=" << value;
    }
    Start();
}

TEST_F(FaultTest, AFullBufferRefusesShotsUntilPicturesAreRead)
{
    Start({{"VRX4K_SIM_BUFFER", "3"}, {"VRX4K_SIM_DELAY_MS", "0"}});
    const uint32_t camera = Connect();
    for (int i = 0; i < 3; ++i)
        ASSERT_EQ(m_library.Shoot(camera, nullptr, nullptr), 0u);
    EXPECT_EQ(m_library.Shoot(camera, nullptr, nullptr), VRX4K_ERROR_BUFFER_FULL);
    ASSERT_TRUE(m_events.WaitFor(CAMERA_EVENT_IMAGE_READY, 3));
    EXPECT_EQ(m_library.Shoot(camera, nullptr, nullptr), VRX4K_ERROR_BUFFER_FULL);
    CameraImageInfo info{};
    ASSERT_EQ(m_library.ReadImageInfo(camera, &info), 0u);
    EXPECT_EQ(m_library.Shoot(camera, nullptr, nullptr), 0u) << "a described picture has left the buffer";
}

} // namespace
} // namespace simtest
