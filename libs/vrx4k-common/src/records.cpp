#include "vrx4k-common/records.h"

#include <algorithm>
#include <cstring>

namespace vrx4k {

void PutLe16(uint8_t *at, uint16_t value)
{
    at[0] = static_cast<uint8_t>(value);
    at[1] = static_cast<uint8_t>(value >> 8);
}

void PutLe32(uint8_t *at, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        at[i] = static_cast<uint8_t>(value >> (8 * i));
}

void PutLe64(uint8_t *at, uint64_t value)
{
    for (int i = 0; i < 8; ++i)
        at[i] = static_cast<uint8_t>(value >> (8 * i));
}

uint32_t ReadLe32(const uint8_t *at)
{
    return uint32_t(at[0]) | uint32_t(at[1]) << 8 | uint32_t(at[2]) << 16 | uint32_t(at[3]) << 24;
}

void PutText(char *field, size_t fieldSize, std::string_view text)
{
    if (fieldSize == 0)
        return;
    std::memset(field, 0, fieldSize);
    std::memcpy(field, text.data(), std::min(text.size(), fieldSize - 1));
}

size_t WriteChangedProperties(uint8_t *list, std::span<const PropertyEntry> entries)
{
    const size_t count = std::min<size_t>(entries.size(), CHANGED_PROPERTY_MAX_ENTRIES);
    PutLe16(list, static_cast<uint16_t>(count));
    for (size_t i = 0; i < count; ++i) {
        uint8_t *entry = list + CHANGED_PROPERTY_COUNT_SIZE + i * CHANGED_PROPERTY_ENTRY_SIZE;
        PutLe32(entry, entries[i].first);
        PutLe32(entry + 4, entries[i].second);
    }
    return count;
}

DeviceInfoWriter::DeviceInfoWriter(CameraDeviceInfo &info) : m_info(info)
{
    std::memset(&m_info, 0, sizeof m_info);
}

void DeviceInfoWriter::Bytes(size_t offset, std::string_view bytes)
{
    if (offset < sizeof m_info.Reserved)
        std::memcpy(m_info.Reserved + offset, bytes.data(), std::min(bytes.size(), sizeof m_info.Reserved - offset));
}

void DeviceInfoWriter::Le32(size_t offset, uint32_t value)
{
    if (offset + 4 <= sizeof m_info.Reserved)
        PutLe32(m_info.Reserved + offset, value);
}

void DeviceInfoWriter::Text(size_t offset, size_t fieldSize, std::string_view text)
{
    if (offset + fieldSize <= sizeof m_info.Reserved)
        PutText(reinterpret_cast<char *>(m_info.Reserved + offset), fieldSize, text);
}

void DeviceInfoWriter::Name(std::string_view text)
{
    PutText(m_info.Name, sizeof m_info.Name, text);
}

void DeviceInfoWriter::Detail(std::string_view text)
{
    PutText(m_info.Detail, sizeof m_info.Detail, text);
}

bool AnnounceableExtension(std::string_view text)
{
    if (text.empty() || text.size() > kAnnouncedExtensionSize)
        return false;
    return std::all_of(text.begin(), text.end(), [](char c) {
        return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
    });
}

void WriteImageInfo(CameraImageInfo &info, int32_t type, uint32_t size, const Announcement &announcement)
{
    std::memset(&info, 0, sizeof info);
    auto *reserved = reinterpret_cast<uint8_t *>(info.Reserved);
    std::memcpy(reserved, "TVRN", 4);
    if (AnnounceableExtension(announcement.extension))
        std::memcpy(reserved + 4, announcement.extension.data(), announcement.extension.size());
    PutLe32(reserved + 4 + kAnnouncedExtensionSize, announcement.shot);
    info.ImageType = type;
    info.ImageSize = size;
}

void WriteImageInfo(CameraImageInfo &info, int32_t type, uint32_t size)
{
    std::memset(&info, 0, sizeof info);
    info.ImageType = type;
    info.ImageSize = size;
}

} // namespace vrx4k
