// A camera library that lacks VRX4K_GetDeviceInfo, sixth of the eleven lookups.
#include "camera/camera_library.h"
#include "library_resident.h"
#include "fake_camera.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TEST(PartialCameraLibrary, LoadFailsButKeepsTheLibraryAndWhatWasFound)
{
    CCameraLibrary library;
    EXPECT_EQ(library.Load(), 0);
    EXPECT_NE(library.ModuleHandle(), nullptr);
    EXPECT_FALSE(library.IsFullyBound());
    EXPECT_FALSE(library.HasNoEntryPoints());
    EXPECT_TRUE(LibraryResident("libVRX4KAPI.so"));

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

        std::vector<std::string> called;
        for (int32_t entry : fake.Entries())
            called.push_back(FakeCameraEntryName(entry));
        const std::vector<std::string> expected = {
            "VRX4K_Init",  "VRX4K_Exit",  "VRX4K_Detect", "VRX4K_Open", "VRX4K_Close", "VRX4K_GetChangedProperty",
            "VRX4K_Shoot", "VRX4K_ReadImageInfo", "VRX4K_ReadImage", "VRX4K_Close", "VRX4K_GetErrorNumber",
        };
        EXPECT_EQ(called, expected);
    }

    library.Unload();
    EXPECT_EQ(library.ModuleHandle(), nullptr);
    EXPECT_TRUE(library.HasNoEntryPoints());
    EXPECT_FALSE(LibraryResident("libVRX4KAPI.so"));
}

} // namespace
