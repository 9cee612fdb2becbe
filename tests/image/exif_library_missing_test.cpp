// Runs with no libExif.so anywhere the loader looks.
#include "image/exif_library.h"

#include <gtest/gtest.h>

namespace {

TEST(ExifLibraryNotFound, LoadFailsAndTouchesNoSlot)
{
    // Stale values show whether Load wrote the slots.
    const auto staleOpen = reinterpret_cast<PfnExifMemOpen>(0x1000);
    const auto staleClose = reinterpret_cast<PfnExifFileClose>(0x2000);
    g_pfnExifMemOpen = staleOpen;
    g_pfnExifFileClose = staleClose;

    EXPECT_EQ(LoadExifLibrary(), 0);
    EXPECT_EQ(g_hExifModule, nullptr);
    EXPECT_EQ(g_pfnExifMemOpen, staleOpen);
    EXPECT_EQ(g_pfnExifGetImageSizeType, nullptr);
    EXPECT_EQ(g_pfnExifReadImage, nullptr);
    EXPECT_EQ(g_pfnExifFileClose, staleClose);

    UnloadExifLibrary();
    EXPECT_EQ(g_pfnExifMemOpen, nullptr);
    EXPECT_EQ(g_pfnExifFileClose, nullptr);
}

TEST(ExifLibraryNotFound, NothingIsBoundAtStart)
{
    EXPECT_EQ(g_hExifModule, nullptr);
    EXPECT_FALSE(ExifLibraryBound());
    EXPECT_EQ(LoadExifLibrary(), 0);
    EXPECT_FALSE(ExifLibraryBound());
}

} // namespace
