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
};
