#include "image/offscreen_picture.h"
#include "test_dib.h"

#include <gtest/gtest.h>

#include <chrono>

namespace {

using image::DibDestination;
using image::OffscreenPicture;

constexpr QRgb kMarker = 0xff123456u;
constexpr QRgb kBlack = 0xff000000u;

OffscreenPicture MarkedPicture(int width, int height)
{
    OffscreenPicture picture(QSize(width, height));
    QImage marker(width, height, QImage::Format_RGB32);
    marker.fill(kMarker);
    picture.DrawUnscaled(marker);
    return picture;
}

// Compares every picture pixel with the reference inside the destination and
// with `outside` elsewhere; returns the largest channel difference inside.
int CompareWithReference(const OffscreenPicture &picture, const QImage &source, const DibDestination &d,
                         QRgb outside)
{
    int worst = 0;
    for (int y = 0; y < picture.Size().height(); ++y) {
        for (int x = 0; x < picture.Size().width(); ++x) {
            const QRgb got = picture.Image().pixel(x, y);
            const bool inside = x >= d.x && x < d.x + d.width && y >= d.y && y < d.y + d.height;
            if (!inside) {
                EXPECT_EQ(got, outside) << "outside the destination at " << x << "," << y;
                if (got != outside)
                    return 256;
                continue;
            }
            const QRgb want = testdib::ReferencePixel(source, double(d.width), double(d.height), x - d.x, y - d.y);
            worst = std::max(worst, testdib::ChannelDifference(got, want));
        }
    }
    return worst;
}

TEST(DibLayout, AcceptsBothRowOrdersAndExactCapacity)
{
    for (const bool bottomUp : {true, false}) {
        const std::vector<uint8_t> dib = testdib::FromImage(testdib::RandomImage(5, 3, 1), bottomUp);
        ASSERT_EQ(dib.size(), 40u + 16u * 3u);
        const auto layout = image::ReadDibLayout(dib.data(), dib.size());
        ASSERT_TRUE(layout);
        EXPECT_EQ(layout->width, 5u);
        EXPECT_EQ(layout->height, 3u);
        EXPECT_EQ(layout->stride, 16u);
        EXPECT_EQ(layout->bottomUp, bottomUp);
        EXPECT_FALSE(image::ReadDibLayout(dib.data(), dib.size() - 1)) << "last row one byte short";
    }
}

TEST(DibLayout, RefusesHeadersThatDoNotDescribeThePixels)
{
    struct Case {
        const char *what;
        size_t offset;
        uint32_t value;
        int width; // 2 bytes written when width is 16
    };
    const Case cases[] = {
        {"header size 39", 0, 39, 32},          {"header size 124", 0, 124, 32},
        {"width 0", 4, 0, 32},                  {"negative width", 4, uint32_t(-4), 32},
        {"height 0", 8, 0, 32},                 {"two planes", 12, 2, 16},
        {"32 bits per pixel", 14, 32, 16},      {"8 bits per pixel", 14, 8, 16},
        {"BI_RLE8", 16, 1, 32},                 {"BI_BITFIELDS", 16, 3, 32},
        {"colour table", 32, 1, 32},            {"taller than the buffer", 8, 5, 32},
        {"top-down taller than the buffer", 8, uint32_t(-5), 32},
        {"width beyond the rows", 4, 6, 32},    {"height of INT_MIN", 8, 0x80000000u, 32},
        {"huge width", 4, 0x7fffffffu, 32},
    };
    const std::vector<uint8_t> good = testdib::FromImage(testdib::RandomImage(5, 4, 2), true);
    for (const Case &c : cases) {
        std::vector<uint8_t> dib = good;
        if (c.width == 16)
            testdib::PutU16(dib, c.offset, uint16_t(c.value));
        else
            testdib::PutU32(dib, c.offset, c.value);
        EXPECT_FALSE(image::ReadDibLayout(dib.data(), dib.size())) << c.what;

        OffscreenPicture picture = MarkedPicture(8, 8);
        EXPECT_FALSE(picture.StretchDib(dib.data(), dib.size(), {0, 0, 8, 8})) << c.what;
        EXPECT_EQ(picture.Image().pixel(3, 3), kMarker) << c.what << " drew something";
        EXPECT_TRUE(image::ImageFromDib(dib.data(), dib.size()).isNull()) << c.what;
    }
    EXPECT_FALSE(image::ReadDibLayout(nullptr, 1000));
    EXPECT_FALSE(image::ReadDibLayout(good.data(), 39));
}

TEST(StretchDib, SameSizeCopiesExactlyInBothRowOrders)
{
    const QImage source = testdib::RandomImage(7, 5, 3);
    for (const bool bottomUp : {true, false}) {
        const std::vector<uint8_t> dib = testdib::FromImage(source, bottomUp);
        OffscreenPicture picture(QSize(7, 5));
        ASSERT_TRUE(picture.StretchDib(dib.data(), dib.size(), {0, 0, 7, 5}));
        EXPECT_EQ(picture.Image(), source) << (bottomUp ? "bottom-up" : "top-down");
        EXPECT_EQ(image::ImageFromDib(dib.data(), dib.size()), source);
    }
}

TEST(StretchDib, MatchesAreaAverageWhenReducingAndEnlarging)
{
    struct Case {
        int sourceWidth, sourceHeight;
        DibDestination destination;
        int pictureWidth, pictureHeight;
    };
    const Case cases[] = {
        {60, 40, {0, 0, 7, 5}, 7, 5},        // fractional spans both ways
        {601, 401, {2, 1, 41, 29}, 45, 31},  // odd width: padded rows; black border untouched
        {300, 30, {0, 0, 29, 3}, 29, 3},     // wide reduction
        {3, 5, {0, 0, 17, 11}, 17, 11},      // enlarging both ways
        {40, 3, {0, 0, 13, 20}, 13, 20},     // reducing across, enlarging down
        {90, 60, {-14, 0, 128, 40}, 100, 40}, // wider than the picture: clipped at both sides
        {50, 50, {0, -7, 20, 30}, 20, 20},   // clipped at the top and the bottom
        {4, 3000, {0, 0, 3, 2}, 3, 2},       // 1,500 rows under each destination row
        {3000, 5, {0, 0, 2, 3}, 2, 3},       // 1,500 columns under each destination column
    };
    uint32_t seed = 10;
    for (const Case &c : cases) {
        const QImage source = testdib::RandomImage(c.sourceWidth, c.sourceHeight, seed++);
        for (const bool bottomUp : {true, false}) {
            const std::vector<uint8_t> dib = testdib::FromImage(source, bottomUp);
            OffscreenPicture picture = MarkedPicture(c.pictureWidth, c.pictureHeight);
            ASSERT_TRUE(picture.StretchDib(dib.data(), dib.size(), c.destination, 1));
            EXPECT_LE(CompareWithReference(picture, source, c.destination, kMarker), 1)
                << c.sourceWidth << "x" << c.sourceHeight << " into " << c.destination.width << "x"
                << c.destination.height << (bottomUp ? " bottom-up" : " top-down");
            // Shared out over threads by rows: the same picture to the bit.
            for (const unsigned parts : {2u, 3u, 4u}) {
                OffscreenPicture shared = MarkedPicture(c.pictureWidth, c.pictureHeight);
                ASSERT_TRUE(shared.StretchDib(dib.data(), dib.size(), c.destination, parts));
                EXPECT_EQ(shared.Image(), picture.Image())
                    << c.sourceWidth << "x" << c.sourceHeight << " in " << parts << " parts"
                    << (bottomUp ? " bottom-up" : " top-down");
            }
        }
    }
}

TEST(StretchDib, UniformPictureStaysExactlyUniform)
{
    QImage source(1001, 667, QImage::Format_RGB32);
    source.fill(qRgb(201, 7, 128));
    const std::vector<uint8_t> dib = testdib::FromImage(source, true);
    OffscreenPicture picture(QSize(418, 283));
    ASSERT_TRUE(picture.StretchDib(dib.data(), dib.size(), {-5, 0, 424, 283}));
    for (int y = 0; y < 283; y += 7)
        for (int x = 0; x < 418; x += 3)
            ASSERT_EQ(picture.Image().pixel(x, y), qRgb(201, 7, 128)) << x << "," << y;
}

TEST(StretchDib, EmptyOrInvisibleDestinationDrawsNothing)
{
    const std::vector<uint8_t> dib = testdib::FromImage(testdib::RandomImage(4, 4, 4), true);
    const DibDestination nothing[] = {
        {0, 0, 0, 10}, {0, 0, 10, 0}, {0, 0, -3, 10}, {10, 0, 5, 5}, {-5, 0, 5, 5}, {0, 10, 5, 5},
    };
    for (const DibDestination &d : nothing) {
        OffscreenPicture picture = MarkedPicture(10, 10);
        EXPECT_TRUE(picture.StretchDib(dib.data(), dib.size(), d));
        for (int y = 0; y < 10; ++y)
            for (int x = 0; x < 10; ++x)
                ASSERT_EQ(picture.Image().pixel(x, y), kMarker);
    }
}

TEST(StretchDib, VeryWideDestinationComputesOnlyTheVisibleColumns)
{
    // 65,000 x 1 fitted to a height of 283 is 18,395,000 pixels wide.
    const QImage source = testdib::RandomImage(65000, 1, 5);
    const std::vector<uint8_t> dib = testdib::FromImage(source, true);
    const int64_t width = 18395000;
    const DibDestination d{(418 - width) / 2, 0, width, 283};
    OffscreenPicture picture(QSize(418, 283));
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(picture.StretchDib(dib.data(), dib.size(), d));
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_LT(seconds, 5.0) << "the whole destination width was computed";
    EXPECT_LE(CompareWithReference(picture, source, d, kBlack), 1);
}

TEST(DrawUnscaled, PutsTheBitmapTopLeftClippedAndBlackElsewhere)
{
    const QImage bitmap = testdib::RandomImage(6, 4, 6);
    OffscreenPicture wider = MarkedPicture(9, 3);
    wider.DrawUnscaled(bitmap);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 9; ++x)
            ASSERT_EQ(wider.Image().pixel(x, y), x < 6 ? bitmap.pixel(x, y) : kBlack) << x << "," << y;

    OffscreenPicture smaller = MarkedPicture(3, 2);
    smaller.DrawUnscaled(bitmap);
    EXPECT_EQ(smaller.Image(), bitmap.copy(0, 0, 3, 2));

    OffscreenPicture untouched = MarkedPicture(3, 2);
    untouched.DrawUnscaled(QImage());
    EXPECT_EQ(untouched.Image().pixel(1, 1), kMarker);
}

TEST(OffscreenPicture, StartsBlackAndClearsToBlack)
{
    OffscreenPicture picture = MarkedPicture(4, 3);
    picture.Clear();
    QImage black(4, 3, QImage::Format_RGB32);
    black.fill(kBlack);
    EXPECT_EQ(picture.Image(), black);
    EXPECT_EQ(OffscreenPicture(QSize(4, 3)).Image(), black);
}

} // namespace
