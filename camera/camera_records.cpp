#include "camera/camera_records.h"

#include <algorithm>
#include <cstring>

namespace {

uint16_t ReadLittleEndian16(const uint8_t *bytes)
{
    return static_cast<uint16_t>(bytes[0] | (bytes[1] << 8));
}

uint32_t ReadLittleEndian32(const uint8_t *bytes)
{
    return static_cast<uint32_t>(bytes[0]) | (static_cast<uint32_t>(bytes[1]) << 8)
        | (static_cast<uint32_t>(bytes[2]) << 16) | (static_cast<uint32_t>(bytes[3]) << 24);
}

} // namespace

std::string ReadFieldText(const char *field, size_t size)
{
    const void *end = std::memchr(field, '\0', size);
    const size_t length = end != nullptr ? static_cast<size_t>(static_cast<const char *>(end) - field) : size;
    return std::string(field, length);
}

std::string DeviceName(const CameraDeviceInfo &info)
{
    return ReadFieldText(info.Name, sizeof(info.Name));
}

std::string DeviceDetail(const CameraDeviceInfo &info)
{
    return ReadFieldText(info.Detail, sizeof(info.Detail));
}

std::vector<ChangedProperty> ReadChangedProperties(std::span<const uint8_t> list)
{
    std::vector<ChangedProperty> entries;
    if (list.size() < CHANGED_PROPERTY_COUNT_SIZE)
        return entries;
    const size_t claimed = ReadLittleEndian16(list.data());
    const size_t fitting = (list.size() - CHANGED_PROPERTY_COUNT_SIZE) / CHANGED_PROPERTY_ENTRY_SIZE;
    const size_t count = std::min(claimed, fitting);
    entries.reserve(count);
    // Entries start right after the 16-bit count: none of them is aligned.
    const uint8_t *entry = list.data() + CHANGED_PROPERTY_COUNT_SIZE;
    for (size_t i = 0; i < count; ++i, entry += CHANGED_PROPERTY_ENTRY_SIZE)
        entries.push_back({ReadLittleEndian32(entry), static_cast<int32_t>(ReadLittleEndian32(entry + 4))});
    return entries;
}

void ApplyChangedProperties(std::span<const ChangedProperty> entries, CameraProperties &properties)
{
    for (const ChangedProperty &entry : entries) {
        switch (entry.code) {
        case CAMERA_PROPERTY_2004:
            properties.property2004 = entry.value;
            break;
        case CAMERA_PROPERTY_2008:
            properties.property2008 = entry.value;
            break;
        case CAMERA_PROPERTY_2202:
            properties.property2202 = entry.value;
            break;
        default:
            break;
        }
    }
}
