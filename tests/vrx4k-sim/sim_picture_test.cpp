// Shots, the picture queue and the picture formats.
#include "sim_test_support.h"

#include "sha256.h"

#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

namespace simtest {
namespace {

using PictureTest = SimulatedCameraTest;

TEST_F(PictureTest, ShootReturnsBeforeThePictureIsReady)
{
    // A picture due in a minute: Shoot must not wait for it.
    Start({{"VRX4K_SIM_DELAY_MS", "60000"}});
    const uint32_t camera = Connect();
    int32_t shot = 0, pictures = 0;
    ASSERT_EQ(m_library.Shoot(camera, &shot, &pictures), 0u);
    EXPECT_EQ(shot, 1);
    EXPECT_EQ(pictures, 1);
    CameraImageInfo info{};
    EXPECT_EQ(m_library.ReadImageInfo(camera, &info), VRX4K_ERROR_NO_IMAGE);
    EXPECT_EQ(m_events.Count(CAMERA_EVENT_IMAGE_READY), 0u);
}

TEST_F(PictureTest, ABurstOfTwentyShotsDeliversTwentyDistinctJpegsInOrder)
{
    Start();
    const uint32_t camera = Connect();
    for (int32_t i = 1; i <= 20; ++i) {
        int32_t shot = 0;
        ASSERT_EQ(m_library.Shoot(camera, &shot, nullptr), 0u);
        EXPECT_EQ(shot, i);
    }
    ASSERT_TRUE(m_events.WaitFor(CAMERA_EVENT_IMAGE_READY, 20));

    std::set<std::string> checksums;
    for (uint32_t i = 1; i <= 20; ++i) {
        const DownloadedPicture picture = Download(camera);
        const cameratest::Announced announced = cameratest::ReadAnnounced(picture.info);
        EXPECT_TRUE(announced.valid);
        EXPECT_EQ(announced.shot, i);
        EXPECT_EQ(announced.extension, "JPG");
        EXPECT_EQ(Logged(camera, i, 1, "waiting"), 20 - i);
        EXPECT_EQ(picture.info.ImageType, CAMERA_IMAGE_JPEG);
        ASSERT_GT(picture.info.ImageSize, 0u);
        const auto size = JpegSize(picture.bytes);
        ASSERT_TRUE(size) << "picture " << i << " is no JPEG";
        EXPECT_EQ(size->first, 320);
        EXPECT_EQ(size->second, 240);
        EXPECT_EQ(Logged(camera, i, 1, "width"), 320);
        EXPECT_EQ(Logged(camera, i, 1, "height"), 240);
        int width = 0, height = 0;
        EXPECT_FALSE(DecodeRgb(picture.bytes, width, height).empty());
        checksums.insert(vrx4ksim::Sha256Hex(picture.bytes.data(), picture.bytes.size()));
    }
    EXPECT_EQ(checksums.size(), 20u) << "no two pictures are alike";
    CameraImageInfo info{};
    EXPECT_EQ(m_library.ReadImageInfo(camera, &info), VRX4K_ERROR_NO_IMAGE) << "nothing more than was shot";
}

// Reads the 12-bit sample at (x, y) of a raw file, as the layout documents it.
uint16_t RawSample(const std::vector<uint8_t> &raw, uint32_t x, uint32_t y)
{
    const uint32_t stride = ReadLe32(raw.data() + VRX4K_SIM_RAW_STRIDE_OFFSET);
    const uint8_t *pair = raw.data() + VRX4K_SIM_RAW_HEADER_SIZE + size_t(y) * stride + (x / 2) * 3;
    if (x % 2 == 0)
        return static_cast<uint16_t>(pair[0] | (pair[1] & 0x0F) << 8);
    return static_cast<uint16_t>(pair[1] >> 4 | pair[2] << 4);
}

TEST_F(PictureTest, RawPlusJpegDeliversTwoPicturesOfTheSameScene)
{
    Start({{"VRX4K_SIM_FORMAT", "raw+jpeg"}, {"VRX4K_SIM_SIZE", "321x240"}});
    const uint32_t camera = Connect();
    int32_t pictures = 0;
    ASSERT_EQ(m_library.Shoot(camera, nullptr, &pictures), 0u);
    EXPECT_EQ(pictures, 2);
    ASSERT_TRUE(m_events.WaitFor(CAMERA_EVENT_IMAGE_READY, 2));
    ASSERT_TRUE(m_events.WaitFor(CAMERA_EVENT_PROPERTY_CHANGED, 2));
    const std::vector<int32_t> events = m_events.Events();
    EXPECT_EQ(std::vector<int32_t>(events.end() - 3, events.end()),
              (std::vector<int32_t>{CAMERA_EVENT_IMAGE_READY, CAMERA_EVENT_IMAGE_READY, CAMERA_EVENT_PROPERTY_CHANGED}));

    const DownloadedPicture raw = Download(camera);
    const DownloadedPicture jpeg = Download(camera);
    EXPECT_EQ(raw.info.ImageType, CAMERA_IMAGE_RAW);
    EXPECT_EQ(jpeg.info.ImageType, CAMERA_IMAGE_JPEG);
    // One shot number for both; the raw file keeps the simulator's own extension.
    const cameratest::Announced rawAnnounced = cameratest::ReadAnnounced(raw.info);
    const cameratest::Announced jpegAnnounced = cameratest::ReadAnnounced(jpeg.info);
    EXPECT_TRUE(rawAnnounced.valid && jpegAnnounced.valid);
    EXPECT_EQ(rawAnnounced.extension, "RWQ");
    EXPECT_EQ(jpegAnnounced.extension, "JPG");
    EXPECT_NE(rawAnnounced.shot, 0u);
    EXPECT_EQ(rawAnnounced.shot, jpegAnnounced.shot);
    EXPECT_EQ(Logged(camera, rawAnnounced.shot, 1, "part"), 1);
    EXPECT_EQ(Logged(camera, jpegAnnounced.shot, 2, "part"), 2);

    // Header
    ASSERT_GE(raw.bytes.size(), size_t(VRX4K_SIM_RAW_HEADER_SIZE));
    EXPECT_EQ(std::memcmp(raw.bytes.data(), VRX4K_SIM_RAW_MAGIC, 8), 0);
    const uint8_t *header = raw.bytes.data();
    EXPECT_EQ(ReadLe32(header + VRX4K_SIM_RAW_WIDTH_OFFSET), 321u);
    EXPECT_EQ(ReadLe32(header + VRX4K_SIM_RAW_HEIGHT_OFFSET), 240u);
    EXPECT_EQ(ReadLe32(header + VRX4K_SIM_RAW_BITS_OFFSET), 12u);
    const uint32_t stride = ReadLe32(header + VRX4K_SIM_RAW_STRIDE_OFFSET);
    EXPECT_EQ(stride, 482u) << "160 pairs of 3 bytes and an odd sample of 2";
    EXPECT_EQ(raw.bytes.size(), VRX4K_SIM_RAW_HEADER_SIZE + size_t(stride) * 240);
    EXPECT_EQ(ReadLe32(header + VRX4K_SIM_RAW_ISO_OFFSET), Logged(camera, jpegAnnounced.shot, 2, "iso"));

    // Each sensor site matches its filter colour in the JPEG of the same shot,
    // within what JPEG compression and chroma subsampling change.
    int width = 0, height = 0;
    const std::vector<uint8_t> rgb = DecodeRgb(jpeg.bytes, width, height);
    ASSERT_EQ(width, 321);
    int compared = 0, far = 0;
    for (uint32_t y = 100; y < 240; y += 7) {
        for (uint32_t x = 0; x < 321; x += 5) {
            const int channel = (y % 2 == 0) ? (x % 2 == 0 ? 0 : 1) : (x % 2 == 0 ? 1 : 2);
            const uint16_t sample = RawSample(raw.bytes, x, y);
            ASSERT_GE(sample, VRX4K_SIM_RAW_BLACK_LEVEL);
            ASSERT_LE(sample, VRX4K_SIM_RAW_WHITE_LEVEL);
            const int fromRaw = (sample - VRX4K_SIM_RAW_BLACK_LEVEL) * 255 /
                                (VRX4K_SIM_RAW_WHITE_LEVEL - VRX4K_SIM_RAW_BLACK_LEVEL);
            const int fromJpeg = rgb[(size_t(y) * width + x) * 3 + channel];
            ++compared;
            if (std::abs(fromRaw - fromJpeg) > 24)
                ++far;
        }
    }
    EXPECT_LT(far * 20, compared) << far << " of " << compared << " sites differ from the JPEG";
}

TEST_F(PictureTest, FormatsRawAndJpeg3GiveTheirTypeCodes)
{
    Start({{"VRX4K_SIM_FORMAT", "raw"}});
    uint32_t camera = Connect();
    ASSERT_EQ(m_library.Shoot(camera, nullptr, nullptr), 0u);
    ASSERT_TRUE(m_events.WaitFor(CAMERA_EVENT_IMAGE_READY, 1));
    EXPECT_EQ(Download(camera).info.ImageType, CAMERA_IMAGE_RAW);
    Stop();

    m_events.Reset();
    Start({{"VRX4K_SIM_FORMAT", "jpeg3"}});
    camera = Connect();
    ASSERT_EQ(m_library.Shoot(camera, nullptr, nullptr), 0u);
    ASSERT_TRUE(m_events.WaitFor(CAMERA_EVENT_IMAGE_READY, 1));
    const DownloadedPicture picture = Download(camera);
    EXPECT_EQ(picture.info.ImageType, CAMERA_IMAGE_JPEG_ALT);
    EXPECT_TRUE(JpegSize(picture.bytes));
}

class PhotoFolderTest : public SimulatedCameraTest {
protected:
    void SetUp() override
    {
        SimulatedCameraTest::SetUp();
        m_folder = std::filesystem::temp_directory_path() /
                   ("vrx4k-photos-" + std::to_string(::getpid()) + "-" +
                    ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(m_folder);
    }
    void TearDown() override
    {
        SimulatedCameraTest::TearDown();
        std::filesystem::remove_all(m_folder);
    }
    void Write(const std::string &name, const std::vector<uint8_t> &bytes)
    {
        std::ofstream(m_folder / name, std::ios::binary)
            .write(reinterpret_cast<const char *>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }
    std::filesystem::path m_folder;
};

TEST_F(PhotoFolderTest, ServesTheUsersJpegsUnchangedInNameOrderAndOverAgain)
{
    const std::vector<uint8_t> red = SolidJpeg(64, 48, 255, 0, 0);
    const std::vector<uint8_t> blue = SolidJpeg(40, 30, 0, 0, 255);
    Write("b.JPG", blue);
    Write("a.jpeg", red);
    Write("c.jpg", {0xFF, 0xD8, 'n', 'o', 't', ' ', 'a', ' ', 'j', 'p', 'e', 'g'});
    Write("d.txt", red);
    Start({{"VRX4K_SIM_PHOTO_DIR", m_folder.string()}});
    const uint32_t camera = Connect();
    for (int i = 0; i < 3; ++i)
        ASSERT_EQ(m_library.Shoot(camera, nullptr, nullptr), 0u);
    ASSERT_TRUE(m_events.WaitFor(CAMERA_EVENT_IMAGE_READY, 3));
    EXPECT_EQ(Download(camera).bytes, red);
    const DownloadedPicture second = Download(camera);
    EXPECT_EQ(second.bytes, blue);
    EXPECT_EQ(Logged(camera, 2, 1, "width"), 40);
    EXPECT_EQ(Download(camera).bytes, red) << "after the last file the folder starts again";
}

TEST_F(PhotoFolderTest, AFolderWithoutPhotosFallsBackToRenderedPictures)
{
    Write("notes.txt", {'x'});
    Start({{"VRX4K_SIM_PHOTO_DIR", (m_folder / "missing").string()}});
    const uint32_t camera = Connect();
    ASSERT_EQ(m_library.Shoot(camera, nullptr, nullptr), 0u);
    ASSERT_TRUE(m_events.WaitFor(CAMERA_EVENT_IMAGE_READY, 1));
    const auto size = JpegSize(Download(camera).bytes);
    ASSERT_TRUE(size);
    EXPECT_EQ(size->first, 320);
}

TEST_F(PhotoFolderTest, RawFromAPhotoIsMadeFromThatPhoto)
{
    const std::vector<uint8_t> photo = SolidJpeg(64, 48, 200, 100, 50);
    Write("only.jpg", photo);
    Start({{"VRX4K_SIM_PHOTO_DIR", m_folder.string()}, {"VRX4K_SIM_FORMAT", "raw+jpeg"}});
    const uint32_t camera = Connect();
    ASSERT_EQ(m_library.Shoot(camera, nullptr, nullptr), 0u);
    ASSERT_TRUE(m_events.WaitFor(CAMERA_EVENT_IMAGE_READY, 2));
    const DownloadedPicture raw = Download(camera);
    EXPECT_EQ(Download(camera).bytes, photo);
    ASSERT_EQ(raw.info.ImageType, CAMERA_IMAGE_RAW);
    EXPECT_EQ(ReadLe32(raw.bytes.data() + VRX4K_SIM_RAW_WIDTH_OFFSET), 64u);
    // Red site of the first pair: 200 of 255.
    const int red = (RawSample(raw.bytes, 10, 10) - VRX4K_SIM_RAW_BLACK_LEVEL) * 255 /
                    (VRX4K_SIM_RAW_WHITE_LEVEL - VRX4K_SIM_RAW_BLACK_LEVEL);
    EXPECT_NEAR(red, 200, 6);
}

TEST_F(PictureTest, TheLogRecordsCallsInOrderAndChecksumsOfDeliveredPictures)
{
    const std::filesystem::path log = std::filesystem::temp_directory_path() /
                                      ("vrx4k-log-" + std::to_string(::getpid()) + ".txt");
    std::filesystem::remove(log);
    Start({{"VRX4K_SIM_LOG", log.string()}, {"VRX4K_SIM_SCRIPT", "jpeg,raw"}});
    const uint32_t camera = Connect();
    ASSERT_EQ(m_library.Shoot(camera, nullptr, nullptr), 0u);
    ASSERT_EQ(m_library.Shoot(camera, nullptr, nullptr), 0u);
    ASSERT_TRUE(m_events.WaitFor(CAMERA_EVENT_IMAGE_READY, 2));
    const DownloadedPicture jpeg = Download(camera);
    const DownloadedPicture raw = Download(camera);
    uint8_t byte = 0;
    EXPECT_NE(m_library.ReadImage(camera, &byte, 1), 0u);
    Stop();

    std::ifstream stream(log);
    std::vector<std::string> lines;
    for (std::string line; std::getline(stream, line);)
        lines.push_back(line);
    std::filesystem::remove(log);
    const auto find = [&](const std::string &prefix, size_t from) {
        for (size_t i = from; i < lines.size(); ++i) {
            if (lines[i].rfind(prefix, 0) == 0)
                return i;
        }
        ADD_FAILURE() << "no line starting '" << prefix << "' after line " << from;
        return lines.size();
    };
    const std::string h = " handle=" + std::to_string(camera);
    size_t at = find("VRX4K_Init value=0 -> 0", 0);
    at = find("VRX4K_Open index=0 callback=yes value=0 -> 0 handle=" + std::to_string(camera), at);
    at = find("VRX4K_GetChangedProperty" + h + " -> 0 count=4", at);
    at = find("VRX4K_Shoot" + h + " -> 0 script=jpeg shot=1", at);
    at = find("VRX4K_Shoot" + h + " -> 0 script=raw shot=2", at);
    at = find("VRX4K_ReadImageInfo" + h + " -> 0 shot=1 part=1 type=2 size=" + std::to_string(jpeg.bytes.size()) +
                  " width=320 height=240 time_ms=",
              at);
    EXPECT_NE(lines[at].find(" waiting=1"), std::string::npos) << lines[at];
    at = find("delivered" + h + " shot=1 part=1 type=2 size=" + std::to_string(jpeg.bytes.size()) +
                  " sha256=" + vrx4ksim::Sha256Hex(jpeg.bytes.data(), jpeg.bytes.size()),
              at);
    at = find("delivered" + h + " shot=2 part=1 type=1 size=" + std::to_string(raw.bytes.size()) +
                  " sha256=" + vrx4ksim::Sha256Hex(raw.bytes.data(), raw.bytes.size()),
              at);
    at = find("VRX4K_ReadImage" + h + " size=1 -> -1 error=" + std::to_string(VRX4K_ERROR_NOT_DESCRIBED), at);
    at = find("VRX4K_Exit -> 0", at);
    EXPECT_EQ(at, lines.size() - 1);
    EXPECT_NE(find("event" + h + " code=1", 0), lines.size());
}

} // namespace
} // namespace simtest
