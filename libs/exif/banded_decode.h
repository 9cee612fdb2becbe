#pragma once

#include <cstddef>
#include <cstdint>

namespace exif {

enum class BandedResult {
    NotBanded, // multi-scan, arithmetic-coded, small, or one core: nothing written
    Decoded,   // every row written; damaged data may have left grey areas
    Failed,    // a fatal error in some band; rows undefined
};

// Decodes a single-scan JPEG in bands of rows, each on its own thread with its
// own libjpeg decompressor, into top-down BGR rows of the given stride. The
// bytes are those TurboJPEG's tjDecompress2 would decode to with TJPF_BGR and
// no flags. Every thread has ended when it returns.
BandedResult DecodeInBands(const uint8_t *jpeg, size_t size, uint32_t width, uint32_t height, uint8_t *rows,
                           size_t stride);

} // namespace exif
