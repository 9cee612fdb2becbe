#include "camera/camera_library.h"

#include <new>

namespace {

// The single instance; only the three functions at the end touch it.
CCameraLibrary *g_pCameraLibrary = nullptr;

constexpr uint32_t kNoHandle = 0;

} // namespace

CCameraLibrary::CCameraLibrary()
{
    m_hModule = nullptr;
    Unload();
}

CCameraLibrary::~CCameraLibrary() = default;

int32_t CCameraLibrary::Load()
{
    m_hModule = platform::LoadModule("VRX4KAPI.DLL");
    if (m_hModule == nullptr)
        return 0;

    // Every lookup is made, even after a miss, so that the fields show
    // exactly which entry points the library has.
    m_pfnInit = platform::FindFunction<PfnVRX4K_Init>(m_hModule, "VRX4K_Init");
    m_pfnExit = platform::FindFunction<PfnVRX4K_Exit>(m_hModule, "VRX4K_Exit");
    m_pfnDetect = platform::FindFunction<PfnVRX4K_Detect>(m_hModule, "VRX4K_Detect");
    m_pfnOpen = platform::FindFunction<PfnVRX4K_Open>(m_hModule, "VRX4K_Open");
    m_pfnClose = platform::FindFunction<PfnVRX4K_Close>(m_hModule, "VRX4K_Close");
    m_pfnGetDeviceInfo = platform::FindFunction<PfnVRX4K_GetDeviceInfo>(m_hModule, "VRX4K_GetDeviceInfo");
    m_pfnGetErrorNumber = platform::FindFunction<PfnVRX4K_GetErrorNumber>(m_hModule, "VRX4K_GetErrorNumber");
    m_pfnGetChangedProperty =
        platform::FindFunction<PfnVRX4K_GetChangedProperty>(m_hModule, "VRX4K_GetChangedProperty");
    m_pfnShoot = platform::FindFunction<PfnVRX4K_Shoot>(m_hModule, "VRX4K_Shoot");
    m_pfnReadImageInfo = platform::FindFunction<PfnVRX4K_ReadImageInfo>(m_hModule, "VRX4K_ReadImageInfo");
    m_pfnReadImage = platform::FindFunction<PfnVRX4K_ReadImage>(m_hModule, "VRX4K_ReadImage");

    return IsFullyBound() ? 1 : 0;
}

void CCameraLibrary::Unload()
{
    if (m_hModule != nullptr) {
        platform::FreeModule(m_hModule);
        m_hModule = nullptr;
    }
    m_pfnInit = nullptr;
    m_pfnExit = nullptr;
    m_pfnDetect = nullptr;
    m_pfnOpen = nullptr;
    m_pfnClose = nullptr;
    m_pfnGetDeviceInfo = nullptr;
    m_pfnGetErrorNumber = nullptr;
    m_pfnGetChangedProperty = nullptr;
    m_pfnShoot = nullptr;
    m_pfnReadImageInfo = nullptr;
    m_pfnReadImage = nullptr;
}

bool CCameraLibrary::IsFullyBound() const
{
    return m_hModule != nullptr && m_pfnInit != nullptr && m_pfnExit != nullptr && m_pfnDetect != nullptr
        && m_pfnOpen != nullptr && m_pfnClose != nullptr && m_pfnGetDeviceInfo != nullptr
        && m_pfnGetErrorNumber != nullptr && m_pfnGetChangedProperty != nullptr && m_pfnShoot != nullptr
        && m_pfnReadImageInfo != nullptr && m_pfnReadImage != nullptr;
}

bool CCameraLibrary::HasNoEntryPoints() const
{
    return m_pfnInit == nullptr && m_pfnExit == nullptr && m_pfnDetect == nullptr && m_pfnOpen == nullptr
        && m_pfnClose == nullptr && m_pfnGetDeviceInfo == nullptr && m_pfnGetErrorNumber == nullptr
        && m_pfnGetChangedProperty == nullptr && m_pfnShoot == nullptr && m_pfnReadImageInfo == nullptr
        && m_pfnReadImage == nullptr;
}

CameraError CCameraLibrary::TranslateResult(uint32_t handle, int32_t result)
{
    if (result != VRX4K_FAILURE)
        return 0;
    if (handle == kNoHandle)
        return CAMERA_ERROR_UNKNOWN;

    int32_t failedResult = VRX4K_FAILURE;
    uint32_t errorNumber = 0;
    if (m_pfnGetErrorNumber(handle, &failedResult, &errorNumber) == VRX4K_FAILURE)
        return CAMERA_ERROR_UNKNOWN;
    // A failed operation must never read as success, even when the library
    // reports error number 0 for it.
    if (errorNumber == 0)
        return CAMERA_ERROR_UNKNOWN;
    return errorNumber;
}

CameraError CCameraLibrary::Init(int32_t value)
{
    return TranslateResult(kNoHandle, m_pfnInit(value));
}

CameraError CCameraLibrary::Exit()
{
    return TranslateResult(kNoHandle, m_pfnExit());
}

CameraError CCameraLibrary::Detect(int32_t value, int32_t *count)
{
    return TranslateResult(kNoHandle, m_pfnDetect(value, count));
}

CameraError CCameraLibrary::Open(int32_t index, uint32_t *handle, CameraCallback callback, int32_t value)
{
    return TranslateResult(kNoHandle, m_pfnOpen(index, handle, callback, value));
}

CameraError CCameraLibrary::Close(uint32_t handle)
{
    return TranslateResult(handle, m_pfnClose(handle));
}

CameraError CCameraLibrary::GetDeviceInfo(uint32_t handle, CameraDeviceInfo *info)
{
    return TranslateResult(handle, m_pfnGetDeviceInfo(handle, info));
}

CameraError CCameraLibrary::GetChangedProperty(uint32_t handle, uint8_t *list)
{
    return TranslateResult(handle, m_pfnGetChangedProperty(handle, list));
}

CameraError CCameraLibrary::Shoot(uint32_t handle, int32_t *out1, int32_t *out2)
{
    return TranslateResult(handle, m_pfnShoot(handle, out1, out2));
}

CameraError CCameraLibrary::ReadImageInfo(uint32_t handle, CameraImageInfo *info)
{
    return TranslateResult(handle, m_pfnReadImageInfo(handle, info));
}

CameraError CCameraLibrary::ReadImage(uint32_t handle, uint8_t *buffer, uint32_t size)
{
    return TranslateResult(handle, m_pfnReadImage(handle, buffer, size));
}

void CreateCameraLibrary()
{
    if (g_pCameraLibrary == nullptr)
        g_pCameraLibrary = new (std::nothrow) CCameraLibrary;
}

CCameraLibrary *GetCameraLibrary()
{
    return g_pCameraLibrary;
}

void DestroyCameraLibrary()
{
    if (g_pCameraLibrary != nullptr) {
        delete g_pCameraLibrary;
        g_pCameraLibrary = nullptr;
    }
}
