// Writers for the records the camera libraries fill. Every multi-byte field
// is little-endian and may sit at any offset, so all of them go byte by byte.
#pragma once

#include "vrx4kapi.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <utility>

namespace vrx4k {

void PutLe16(uint8_t *at, uint16_t value);
void PutLe32(uint8_t *at, uint32_t value);
void PutLe64(uint8_t *at, uint64_t value);
uint32_t ReadLe32(const uint8_t *at);

// Copies text into a field of fieldSize bytes, cut to leave room for its NUL;
// the rest of the field is zero.
void PutText(char *field, size_t fieldSize, std::string_view text);

using PropertyEntry = std::pair<uint32_t, uint32_t>; // code, value

// Writes the changed-property list into a buffer of CHANGED_PROPERTY_LIST_SIZE
// bytes: the 16-bit count, then the entries, nothing after them. Writes at
// most CHANGED_PROPERTY_MAX_ENTRIES entries; returns how many it wrote.
size_t WriteChangedProperties(uint8_t *list, std::span<const PropertyEntry> entries);

// Fills CameraDeviceInfo: cleared first, so nothing of what the caller's
// record held survives, then the library's own block before Name.
class DeviceInfoWriter {
public:
    explicit DeviceInfoWriter(CameraDeviceInfo &info);
    // The library's block (Reserved) at a byte offset.
    void Bytes(size_t offset, std::string_view bytes);
    void Le32(size_t offset, uint32_t value);
    void Text(size_t offset, size_t fieldSize, std::string_view text);
    void Name(std::string_view text);
    void Detail(std::string_view text);

private:
    CameraDeviceInfo &m_info;
};

// What TAVREN's camera libraries announce about a picture in the first 32
// bytes of CameraImageInfo, which the vendor contract leaves to the library:
// the marker "TVRN", the picture's own file extension (1 to 8 ASCII letters
// or digits, NUL-padded to 8 bytes; all NUL for none), the shot number
// (32-bit little-endian; the pictures of one shot share it; 0: unknown),
// then 16 zero bytes. The program names raw files and raw+JPEG pairs by it.
inline constexpr size_t kAnnouncedExtensionSize = 8;
struct Announcement {
    std::string_view extension; // as the camera names the file; anything else is left out
    uint32_t shot = 0;
};

// True when text can be announced as an extension.
bool AnnounceableExtension(std::string_view text);

// Fills CameraImageInfo: the announcement, type and size; nothing of what
// the caller's record held survives.
void WriteImageInfo(CameraImageInfo &info, int32_t type, uint32_t size, const Announcement &announcement);
// The same with the first 32 bytes zero: no announcement.
void WriteImageInfo(CameraImageInfo &info, int32_t type, uint32_t size);

} // namespace vrx4k
