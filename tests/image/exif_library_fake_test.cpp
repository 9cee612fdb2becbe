// Runs with the full fake decoder first on LD_LIBRARY_PATH.
#include "image/exif_library.h"
#include "library_resident.h"

#include "fake_exif_control.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

namespace {

class ExifLibraryWithFake : public ::testing::Test {
protected:
    void TearDown() override { UnloadExifLibrary(); }
};

TEST_F(ExifLibraryWithFake, LoadBindsAllFourEntryPointsOfTheLibraryOnThePath)
{
    ASSERT_FALSE(LibraryResident("libExif.so"));
    ASSERT_EQ(LoadExifLibrary(), 1);
    ASSERT_NE(g_hExifModule, nullptr);
    EXPECT_TRUE(ExifLibraryBound());

    // The slots lead into the fake: its log sees the calls with their arguments.
    auto getControl = platform::FindFunction<PfnFakeExif_GetControl>(g_hExifModule, "FakeExif_GetControl");
    ASSERT_NE(getControl, nullptr);
    const FakeExifControl *fake = getControl();
    fake->Reset();

    const uint8_t bytes[3] = {1, 2, 3};
    uint32_t handle = 0;
    EXPECT_EQ(g_pfnExifMemOpen(bytes, sizeof bytes, &handle), 0);
    EXPECT_EQ(handle, 1u);
    ExifImageSize size{};
    EXPECT_EQ(g_pfnExifGetImageSizeType(handle, &size), 0);
    EXPECT_EQ(size.Width, 4u);
    uint8_t picture[EXIF_DIB_HEADER_SIZE + 2 * 12];
    EXPECT_EQ(g_pfnExifReadImage(handle, picture, sizeof picture), 0);
    EXPECT_EQ(g_pfnExifFileClose(handle), 0);

    ASSERT_EQ(fake->CallCount(), 4u);
    FakeExifCall call{};
    ASSERT_EQ(fake->GetCall(0, &call), 1);
    EXPECT_EQ(call.entry, FAKE_EXIF_MEM_OPEN);
    EXPECT_EQ(call.pointer, bytes);
    EXPECT_EQ(call.count, sizeof bytes);
    ASSERT_EQ(fake->GetCall(2, &call), 1);
    EXPECT_EQ(call.entry, FAKE_EXIF_READ_IMAGE);
    EXPECT_EQ(call.count, sizeof picture);
    ASSERT_EQ(fake->GetCall(3, &call), 1);
    EXPECT_EQ(call.entry, FAKE_EXIF_FILE_CLOSE);
    EXPECT_EQ(call.handle, 1u);
    EXPECT_EQ(fake->OpenHandleCount(), 0u);
}

TEST_F(ExifLibraryWithFake, UnloadReleasesTheLibraryAndClearsEverySlot)
{
    ASSERT_EQ(LoadExifLibrary(), 1);
    ASSERT_TRUE(LibraryResident("libExif.so"));

    UnloadExifLibrary();
    EXPECT_EQ(g_hExifModule, nullptr);
    EXPECT_EQ(g_pfnExifMemOpen, nullptr);
    EXPECT_EQ(g_pfnExifGetImageSizeType, nullptr);
    EXPECT_EQ(g_pfnExifReadImage, nullptr);
    EXPECT_EQ(g_pfnExifFileClose, nullptr);
    EXPECT_FALSE(ExifLibraryBound());
    EXPECT_FALSE(LibraryResident("libExif.so"));

    // A second unload with nothing loaded is harmless, and loading works again.
    UnloadExifLibrary();
    EXPECT_EQ(g_hExifModule, nullptr);
    EXPECT_EQ(LoadExifLibrary(), 1);
    EXPECT_TRUE(ExifLibraryBound());
}

TEST_F(ExifLibraryWithFake, UnloadWithNothingLoadedClearsStaleSlotsAndFreesNothing)
{
    // Our own reference stays valid: the binding has nothing to release.
    void *ours = dlopen("libExif.so", RTLD_NOW);
    ASSERT_NE(ours, nullptr);
    g_pfnExifMemOpen = reinterpret_cast<PfnExifMemOpen>(dlsym(ours, "ExifMemOpen"));
    g_pfnExifFileClose = reinterpret_cast<PfnExifFileClose>(dlsym(ours, "ExifFileClose"));
    ASSERT_EQ(g_hExifModule, nullptr);

    UnloadExifLibrary();
    EXPECT_EQ(g_pfnExifMemOpen, nullptr);
    EXPECT_EQ(g_pfnExifFileClose, nullptr);
    EXPECT_TRUE(LibraryResident("libExif.so"));
    dlclose(ours);
    EXPECT_FALSE(LibraryResident("libExif.so"));
}

} // namespace
