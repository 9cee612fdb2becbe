// Property reports: what they contain, when they come, and their bounds.
#include "sim_test_support.h"

#include "camera/camera_records.h"

#include <cstring>
#include <set>
#include <span>

namespace simtest {
namespace {

using PropertyTest = SimulatedCameraTest;

std::vector<ChangedProperty> Entries(const std::vector<uint8_t> &list)
{
    return ReadChangedProperties(std::span<const uint8_t>(list.data(), list.size()));
}

int32_t ValueOf(const std::vector<ChangedProperty> &entries, uint32_t code)
{
    int32_t value = -1;
    for (const ChangedProperty &entry : entries) {
        if (entry.code == code)
            value = entry.value;
    }
    return value;
}

TEST_F(PropertyTest, ConnectingReportsAllFourValuesOfTheDeviceRecord)
{
    Start({{"VRX4K_SIM_CARD_SHOTS", "5"}});
    uint32_t camera = 0;
    ASSERT_EQ(m_library.Open(0, &camera, &EventRecorder::Callback, 0), 0u);
    ASSERT_TRUE(m_events.WaitFor(CAMERA_EVENT_PROPERTY_CHANGED, 1));
    const std::vector<uint8_t> list = ChangedPropertyBuffer(camera);
    const std::vector<ChangedProperty> entries = Entries(list);
    ASSERT_EQ(entries.size(), 4u);

    CameraDeviceInfo info{};
    ASSERT_EQ(m_library.GetDeviceInfo(camera, &info), 0u);
    EXPECT_EQ(ValueOf(entries, VRX4K_SIM_PROPERTY_SHOTS_REMAINING), 5);
    EXPECT_EQ(static_cast<uint32_t>(ValueOf(entries, VRX4K_SIM_PROPERTY_BATTERY)),
              ReadLe32(info.Reserved + VRX4K_SIM_DEVICE_BATTERY_OFFSET));
    EXPECT_EQ(static_cast<uint32_t>(ValueOf(entries, VRX4K_SIM_PROPERTY_ISO)),
              ReadLe32(info.Reserved + VRX4K_SIM_DEVICE_ISO_OFFSET));
    EXPECT_EQ(ValueOf(entries, VRX4K_SIM_PROPERTY_SHUTTER_COUNT), 0);
}

TEST_F(PropertyTest, EachShotCountsDownTheCardAndEndsWhenItIsFull)
{
    Start({{"VRX4K_SIM_CARD_SHOTS", "2"}});
    const uint32_t camera = Connect();
    for (int32_t shot = 1; shot <= 2; ++shot) {
        ASSERT_EQ(m_library.Shoot(camera, nullptr, nullptr), 0u);
        ASSERT_TRUE(m_events.WaitFor(CAMERA_EVENT_PROPERTY_CHANGED, 1 + shot));
        const std::vector<ChangedProperty> entries = Entries(ChangedPropertyBuffer(camera));
        EXPECT_EQ(ValueOf(entries, VRX4K_SIM_PROPERTY_SHOTS_REMAINING), 2 - shot);
        EXPECT_EQ(ValueOf(entries, VRX4K_SIM_PROPERTY_SHUTTER_COUNT), shot);
        const DownloadedPicture picture = Download(camera);
        if (ValueOf(entries, VRX4K_SIM_PROPERTY_ISO) != -1) {
            EXPECT_EQ(ValueOf(entries, VRX4K_SIM_PROPERTY_ISO), Logged(camera, static_cast<uint32_t>(shot), 1, "iso"));
        }
    }
    EXPECT_EQ(m_library.Shoot(camera, nullptr, nullptr), VRX4K_ERROR_CARD_FULL);
}

TEST_F(PropertyTest, TheIsoFollowsTheLightOfTheScene)
{
    Start();
    uint32_t camera = 0;
    ASSERT_EQ(m_library.Open(0, &camera, &EventRecorder::Callback, 0), 0u);
    ASSERT_TRUE(m_events.WaitFor(CAMERA_EVENT_PROPERTY_CHANGED, 1));
    CameraProperties properties;
    ApplyChangedProperties(Entries(ChangedPropertyBuffer(camera)), properties);
    std::set<uint32_t> isos;
    for (int i = 0; i < 12; ++i) {
        ASSERT_EQ(m_library.Shoot(camera, nullptr, nullptr), 0u);
        ASSERT_TRUE(m_events.WaitFor(CAMERA_EVENT_PROPERTY_CHANGED, 2 + i));
        const std::vector<ChangedProperty> entries = Entries(ChangedPropertyBuffer(camera));
        ApplyChangedProperties(entries, properties);
        const DownloadedPicture picture = Download(camera);
        const int64_t iso = Logged(camera, cameratest::ReadAnnounced(picture.info).shot, 1, "iso");
        EXPECT_EQ(properties.property2202, iso) << "the program's latest ISO is the one of the latest picture";
        isos.insert(static_cast<uint32_t>(iso));
    }
    EXPECT_GE(isos.size(), 3u) << "a day of shots moves from dusk to noon";
}

TEST_F(PropertyTest, AnUnreadListStaysWithinTheBufferAndKeepsTheLatestValues)
{
    // Two or three entries per shot: 600 shots overflow 1100 entries unless compacted.
    Start({{"VRX4K_SIM_SIZE", "16x16"}, {"VRX4K_SIM_BUFFER", "1000"}, {"VRX4K_SIM_CARD_SHOTS", "10000"}});
    const uint32_t camera = Connect();
    CameraDeviceInfo info{};
    ASSERT_EQ(m_library.GetDeviceInfo(camera, &info), 0u);
    const int32_t battery = static_cast<int32_t>(ReadLe32(info.Reserved + VRX4K_SIM_DEVICE_BATTERY_OFFSET));
    ASSERT_GT(battery, 60);
    for (int i = 0; i < 600; ++i)
        ASSERT_EQ(m_library.Shoot(camera, nullptr, nullptr), 0u);
    ASSERT_TRUE(m_events.WaitFor(CAMERA_EVENT_PROPERTY_CHANGED, 601, std::chrono::seconds(60)));
    const std::vector<uint8_t> list = ChangedPropertyBuffer(camera);
    const uint16_t count = static_cast<uint16_t>(list[0] | list[1] << 8);
    EXPECT_LE(count, CHANGED_PROPERTY_MAX_ENTRIES);
    CameraProperties properties;
    ApplyChangedProperties(Entries(list), properties);
    EXPECT_EQ(properties.property2008, 10000 - 600);
    EXPECT_EQ(ValueOf(Entries(list), VRX4K_SIM_PROPERTY_SHUTTER_COUNT), 600);
    EXPECT_EQ(properties.property2004, battery - 60) << "one percent of battery every ten shots";
}

} // namespace
} // namespace simtest
