// Runs with the fake decoder that lacks ExifReadImage first on LD_LIBRARY_PATH.
#include "image/exif_library.h"
#include "library_resident.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

namespace {

TEST(ExifLibraryMissingAnEntryPoint, LoadFailsButKeepsWhatItFoundUntilUnload)
{
    EXPECT_EQ(LoadExifLibrary(), 0);
    EXPECT_NE(g_hExifModule, nullptr);
    EXPECT_NE(g_pfnExifMemOpen, nullptr);
    EXPECT_NE(g_pfnExifGetImageSizeType, nullptr);
    EXPECT_EQ(g_pfnExifReadImage, nullptr);
    // Looked up although the one before it was missing.
    EXPECT_NE(g_pfnExifFileClose, nullptr);
    EXPECT_FALSE(ExifLibraryBound());
    EXPECT_TRUE(LibraryResident("libExif.so"));

    UnloadExifLibrary();
    EXPECT_EQ(g_hExifModule, nullptr);
    EXPECT_EQ(g_pfnExifMemOpen, nullptr);
    EXPECT_EQ(g_pfnExifGetImageSizeType, nullptr);
    EXPECT_EQ(g_pfnExifFileClose, nullptr);
    EXPECT_FALSE(LibraryResident("libExif.so"));
}

} // namespace
