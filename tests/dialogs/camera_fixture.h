#pragma once

#include "camera/camera_library.h"
#include "dialog_test_support.h"
#include "fake_camera.h"

#include <gtest/gtest.h>

// The real binding bound to the fake camera library (found through
// LD_LIBRARY_PATH), reset before each test, with message boxes recorded.
class FakeCameraTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(fake.IsLoaded()) << "the fake camera library must come first on LD_LIBRARY_PATH";
        fake->Reset();
        CreateCameraLibrary();
        ASSERT_NE(GetCameraLibrary(), nullptr);
        ASSERT_EQ(GetCameraLibrary()->Load(), 1);
        ASSERT_EQ(GetCameraLibrary()->ModuleHandle(), fake.Module());
    }
    void TearDown() override
    {
        if (GetCameraLibrary() != nullptr)
            GetCameraLibrary()->Unload();
        DestroyCameraLibrary();
    }

    // Calls of `entry` made since the test began.
    std::vector<FakeCameraCall> CallsOf(int32_t entry) const { return fake.Calls(entry); }

    FakeCamera fake;
    MessageBoxRecorder recorder;
};
