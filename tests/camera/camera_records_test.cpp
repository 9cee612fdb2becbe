// Reading the records the camera library fills.
#include "camera/camera_records.h"

#include <gtest/gtest.h>

#include <cstring>
#include <initializer_list>
#include <memory>
#include <tuple>
#include <vector>

namespace {

// A changed-property buffer of exactly the library's size, on the heap so
// that AddressSanitizer sees any read past its end.
std::vector<uint8_t> ListBuffer(std::initializer_list<uint8_t> start, uint8_t fill = 0)
{
    std::vector<uint8_t> buffer(CHANGED_PROPERTY_LIST_SIZE, fill);
    std::copy(start.begin(), start.end(), buffer.begin());
    return buffer;
}

// The three properties the window keeps (2004, 2008, 2202), after the list's
// changes are applied to `properties`.
std::tuple<int32_t, int32_t, int32_t> AppliedTo(const std::vector<uint8_t> &list, CameraProperties properties)
{
    ApplyChangedProperties(ReadChangedProperties(list), properties);
    return {properties.property2004, properties.property2008, properties.property2202};
}

std::tuple<int32_t, int32_t, int32_t> Properties(int32_t p2004, int32_t p2008, int32_t p2202)
{
    return {p2004, p2008, p2202};
}

TEST(ChangedPropertyList, CountZeroHasNoEntries)
{
    // Stale entries after a count of 0 must not be read.
    std::vector<uint8_t> list = ListBuffer({
        0x00, 0x00,             // count 0
        0x04, 0x20, 0x00, 0x00, // stale code 0x2004
        0x07, 0x00, 0x00, 0x00, // stale value 7
    });
    EXPECT_TRUE(ReadChangedProperties(list).empty());

    EXPECT_EQ(AppliedTo(list, {11, 12, 13}), Properties(11, 12, 13));
}

TEST(ChangedPropertyList, ThreeUnalignedEntriesInOrder)
{
    const std::vector<uint8_t> list = ListBuffer({
        0x03, 0x00,             // count 3, little-endian
        0x04, 0x20, 0x00, 0x00, // entry 0 code 0x2004, at offset 2
        0x01, 0x02, 0x03, 0x04, // entry 0 value 0x04030201
        0x08, 0x20, 0x00, 0x00, // entry 1 code 0x2008, at offset 10
        0xFF, 0xFF, 0xFF, 0xFF, // entry 1 value -1
        0x02, 0x22, 0x00, 0x00, // entry 2 code 0x2202, at offset 18
        0x00, 0x00, 0x00, 0x80, // entry 2 value INT32_MIN
        0x04, 0x20, 0x00, 0x00, // beyond the count: code 0x2004
        0x63, 0x00, 0x00, 0x00, // beyond the count: value 99
    });
    const std::vector<ChangedProperty> entries = ReadChangedProperties(list);
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].code, 0x2004u);
    EXPECT_EQ(entries[0].value, 0x04030201);
    EXPECT_EQ(entries[1].code, 0x2008u);
    EXPECT_EQ(entries[1].value, -1);
    EXPECT_EQ(entries[2].code, 0x2202u);
    EXPECT_EQ(entries[2].value, INT32_MIN);

    CameraProperties properties;
    ApplyChangedProperties(entries, properties);
    EXPECT_EQ(properties.property2004, 0x04030201);
    EXPECT_EQ(properties.property2008, -1);
    EXPECT_EQ(properties.property2202, INT32_MIN);
}

TEST(ChangedPropertyList, LaterEntryWinsAndUnknownCodesAreIgnored)
{
    const std::vector<uint8_t> list = ListBuffer({
        0x05, 0x00,             // count 5
        0x08, 0x20, 0x00, 0x00, // code 0x2008
        0x01, 0x00, 0x00, 0x00, // value 1
        0x05, 0x20, 0x00, 0x00, // code 0x2005: not kept
        0x02, 0x00, 0x00, 0x00, // value 2
        0x08, 0x20, 0x00, 0x00, // code 0x2008 again
        0x03, 0x00, 0x00, 0x00, // value 3: overwrites 1
        0x04, 0x20, 0x01, 0x00, // code 0x12004: differs from 0x2004 only above 16 bits
        0x04, 0x00, 0x00, 0x00, // value 4
        0x00, 0x00, 0x00, 0x00, // code 0
        0x05, 0x00, 0x00, 0x00, // value 5
    });
    EXPECT_EQ(AppliedTo(list, {100, 200, 300}), Properties(100, 3, 300));
}

TEST(ChangedPropertyList, OverlongCountReadsOnlyWhatFits)
{
    // Count 65535 over a buffer full of entries for 0x2202 whose values grow:
    // the last entry that fits (number 1,100) ends exactly at byte 8804.
    std::vector<uint8_t> list(CHANGED_PROPERTY_LIST_SIZE);
    list[0] = 0xFF; // count 65535
    list[1] = 0xFF;
    for (size_t i = 0; i < CHANGED_PROPERTY_MAX_ENTRIES; ++i) {
        uint8_t *entry = list.data() + 2 + 8 * i;
        const uint32_t code = CAMERA_PROPERTY_2202;
        const uint32_t value = static_cast<uint32_t>(i + 1);
        std::memcpy(entry, &code, 4); // the test host is little-endian, as the library is
        std::memcpy(entry + 4, &value, 4);
    }
    const std::vector<ChangedProperty> entries = ReadChangedProperties(list);
    ASSERT_EQ(entries.size(), 1100u);
    EXPECT_EQ(entries.back().value, 1100);

    CameraProperties properties;
    ApplyChangedProperties(entries, properties);
    EXPECT_EQ(properties.property2202, 1100);
}

TEST(ChangedPropertyList, ShortBuffersAreNeverOverread)
{
    // An exact heap allocation per size, so that AddressSanitizer catches a
    // read of even one byte too many.
    for (size_t size : {size_t{0}, size_t{1}, size_t{2}, size_t{9}, size_t{10}, size_t{17}}) {
        std::unique_ptr<uint8_t[]> bytes(new uint8_t[size]); // of 0 bytes too: nothing may be read
        std::memset(bytes.get(), 0x20, size);                // count 0x2020, codes 0x20202020
        const std::vector<ChangedProperty> entries = ReadChangedProperties({bytes.get(), size});
        const size_t fitting = size < 2 ? 0 : (size - 2) / 8;
        EXPECT_EQ(entries.size(), fitting) << "buffer of " << size << " bytes";
    }
}

TEST(DeviceInfo, TextsEndAtTheirNul)
{
    CameraDeviceInfo info{};
    std::memset(info.Reserved, 'R', sizeof info.Reserved); // never part of a text
    std::strcpy(info.Name, "Body\xA9 1");                  // 8-bit bytes pass unchanged
    std::strcpy(info.Detail, "SN 7");
    std::memcpy(info.Detail + 5, "junk", 4);               // after the NUL: ignored
    EXPECT_EQ(DeviceName(info), "Body\xA9 1");
    EXPECT_EQ(DeviceDetail(info), "SN 7");

    const CameraDeviceInfo zero{};
    EXPECT_EQ(DeviceName(zero), "");
    EXPECT_EQ(DeviceDetail(zero), "");
}

TEST(DeviceInfo, TextsWithoutNulStopAtTheirField)
{
    // A heap record with nothing after it: a Detail without NUL must stop at
    // the record's last byte.
    auto info = std::make_unique<CameraDeviceInfo>();
    std::memset(info->Name, 'N', sizeof info->Name);
    std::memset(info->Detail, 'D', sizeof info->Detail);
    EXPECT_EQ(DeviceName(*info), std::string(513, 'N'));
    EXPECT_EQ(DeviceDetail(*info), std::string(32, 'D'));
}

} // namespace
