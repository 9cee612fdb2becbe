#pragma once

#include "exif.h"
#include "platform/dynamic_library.h"

#include <cstdint>

// The decoder library's module handle and its four entry points, process-wide.
// Only LoadExifLibrary and UnloadExifLibrary write them; the preview reads the
// slots and calls through them directly. Main thread only.
extern platform::ModuleHandle g_hExifModule;
extern PfnExifMemOpen g_pfnExifMemOpen;
extern PfnExifGetImageSizeType g_pfnExifGetImageSizeType;
extern PfnExifReadImage g_pfnExifReadImage;
extern PfnExifFileClose g_pfnExifFileClose;

// Loads "Exif.DLL" and looks up all four entry points, each one even after a
// miss. Returns 1 when everything was found, else 0; a library that lacks an
// entry point stays loaded until UnloadExifLibrary.
int32_t LoadExifLibrary();

// Releases the library, if loaded, and clears all four slots.
void UnloadExifLibrary();

// True when all four entry points are bound.
bool ExifLibraryBound();
