#include "image/exif_library.h"

platform::ModuleHandle g_hExifModule = nullptr;
PfnExifMemOpen g_pfnExifMemOpen = nullptr;
PfnExifGetImageSizeType g_pfnExifGetImageSizeType = nullptr;
PfnExifReadImage g_pfnExifReadImage = nullptr;
PfnExifFileClose g_pfnExifFileClose = nullptr;

int32_t LoadExifLibrary()
{
    g_hExifModule = platform::LoadModule("Exif.DLL");
    if (g_hExifModule == nullptr)
        return 0;

    // Every lookup is made and stored, found or not.
    g_pfnExifMemOpen = platform::FindFunction<PfnExifMemOpen>(g_hExifModule, "ExifMemOpen");
    g_pfnExifGetImageSizeType =
        platform::FindFunction<PfnExifGetImageSizeType>(g_hExifModule, "ExifGetImageSizeType");
    g_pfnExifReadImage = platform::FindFunction<PfnExifReadImage>(g_hExifModule, "ExifReadImage");
    g_pfnExifFileClose = platform::FindFunction<PfnExifFileClose>(g_hExifModule, "ExifFileClose");
    return ExifLibraryBound() ? 1 : 0;
}

void UnloadExifLibrary()
{
    if (g_hExifModule != nullptr) {
        platform::FreeModule(g_hExifModule);
        g_hExifModule = nullptr;
    }
    g_pfnExifMemOpen = nullptr;
    g_pfnExifGetImageSizeType = nullptr;
    g_pfnExifReadImage = nullptr;
    g_pfnExifFileClose = nullptr;
}

bool ExifLibraryBound()
{
    return g_pfnExifMemOpen != nullptr && g_pfnExifGetImageSizeType != nullptr
        && g_pfnExifReadImage != nullptr && g_pfnExifFileClose != nullptr;
}
