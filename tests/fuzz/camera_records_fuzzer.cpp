// Feeds arbitrary bytes to the readers of the records the camera library
// fills. Every record sits at the very end of its buffer, right before an
// inaccessible page, so a read past the record faults.
#include "fuzz_check.h"
#include "guarded_buffer.h"

#include "camera/camera_records.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <vector>

namespace {

// The text must be the field's bytes up to, not including, its first NUL, or
// the whole field when it has none.
void CheckFieldText(const std::string &text, const char *field, size_t fieldSize)
{
    FUZZ_CHECK(text.size() <= fieldSize);
    FUZZ_CHECK(std::memcmp(text.data(), field, text.size()) == 0);
    FUZZ_CHECK(text.size() == fieldSize || field[text.size()] == '\0');
    FUZZ_CHECK(text.find('\0') == std::string::npos);
}

void FuzzDeviceTexts(const uint8_t *data, size_t size)
{
    static fuzz::GuardedBuffer record(sizeof(CameraDeviceInfo));
    std::memset(record.data(), 0, record.size());
    std::memcpy(record.data(), data, std::min(size, record.size()));
    const auto &info = *reinterpret_cast<const CameraDeviceInfo *>(record.data());
    CheckFieldText(DeviceName(info), info.Name, sizeof(info.Name));
    CheckFieldText(DeviceDetail(info), info.Detail, sizeof(info.Detail));

    // Both texts without a NUL: each must stop at the end of its own field.
    auto *name = record.data() + offsetof(CameraDeviceInfo, Name);
    auto *detail = record.data() + offsetof(CameraDeviceInfo, Detail);
    std::replace(name, name + sizeof(info.Name), uint8_t{0}, uint8_t{'N'});
    std::replace(detail, detail + sizeof(info.Detail), uint8_t{0}, uint8_t{'D'});
    const std::string fullName = DeviceName(info);
    const std::string fullDetail = DeviceDetail(info);
    FUZZ_CHECK(fullName.size() == sizeof(info.Name));
    FUZZ_CHECK(fullDetail.size() == sizeof(info.Detail));
    CheckFieldText(fullName, info.Name, sizeof(info.Name));
    CheckFieldText(fullDetail, info.Detail, sizeof(info.Detail));

    // A field of any size, the input itself.
    const fuzz::GuardedBuffer field(data, size);
    CheckFieldText(ReadFieldText(reinterpret_cast<const char *>(field.data()), size),
                   reinterpret_cast<const char *>(field.data()), size);
}

// Entries must be exactly the first min(count, fitting) 8-byte records after
// the count, in order.
void CheckPropertyList(std::span<const uint8_t> list, const std::vector<ChangedProperty> &entries)
{
    if (list.size() < CHANGED_PROPERTY_COUNT_SIZE) {
        FUZZ_CHECK(entries.empty());
        return;
    }
    const size_t fitting = (list.size() - CHANGED_PROPERTY_COUNT_SIZE) / CHANGED_PROPERTY_ENTRY_SIZE;
    FUZZ_CHECK(entries.size() == std::min<size_t>(fuzz::ReadLe16(list.data()), fitting));
    FUZZ_CHECK(entries.size() <= CHANGED_PROPERTY_MAX_ENTRIES);
    for (size_t i = 0; i < entries.size(); ++i) {
        const uint8_t *entry = list.data() + CHANGED_PROPERTY_COUNT_SIZE + i * CHANGED_PROPERTY_ENTRY_SIZE;
        FUZZ_CHECK(entries[i].code == fuzz::ReadLe32(entry));
        FUZZ_CHECK(static_cast<uint32_t>(entries[i].value) == fuzz::ReadLe32(entry + 4));
    }
}

// The kept value of each recognised code is that of its last entry.
void CheckAppliedProperties(const std::vector<ChangedProperty> &entries)
{
    constexpr int32_t kUnchanged = 0x5A5A5A5A;
    CameraProperties expected;
    expected.property2004 = expected.property2008 = expected.property2202 = kUnchanged;
    CameraProperties applied = expected;
    for (const ChangedProperty &entry : entries) {
        if (entry.code == CAMERA_PROPERTY_2004) {
            expected.property2004 = entry.value;
        } else if (entry.code == CAMERA_PROPERTY_2008) {
            expected.property2008 = entry.value;
        } else if (entry.code == CAMERA_PROPERTY_2202) {
            expected.property2202 = entry.value;
        }
    }
    ApplyChangedProperties(entries, applied);
    FUZZ_CHECK(applied.property2004 == expected.property2004);
    FUZZ_CHECK(applied.property2008 == expected.property2008);
    FUZZ_CHECK(applied.property2202 == expected.property2202);
}

void FuzzPropertyList(const uint8_t *data, size_t size)
{
    // The whole buffer as the library leaves it: the input, then stale bytes.
    static fuzz::GuardedBuffer buffer(CHANGED_PROPERTY_LIST_SIZE);
    for (size_t i = 0; i < buffer.size(); ++i) {
        buffer.data()[i] = size == 0 ? 0 : data[i % size];
    }
    const std::span<const uint8_t> list(buffer.data(), buffer.size());
    const std::vector<ChangedProperty> entries = ReadChangedProperties(list);
    CheckPropertyList(list, entries);
    CheckAppliedProperties(entries);

    // Counts at and beyond what the buffer holds: all 1100 entries, the last
    // one two bytes before the buffer's end.
    const uint16_t tail = size == 0 ? 0 : data[size - 1];
    for (const uint16_t count : {uint16_t(CHANGED_PROPERTY_MAX_ENTRIES), uint16_t(CHANGED_PROPERTY_MAX_ENTRIES + 1 + tail),
                                 uint16_t(0xFFFF)}) {
        buffer.data()[0] = static_cast<uint8_t>(count);
        buffer.data()[1] = static_cast<uint8_t>(count >> 8);
        const std::vector<ChangedProperty> all = ReadChangedProperties(list);
        FUZZ_CHECK(all.size() == CHANGED_PROPERTY_MAX_ENTRIES);
        const uint8_t *last = buffer.data() + CHANGED_PROPERTY_COUNT_SIZE +
                              (CHANGED_PROPERTY_MAX_ENTRIES - 1) * CHANGED_PROPERTY_ENTRY_SIZE;
        FUZZ_CHECK(all.back().code == fuzz::ReadLe32(last));
        FUZZ_CHECK(static_cast<uint32_t>(all.back().value) == fuzz::ReadLe32(last + 4));
    }

    // A buffer of the input's own size, however short.
    const fuzz::GuardedBuffer shortList(data, size);
    const std::span<const uint8_t> shortSpan(shortList.data(), shortList.size());
    CheckPropertyList(shortSpan, ReadChangedProperties(shortSpan));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzDeviceTexts(data, size);
    FuzzPropertyList(data, size);
    return 0;
}
