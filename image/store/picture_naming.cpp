#include "image/picture_naming.h"

#include "image/image_file.h"
#include "vrx4kapi.h"

#include <cstring>

namespace image {

namespace {

constexpr size_t kAnnouncementSize = 32;
constexpr size_t kExtensionStart = 4;
constexpr size_t kExtensionEnd = 12;
constexpr size_t kReservedStart = 16;

bool LetterOrDigit(uint8_t c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
}

} // namespace

std::optional<Announcement> ReadAnnouncement(const void *leading, size_t size)
{
    if (leading == nullptr || size < kAnnouncementSize)
        return std::nullopt;
    const auto *bytes = static_cast<const uint8_t *>(leading);
    if (std::memcmp(bytes, "TVRN", 4) != 0)
        return std::nullopt;
    size_t end = kExtensionStart;
    while (end < kExtensionEnd && LetterOrDigit(bytes[end]))
        ++end;
    for (size_t i = end; i < kExtensionEnd; ++i) {
        if (bytes[i] != 0)
            return std::nullopt; // another character, or letters after a gap
    }
    for (size_t i = kReservedStart; i < kAnnouncementSize; ++i) {
        if (bytes[i] != 0)
            return std::nullopt;
    }
    Announcement announcement;
    announcement.extension.assign(reinterpret_cast<const char *>(bytes + kExtensionStart), end - kExtensionStart);
    announcement.shot = uint32_t(bytes[12]) | uint32_t(bytes[13]) << 8 | uint32_t(bytes[14]) << 16 |
                        uint32_t(bytes[15]) << 24;
    return announcement;
}

std::string PictureName::BaseName() const
{
    return number > 1 ? timeStamp + "_" + std::to_string(number) : timeStamp;
}

std::string PictureExtension(int32_t imageType, const std::optional<Announcement> &announcement)
{
    if (imageType != CAMERA_IMAGE_RAW || !announcement || announcement->extension.empty())
        return ImageFileExtension(imageType);
    std::string extension = "." + announcement->extension;
    for (char &c : extension) {
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    }
    return extension;
}

PictureName PictureNaming::NameFor(const std::string &timeStamp, int32_t imageType,
                                   const std::optional<Announcement> &announcement) const
{
    PictureName name{timeStamp, 1, PictureExtension(imageType, announcement)};
    if (announcement && announcement->shot != 0 && announcement->shot == m_previousShot) {
        name.timeStamp = m_previous.timeStamp;
        name.number = m_previous.number;
    }
    return name;
}

void PictureNaming::Received(const PictureName &name, const std::optional<Announcement> &announcement)
{
    m_previous = name;
    m_previousShot = announcement ? announcement->shot : 0;
}

} // namespace image
