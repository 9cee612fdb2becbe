#pragma once

#include "vrx4kapi.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

// Readers for the records the camera library fills. They never read past the
// record, whatever the library left in it.

// The 8-bit text in a field of `size` bytes: the bytes before the first NUL,
// or all of them when the field has none. The bytes are returned unchanged.
std::string ReadFieldText(const char *field, size_t size);

// The camera's name and its second text from a device record.
std::string DeviceName(const CameraDeviceInfo &info);
std::string DeviceDetail(const CameraDeviceInfo &info);

// One entry of the changed-property list.
struct ChangedProperty {
    uint32_t code = 0;
    int32_t value = 0;
};

// The entries of a changed-property list held in `list` (normally the whole
// CHANGED_PROPERTY_LIST_SIZE-byte buffer), in order. A count that claims more
// entries than the buffer holds yields only the entries that fit.
std::vector<ChangedProperty> ReadChangedProperties(std::span<const uint8_t> list);

// The latest values of the three properties the program keeps.
struct CameraProperties {
    int32_t property2004 = 0;
    int32_t property2008 = 0;
    int32_t property2202 = 0;
};

// Applies the entries in order: a recognised code sets its value, a later
// entry overwrites an earlier one, any other code is passed over.
void ApplyChangedProperties(std::span<const ChangedProperty> entries, CameraProperties &properties);
