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

// A picture's bytes written and flushed to a hidden temporary file in the
// current directory, not yet under a picture's name. The costly part of a
// save, so that it can run while the picture is previewed; publishing it
// afterwards takes the time stamp. A staged file never published is removed.
class StagedImageFile {
public:
    StagedImageFile() = default;
    StagedImageFile(StagedImageFile &&other) noexcept;
    StagedImageFile &operator=(StagedImageFile &&other) noexcept;
    StagedImageFile(const StagedImageFile &) = delete;
    StagedImageFile &operator=(const StagedImageFile &) = delete;
    ~StagedImageFile();

    bool Staged() const { return !m_temporaryName.empty(); }
    // Why staging failed, for the user; empty when staged.
    const std::string &Error() const { return m_error; }

private:
    friend StagedImageFile StageImageBytes(const std::string &timeStamp, const std::string &extension,
                                           const uint8_t *bytes, uint32_t byteCount);
    friend SaveResult PublishStagedImage(StagedImageFile &staged, const image::PictureName &name,
                                         const uint8_t *bytes, uint32_t byteCount);
    void Discard();

    int m_directory = -1; // the folder it was written in, so publishing lands there too
    std::string m_temporaryName;
    std::string m_error;
};

// The first half of SaveImageBytes: creates the temporary file in the current
// directory, writes the bytes and flushes them to disk. The time stamp and the
// extension (with its point) go into the temporary file's hidden name only, so
// that a file left by a crash can be recognised; the picture's name is chosen
// when it is published. Never throws for a failure of the file system; see Error().
StagedImageFile StageImageBytes(const std::string &timeStamp, const std::string &extension, const uint8_t *bytes,
                                uint32_t byteCount);

// The second half: gives a staged file `name`, or the next free number after
// it (see SaveImageBytes), in the folder it was staged in. The same bytes must
// be passed again: a file system without rename or link gets a copy of them.
// Consumes the staged file: published or removed.
SaveResult PublishStagedImage(StagedImageFile &staged, const image::PictureName &name, const uint8_t *bytes,
                              uint32_t byteCount);

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
