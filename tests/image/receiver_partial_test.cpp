// Runs with the fake decoder that lacks ExifReadImage first on LD_LIBRARY_PATH.
#include "receiver_support.h"

namespace {

using namespace receivertest;

class PartlyBoundReceiverTest : public ReceiverTest {
protected:
    void SetUp() override
    {
        ReceiverTest::SetUp();
        ASSERT_EQ(LoadExifLibrary(), 0);
        ASSERT_NE(g_pfnExifMemOpen, nullptr) << "the fake was not found";
    }
    void TearDown() override
    {
        UnloadExifLibrary();
        ReceiverTest::TearDown();
    }
};

TEST_F(PartlyBoundReceiverTest, NoPictureIsDrawnOrStoredWhileAnEntryPointIsUnbound)
{
    for (const int32_t type : {kRaw, kJpeg, kJpegAlt}) {
        Receive(type, {1, 2, 3});
        EXPECT_TRUE(PictureIs(kMarker)) << "type " << type;
        EXPECT_TRUE(StoredFiles().empty()) << "type " << type;
    }
}

} // namespace
