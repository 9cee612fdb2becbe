// Runs with the real decoder library (<build>/bin) on LD_LIBRARY_PATH, on
// JPEG files encoded here with TurboJPEG.
#include "receiver_support.h"

#include "test_dib.h"

#include <turbojpeg.h>

#include <fstream>
#include <random>

namespace {

using namespace receivertest;

// A smooth scene with some noise, as a camera might see it.
QImage Scene(int width, int height, uint32_t seed)
{
    std::mt19937 random(seed);
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        QRgb *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            const int noise = int(random() % 24);
            line[x] = qRgb((x * 255 / width + noise) & 0xff, (y * 255 / height + noise) & 0xff,
                           ((x + y) * 97 / (width + height) + 100 + noise) & 0xff);
        }
    }
    return image;
}

std::vector<uint8_t> EncodeJpeg(const QImage &image)
{
    const QImage rgb = image.convertToFormat(QImage::Format_RGB888);
    tjhandle encoder = tjInitCompress();
    unsigned char *jpeg = nullptr;
    unsigned long size = 0;
    const int result = tjCompress2(encoder, rgb.constBits(), rgb.width(), int(rgb.bytesPerLine()), rgb.height(),
                                   TJPF_RGB, &jpeg, &size, TJSAMP_420, 90, 0);
    tjDestroy(encoder);
    std::vector<uint8_t> bytes;
    if (result == 0)
        bytes.assign(jpeg, jpeg + size);
    tjFree(jpeg);
    return bytes;
}

// TurboJPEG's own decode, as an image.
QImage DecodeJpeg(const std::vector<uint8_t> &jpeg)
{
    tjhandle decoder = tjInitDecompress();
    int width = 0, height = 0, subsampling = 0, colourspace = 0;
    tjDecompressHeader3(decoder, jpeg.data(), jpeg.size(), &width, &height, &subsampling, &colourspace);
    QImage image(width, height, QImage::Format_RGB888);
    tjDecompress2(decoder, jpeg.data(), jpeg.size(), image.bits(), width, int(image.bytesPerLine()), height,
                  TJPF_RGB, 0);
    tjDestroy(decoder);
    return image.convertToFormat(QImage::Format_RGB32);
}

long ResidentKilobytes()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stol(line.substr(6));
    return -1;
}

class RealDecoderReceiverTest : public ReceiverTest {
protected:
    void SetUp() override
    {
        ReceiverTest::SetUp();
        ASSERT_EQ(LoadExifLibrary(), 1) << "libExif.so not found on LD_LIBRARY_PATH";
    }
    void TearDown() override
    {
        UnloadExifLibrary();
        ReceiverTest::TearDown();
    }
};

TEST_F(RealDecoderReceiverTest, PreviewIsTheAreaAverageOfTheDecodedPicture)
{
    const std::vector<uint8_t> jpeg = EncodeJpeg(Scene(640, 427, 1));
    ASSERT_FALSE(jpeg.empty());
    const QImage decoded = DecodeJpeg(jpeg);
    UseControl(418, 283);
    Receive(kJpeg, jpeg);
    // 283 / 427 * 640 = 424.16: D 424 from x -3.
    int worst = 0;
    for (int y = 0; y < 283; ++y)
        for (int x = 0; x < 418; ++x)
            worst = std::max(worst, testdib::ChannelDifference(m_picture->Image().pixel(x, y),
                                                               testdib::ReferencePixel(decoded, 424, 283, x + 3, y)));
    EXPECT_LE(worst, 1);
    ASSERT_EQ(StoredFiles(), std::vector<std::string>{"20060307_090504_0.JPG"});
    EXPECT_EQ(FileBytes("20060307_090504_0.JPG"), jpeg);
}

TEST_F(RealDecoderReceiverTest, RejectedJpegLeavesABlackAreaAndIsStoredAsItCame)
{
    const std::vector<uint8_t> jpeg = EncodeJpeg(Scene(64, 48, 2));
    std::vector<std::vector<uint8_t>> broken = {
        {0xFF, 0xD8, 0xFF},                      // a start marker and nothing else
        std::vector<uint8_t>(jpeg.begin() + 2, jpeg.end()), // no start marker
        std::vector<uint8_t>(4096, 0x5A),        // not a JPEG at all
    };
    for (const std::vector<uint8_t> &bytes : broken) {
        UseControl(40, 30);
        Receive(kJpeg, bytes);
        EXPECT_TRUE(PictureIs(kBlack)) << bytes.size() << " bytes";
        ASSERT_EQ(StoredFiles(), std::vector<std::string>{"20060307_090504_0.JPG"}) << bytes.size() << " bytes";
        EXPECT_EQ(FileBytes("20060307_090504_0.JPG"), bytes) << bytes.size() << " bytes";
        fs::remove(m_folder / "20060307_090504_0.JPG");
    }
}

TEST_F(RealDecoderReceiverTest, LongRunOfRawAndJpegPicturesDoesNotGrow)
{
    int tenths = 0;
    platform::SetLocalTimeSource([&tenths] {
        platform::LocalTime time = FixedTime();
        time.minute = tenths / 600;
        time.second = tenths / 10 % 60;
        time.milliseconds = tenths % 10 * 100;
        ++tenths;
        return time;
    });
    const std::vector<uint8_t> jpeg = EncodeJpeg(Scene(1200, 800, 3));
    const std::vector<uint8_t> raw(300000, 0x42);
    UseControl(418, 283);
    auto receivePair = [&] {
        Receive(kRaw, raw);
        Receive(kJpeg, jpeg);
    };
    for (int i = 0; i < 10; ++i)
        receivePair();
    const size_t buffer = m_receiver.DecodeBufferSize();
    const long before = ResidentKilobytes();
    for (int i = 0; i < 60; ++i)
        receivePair();
    const long growth = ResidentKilobytes() - before;
    EXPECT_EQ(m_receiver.DecodeBufferSize(), buffer);
    // A placeholder kept per raw picture would add 23 MB, a buffer per JPEG 170 MB.
    // AddressSanitizer keeps freed memory resident; its leak check stands in.
#if !defined(__SANITIZE_ADDRESS__)
    EXPECT_LT(growth, 8 * 1024) << "kilobytes";
#else
    (void)growth;
#endif
    EXPECT_EQ(StoredFiles().size(), 140u);
    EXPECT_FALSE(PictureIs(kBlack));
}

} // namespace
