#pragma once

// Packed DIBs (40-byte BITMAPINFOHEADER + 24-bit BGR rows) built in tests,
// and a plain area-average reference to judge scaled drawings by.

#include <QImage>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

namespace testdib {

inline void PutU32(std::vector<uint8_t> &bytes, size_t offset, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        bytes[offset + size_t(i)] = uint8_t(value >> (8 * i));
}

inline void PutU16(std::vector<uint8_t> &bytes, size_t offset, uint16_t value)
{
    bytes[offset] = uint8_t(value);
    bytes[offset + 1] = uint8_t(value >> 8);
}

inline size_t Stride(uint32_t width)
{
    return (size_t(width) * 3 + 3) & ~size_t(3);
}

// A 24-bit BI_RGB header for width x height; a negative height means top-down rows.
inline std::vector<uint8_t> Header(int32_t width, int32_t height)
{
    std::vector<uint8_t> bytes(40, 0);
    PutU32(bytes, 0, 40);                 // header size
    PutU32(bytes, 4, uint32_t(width));    // width
    PutU32(bytes, 8, uint32_t(height));   // height, negative for top-down
    PutU16(bytes, 12, 1);                 // planes
    PutU16(bytes, 14, 24);                // bits per pixel
    PutU32(bytes, 16, 0);                 // BI_RGB
    return bytes;
}

// The whole DIB of `picture` (any format), rows bottom-up or top-down.
inline std::vector<uint8_t> FromImage(const QImage &picture, bool bottomUp)
{
    const QImage rgb = picture.convertToFormat(QImage::Format_RGB32);
    const uint32_t width = uint32_t(rgb.width());
    const uint32_t height = uint32_t(rgb.height());
    std::vector<uint8_t> bytes = Header(int32_t(width), bottomUp ? int32_t(height) : -int32_t(height));
    bytes.resize(40 + Stride(width) * height, 0xAB); // padding must never be read as pixels
    for (uint32_t y = 0; y < height; ++y) {
        const uint32_t row = bottomUp ? height - 1 - y : y;
        uint8_t *out = bytes.data() + 40 + row * Stride(width);
        const QRgb *in = reinterpret_cast<const QRgb *>(rgb.constScanLine(int(y)));
        for (uint32_t x = 0; x < width; ++x) {
            out[3 * x] = uint8_t(qBlue(in[x]));
            out[3 * x + 1] = uint8_t(qGreen(in[x]));
            out[3 * x + 2] = uint8_t(qRed(in[x]));
        }
    }
    return bytes;
}

inline QImage RandomImage(int width, int height, uint32_t seed)
{
    std::mt19937 random(seed);
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        QRgb *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < width; ++x)
            line[x] = qRgb(int(random() & 0xff), int(random() & 0xff), int(random() & 0xff));
    }
    return image;
}

// The area average of `source` under destination pixel (j, r) when the whole
// source covers destWidth x destHeight pixels: straightforward floating point.
inline QRgb ReferencePixel(const QImage &source, double destWidth, double destHeight, int64_t j, int64_t r)
{
    const double sx = source.width() / destWidth;
    const double sy = source.height() / destHeight;
    const double x0 = double(j) * sx, x1 = double(j + 1) * sx;
    const double y0 = double(r) * sy, y1 = double(r + 1) * sy;
    double sum[3] = {0, 0, 0};
    for (int y = int(std::floor(y0)); y < int(std::ceil(y1)) && y < source.height(); ++y) {
        const double wy = std::min(y1, y + 1.0) - std::max(y0, double(y));
        const QRgb *line = reinterpret_cast<const QRgb *>(source.constScanLine(y));
        for (int x = int(std::floor(x0)); x < int(std::ceil(x1)) && x < source.width(); ++x) {
            const double weight = wy * (std::min(x1, x + 1.0) - std::max(x0, double(x)));
            sum[0] += weight * qRed(line[x]);
            sum[1] += weight * qGreen(line[x]);
            sum[2] += weight * qBlue(line[x]);
        }
    }
    const double area = (x1 - x0) * (y1 - y0);
    return qRgb(int(sum[0] / area + 0.5), int(sum[1] / area + 0.5), int(sum[2] / area + 0.5));
}

inline int ChannelDifference(QRgb a, QRgb b)
{
    return std::max({std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)),
                     std::abs(qBlue(a) - qBlue(b))});
}

} // namespace testdib
