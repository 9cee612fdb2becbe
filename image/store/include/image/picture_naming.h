// Naming pictures by what TAVREN's own camera libraries announce in the
// first 32 bytes of CameraImageInfo: a raw file keeps the camera's own
// extension, and the pictures of one shot share one name.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace image {

struct Announcement {
    std::string extension; // as announced: 0 to 8 ASCII letters or digits
    uint32_t shot = 0;     // 0: unknown
};

// The announcement in `leading` (CameraImageInfo's first `size` bytes), or
// nullopt unless it is complete and valid: "TVRN"; the extension's letters or
// digits from byte 4, then only NULs up to byte 12; bytes 16 to 31 zero.
std::optional<Announcement> ReadAnnouncement(const void *leading, size_t size);

// Where a picture is stored: <timeStamp>.EXT, or <timeStamp>_<number>.EXT
// from number 2 on; a taken name moves on to the next number.
struct PictureName {
    std::string timeStamp;
    int number = 1;
    std::string extension; // with its point: ".JPG"

    std::string BaseName() const;
    std::string FileName() const { return BaseName() + extension; }
};

// ".RWQ" for a raw picture (type 1), ".JPG" for every other type code; a raw
// picture with an announced extension takes that one in upper case.
std::string PictureExtension(int32_t imageType, const std::optional<Announcement> &announcement);

// Remembers the picture received just before, so that the next picture of
// the same shot takes its whole base name. One thread only.
class PictureNaming {
public:
    // The name for a picture that arrived at timeStamp.
    PictureName NameFor(const std::string &timeStamp, int32_t imageType,
                        const std::optional<Announcement> &announcement) const;
    // The picture is stored (or kept to be stored) under `name`.
    void Received(const PictureName &name, const std::optional<Announcement> &announcement);

private:
    uint32_t m_previousShot = 0;
    PictureName m_previous;
};

} // namespace image
