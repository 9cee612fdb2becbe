// The process-wide binding object.
#include "camera/camera_library.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <new>

namespace {

bool g_failNothrowNew = false;

} // namespace

// Lets a test make the non-throwing allocation fail; otherwise forwards to
// the ordinary allocation so that delete stays matched.
void *operator new(std::size_t size, const std::nothrow_t &) noexcept
{
    if (g_failNothrowNew)
        return nullptr;
    try {
        return ::operator new(size);
    } catch (...) {
        return nullptr;
    }
}

namespace {

class CameraInstance : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(GetCameraLibrary(), nullptr); }
    void TearDown() override
    {
        g_failNothrowNew = false;
        DestroyCameraLibrary();
    }
};

TEST_F(CameraInstance, CreateKeepsTheExistingInstance)
{
    CreateCameraLibrary();
    CCameraLibrary *const first = GetCameraLibrary();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->ModuleHandle(), nullptr);
    EXPECT_TRUE(first->HasNoEntryPoints());

    CreateCameraLibrary();
    EXPECT_EQ(GetCameraLibrary(), first);

    DestroyCameraLibrary();
    EXPECT_EQ(GetCameraLibrary(), nullptr);
    DestroyCameraLibrary(); // none left: nothing happens
    EXPECT_EQ(GetCameraLibrary(), nullptr);
}

TEST_F(CameraInstance, FailedAllocationLeavesNoInstance)
{
    g_failNothrowNew = true;
    CreateCameraLibrary();
    g_failNothrowNew = false;
    EXPECT_EQ(GetCameraLibrary(), nullptr);

    CreateCameraLibrary();
    EXPECT_NE(GetCameraLibrary(), nullptr);
}

TEST_F(CameraInstance, DestroyFreesTheObjectButNotTheLibrary)
{
    CreateCameraLibrary();
    ASSERT_NE(GetCameraLibrary(), nullptr);
    ASSERT_EQ(GetCameraLibrary()->Load(), 1);
    const platform::ModuleHandle module = GetCameraLibrary()->ModuleHandle();

    DestroyCameraLibrary();
    EXPECT_EQ(GetCameraLibrary(), nullptr);
    void *const stillLoaded = dlopen("libVRX4KAPI.so", RTLD_NOW | RTLD_NOLOAD);
    EXPECT_EQ(stillLoaded, module);
    if (stillLoaded != nullptr)
        dlclose(stillLoaded);
    platform::FreeModule(module);
}

} // namespace
