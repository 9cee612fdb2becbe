#pragma once

#include "image/picture_naming.h"
#include "platform/local_time.h"

#include <cstdint>
#include <string>

// "YYYYMMDD_hhmmss_t" from one clock reading, t the tenth of a second.
std::string FormatTimeStamp(const platform::LocalTime &time);

// ".RWQ" for CAMERA_IMAGE_RAW, ".JPG" for every other type code.
const char *ImageFileExtension(int32_t imageType);

// What became of one picture handed to the saver.
struct SaveResult {
    bool saved = false;
    std::string fileName; // the name it was stored under (no folder), when saved
    image::PictureName name; // the same in parts, when saved
    std::string error;    // why it was not stored, for the user, when not saved
};

// Stores the bytes unchanged in the current directory under the name the time
// stamp gives (<stamp>.JPG, or <stamp>_2.JPG, _3, ... when that is taken).
// Never replaces an existing file, even one another thread or process stores
// at the same moment; never leaves a partial file under a picture's name (the
// bytes go to a hidden temporary file first, flushed to disk, which is then
// given the free name); gives the file mode 0666 less the umask. Returns the
// name used, or a sentence for the user saying why nothing was stored, in
// which case no file of this call remains.
SaveResult SaveImageBytes(const std::string &timeStamp, int32_t imageType, const uint8_t *bytes,
                          uint32_t byteCount);
// The same under `name`: name.FileName() when free, otherwise the next free
// number after name.number.
SaveResult SaveImageBytes(const image::PictureName &name, const uint8_t *bytes, uint32_t byteCount);
