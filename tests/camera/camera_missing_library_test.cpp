// No camera library anywhere on the loader's search path.
#include "camera/camera_library.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

namespace {

TEST(MissingCameraLibrary, LoadFailsWithNothingBound)
{
    ASSERT_EQ(dlopen("libVRX4KAPI.so", RTLD_NOW | RTLD_NOLOAD), nullptr);
    void *const visible = dlopen("libVRX4KAPI.so", RTLD_NOW);
    if (visible != nullptr)
        dlclose(visible);
    ASSERT_EQ(visible, nullptr) << "a camera library is reachable; this test needs none";

    CCameraLibrary library;
    EXPECT_EQ(library.Load(), 0);
    EXPECT_EQ(library.ModuleHandle(), nullptr);
    EXPECT_TRUE(library.HasNoEntryPoints());

    EXPECT_EQ(library.Load(), 0) << "a second attempt fails the same way";
    library.Unload();
    EXPECT_EQ(library.ModuleHandle(), nullptr);
    EXPECT_TRUE(library.HasNoEntryPoints());
}

TEST(MissingCameraLibrary, SingleInstanceStillCreatedAndDestroyed)
{
    CreateCameraLibrary();
    ASSERT_NE(GetCameraLibrary(), nullptr);
    EXPECT_EQ(GetCameraLibrary()->Load(), 0);
    DestroyCameraLibrary();
    EXPECT_EQ(GetCameraLibrary(), nullptr);
}

} // namespace
