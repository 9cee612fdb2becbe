// The receiver with a decoder scripted in this process: its four functions go
// straight into the entry-point slots, so a test can hand back any header.
#include "receiver_support.h"

#include "image/preview_geometry.h"
#include "res/resources.h"
#include "test_dib.h"

#include <QFile>

#include <chrono>
#include <cstring>
#include <stdexcept>
#include <thread>

// Resource registration is named at global scope.
static void UnregisterResources()
{
    Q_CLEANUP_RESOURCE(tavren);
}
static void RegisterResources()
{
    Q_INIT_RESOURCE(tavren);
}

namespace {

using namespace receivertest;

struct Script {
    uint16_t openStatus = 0;
    uint16_t sizeStatus = 0;
    uint16_t readStatus = 0;
    uint32_t width = 0;
    uint32_t height = 0;
    std::vector<uint8_t> dib; // what ExifReadImage writes, cut at the capacity
    bool readThrows = false;
    bool readWaitsForTheFile = false; // until the picture's bytes are being stored
    bool fileSeenDuringRead = false;
    // Seen by the decoder:
    int reads = 0;
    int closes = 0;
    uint32_t capacity = 0;
    const uint8_t *buffer = nullptr;
};
Script g_script;

uint16_t ScriptedMemOpen(const uint8_t *, uint32_t, uint32_t *handle)
{
    *handle = 77;
    return g_script.openStatus;
}
uint16_t ScriptedGetImageSizeType(uint32_t, ExifImageSize *size)
{
    size->Width = g_script.width;
    size->Height = g_script.height;
    return g_script.sizeStatus;
}
uint16_t ScriptedReadImage(uint32_t, uint8_t *buffer, uint32_t capacity)
{
    ++g_script.reads;
    if (g_script.readThrows)
        throw std::runtime_error("the decoder's own trouble");
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (g_script.readWaitsForTheFile && !g_script.fileSeenDuringRead &&
           std::chrono::steady_clock::now() < giveUp) {
        for (const auto &entry : fs::directory_iterator("."))
            g_script.fileSeenDuringRead |= entry.path().filename().string().rfind(".tavren-", 0) == 0;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    g_script.capacity = capacity;
    g_script.buffer = buffer;
    std::memcpy(buffer, g_script.dib.data(), std::min<size_t>(capacity, g_script.dib.size()));
    return g_script.readStatus;
}
uint16_t ScriptedFileClose(uint32_t handle)
{
    EXPECT_EQ(handle, 77u);
    ++g_script.closes;
    return 0;
}

// A decoder that hands back `picture`, announced at its own size.
void Decodes(const QImage &picture, bool bottomUp = true)
{
    g_script.width = uint32_t(picture.width());
    g_script.height = uint32_t(picture.height());
    g_script.dib = testdib::FromImage(picture, bottomUp);
}

QImage Uniform(int width, int height, QRgb colour)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(colour);
    return image;
}

const std::vector<uint8_t> kSomeBytes = {0xFF, 0xD8, 0xFF, 0xE0, 1, 2, 3};
const QRgb kColour = qRgb(200, 100, 50);

class ScriptedReceiverTest : public ReceiverTest {
protected:
    void SetUp() override
    {
        ReceiverTest::SetUp();
        g_script = Script{};
        g_pfnExifMemOpen = &ScriptedMemOpen;
        g_pfnExifGetImageSizeType = &ScriptedGetImageSizeType;
        g_pfnExifReadImage = &ScriptedReadImage;
        g_pfnExifFileClose = &ScriptedFileClose;
    }
    void TearDown() override
    {
        UnloadExifLibrary();
        ReceiverTest::TearDown();
    }

    // The picture is in the folder under its name, byte for byte; removed
    // again for the next case.
    void ExpectStoredOnce(const std::string &what)
    {
        ASSERT_EQ(StoredFiles(), std::vector<std::string>{"20060307_090504_0.JPG"}) << what;
        EXPECT_EQ(FileBytes("20060307_090504_0.JPG"), kSomeBytes) << what;
        fs::remove(m_folder / "20060307_090504_0.JPG");
    }

    // The columns of row y that hold `colour`, as [first, last]; {-1, -1} when none.
    std::pair<int, int> ColouredColumns(int y, QRgb colour) const
    {
        int first = -1, last = -1;
        for (int x = 0; x < m_picture->Size().width(); ++x) {
            if (m_picture->Image().pixel(x, y) == colour) {
                if (first < 0)
                    first = x;
                last = x;
            } else {
                EXPECT_EQ(m_picture->Image().pixel(x, y), kBlack) << "column " << x;
            }
        }
        return {first, last};
    }
};

TEST(PreviewGeometry, FitsTheHeightAndCentresInDoublePrecision)
{
    struct Case {
        int32_t controlWidth, controlHeight;
        uint32_t width, height;
        int64_t x, destinationWidth;
    };
    const Case cases[] = {
        {400, 300, 1000, 700, -14, 428}, // 300 / 700 * 1000 = 428.57...
        {401, 300, 1000, 700, -13, 428}, // -27 * 0.5 = -13.5 truncates toward zero
        {401, 300, 700, 1000, 95, 210},
        {202, 202, 3000, 3000, 0, 201},  // 202 / 3000 * 3000 = 201.99999999999997
        {400, 300, 800, 600, 0, 400},    // the control's aspect ratio fills it
        {418, 283, 65000, 1, -9197291, 18395000},
        {418, 283, 1, 1000, 209, 0},     // narrower than a pixel: nothing to draw
        {418, 0, 640, 480, 209, 0},
    };
    for (const Case &c : cases) {
        const PreviewPlacement placement = FitToHeight(c.controlWidth, c.controlHeight, c.width, c.height);
        EXPECT_EQ(placement.width, c.destinationWidth) << c.width << "x" << c.height << " in " << c.controlHeight;
        EXPECT_EQ(placement.x, c.x) << c.width << "x" << c.height << " in " << c.controlWidth;
    }
}

TEST(PreviewGeometry, CapacityPadsRowsAndRefusesWhatDoesNotFitIn32Bits)
{
    EXPECT_EQ(DecodeBufferCapacity(1001, 10), 30080u);
    EXPECT_EQ(DecodeBufferCapacity(1000, 10), 30040u);
    EXPECT_EQ(DecodeBufferCapacity(4000, 3000), 36000040u);
    EXPECT_EQ(DecodeBufferCapacity(1, 1), 44u);
    EXPECT_EQ(DecodeBufferCapacity(3, 1), 52u);
    EXPECT_EQ(DecodeBufferCapacity(0, 10), std::nullopt);
    EXPECT_EQ(DecodeBufferCapacity(10, 0), std::nullopt);
    // 65,536 x 21,846 needs 4,295,098,408 bytes, past 32 bits; one row less fits.
    EXPECT_EQ(DecodeBufferCapacity(65536, 21846), std::nullopt);
    EXPECT_EQ(DecodeBufferCapacity(65536, 21845), 4294901800u);
    EXPECT_EQ(DecodeBufferCapacity(0xffffffffu, 0xffffffffu), std::nullopt);
}

TEST_F(ScriptedReceiverTest, PreviewFitsTheControlsHeightAndCentres)
{
    struct Case {
        int controlWidth, controlHeight, width, height;
        int firstColumn, lastColumn; // coloured, the rest black
    };
    const Case cases[] = {
        {400, 300, 1000, 700, 0, 399},  // D 428 from x -14: wider than the control
        {401, 300, 700, 1000, 95, 304}, // D 210 from x 95
        {202, 202, 3000, 3000, 0, 200}, // D 201, not 202
        {400, 300, 800, 600, 0, 399},
    };
    for (const Case &c : cases) {
        UseControl(c.controlWidth, c.controlHeight);
        Decodes(Uniform(c.width, c.height, kColour));
        Receive(kJpeg, kSomeBytes);
        for (const int y : {0, c.controlHeight / 2, c.controlHeight - 1})
            EXPECT_EQ(ColouredColumns(y, kColour), std::make_pair(c.firstColumn, c.lastColumn))
                << c.width << "x" << c.height << " in " << c.controlWidth << "x" << c.controlHeight << ", row " << y;
        EXPECT_EQ(g_script.capacity, *DecodeBufferCapacity(uint32_t(c.width), uint32_t(c.height)));
    }
}

TEST_F(ScriptedReceiverTest, PreviewIsTheAreaAverageInBothRowOrders)
{
    const QImage source = testdib::RandomImage(1000, 700, 99);
    UseControl(401, 300);
    for (const bool bottomUp : {true, false}) {
        Decodes(source, bottomUp);
        Receive(kJpeg, kSomeBytes);
        int worst = 0;
        for (int y = 0; y < 300; ++y)
            for (int x = 0; x < 401; ++x)
                worst = std::max(worst, testdib::ChannelDifference(m_picture->Image().pixel(x, y),
                                                                   testdib::ReferencePixel(source, 428, 300, x + 13, y)));
        EXPECT_LE(worst, 1) << (bottomUp ? "bottom-up" : "top-down");
    }
}

TEST_F(ScriptedReceiverTest, StoresTheBytesUnderTheTimeStampAfterAPreview)
{
    Decodes(Uniform(8, 6, kColour));
    Receive(kJpegAlt, kSomeBytes);
    ASSERT_EQ(StoredFiles(), std::vector<std::string>{"20060307_090504_0.JPG"});
    EXPECT_EQ(FileBytes("20060307_090504_0.JPG"), kSomeBytes);
    EXPECT_EQ(g_script.closes, 1);
}

TEST_F(ScriptedReceiverTest, LyingHeaderIsAFailedPreviewAndThePictureIsStored)
{
    struct Case {
        const char *what;
        size_t offset;
        uint32_t value;
        bool sixteenBits;
    };
    // The decoder announced 8 x 6.
    const Case cases[] = {
        {"header size 12", 0, 12, false},    {"header size 108", 0, 108, false},
        {"width 9", 4, 9, false},            {"width 7", 4, 7, false},
        {"height 7", 8, 7, false},           {"height -7", 8, uint32_t(-7), false},
        {"height 5", 8, 5, false},           {"32 bits per pixel", 14, 32, true},
        {"planes 0", 12, 0, true},           {"BI_BITFIELDS", 16, 3, false},
        {"a colour table", 32, 16, false},   {"width 2000: rows past the buffer", 4, 2000, false},
    };
    for (const Case &c : cases) {
        UseControl(40, 30);
        Decodes(Uniform(8, 6, kColour));
        if (c.sixteenBits)
            testdib::PutU16(g_script.dib, c.offset, uint16_t(c.value));
        else
            testdib::PutU32(g_script.dib, c.offset, c.value);
        const int closes = g_script.closes;
        Receive(kJpeg, kSomeBytes);
        EXPECT_TRUE(PictureIs(kBlack)) << c.what;
        ExpectStoredOnce(c.what);
        EXPECT_EQ(g_script.closes, closes + 1) << c.what;
    }
    // Top-down rows (negative height) are the decoder's choice, not a lie.
    UseControl(40, 30);
    Decodes(Uniform(8, 6, kColour), false);
    Receive(kJpeg, kSomeBytes);
    EXPECT_TRUE(PictureIs(kColour));
    ExpectStoredOnce("top-down");
}

TEST_F(ScriptedReceiverTest, EmptyOrOversizedPictureIsAFailedPreviewWithoutReadingAndIsStored)
{
    const std::pair<uint32_t, uint32_t> sizes[] = {{0, 600}, {800, 0}, {0, 0}, {65536, 21846}, {100000, 100000}};
    for (const auto &[width, height] : sizes) {
        UseControl(40, 30);
        g_script.width = width;
        g_script.height = height;
        const int closes = g_script.closes;
        Receive(kJpeg, kSomeBytes);
        EXPECT_TRUE(PictureIs(kBlack)) << width << "x" << height;
        ExpectStoredOnce(std::to_string(width) + "x" + std::to_string(height));
        EXPECT_EQ(g_script.reads, 0) << width << "x" << height;
        EXPECT_EQ(g_script.closes, closes + 1);
        EXPECT_EQ(m_receiver.DecodeBufferSize(), 0u);
    }
}

TEST_F(ScriptedReceiverTest, PictureIsWrittenWhileItDecodesAndNamedOnceThePreviewIsDone)
{
    std::vector<int> readsAtClockReadings;
    platform::SetLocalTimeSource([&readsAtClockReadings] {
        readsAtClockReadings.push_back(g_script.reads);
        return FixedTime();
    });
    Decodes(Uniform(8, 6, kColour));
    g_script.readWaitsForTheFile = true;
    Receive(kJpeg, kSomeBytes);
    EXPECT_TRUE(g_script.fileSeenDuringRead) << "the bytes were not being stored during the decode";
    EXPECT_EQ(readsAtClockReadings, std::vector<int>{1}) << "one clock reading, after the decode";
    EXPECT_TRUE(PictureIs(kColour));
    ExpectStoredOnce("overlapped");
}

TEST_F(ScriptedReceiverTest, DecoderThatThrowsLeavesABlackAreaAndThePictureIsStored)
{
    Decodes(Uniform(8, 6, kColour));
    g_script.readThrows = true;
    Receive(kJpeg, kSomeBytes);
    EXPECT_TRUE(PictureIs(kBlack));
    EXPECT_EQ(g_script.closes, 1);
    ExpectStoredOnce("thrown");
}

class FailingAllocationReceiver : public CImageReceiver {
protected:
    std::unique_ptr<uint8_t[]> AllocateDecodeBuffer(size_t) override { return nullptr; }
};

TEST_F(ScriptedReceiverTest, BufferThatCannotBeHadIsAFailedPreviewAndThePictureIsStored)
{
    FailingAllocationReceiver receiver;
    Decodes(Uniform(8, 6, kColour));
    receiver.ReceiveImage(kJpeg, kSomeBytes.data(), uint32_t(kSomeBytes.size()), m_control.get(), m_picture.get());
    EXPECT_TRUE(PictureIs(kBlack));
    ExpectStoredOnce("no buffer");
    EXPECT_EQ(g_script.reads, 0);
    EXPECT_EQ(g_script.closes, 1);
}

TEST_F(ScriptedReceiverTest, DecodeBufferIsKeptForPicturesOfASimilarSize)
{
    Decodes(Uniform(300, 200, kColour));
    Receive(kJpeg, kSomeBytes);
    const uint8_t *first = g_script.buffer;
    const size_t size = m_receiver.DecodeBufferSize();
    EXPECT_EQ(size, *DecodeBufferCapacity(300, 200));

    Decodes(Uniform(200, 150, kColour)); // half the size: reused
    Receive(kJpeg, kSomeBytes);
    EXPECT_EQ(g_script.buffer, first);
    EXPECT_EQ(m_receiver.DecodeBufferSize(), size);

    Decodes(Uniform(100, 50, kColour)); // a twelfth: given back for a small one
    Receive(kJpeg, kSomeBytes);
    EXPECT_EQ(m_receiver.DecodeBufferSize(), *DecodeBufferCapacity(100, 50));

    Decodes(Uniform(301, 200, kColour)); // larger: replaced
    Receive(kJpeg, kSomeBytes);
    EXPECT_EQ(m_receiver.DecodeBufferSize(), *DecodeBufferCapacity(301, 200));
    EXPECT_TRUE(PictureIs(kColour));

    m_receiver.ReleaseDecodeBuffer();
    EXPECT_EQ(m_receiver.DecodeBufferSize(), 0u);
}

TEST_F(ScriptedReceiverTest, VeryWideAndVeryNarrowPicturesAreDrawnAndStored)
{
    // 65,000 x 1 is 18,395,000 pixels wide at a height of 283: only 418 are computed.
    UseControl(418, 283);
    const QImage wide = testdib::RandomImage(65000, 1, 3);
    Decodes(wide);
    Receive(kJpeg, kSomeBytes);
    for (int x = 0; x < 418; x += 37)
        EXPECT_LE(testdib::ChannelDifference(m_picture->Image().pixel(x, 100),
                                             testdib::ReferencePixel(wide, 18395000, 283, x + 9197291, 100)),
                  1);
    EXPECT_EQ(StoredFiles().size(), 1u);

    // 1 x 1,000 is 0 pixels wide: nothing drawn, the preview still succeeded.
    Decodes(Uniform(1, 1000, kColour));
    Receive(kJpeg, kSomeBytes);
    EXPECT_TRUE(PictureIs(kBlack));
    EXPECT_EQ(StoredFiles().size(), 2u);
}

TEST_F(ScriptedReceiverTest, RawPictureShowsThePlaceholderAndStoresItsBytesUnread)
{
    UseControl(500, 300); // larger than the placeholder both ways
    QFile file(QString::fromLatin1(res::kRawPlaceholder));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray dib = file.readAll();
    const QImage placeholder =
        image::ImageFromDib(reinterpret_cast<const uint8_t *>(dib.constData()), size_t(dib.size()));
    ASSERT_EQ(placeholder.size(), QSize(488, 261));

    const std::vector<uint8_t> damaged = {0x00, 0x13, 0x37, 0xFF, 0x00};
    Receive(kRaw, damaged);
    EXPECT_EQ(m_picture->Image().copy(0, 0, 488, 261), placeholder);
    EXPECT_EQ(m_picture->Image().pixel(488, 0), kBlack);
    EXPECT_EQ(m_picture->Image().pixel(0, 261), kBlack);
    EXPECT_EQ(g_script.reads, 0);
    EXPECT_EQ(g_script.closes, 0);
    ASSERT_EQ(StoredFiles(), std::vector<std::string>{"20060307_090504_0.RWQ"});
    EXPECT_EQ(FileBytes("20060307_090504_0.RWQ"), damaged);

    // A later JPEG preview is back at the control's size.
    Decodes(Uniform(500, 300, kColour));
    Receive(kJpeg, kSomeBytes);
    EXPECT_TRUE(PictureIs(kColour));
    EXPECT_EQ(m_picture->Size(), QSize(500, 300));
}

// Run at device pixel ratios 1, 1.5 and 2 (QT_SCALE_FACTOR, one process each).
TEST_F(ScriptedReceiverTest, PreviewIsDrawnInDevicePixels)
{
    QWidget control;
    control.resize(200, 100);
    const qreal ratio = control.devicePixelRatioF();
    if (qEnvironmentVariableIsSet("QT_SCALE_FACTOR")) {
        ASSERT_EQ(ratio, qgetenv("QT_SCALE_FACTOR").toDouble());
    }
    const QSize device(qRound(200 * ratio), qRound(100 * ratio));
    image::OffscreenPicture picture = image::OffscreenPicture::ForWidget(control);
    ASSERT_EQ(picture.Size(), device) << "ratio " << ratio;
    EXPECT_EQ(picture.DevicePixelRatio(), ratio);

    // A 1-pixel line in a picture of twice the area's logical size.
    QImage source = Uniform(400, 200, qRgb(0, 0, 0));
    for (int y = 0; y < 200; ++y)
        source.setPixel(201, y, qRgb(255, 255, 255));
    Decodes(source);
    m_receiver.ReceiveImage(kJpeg, kSomeBytes.data(), uint32_t(kSomeBytes.size()), &control, &picture);

    // Today's pixels, in device pixels: the same stretch into a picture of that size.
    image::OffscreenPicture expected(device);
    const std::vector<uint8_t> dib = testdib::FromImage(source, true);
    const PreviewPlacement placement = FitToHeight(device.width(), device.height(), 400, 200);
    expected.StretchDib(dib.data(), dib.size(), {placement.x, 0, placement.width, device.height()});
    EXPECT_TRUE(picture.Image().convertToFormat(QImage::Format_RGB32) ==
                expected.Image().convertToFormat(QImage::Format_RGB32));
    if (ratio == 2) {
        // 1:1: the line is still one white column between black ones.
        for (const int y : {0, 99, 199}) {
            EXPECT_EQ(picture.Image().pixel(200, y), qRgb(0, 0, 0));
            EXPECT_EQ(picture.Image().pixel(201, y), qRgb(255, 255, 255));
            EXPECT_EQ(picture.Image().pixel(202, y), qRgb(0, 0, 0));
        }
    }

    // The placeholder keeps its logical size: enlarged by the ratio, top-left.
    QWidget wide;
    wide.resize(500, 300);
    image::OffscreenPicture raw = image::OffscreenPicture::ForWidget(wide);
    m_receiver.ReceiveImage(kRaw, kSomeBytes.data(), uint32_t(kSomeBytes.size()), &wide, &raw);
    QFile file(QString::fromLatin1(res::kRawPlaceholder));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    const QImage placeholder =
        image::ImageFromDib(reinterpret_cast<const uint8_t *>(bytes.constData()), size_t(bytes.size()));
    const QSize shown(qRound(488 * ratio), qRound(261 * ratio));
    const QImage want = placeholder.scaled(shown, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    EXPECT_TRUE(raw.Image().copy(QRect(QPoint(0, 0), shown)).convertToFormat(QImage::Format_RGB32) ==
                want.convertToFormat(QImage::Format_RGB32));
    EXPECT_EQ(raw.Image().pixel(shown.width(), 0), kBlack);
    EXPECT_EQ(raw.Image().pixel(0, shown.height()), kBlack);
    if (ratio == 1) {
        EXPECT_TRUE(raw.Image().copy(0, 0, 488, 261) == placeholder);
    }
}

TEST_F(ScriptedReceiverTest, RawPictureIsStoredWhenThePlaceholderCannotBeLoaded)
{
    UnregisterResources();
    Receive(kRaw, kSomeBytes);
    RegisterResources();
    EXPECT_TRUE(PictureIs(kMarker));
    EXPECT_EQ(StoredFiles(), std::vector<std::string>{"20060307_090504_0.RWQ"});
}

TEST_F(ScriptedReceiverTest, FailedSaveGoesToTheHandlerAndNothingEscapes)
{
    std::vector<CImageReceiver::FailedSave> failures;
    std::vector<std::thread::id> threads;
    m_receiver.SetSaveFailureHandler([&](const CImageReceiver::FailedSave &failed) {
        failures.push_back(failed);
        threads.push_back(std::this_thread::get_id());
        throw std::runtime_error("the handler's own trouble stays inside too");
    });
    fs::remove(m_folder); // the destination folder is gone
    const std::vector<uint8_t> raw = {1, 2, 3, 4};
    Receive(kRaw, raw);
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_EQ(failures[0].imageType, kRaw);
    EXPECT_EQ(failures[0].bytes, raw.data());
    EXPECT_EQ(failures[0].byteCount, 4u);
    EXPECT_EQ(failures[0].timeStamp, "20060307_090504_0");
    EXPECT_FALSE(failures[0].error.empty());
    EXPECT_EQ(threads, std::vector<std::thread::id>{std::this_thread::get_id()});

    // A picture whose preview fails as well is still handed over.
    Decodes(Uniform(8, 6, kColour));
    g_script.readStatus = 1;
    Receive(kJpeg, kSomeBytes);
    ASSERT_EQ(failures.size(), 2u);
    EXPECT_EQ(failures[1].bytes, kSomeBytes.data());
    EXPECT_TRUE(PictureIs(kBlack));
}

TEST(RawPlaceholder, IsA488By261BottomUpDibWithTheExpectedHeader)
{
    QFile file(QString::fromLatin1(res::kRawPlaceholder));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    ASSERT_EQ(bytes.size(), 382144);
    auto u32 = [&](int offset) {
        uint32_t value;
        std::memcpy(&value, bytes.constData() + offset, 4);
        return value;
    };
    auto u16 = [&](int offset) {
        uint16_t value;
        std::memcpy(&value, bytes.constData() + offset, 2);
        return value;
    };
    EXPECT_EQ(u32(0), 40u);      // header size
    EXPECT_EQ(u32(4), 488u);     // width
    EXPECT_EQ(u32(8), 261u);     // height: positive, bottom-up
    EXPECT_EQ(u16(12), 1u);      // planes
    EXPECT_EQ(u16(14), 24u);     // bits per pixel
    EXPECT_EQ(u32(16), 0u);      // BI_RGB
    EXPECT_EQ(u32(20), 382104u); // image size
    EXPECT_EQ(u32(24), 3780u);   // pixels per metre across
    EXPECT_EQ(u32(28), 3780u);   // and down
    EXPECT_EQ(u32(32), 0u);      // colours used
    EXPECT_EQ(u32(36), 0u);      // colours important
}

TEST(AppIcon, HasBothSizesInSixteenColours)
{
    for (const auto &[path, size] : {std::pair{res::kAppIcon32, 32}, std::pair{res::kAppIcon16, 16}}) {
        QFile file(QString::fromLatin1(path));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << path;
        const QByteArray png = file.readAll();
        ASSERT_GT(png.size(), 26);
        EXPECT_EQ(png.at(24), 4) << path << ": bits per pixel";
        EXPECT_EQ(png.at(25), 3) << path << ": palette colours";
        const QImage image = QImage::fromData(png);
        EXPECT_EQ(image.size(), QSize(size, size)) << path;
        EXPECT_LE(image.colorCount(), 16) << path;
    }
    EXPECT_EQ(res::AppIcon().availableSizes().size(), 2);
}

} // namespace
