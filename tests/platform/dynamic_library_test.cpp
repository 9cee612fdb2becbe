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

TEST(LoadModule, FindsALibraryOnTheSearchPath)
{
    // The test puts the decoder library's folder on LD_LIBRARY_PATH.
    platform::ModuleHandle exif = platform::LoadModule("Exif.DLL");
    ASSERT_NE(exif, nullptr);
    EXPECT_NE(platform::FindEntryPoint(exif, "ExifMemOpen"), nullptr);
    platform::FreeModule(exif);
}

} // namespace
