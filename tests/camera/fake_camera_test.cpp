// The fake camera library does what its control header promises; the window
// tests script their scenarios with it.
#include "fake_camera.h"

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <vector>

namespace {

class FakeCameraScript : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_fake.IsLoaded());
        m_fake->Reset();
    }
    void TearDown() override { m_fake->Reset(); }

    // Calls the fake's entry point `name` directly, without the binding.
    template <typename Function, typename... Arguments>
    int32_t Call(const char *name, Arguments... arguments)
    {
        const auto function = reinterpret_cast<Function>(dlsym(m_fake.Module(), name));
        EXPECT_NE(function, nullptr) << name;
        return function ? function(arguments...) : VRX4K_FAILURE;
    }
    int32_t Detect(int32_t *count) { return Call<PfnVRX4K_Detect>("VRX4K_Detect", 0, count); }
    int32_t Open(int32_t index, uint32_t *handle, CameraCallback callback)
    {
        return Call<PfnVRX4K_Open>("VRX4K_Open", index, handle, callback, 0);
    }

    FakeCamera m_fake;
};

TEST_F(FakeCameraScript, DiscoveryScript)
{
    m_fake->SetDetectCount(6);
    m_fake->SetOpenResult(1, VRX4K_FAILURE);
    m_fake->SetDeviceTexts(2, "Third", "C");

    int32_t count = 0;
    EXPECT_EQ(Detect(&count), 0);
    EXPECT_EQ(count, 6);

    uint32_t handle = 0;
    EXPECT_EQ(Open(1, &handle, nullptr), VRX4K_FAILURE);
    EXPECT_EQ(handle, 0u) << "nothing written on failure by default";
    EXPECT_EQ(Open(2, &handle, nullptr), 0);
    EXPECT_EQ(handle, 0x1003u);

    CameraDeviceInfo info{};
    EXPECT_EQ(Call<PfnVRX4K_GetDeviceInfo>("VRX4K_GetDeviceInfo", handle, &info), 0);
    EXPECT_STREQ(info.Name, "Third");
    EXPECT_STREQ(info.Detail, "C");
    EXPECT_EQ(Call<PfnVRX4K_GetDeviceInfo>("VRX4K_GetDeviceInfo", 0x1001, &info), 0);
    EXPECT_STREQ(info.Name, "Fake Camera 1");
    EXPECT_STREQ(info.Detail, "FAKE-1");

    CameraDeviceInfo untouched{};
    EXPECT_EQ(Call<PfnVRX4K_GetDeviceInfo>("VRX4K_GetDeviceInfo", 0xDEAD, &untouched), 0);
    EXPECT_EQ(untouched.Name[0], 0) << "an unknown handle writes nothing";
}

TEST_F(FakeCameraScript, QueuedResultsComeFirstThenPerIndexThenDefault)
{
    m_fake->SetResult(FAKE_CAMERA_OPEN, 7);
    m_fake->SetOpenResult(0, 9);
    m_fake->QueueResult(FAKE_CAMERA_OPEN, VRX4K_FAILURE);
    m_fake->QueueResult(FAKE_CAMERA_OPEN, 5);
    uint32_t handle = 0;
    EXPECT_EQ(Open(0, &handle, nullptr), VRX4K_FAILURE);
    EXPECT_EQ(Open(0, &handle, nullptr), 5);
    EXPECT_EQ(Open(0, &handle, nullptr), 9);
    EXPECT_EQ(Open(1, &handle, nullptr), 7);
    EXPECT_EQ(Open(FAKE_CAMERA_MAX_CAMERAS, &handle, nullptr), 7);
    EXPECT_EQ(handle, 0u) << "an index beyond the scripted cameras opens handle 0";
}

TEST_F(FakeCameraScript, WriteOnFailureWritesOutputsOfFailedCalls)
{
    m_fake->SetWriteOnFailure(1);
    m_fake->SetResult(FAKE_CAMERA_DETECT, VRX4K_FAILURE);
    m_fake->SetDetectCount(-3);
    int32_t count = 0;
    EXPECT_EQ(Detect(&count), VRX4K_FAILURE);
    EXPECT_EQ(count, -3);
}

TEST_F(FakeCameraScript, PicturesAreTakenInOrder)
{
    const uint8_t jpeg[] = {1, 2, 3, 4, 5};
    m_fake->QueueImage(CAMERA_IMAGE_JPEG, 5, jpeg, sizeof jpeg);
    m_fake->QueueImage(CAMERA_IMAGE_RAW, 100, jpeg, 2); // reports more than it holds

    CameraImageInfo info{};
    std::vector<uint8_t> buffer(8, 0xEE);
    ASSERT_EQ(Call<PfnVRX4K_ReadImageInfo>("VRX4K_ReadImageInfo", 0x1001, &info), 0);
    EXPECT_EQ(info.ImageType, CAMERA_IMAGE_JPEG);
    EXPECT_EQ(info.ImageSize, 5u);
    ASSERT_EQ(Call<PfnVRX4K_ReadImage>("VRX4K_ReadImage", 0x1001, buffer.data(), 3), 0);
    EXPECT_EQ(buffer, (std::vector<uint8_t>{1, 2, 3, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE}));

    ASSERT_EQ(Call<PfnVRX4K_ReadImageInfo>("VRX4K_ReadImageInfo", 0x1001, &info), 0);
    EXPECT_EQ(info.ImageType, CAMERA_IMAGE_RAW);
    EXPECT_EQ(info.ImageSize, 100u);
    std::fill(buffer.begin(), buffer.end(), 0xEE);
    ASSERT_EQ(Call<PfnVRX4K_ReadImage>("VRX4K_ReadImage", 0x1001, buffer.data(), 8), 0);
    EXPECT_EQ(buffer, (std::vector<uint8_t>{1, 2, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE}));

    ASSERT_EQ(Call<PfnVRX4K_ReadImageInfo>("VRX4K_ReadImageInfo", 0x1001, &info), 0);
    EXPECT_EQ(info.ImageType, CAMERA_IMAGE_NONE) << "an empty queue reports no image";
    EXPECT_EQ(info.ImageSize, 0u);
}

TEST_F(FakeCameraScript, ChangedPropertiesInTheLibrarysLayout)
{
    const uint32_t codes[] = {0x2004, 0x2202};
    const uint32_t values[] = {0x11223344, 0xFFFFFFFF};
    m_fake->SetChangedProperties(2, codes, values);
    std::vector<uint8_t> list(CHANGED_PROPERTY_LIST_SIZE, 0xAA);
    ASSERT_EQ(Call<PfnVRX4K_GetChangedProperty>("VRX4K_GetChangedProperty", 0x1001, list.data()), 0);
    const std::vector<uint8_t> expected = {
        0x02, 0x00,             // count
        0x04, 0x20, 0x00, 0x00, // code 0x2004
        0x44, 0x33, 0x22, 0x11, // value
        0x02, 0x22, 0x00, 0x00, // code 0x2202
        0xFF, 0xFF, 0xFF, 0xFF, // value
        0xAA,                   // the caller's buffer beyond the list is left alone
    };
    EXPECT_EQ(std::vector<uint8_t>(list.begin(), list.begin() + 19), expected);
}

std::atomic<int> g_calls{0};
std::atomic<uint64_t> g_callbackThread{0};

int32_t CountingCallback(int32_t context, int32_t event)
{
    ++g_calls;
    g_callbackThread = static_cast<uint64_t>(gettid());
    return context * 100 + event;
}

TEST_F(FakeCameraScript, EventsReachTheRegisteredCallback)
{
    g_calls = 0;
    int32_t result = 0;
    EXPECT_EQ(m_fake->FireEvent(0, CAMERA_EVENT_IMAGE_READY, FAKE_CAMERA_DELIVER_SYNC, &result), 0)
        << "no callback registered yet";

    uint32_t handle = 0;
    ASSERT_EQ(Open(0, &handle, CountingCallback), 0);
    // Opening without a callback keeps the one registered.
    ASSERT_EQ(Open(1, &handle, nullptr), 0);

    const uint64_t self = static_cast<uint64_t>(gettid());
    EXPECT_EQ(m_fake->FireEvent(3, 7, FAKE_CAMERA_DELIVER_SYNC, &result), 1);
    EXPECT_EQ(result, 307);
    EXPECT_EQ(g_callbackThread, self);

    EXPECT_EQ(m_fake->FireEvent(4, 2, FAKE_CAMERA_DELIVER_THREAD, &result), 1);
    EXPECT_EQ(result, 402);
    EXPECT_NE(g_callbackThread, self);

    EXPECT_EQ(m_fake->FireEvent(5, 1, FAKE_CAMERA_DELIVER_ASYNC, nullptr), 1);
    m_fake->JoinEventThreads();
    EXPECT_EQ(g_calls, 3);

    const std::vector<FakeCameraEvent> events = m_fake.Events();
    ASSERT_EQ(events.size(), 4u);
    EXPECT_EQ(events[0].delivered, 0);
    EXPECT_EQ(events[3].delivered, 1);
    EXPECT_EQ(events[3].event, 1);
    EXPECT_EQ(events[3].result, 501);
    EXPECT_NE(events[3].thread, self);
}

TEST_F(FakeCameraScript, CallLogRecordsCallerThreadAndResetClearsEverything)
{
    m_fake->SetDetectCount(4);
    m_fake->QueueResult(FAKE_CAMERA_DETECT, 2);
    int32_t count = 0;
    ASSERT_EQ(Detect(&count), 2);
    const std::vector<FakeCameraCall> calls = m_fake.Calls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].thread, static_cast<uint64_t>(gettid()));
    EXPECT_EQ(calls[0].result, 2);
    FakeCameraCall none{};
    EXPECT_EQ(m_fake->GetCall(1, &none), 0);

    m_fake->QueueResult(FAKE_CAMERA_DETECT, VRX4K_FAILURE);
    m_fake->Reset();
    EXPECT_EQ(m_fake->CallCount(), 0u);
    count = 0;
    EXPECT_EQ(Detect(&count), 0) << "Reset drops queued results";
    EXPECT_EQ(count, 1);
}

} // namespace
