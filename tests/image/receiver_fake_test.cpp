// Runs with the scriptable fake decoder first on LD_LIBRARY_PATH, loaded by
// the real binding: the refusals, the statuses and the order of the calls.
#include "receiver_support.h"

#include "fake_exif_control.h"

namespace {

using namespace receivertest;

const std::vector<uint8_t> kBytes = {0xFF, 0xD8, 0xFF, 0xE1, 9, 8, 7, 6};
// The fake's default picture: every pixel (blue, green, red) = (0x20, 0x40, 0x80).
const QRgb kFakeColour = qRgb(0x80, 0x40, 0x20);

class FakeDecoderReceiverTest : public ReceiverTest {
protected:
    void SetUp() override
    {
        ReceiverTest::SetUp();
        ASSERT_EQ(LoadExifLibrary(), 1);
        auto getControl = platform::FindFunction<PfnFakeExif_GetControl>(g_hExifModule, "FakeExif_GetControl");
        ASSERT_NE(getControl, nullptr);
        m_fake = getControl();
        m_fake->Reset();
    }
    void TearDown() override
    {
        if (m_fake != nullptr) {
            EXPECT_EQ(m_fake->OpenHandleCount(), 0u) << "a decoder handle was left open";
        }
        UnloadExifLibrary();
        ReceiverTest::TearDown();
    }

    void Script(void (*change)(FakeExifScript &))
    {
        FakeExifScript script{};
        m_fake->GetScript(&script);
        change(script);
        m_fake->SetScript(&script);
    }

    std::vector<FakeExifCall> Calls() const
    {
        std::vector<FakeExifCall> calls(m_fake->CallCount());
        for (uint32_t i = 0; i < calls.size(); ++i)
            m_fake->GetCall(i, &calls[i]);
        return calls;
    }

    std::vector<int32_t> Entries() const
    {
        std::vector<int32_t> entries;
        for (const FakeExifCall &call : Calls())
            entries.push_back(call.entry);
        return entries;
    }

    const FakeExifControl *m_fake = nullptr;
};

TEST_F(FakeDecoderReceiverTest, JpegIsDecodedInOrderDrawnStoredAndClosed)
{
    Receive(kJpeg, kBytes);
    const std::vector<FakeExifCall> calls = Calls();
    ASSERT_EQ(calls.size(), 4u);
    EXPECT_EQ(calls[0].entry, FAKE_EXIF_MEM_OPEN);
    EXPECT_EQ(calls[0].pointer, kBytes.data());
    EXPECT_EQ(calls[0].count, kBytes.size());
    EXPECT_EQ(calls[1].entry, FAKE_EXIF_GET_IMAGE_SIZE_TYPE);
    EXPECT_EQ(calls[2].entry, FAKE_EXIF_READ_IMAGE);
    EXPECT_EQ(calls[2].count, 64u); // 4 x 2: rows of 12 bytes, and the header
    EXPECT_EQ(calls[3].entry, FAKE_EXIF_FILE_CLOSE);
    EXPECT_EQ(calls[3].handle, 1u);
    EXPECT_TRUE(PictureIs(kFakeColour)); // 4 x 2 is wider than 400 x 300: it fills the height
    EXPECT_EQ(StoredFiles(), std::vector<std::string>{"20060307_090504_0.JPG"});
    EXPECT_EQ(FileBytes("20060307_090504_0.JPG"), kBytes);
}

TEST_F(FakeDecoderReceiverTest, CapacityPadsEachRowToFourBytes)
{
    Script([](FakeExifScript &s) { s.width = 1001, s.height = 10; });
    Receive(kJpeg, kBytes);
    Script([](FakeExifScript &s) { s.width = 1000, s.height = 10, s.topDown = 1; });
    Receive(kJpeg, kBytes);
    std::vector<uint32_t> capacities;
    for (const FakeExifCall &call : Calls())
        if (call.entry == FAKE_EXIF_READ_IMAGE)
            capacities.push_back(call.count);
    EXPECT_EQ(capacities, (std::vector<uint32_t>{30080, 30040}));
    EXPECT_TRUE(PictureIs(kFakeColour)) << "top-down rows";
}

TEST_F(FakeDecoderReceiverTest, TypeThreeIsTreatedAsJpeg)
{
    Receive(kJpegAlt, kBytes);
    EXPECT_EQ(Entries().size(), 4u);
    EXPECT_TRUE(PictureIs(kFakeColour));
    EXPECT_EQ(StoredFiles(), std::vector<std::string>{"20060307_090504_0.JPG"});
}

TEST_F(FakeDecoderReceiverTest, DecoderFailuresLeaveABlackAreaStoreThePictureAndCloseTheHandle)
{
    struct Case {
        const char *what;
        void (*change)(FakeExifScript &);
        std::vector<int32_t> entries;
    };
    const Case cases[] = {
        {"open fails", [](FakeExifScript &s) { s.openStatus = 3; }, {FAKE_EXIF_MEM_OPEN}},
        {"open fails but leaves a handle",
         [](FakeExifScript &s) { s.openStatus = 3, s.openHandleOnFailure = 9; },
         {FAKE_EXIF_MEM_OPEN, FAKE_EXIF_FILE_CLOSE}},
        {"size fails", [](FakeExifScript &s) { s.sizeStatus = 0x8001; },
         {FAKE_EXIF_MEM_OPEN, FAKE_EXIF_GET_IMAGE_SIZE_TYPE, FAKE_EXIF_FILE_CLOSE}},
        {"read fails", [](FakeExifScript &s) { s.readStatus = 1; },
         {FAKE_EXIF_MEM_OPEN, FAKE_EXIF_GET_IMAGE_SIZE_TYPE, FAKE_EXIF_READ_IMAGE, FAKE_EXIF_FILE_CLOSE}},
        {"zero width", [](FakeExifScript &s) { s.width = 0; },
         {FAKE_EXIF_MEM_OPEN, FAKE_EXIF_GET_IMAGE_SIZE_TYPE, FAKE_EXIF_FILE_CLOSE}},
    };
    for (const Case &c : cases) {
        UseControl(40, 30);
        m_fake->Reset();
        Script(c.change);
        Receive(kJpeg, kBytes);
        EXPECT_EQ(Entries(), c.entries) << c.what;
        EXPECT_TRUE(PictureIs(kBlack)) << c.what;
        ASSERT_EQ(StoredFiles(), std::vector<std::string>{"20060307_090504_0.JPG"}) << c.what;
        EXPECT_EQ(FileBytes("20060307_090504_0.JPG"), kBytes) << c.what;
        fs::remove(m_folder / "20060307_090504_0.JPG");
        EXPECT_EQ(m_fake->OpenHandleCount(), 0u) << c.what;
    }
    FakeExifCall close{};
    m_fake->Reset();
    Script([](FakeExifScript &s) { s.openStatus = 3, s.openHandleOnFailure = 9; });
    Receive(kJpeg, kBytes);
    ASSERT_EQ(m_fake->GetCall(1, &close), 1);
    EXPECT_EQ(close.handle, 9u);
}

TEST_F(FakeDecoderReceiverTest, RefusedRequestsTouchNothing)
{
    QWidget control;
    control.resize(400, 300);
    struct Case {
        const char *what;
        int32_t type;
        const uint8_t *bytes;
        uint32_t count;
        bool control;
        bool picture;
    };
    const Case cases[] = {
        {"type 5", kNone, kBytes.data(), 8, true, true},
        {"no bytes", kJpeg, nullptr, 8, true, true},
        {"raw without bytes", kRaw, nullptr, 8, true, true},
        {"count 0", kJpeg, kBytes.data(), 0, true, true},
        {"no control", kJpeg, kBytes.data(), 8, false, true},
        {"no off-screen picture", kRaw, kBytes.data(), 8, true, false},
        {"type 0", 0, kBytes.data(), 8, true, true},
        {"type 4", 4, kBytes.data(), 8, true, true},
        {"type 6", 6, kBytes.data(), 8, true, true},
        {"type -1", -1, kBytes.data(), 8, true, true},
    };
    for (const Case &c : cases) {
        m_receiver.ReceiveImage(c.type, c.bytes, c.count, c.control ? &control : nullptr,
                                c.picture ? m_picture.get() : nullptr);
        EXPECT_EQ(m_fake->CallCount(), 0u) << c.what;
        EXPECT_TRUE(PictureIs(kMarker)) << c.what;
        EXPECT_TRUE(StoredFiles().empty()) << c.what;
    }
    EXPECT_EQ(m_receiver.DrawRawPreview(kBytes.data(), 8, &control, nullptr), 0);
}

TEST_F(FakeDecoderReceiverTest, RawPictureNeverReachesTheDecoder)
{
    Receive(kRaw, kBytes);
    EXPECT_EQ(m_fake->CallCount(), 0u);
    EXPECT_FALSE(PictureIs(kMarker));
    EXPECT_EQ(StoredFiles(), std::vector<std::string>{"20060307_090504_0.RWQ"});
}

} // namespace
