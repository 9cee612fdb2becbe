#pragma once

#include <cstddef>
#include <cstdint>

namespace exif {

// What the marker stream of a JPEG file declares, read without decoding.
struct JpegOutline {
    uint32_t width = 0;  // from the first frame header; 0 when there is none
    uint32_t height = 0;
    uint32_t scans = 0;  // start-of-scan markers a decoder reaches before the end
};

// Walks the marker segments and skips the entropy-coded data between them.
// Inside entropy-coded data every 0xFF is followed by a stuffed 0x00 or a
// restart marker, so each other marker found there ends the scan: the count
// is exact for well-formed files and never below what libjpeg would reach in
// damaged ones. Reads only within size bytes and allocates nothing.
JpegOutline OutlineJpeg(const uint8_t *data, size_t size);

} // namespace exif
