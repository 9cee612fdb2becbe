#pragma once

#include "platform/dynamic_library.h"
#include "vrx4kapi.h"

#include <cstdint>

// Error number returned by every wrapper: 0 for success, CAMERA_ERROR_UNKNOWN
// when the library gave no number, otherwise the library's own number.
using CameraError = uint32_t;

// The binding to the camera library (libVRX4KAPI.so), loaded at run time.
// All of it runs on the main thread; only the library's event callback may
// run elsewhere, and it never touches the binding.
class CCameraLibrary {
public:
    // Leaves the module handle and every entry point null.
    CCameraLibrary();
    // Releases nothing: whoever loaded the library calls Unload first.
    virtual ~CCameraLibrary();

    CCameraLibrary(const CCameraLibrary &) = delete;
    CCameraLibrary &operator=(const CCameraLibrary &) = delete;

    // Loads "VRX4KAPI.DLL" and looks up all eleven entry points, each one even
    // after a miss. Returns 1 when everything was found, else 0; a library
    // that lacks an entry point stays loaded until Unload.
    int32_t Load();
    // Releases the library, if loaded, and clears every entry point.
    void Unload();

    // Turns an entry point's raw result into an error number: 0 for anything
    // but -1. For -1: CAMERA_ERROR_UNKNOWN without a handle or when
    // VRX4K_GetErrorNumber fails or reports 0, otherwise the number it reports.
    CameraError TranslateResult(uint32_t handle, int32_t result);

    // The wrappers: each passes its arguments through unchanged and returns an
    // error number. Callable only between a successful Load and Unload.
    CameraError Init(int32_t value);
    CameraError Exit();
    CameraError Detect(int32_t value, int32_t *count);
    CameraError Open(int32_t index, uint32_t *handle, CameraCallback callback, int32_t value);
    CameraError Close(uint32_t handle);
    CameraError GetDeviceInfo(uint32_t handle, CameraDeviceInfo *info);
    CameraError GetChangedProperty(uint32_t handle, uint8_t *list);
    CameraError Shoot(uint32_t handle, int32_t *out1, int32_t *out2);
    CameraError ReadImageInfo(uint32_t handle, CameraImageInfo *info);
    CameraError ReadImage(uint32_t handle, uint8_t *buffer, uint32_t size);

    // Read-only views for tests and for callers that need to know the state.
    platform::ModuleHandle ModuleHandle() const { return m_hModule; }
    bool IsFullyBound() const;
    bool HasNoEntryPoints() const;

private:
    platform::ModuleHandle m_hModule = nullptr;
    PfnVRX4K_Init m_pfnInit = nullptr;
    PfnVRX4K_Exit m_pfnExit = nullptr;
    PfnVRX4K_Detect m_pfnDetect = nullptr;
    PfnVRX4K_Open m_pfnOpen = nullptr;
    PfnVRX4K_Close m_pfnClose = nullptr;
    PfnVRX4K_GetDeviceInfo m_pfnGetDeviceInfo = nullptr;
    PfnVRX4K_GetErrorNumber m_pfnGetErrorNumber = nullptr;
    PfnVRX4K_GetChangedProperty m_pfnGetChangedProperty = nullptr;
    PfnVRX4K_Shoot m_pfnShoot = nullptr;
    PfnVRX4K_ReadImageInfo m_pfnReadImageInfo = nullptr;
    PfnVRX4K_ReadImage m_pfnReadImage = nullptr;
};

// The one binding object of the process.
void CreateCameraLibrary();          // no-op when one exists; stays null if allocation fails
CCameraLibrary *GetCameraLibrary();  // null before Create and after Destroy
void DestroyCameraLibrary();         // deletes the instance (not the library); no-op when none
