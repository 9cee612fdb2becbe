#include "dialogs/camera_text.h"

#include <gtest/gtest.h>

#include <string_view>

namespace {

using namespace std::string_view_literals;

TEST(CameraTextTest, ValidUtf8IsDecodedAndAnythingElseIsLatin1)
{
    // Valid UTF-8, including a four-byte character.
    EXPECT_EQ(DecodeCameraText("EOS \xC3\xA9\xF0\x9F\x93\xB7"sv), QString::fromUtf8("EOS \u00e9\U0001F4F7"));
    EXPECT_EQ(DecodeCameraText(""sv), QString());
    // Every byte of a non-UTF-8 text stays one character.
    struct Case {
        const char *name;
        std::string_view bytes;
    };
    for (const Case &c : {Case{"lone Latin-1 byte", "Caf\xE9"sv}, Case{"sequence cut at the end", "ab\xE2\x82"sv},
                          Case{"overlong encoding", "\xC0\xAF"sv}, Case{"encoded surrogate", "\xED\xA0\x80"sv},
                          Case{"continuation byte alone", "x\x80y"sv}}) {
        SCOPED_TRACE(c.name);
        const QString text = DecodeCameraText(c.bytes);
        ASSERT_EQ(text.size(), static_cast<qsizetype>(c.bytes.size()));
        for (size_t i = 0; i < c.bytes.size(); ++i)
            EXPECT_EQ(text[static_cast<qsizetype>(i)].unicode(), static_cast<unsigned char>(c.bytes[i]));
    }
}


} // namespace
