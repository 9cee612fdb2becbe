// The binding against the fake camera library, loaded for real by name.
#include "camera/camera_library.h"
#include "library_resident.h"
#include "fake_camera.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <array>
#include <climits>
#include <functional>
#include <vector>

namespace {

constexpr uint32_t kCameraHandle = 0x00C0FFEE;
constexpr uint32_t kLibraryError = 0x2A01;

// Where the wrappers' outputs go; the contents do not matter to these tests.
struct Outputs {
    int32_t count = 0;
    uint32_t handle = 0;
    CameraDeviceInfo deviceInfo{};
    std::array<uint8_t, CHANGED_PROPERTY_LIST_SIZE> list{};
    int32_t out1 = 0;
    int32_t out2 = 0;
    CameraImageInfo imageInfo{};
    std::array<uint8_t, 16> image{};
};

struct Wrapper {
    const char *name;
    int32_t entry;
    bool takesHandle; // false: the library-level operations, translated with handle 0
    std::function<CameraError(CCameraLibrary &, uint32_t, Outputs &)> call;
};

const std::vector<Wrapper> &Wrappers()
{
    static const std::vector<Wrapper> wrappers = {
        {"Init", FAKE_CAMERA_INIT, false, [](CCameraLibrary &lib, uint32_t, Outputs &) { return lib.Init(0); }},
        {"Exit", FAKE_CAMERA_EXIT, false, [](CCameraLibrary &lib, uint32_t, Outputs &) { return lib.Exit(); }},
        {"Detect", FAKE_CAMERA_DETECT, false,
         [](CCameraLibrary &lib, uint32_t, Outputs &out) { return lib.Detect(0, &out.count); }},
        {"Open", FAKE_CAMERA_OPEN, false,
         [](CCameraLibrary &lib, uint32_t, Outputs &out) { return lib.Open(0, &out.handle, nullptr, 0); }},
        {"Close", FAKE_CAMERA_CLOSE, true, [](CCameraLibrary &lib, uint32_t h, Outputs &) { return lib.Close(h); }},
        {"GetDeviceInfo", FAKE_CAMERA_GET_DEVICE_INFO, true,
         [](CCameraLibrary &lib, uint32_t h, Outputs &out) { return lib.GetDeviceInfo(h, &out.deviceInfo); }},
        {"GetChangedProperty", FAKE_CAMERA_GET_CHANGED_PROPERTY, true,
         [](CCameraLibrary &lib, uint32_t h, Outputs &out) { return lib.GetChangedProperty(h, out.list.data()); }},
        {"Shoot", FAKE_CAMERA_SHOOT, true,
         [](CCameraLibrary &lib, uint32_t h, Outputs &out) { return lib.Shoot(h, &out.out1, &out.out2); }},
        {"ReadImageInfo", FAKE_CAMERA_READ_IMAGE_INFO, true,
         [](CCameraLibrary &lib, uint32_t h, Outputs &out) { return lib.ReadImageInfo(h, &out.imageInfo); }},
        {"ReadImage", FAKE_CAMERA_READ_IMAGE, true,
         [](CCameraLibrary &lib, uint32_t h, Outputs &out) {
             return lib.ReadImage(h, out.image.data(), static_cast<uint32_t>(out.image.size()));
         }},
    };
    return wrappers;
}

class LoadedBinding : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_fake.IsLoaded()) << "the fake camera library is not on LD_LIBRARY_PATH";
        m_fake->Reset();
        ASSERT_EQ(m_library.Load(), 1);
    }
    void TearDown() override { m_library.Unload(); }

    // Makes every entry point but VRX4K_GetErrorNumber return `result`.
    void SetAllResults(int32_t result)
    {
        for (const Wrapper &wrapper : Wrappers())
            m_fake->SetResult(wrapper.entry, result);
    }

    FakeCamera m_fake;
    CCameraLibrary m_library;
    Outputs m_outputs;
};

TEST_F(LoadedBinding, AnyResultButFailureIsSuccess)
{
    m_fake->SetErrorNumber(kLibraryError);
    for (int32_t result : {0, 1, -2, INT32_MIN, INT32_MAX}) {
        SetAllResults(result);
        for (const Wrapper &wrapper : Wrappers()) {
            const uint32_t handle = wrapper.takesHandle ? kCameraHandle : 0;
            EXPECT_EQ(wrapper.call(m_library, handle, m_outputs), 0u) << wrapper.name << " returning " << result;
        }
    }
    EXPECT_EQ(m_fake->CountCalls(FAKE_CAMERA_GET_ERROR_NUMBER), 0u);
}

TEST_F(LoadedBinding, FailureWithoutHandleIsUnknownWithoutAskingTheLibrary)
{
    SetAllResults(VRX4K_FAILURE);
    m_fake->SetErrorNumber(kLibraryError);
    for (const Wrapper &wrapper : Wrappers()) {
        // The library-level operations have no handle; the camera operations
        // are called here with handle 0.
        EXPECT_EQ(wrapper.call(m_library, 0, m_outputs), CAMERA_ERROR_UNKNOWN) << wrapper.name;
        EXPECT_EQ(m_fake->CountCalls(wrapper.entry), 1u) << wrapper.name;
    }
    EXPECT_EQ(m_fake->CountCalls(FAKE_CAMERA_GET_ERROR_NUMBER), 0u);
}

TEST_F(LoadedBinding, LibraryLevelFailureNeverAsksEvenWithHandleWritten)
{
    // Open may write a handle before failing; the translation still uses 0.
    m_fake->SetWriteOnFailure(1);
    m_fake->SetResult(FAKE_CAMERA_OPEN, VRX4K_FAILURE);
    m_fake->SetErrorNumber(kLibraryError);
    uint32_t handle = 0;
    EXPECT_EQ(m_library.Open(0, &handle, nullptr, 0), CAMERA_ERROR_UNKNOWN);
    EXPECT_NE(handle, 0u);
    EXPECT_EQ(m_fake->CountCalls(FAKE_CAMERA_GET_ERROR_NUMBER), 0u);
}

TEST_F(LoadedBinding, CameraFailureGivesTheLibrarysNumber)
{
    SetAllResults(VRX4K_FAILURE);
    m_fake->SetErrorNumber(kLibraryError);
    // What the library writes to the second location must not matter.
    m_fake->SetErrorFirstValue(1, 0);
    for (const Wrapper &wrapper : Wrappers()) {
        if (!wrapper.takesHandle)
            continue;
        m_fake->ClearCalls();
        EXPECT_EQ(wrapper.call(m_library, kCameraHandle, m_outputs), kLibraryError) << wrapper.name;

        const std::vector<FakeCameraCall> calls = m_fake.Calls();
        ASSERT_EQ(calls.size(), 2u) << wrapper.name;
        EXPECT_EQ(calls[0].entry, wrapper.entry);
        const FakeCameraCall &query = calls[1];
        EXPECT_EQ(query.entry, FAKE_CAMERA_GET_ERROR_NUMBER);
        EXPECT_EQ(query.handle, kCameraHandle) << wrapper.name;
        EXPECT_EQ(query.in1, -1) << "second argument must hold the failed result";
        EXPECT_EQ(query.in2, 0) << "third argument must hold 0";
        EXPECT_NE(query.pointer1, nullptr);
        EXPECT_NE(query.pointer2, nullptr);
        EXPECT_NE(query.pointer1, query.pointer2);
    }
}

TEST_F(LoadedBinding, ErrorNumbersPassUnchangedWhateverTheQueryReturns)
{
    m_fake->SetResult(FAKE_CAMERA_SHOOT, VRX4K_FAILURE);
    for (uint32_t number : {1u, 0x9100u - 1, CAMERA_ERROR_UNKNOWN, 0x7FFFFFFFu, 0xFFFFFFFEu, 0xFFFFFFFFu}) {
        for (int32_t queryResult : {0, 1, -2}) {
            m_fake->SetErrorNumber(number);
            m_fake->SetResult(FAKE_CAMERA_GET_ERROR_NUMBER, queryResult);
            EXPECT_EQ(m_library.Shoot(kCameraHandle, &m_outputs.out1, &m_outputs.out2), number)
                << "number " << number << ", query returning " << queryResult;
        }
    }
}

TEST_F(LoadedBinding, FailedQueryIsUnknownWhateverItWrote)
{
    m_fake->SetResult(FAKE_CAMERA_READ_IMAGE, VRX4K_FAILURE);
    m_fake->SetResult(FAKE_CAMERA_GET_ERROR_NUMBER, VRX4K_FAILURE);
    for (uint32_t number : {0u, kLibraryError, CAMERA_ERROR_UNKNOWN + 1}) {
        m_fake->SetErrorNumber(number);
        EXPECT_EQ(m_library.ReadImage(kCameraHandle, m_outputs.image.data(), 16), CAMERA_ERROR_UNKNOWN)
            << "number written " << number;
    }
    EXPECT_EQ(m_fake->CountCalls(FAKE_CAMERA_GET_ERROR_NUMBER), 3u);
}

TEST_F(LoadedBinding, FailureReportedAsNumberZeroStaysAFailure)
{
    SetAllResults(VRX4K_FAILURE);
    m_fake->SetErrorNumber(0);
    for (const Wrapper &wrapper : Wrappers()) {
        if (!wrapper.takesHandle)
            continue;
        EXPECT_EQ(wrapper.call(m_library, kCameraHandle, m_outputs), CAMERA_ERROR_UNKNOWN) << wrapper.name;
    }
    EXPECT_EQ(m_fake->CountCalls(FAKE_CAMERA_GET_ERROR_NUMBER), 6u);
}

TEST_F(LoadedBinding, TranslateResultOnItsOwn)
{
    m_fake->SetErrorNumber(kLibraryError);
    EXPECT_EQ(m_library.TranslateResult(kCameraHandle, 0), 0u);
    EXPECT_EQ(m_library.TranslateResult(kCameraHandle, -2), 0u);
    EXPECT_EQ(m_library.TranslateResult(0, VRX4K_FAILURE), CAMERA_ERROR_UNKNOWN);
    EXPECT_EQ(m_fake->CountCalls(FAKE_CAMERA_GET_ERROR_NUMBER), 0u);
    EXPECT_EQ(m_library.TranslateResult(kCameraHandle, VRX4K_FAILURE), kLibraryError);
    EXPECT_EQ(m_fake->CountCalls(FAKE_CAMERA_GET_ERROR_NUMBER), 1u);
}

int32_t SomeCallback(int32_t, int32_t)
{
    return 1;
}

TEST_F(LoadedBinding, ArgumentsReachTheLibraryUnchanged)
{
    constexpr uint32_t kOther = 0xFEDCBA98;
    Outputs &out = m_outputs;
    EXPECT_EQ(m_library.Init(INT32_MIN), 0u);
    EXPECT_EQ(m_library.Exit(), 0u);
    EXPECT_EQ(m_library.Detect(-7, &out.count), 0u);
    EXPECT_EQ(m_library.Open(3, &out.handle, SomeCallback, 0x55AA), 0u);
    EXPECT_EQ(m_library.Close(kOther), 0u);
    EXPECT_EQ(m_library.GetDeviceInfo(kCameraHandle, &out.deviceInfo), 0u);
    EXPECT_EQ(m_library.GetChangedProperty(kOther, out.list.data()), 0u);
    EXPECT_EQ(m_library.Shoot(kCameraHandle, &out.out1, &out.out2), 0u);
    EXPECT_EQ(m_library.ReadImageInfo(kOther, &out.imageInfo), 0u);
    EXPECT_EQ(m_library.ReadImage(kCameraHandle, out.image.data(), 0xFFFFFFF0u), 0u);

    const std::vector<FakeCameraCall> calls = m_fake.Calls();
    const std::vector<int32_t> expectedOrder = {
        FAKE_CAMERA_INIT,  FAKE_CAMERA_EXIT,  FAKE_CAMERA_DETECT,          FAKE_CAMERA_OPEN,
        FAKE_CAMERA_CLOSE, FAKE_CAMERA_GET_DEVICE_INFO, FAKE_CAMERA_GET_CHANGED_PROPERTY,
        FAKE_CAMERA_SHOOT, FAKE_CAMERA_READ_IMAGE_INFO, FAKE_CAMERA_READ_IMAGE,
    };
    ASSERT_EQ(m_fake.Entries(), expectedOrder);

    EXPECT_EQ(calls[0].value, INT32_MIN);
    EXPECT_EQ(calls[2].value, -7);
    EXPECT_EQ(calls[2].pointer1, &out.count);
    EXPECT_EQ(calls[3].value, 3);
    EXPECT_EQ(calls[3].pointer1, &out.handle);
    EXPECT_EQ(calls[3].callback, &SomeCallback);
    EXPECT_EQ(calls[3].value2, 0x55AA);
    EXPECT_EQ(calls[4].handle, kOther);
    EXPECT_EQ(calls[5].handle, kCameraHandle);
    EXPECT_EQ(calls[5].pointer1, &out.deviceInfo);
    EXPECT_EQ(calls[6].handle, kOther);
    EXPECT_EQ(calls[6].pointer1, out.list.data());
    EXPECT_EQ(calls[7].handle, kCameraHandle);
    EXPECT_EQ(calls[7].pointer1, &out.out1);
    EXPECT_EQ(calls[7].pointer2, &out.out2);
    EXPECT_EQ(calls[8].handle, kOther);
    EXPECT_EQ(calls[8].pointer1, &out.imageInfo);
    EXPECT_EQ(calls[9].handle, kCameraHandle);
    EXPECT_EQ(calls[9].pointer1, out.image.data());
    EXPECT_EQ(calls[9].value, 0xFFFFFFF0u);
}

TEST_F(LoadedBinding, OutputsWrittenByTheLibraryReachTheCaller)
{
    m_fake->SetDetectCount(6);
    m_fake->SetOpenHandle(2, 0xABCD);
    m_fake->SetDeviceTexts(2, "Studio body", "SN 0042");
    const uint8_t picture[] = {0xFF, 0xD8, 0xFF, 0xE0};
    m_fake->QueueImage(CAMERA_IMAGE_JPEG, sizeof picture, picture, sizeof picture);

    Outputs &out = m_outputs;
    ASSERT_EQ(m_library.Detect(0, &out.count), 0u);
    EXPECT_EQ(out.count, 6);
    ASSERT_EQ(m_library.Open(2, &out.handle, nullptr, 0), 0u);
    EXPECT_EQ(out.handle, 0xABCDu);
    ASSERT_EQ(m_library.GetDeviceInfo(out.handle, &out.deviceInfo), 0u);
    EXPECT_STREQ(out.deviceInfo.Name, "Studio body");
    EXPECT_STREQ(out.deviceInfo.Detail, "SN 0042");
    ASSERT_EQ(m_library.ReadImageInfo(out.handle, &out.imageInfo), 0u);
    EXPECT_EQ(out.imageInfo.ImageType, CAMERA_IMAGE_JPEG);
    EXPECT_EQ(out.imageInfo.ImageSize, sizeof picture);
    ASSERT_EQ(m_library.ReadImage(out.handle, out.image.data(), sizeof picture), 0u);
    EXPECT_EQ(out.image[0], 0xFF);
    EXPECT_EQ(out.image[3], 0xE0);
}

// No FakeCamera helper here: its reference would keep the library loaded.
TEST(CameraLibraryLoad, BindsEverythingAndUnloadReleasesIt)
{
    CCameraLibrary library;
    EXPECT_EQ(library.ModuleHandle(), nullptr);
    EXPECT_TRUE(library.HasNoEntryPoints());

    ASSERT_EQ(library.Load(), 1);
    EXPECT_NE(library.ModuleHandle(), nullptr);
    EXPECT_TRUE(library.IsFullyBound());
    EXPECT_TRUE(LibraryResident("libVRX4KAPI.so"));

    library.Unload();
    EXPECT_EQ(library.ModuleHandle(), nullptr);
    EXPECT_TRUE(library.HasNoEntryPoints());
    EXPECT_FALSE(LibraryResident("libVRX4KAPI.so"));

    library.Unload();
    EXPECT_EQ(library.ModuleHandle(), nullptr);
    EXPECT_TRUE(library.HasNoEntryPoints());
}

TEST(CameraLibraryLoad, UnloadWithoutLoadOnlyClears)
{
    CCameraLibrary library;
    library.Unload();
    library.Unload();
    EXPECT_EQ(library.ModuleHandle(), nullptr);
    EXPECT_TRUE(library.HasNoEntryPoints());
}

TEST(CameraLibraryLoad, DestructorLeavesTheLibraryLoaded)
{
    platform::ModuleHandle module = nullptr;
    {
        CCameraLibrary library;
        ASSERT_EQ(library.Load(), 1);
        module = library.ModuleHandle();
    }
    EXPECT_TRUE(LibraryResident("libVRX4KAPI.so"));
    platform::FreeModule(module);
    EXPECT_FALSE(LibraryResident("libVRX4KAPI.so"));
}

} // namespace
