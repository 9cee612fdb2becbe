#include "jpeg_outline.h"

#include <cstring>

namespace exif {

namespace {

constexpr uint8_t kSoi = 0xD8;
constexpr uint8_t kEoi = 0xD9;
constexpr uint8_t kSos = 0xDA;
constexpr uint8_t kTem = 0x01;
constexpr uint8_t kRst0 = 0xD0;
constexpr uint8_t kRst7 = 0xD7;
constexpr uint8_t kSof0 = 0xC0;

bool IsFrameHeader(uint8_t marker)
{
    // SOF0-SOF15 but DHT (C4), JPG (C8) and DAC (CC).
    return marker >= kSof0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

// Segments libjpeg reads past when their length is below 2, as if empty:
// APP0-APP15, COM and DNL. Any other such segment is a fatal error to it.
bool PassedOverWhenTooShort(uint8_t marker)
{
    return (marker >= 0xE0 && marker <= 0xEF) || marker == 0xFE || marker == 0xDC;
}

uint32_t BigEndian16(const uint8_t *at)
{
    return uint32_t{at[0]} << 8 | at[1];
}

} // namespace

JpegOutline OutlineJpeg(const uint8_t *data, size_t size)
{
    JpegOutline outline;
    if (data == nullptr || size < 2 || data[0] != 0xFF || data[1] != kSoi)
        return outline;

    bool haveFrame = false;
    size_t at = 2;
    while (at < size) {
        // Entropy-coded data and stray bytes alike: libjpeg passes over
        // anything up to the next 0xFF, and over fill bytes after it.
        const void *found = std::memchr(data + at, 0xFF, size - at);
        if (found == nullptr)
            break;
        at = size_t(static_cast<const uint8_t *>(found) - data) + 1;
        while (at < size && data[at] == 0xFF)
            ++at;
        if (at >= size)
            break;
        const uint8_t marker = data[at++];
        // Stuffed zero, restart and TEM markers carry nothing; markers below
        // SOF0 are invalid and a decoder resynchronising after a restart
        // scans past them, so they are not taken to have a length either.
        if (marker == 0x00 || marker == kTem || (marker >= kRst0 && marker <= kRst7) || marker < kSof0)
            continue;
        // A second SOI is a fatal error to libjpeg: nothing after it is read.
        if (marker == kEoi || marker == kSoi)
            break;
        if (size - at < 2)
            break;
        const size_t length = BigEndian16(data + at);
        if (length < 2) {
            if (!PassedOverWhenTooShort(marker))
                break;
            at += 2;
            continue;
        }
        if (marker == kSos) {
            ++outline.scans;
        } else if (!haveFrame && IsFrameHeader(marker) && length >= 7 && size - at >= 7) {
            haveFrame = true;
            outline.height = BigEndian16(data + at + 3);
            outline.width = BigEndian16(data + at + 5);
        }
        if (length > size - at)
            break;
        at += length;
    }
    return outline;
}

} // namespace exif
