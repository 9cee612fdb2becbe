// A camera library that lacks VRX4K_GetDeviceInfo, sixth of the eleven lookups.
#include "camera/camera_library.h"
#include "fake_camera.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <vector>

namespace {

bool IsLoaded()
{
    void *module = dlopen("libVRX4KAPI.so", RTLD_NOW | RTLD_NOLOAD);
    if (module == nullptr)
        return false;
    dlclose(module);
    return true;
}

TEST(PartialCameraLibrary, LoadFailsButKeepsTheLibraryAndWhatWasFound)
{
    CCameraLibrary library;
    EXPECT_EQ(library.Load(), 0);
    EXPECT_NE(library.ModuleHandle(), nullptr);
    EXPECT_FALSE(library.IsFullyBound());
    EXPECT_FALSE(library.HasNoEntryPoints());
    EXPECT_TRUE(IsLoaded());

    {
        // The entry points found before and after the missing one are bound:
        // calling each wrapper reaches the fake under the right name.
        FakeCamera fake(RTLD_NOW | RTLD_NOLOAD);
        ASSERT_TRUE(fake.IsLoaded());
        fake->Reset();
        int32_t count = 0;
        uint32_t handle = 0;
        uint8_t list[CHANGED_PROPERTY_LIST_SIZE] = {};
        int32_t out1 = 0;
        int32_t out2 = 0;
        CameraImageInfo info{};
        uint8_t byte = 0;
        EXPECT_EQ(library.Init(0), 0u);
        EXPECT_EQ(library.Exit(), 0u);
        EXPECT_EQ(library.Detect(0, &count), 0u);
        EXPECT_EQ(library.Open(0, &handle, nullptr, 0), 0u);
        EXPECT_EQ(library.Close(handle), 0u);
        EXPECT_EQ(library.GetChangedProperty(handle, list), 0u);
        EXPECT_EQ(library.Shoot(handle, &out1, &out2), 0u);
        EXPECT_EQ(library.ReadImageInfo(handle, &info), 0u);
        EXPECT_EQ(library.ReadImage(handle, &byte, 1), 0u);
        fake->SetResult(FAKE_CAMERA_CLOSE, VRX4K_FAILURE);
        fake->SetErrorNumber(0x1234);
        EXPECT_EQ(library.Close(handle), 0x1234u) << "VRX4K_GetErrorNumber is bound";

        const std::vector<int32_t> expected = {
            FAKE_CAMERA_INIT,  FAKE_CAMERA_EXIT,  FAKE_CAMERA_DETECT,
            FAKE_CAMERA_OPEN,  FAKE_CAMERA_CLOSE, FAKE_CAMERA_GET_CHANGED_PROPERTY,
            FAKE_CAMERA_SHOOT, FAKE_CAMERA_READ_IMAGE_INFO, FAKE_CAMERA_READ_IMAGE,
            FAKE_CAMERA_CLOSE, FAKE_CAMERA_GET_ERROR_NUMBER,
        };
        EXPECT_EQ(fake.Entries(), expected);
    }

    library.Unload();
    EXPECT_EQ(library.ModuleHandle(), nullptr);
    EXPECT_TRUE(library.HasNoEntryPoints());
    EXPECT_FALSE(IsLoaded());
}

} // namespace
