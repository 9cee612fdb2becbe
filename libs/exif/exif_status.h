#pragma once

#include <cstdint>

// The failure statuses libExif.so returns. Callers give them no meaning beyond
// "not 0"; they exist so that tests can tell why a call was refused.
enum ExifStatus : uint16_t {
    kExifOk = 0,
    kExifBadArgument = 1,     // null pointer or empty input
    kExifUnknownHandle = 2,   // never opened, or already closed
    kExifNotJpeg = 3,         // the header cannot be read as a JPEG picture
    kExifUnsupported = 4,     // CMYK/YCCK, or a size whose picture exceeds 32-bit sizes
    kExifBufferTooSmall = 5,  // capacity below the decoded picture's size; nothing written
    kExifDecodeFailed = 6,    // the compressed data broke off with an error
    kExifOutOfMemory = 7,
    // Refusals of hostile pictures, made when opened, before any decoding:
    kExifTooManyPixels = 8,        // more than kExifMaxPixels declared
    kExifTooManyScans = 9,         // more than kExifMaxScans start-of-scan markers
    kExifTooManyScannedPixels = 10, // pixels times scans above kExifMaxScannedPixels
};

// Far beyond real cameras (150 MP, 10-15 scans), far below what would hold a
// caller for seconds or reserve gigabytes.
constexpr uint64_t kExifMaxPixels = 400'000'000;
constexpr uint64_t kExifMaxScans = 100;
constexpr uint64_t kExifMaxScannedPixels = 3'000'000'000;
