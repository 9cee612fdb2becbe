#include "platform/dynamic_library.h"

#include <gtest/gtest.h>

namespace {

TEST(SharedObjectName, MapsWindowsModuleNames)
{
    EXPECT_EQ(platform::SharedObjectName("VRX4KAPI.DLL"), "libVRX4KAPI.so");
    EXPECT_EQ(platform::SharedObjectName("Exif.DLL"), "libExif.so");
    EXPECT_EQ(platform::SharedObjectName("Exif.dll"), "libExif.so");
    EXPECT_EQ(platform::SharedObjectName("Exif"), "libExif.so");
    EXPECT_EQ(platform::SharedObjectName(".DLL"), "lib.DLL.so");
}

TEST(LoadModule, MissingLibraryGivesNull)
{
    EXPECT_EQ(platform::LoadModule("TavrenNoSuchLibrary.DLL"), nullptr);
    EXPECT_EQ(platform::FindEntryPoint(nullptr, "anything"), nullptr);
    platform::FreeModule(nullptr); // harmless
}

} // namespace
