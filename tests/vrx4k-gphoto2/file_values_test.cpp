#include "camera_session.h"
#include "file_values.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vrx4kgp {
namespace {

TEST(PictureTypeTest, JpegByMimeTypeOrExtension)
{
    EXPECT_EQ(PictureType("image/jpeg", "DSC_0001.JPG"), CAMERA_IMAGE_JPEG);
    EXPECT_EQ(PictureType("IMAGE/JPEG", "x"), CAMERA_IMAGE_JPEG);
    // A driver that gives no MIME type still names the file.
    EXPECT_EQ(PictureType("", "IMG_0001.jpeg"), CAMERA_IMAGE_JPEG);
    EXPECT_EQ(PictureType("application/octet-stream", "img_0001.Jpg"), CAMERA_IMAGE_JPEG);
}

TEST(PictureTypeTest, RawByMakerMimeTypeOrExtension)
{
    EXPECT_EQ(PictureType("image/x-canon-cr2", "IMG_0001.CR2"), CAMERA_IMAGE_RAW);
    EXPECT_EQ(PictureType("image/x-nikon-nef", "DSC_0001.NEF"), CAMERA_IMAGE_RAW);
    EXPECT_EQ(PictureType("image/x-raw", "P1000001"), CAMERA_IMAGE_RAW);
    for (const char *name : {"a.ARW", "a.raf", "a.ORF", "a.rw2", "a.dng", "a.CR3", "a.pef"})
        EXPECT_EQ(PictureType("application/octet-stream", name), CAMERA_IMAGE_RAW) << name;
}

TEST(PictureTypeTest, OtherFilesArePassedOver)
{
    EXPECT_FALSE(PictureType("video/quicktime", "MVI_0001.MOV"));
    EXPECT_FALSE(PictureType("video/x-msvideo", "MVI_0001.AVI"));
    EXPECT_FALSE(PictureType("audio/wav", "SND_0001.WAV"));
    EXPECT_FALSE(PictureType("image/x-portable-pixmap", "old.ppm"));
    EXPECT_FALSE(PictureType("image/heif", "IMG_0001.HIF"));
    EXPECT_FALSE(PictureType("", ""));
    EXPECT_FALSE(PictureType("", "NOEXTENSION"));
    EXPECT_FALSE(PictureType("", "trailingdot."));
    // Extensions are matched whole, not as a prefix.
    EXPECT_FALSE(PictureType("", "a.jpgx"));
    EXPECT_FALSE(PictureType("", "a.nefs"));
}

TEST(CameraTextTest, BatteryLevels)
{
    EXPECT_EQ(BatteryPercent("50%"), 50u);
    EXPECT_EQ(BatteryPercent(" 100 % "), 100u);
    EXPECT_EQ(BatteryPercent("0%"), 0u);
    EXPECT_EQ(BatteryPercent("Full"), 100u);
    EXPECT_EQ(BatteryPercent("LOW"), 20u);
    EXPECT_EQ(BatteryPercent("Normal"), 50u);
    EXPECT_FALSE(BatteryPercent("101%"));
    EXPECT_FALSE(BatteryPercent("Unknown"));
    EXPECT_FALSE(BatteryPercent(""));
    EXPECT_FALSE(BatteryPercent("99999999999999999999%")); // does not wrap
}

TEST(CameraTextTest, IsoSpeedsAndCounts)
{
    EXPECT_EQ(IsoSpeed("400"), 400u);
    EXPECT_EQ(IsoSpeed("ISO 1600"), 1600u);
    EXPECT_EQ(IsoSpeed("Auto"), 0u);
    EXPECT_EQ(IsoSpeed("auto ISO"), 0u);
    EXPECT_FALSE(IsoSpeed("Hi 1.0")); // an expansion step, not a speed
    EXPECT_FALSE(IsoSpeed("Lo 0.3"));
    EXPECT_FALSE(IsoSpeed(""));
    EXPECT_EQ(WholeNumber("312"), 312u);
    EXPECT_EQ(WholeNumber(" 312 shots"), 312u);
    EXPECT_FALSE(WholeNumber("none"));
}

TEST(CameraSettingsTest, ParsesNameValueLists)
{
    std::vector<std::pair<std::string, std::string>> settings;
    ASSERT_TRUE(ParseSettings("opcode=0x9999,0x0,0x12c; capturetarget = Memory card ;;", settings));
    ASSERT_EQ(settings.size(), 2u);
    EXPECT_EQ(settings[0], (std::pair<std::string, std::string>{"opcode", "0x9999,0x0,0x12c"}));
    // Values are kept as written: choices may begin or end with a space.
    EXPECT_EQ(settings[1], (std::pair<std::string, std::string>{"capturetarget", " Memory card "}));
    ASSERT_TRUE(ParseSettings("", settings));
    EXPECT_TRUE(settings.empty());
    ASSERT_TRUE(ParseSettings("iso=", settings));
    EXPECT_EQ(settings.at(0).second, "");
}

TEST(CameraSettingsTest, RefusesItemsWithoutNameOrValue)
{
    std::vector<std::pair<std::string, std::string>> settings;
    EXPECT_FALSE(ParseSettings("iso", settings));
    EXPECT_FALSE(ParseSettings("=400", settings));
    EXPECT_FALSE(ParseSettings("iso=400; shutterspeed", settings));
}

TEST(ErrorNumberTest, LibgphotoResultsLoseTheirSign)
{
    EXPECT_EQ(GphotoError(GP_ERROR), 1u);
    EXPECT_EQ(GphotoError(GP_ERROR_IO), 7u);
    EXPECT_EQ(GphotoError(GP_ERROR_IO_USB_FIND), 52u);
    EXPECT_EQ(GphotoError(GP_ERROR_CAMERA_BUSY), 110u);
    EXPECT_EQ(GphotoError(GP_OK), 0u);
}

TEST(ErrorNumberTest, RefusedShotsSayWhy)
{
    struct Case {
        int result;
        std::vector<std::string> messages;
        uint32_t error;
    };
    const Case cases[] = {
        {GP_ERROR, {"PTP Store Full"}, VRX4K_ERROR_CARD_FULL},
        {GP_ERROR_NO_SPACE, {}, VRX4K_ERROR_CARD_FULL},
        {GP_ERROR_NO_MEMORY, {"Camera memorycard ran full during capture."}, VRX4K_ERROR_CARD_FULL},
        {GP_ERROR, {"PTP Store Not Available"}, VRX4K_ERROR_NO_CARD},
        {GP_ERROR, {"something first", "Out of Focus"}, VRX4K_ERROR_FOCUS_FAILED},
        {GP_ERROR, {"Canon EOS Capture failed to release: Perhaps no focus?"}, VRX4K_ERROR_FOCUS_FAILED},
        {GP_ERROR_CAMERA_BUSY, {}, VRX4K_ERROR_CAMERA_BUSY},
        {GP_ERROR, {"PTP Device Busy"}, VRX4K_ERROR_CAMERA_BUSY},
        {GP_ERROR_IO_USB_FIND, {"PTP Store Full"}, VRX4K_ERROR_CAMERA_GONE},
        {GP_ERROR_MODEL_NOT_FOUND, {}, VRX4K_ERROR_CAMERA_GONE},
        // Anything else keeps libgphoto2's own number; a message is matched whole.
        {GP_ERROR, {"PTP Store Full, almost"}, 1u},
        {GP_ERROR_IO, {}, 7u},
        {GP_ERROR_NOT_SUPPORTED, {"Sorry, your camera does not support generic capture"}, 6u},
        {GP_ERROR_TIMEOUT, {}, 10u},
    };
    for (const Case &c : cases)
        EXPECT_EQ(ShotRefusal(c.result, c.messages), c.error) << c.result << " " << c.messages.size();
}

TEST(CameraPortTest, MassStoragePortsAreNoCameras)
{
    EXPECT_TRUE(IsCameraPort("usb:001,004"));
    EXPECT_TRUE(IsCameraPort("ptpip:192.168.1.1"));
    EXPECT_TRUE(IsCameraPort(""));
    EXPECT_FALSE(IsCameraPort("disk:/media/user/EOS_DIGITAL"));
    EXPECT_FALSE(IsCameraPort("DISK:/mnt"));
}

TEST(PictureTypeTest, ExtensionsAsTheCameraWroteThem)
{
    EXPECT_EQ(FileExtension("IMG_0001.CR3"), "CR3");
    EXPECT_EQ(FileExtension("dsc_0001.nef"), "nef");
    EXPECT_EQ(FileExtension("a.b.ARW"), "ARW");
    EXPECT_EQ(FileExtension("P1000001.RAWRAWRW"), "RAWRAWRW");
    EXPECT_EQ(FileExtension("P1000001.RAWRAWRAW"), ""); // longer than 8
    EXPECT_EQ(FileExtension("NOEXTENSION"), "");
    EXPECT_EQ(FileExtension("trailingdot."), "");
    EXPECT_EQ(FileExtension("odd.C-R"), "");
    EXPECT_EQ(FileStem("IMG_0001.CR3"), "IMG_0001");
    EXPECT_EQ(FileStem("IMG_0001"), "IMG_0001");
}

TEST(PictureTypeTest, ARawFileAndItsJpegShareTheirShot)
{
    ShotCounter shots;
    EXPECT_EQ(shots.Number("IMG_0001.CR3"), 1u);
    EXPECT_EQ(shots.Number("IMG_0001.JPG"), 1u);
    EXPECT_EQ(shots.Number("IMG_0002.JPG"), 2u);
    EXPECT_EQ(shots.Number("IMG_0003.CR3"), 3u);
    EXPECT_EQ(shots.Number("IMG_0002.CR3"), 4u); // not the file just before
    EXPECT_EQ(shots.Number("NONAME"), 5u);
    EXPECT_EQ(shots.Number(".JPG"), 6u);
    EXPECT_EQ(shots.Number(".CR3"), 7u); // no name to share
}

} // namespace
} // namespace vrx4kgp
