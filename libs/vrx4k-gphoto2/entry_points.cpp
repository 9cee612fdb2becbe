// The eleven exported entry points. The contract header comes first, inside
// a default-visibility region: everything else in the library stays hidden.
#pragma GCC visibility push(default)
#include "vrx4kapi.h"
#pragma GCC visibility pop

#include "camera_session.h"
#include "file_values.h"
#include "gphoto2_access.h"
#include "vrx4k-common/entry_guard.h"
#include "vrx4k_gphoto2.h"

#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

using vrx4kgp::CameraSession;
using vrx4kgp::DetectedCamera;

namespace {

// The state between Init and Exit.
struct Library {
    std::map<uint32_t, std::shared_ptr<CameraSession>> sessions;
    // Closed from inside their own callback: their workers are joined later.
    std::vector<std::shared_ptr<CameraSession>> closing;
    std::vector<DetectedCamera> detected;
    bool detectedOnce = false;
};

std::mutex g_mutex;
std::unique_ptr<Library> g_library;
vrx4k::ErrorLatch g_errors;
// Handles are never reused within a process, so a stale one always fails.
uint32_t g_nextHandle = 0;

int32_t Fail(uint32_t error)
{
    return g_errors.Fail(error);
}

int32_t FailOn(CameraSession &session, int32_t call, uint32_t error)
{
    session.NoteFailure(call, error);
    return Fail(error);
}

std::shared_ptr<CameraSession> FindSession(uint32_t handle)
{
    std::lock_guard lock(g_mutex);
    if (!g_library)
        return nullptr;
    const auto found = g_library->sessions.find(handle);
    return found == g_library->sessions.end() ? nullptr : found->second;
}

// The error for a handle that FindSession did not find.
uint32_t MissingSessionError()
{
    std::lock_guard lock(g_mutex);
    return g_library ? VRX4K_ERROR_BAD_HANDLE : VRX4K_ERROR_NOT_INITIALISED;
}

// Joins the workers of cameras closed from inside a callback, except the
// caller's own.
void JoinClosing()
{
    std::vector<std::shared_ptr<CameraSession>> closing;
    {
        std::lock_guard lock(g_mutex);
        if (!g_library)
            return;
        auto &list = g_library->closing;
        for (auto it = list.begin(); it != list.end();) {
            if ((*it)->OnWorkerThread()) {
                ++it;
            } else {
                closing.push_back(std::move(*it));
                it = list.erase(it);
            }
        }
    }
    for (auto &session : closing)
        session->Join();
}

int32_t InitEntry(int32_t)
{
    std::lock_guard lock(g_mutex);
    if (g_library)
        return Fail(VRX4K_ERROR_ALREADY_INITIALISED);
    g_library = std::make_unique<Library>();
    if (std::getenv("VRX4K_GPHOTO2_DEBUG") && *std::getenv("VRX4K_GPHOTO2_DEBUG")) {
        static const int logId = gp_log_add_func(
            GP_LOG_DEBUG,
            [](GPLogLevel, const char *domain, const char *text, void *) {
                std::fprintf(stderr, "libgphoto2 %s: %s\n", domain, text);
            },
            nullptr);
        (void)logId;
    }
    return 0;
}

int32_t ExitEntry()
{
    std::unique_ptr<Library> library;
    {
        std::lock_guard lock(g_mutex);
        if (!g_library)
            return Fail(VRX4K_ERROR_NOT_INITIALISED);
        // Exit from a callback would wait for its own thread.
        for (const auto &[handle, session] : g_library->sessions) {
            if (session->OnWorkerThread())
                return Fail(VRX4K_ERROR_IN_CALLBACK);
        }
        for (const auto &session : g_library->closing) {
            if (session->OnWorkerThread())
                return Fail(VRX4K_ERROR_IN_CALLBACK);
        }
        library = std::move(g_library);
    }
    // Stop joins every worker: no callback runs once this returns.
    for (auto &[handle, session] : library->sessions)
        session->Stop();
    for (auto &session : library->closing)
        session->Stop();
    return 0;
}

int32_t DetectEntry(int32_t, int32_t *count)
{
    if (!count)
        return Fail(VRX4K_ERROR_BAD_ARGUMENT);
    {
        std::lock_guard lock(g_mutex);
        if (!g_library)
            return Fail(VRX4K_ERROR_NOT_INITIALISED);
    }
    std::vector<DetectedCamera> cameras;
    const int result = vrx4kgp::DetectCameras(cameras);
    if (result < GP_OK)
        return Fail(vrx4kgp::GphotoError(result));
    std::lock_guard lock(g_mutex);
    if (!g_library)
        return Fail(VRX4K_ERROR_NOT_INITIALISED);
    *count = static_cast<int32_t>(cameras.size());
    g_library->detected = std::move(cameras);
    g_library->detectedOnce = true;
    return 0;
}

int32_t OpenEntry(int32_t index, uint32_t *handle, CameraCallback callback, int32_t value)
{
    if (handle)
        *handle = 0;
    if (!handle)
        return Fail(VRX4K_ERROR_BAD_ARGUMENT);
    JoinClosing();

    bool detect = false;
    {
        std::lock_guard lock(g_mutex);
        if (!g_library)
            return Fail(VRX4K_ERROR_NOT_INITIALISED);
        detect = !g_library->detectedOnce;
    }
    if (detect) {
        int32_t count = 0;
        if (DetectEntry(0, &count) == -1)
            return -1;
    }

    DetectedCamera camera;
    {
        std::lock_guard lock(g_mutex);
        if (!g_library)
            return Fail(VRX4K_ERROR_NOT_INITIALISED);
        if (index < 0 || static_cast<size_t>(index) >= g_library->detected.size())
            return Fail(VRX4K_ERROR_BAD_ARGUMENT);
        camera = g_library->detected[static_cast<size_t>(index)];
    }

    vrx4kgp::Settings settings;
    if (callback) {
        const char *text = std::getenv("VRX4K_GPHOTO2_CONFIG");
        if (text && !vrx4kgp::ParseSettings(text, settings)) {
            std::fprintf(stderr, "libVRX4KAPI (gphoto2): VRX4K_GPHOTO2_CONFIG: expected name=value;name=value, got '%s'\n",
                         text);
            return Fail(VRX4K_ERROR_BAD_CONFIGURATION);
        }
    }

    auto session = std::make_shared<CameraSession>(std::move(camera), callback, value, std::move(settings));
    const uint32_t error = session->Open();
    if (error != 0)
        return Fail(error);

    std::lock_guard lock(g_mutex);
    if (!g_library) {
        // Exit ran meanwhile: this camera belongs to no library any more.
        session->Stop();
        return Fail(VRX4K_ERROR_NOT_INITIALISED);
    }
    const uint32_t newHandle = ++g_nextHandle;
    g_library->sessions[newHandle] = session;
    *handle = newHandle;
    return 0;
}

int32_t CloseEntry(uint32_t handle)
{
    std::shared_ptr<CameraSession> session;
    {
        std::lock_guard lock(g_mutex);
        if (!g_library)
            return Fail(VRX4K_ERROR_NOT_INITIALISED);
        const auto found = g_library->sessions.find(handle);
        if (found == g_library->sessions.end())
            return Fail(VRX4K_ERROR_BAD_HANDLE);
        session = std::move(found->second);
        g_library->sessions.erase(found);
        if (session->OnWorkerThread())
            g_library->closing.push_back(session);
    }
    // From inside the callback Stop only asks: the worker ends after it returns.
    session->Stop();
    JoinClosing();
    return 0;
}

// A call on an opened camera that writes through `output`: refused for a
// handle that names no camera and for a null output, otherwise `work`
// gives 0 or an error number.
template <typename Work>
int32_t OnCamera(uint32_t handle, int32_t call, const void *output, Work work)
{
    const auto session = FindSession(handle);
    if (!session)
        return Fail(MissingSessionError());
    if (!output)
        return FailOn(*session, call, VRX4K_ERROR_BAD_ARGUMENT);
    const uint32_t error = work(*session);
    return error == 0 ? 0 : Fail(error);
}

int32_t GetDeviceInfoEntry(uint32_t handle, CameraDeviceInfo *info)
{
    return OnCamera(handle, VRX4K_CALL_GET_DEVICE_INFO, info,
                    [&](CameraSession &session) { return session.GetDeviceInfo(*info); });
}

int32_t GetErrorNumberEntry(uint32_t handle, int32_t *failedResult, uint32_t *errorNumber)
{
    if (!errorNumber)
        return Fail(VRX4K_ERROR_BAD_ARGUMENT);
    if (handle == 0)
        return g_errors.Answer(failedResult, errorNumber);
    const auto session = FindSession(handle);
    if (!session)
        return Fail(MissingSessionError());
    int32_t call = 0;
    uint32_t error = 0;
    session->LatestFailure(call, error);
    if (failedResult)
        *failedResult = call;
    *errorNumber = error;
    return 0;
}

int32_t GetChangedPropertyEntry(uint32_t handle, uint8_t *list)
{
    return OnCamera(handle, VRX4K_CALL_GET_CHANGED_PROPERTY, list, [&](CameraSession &session) {
        session.TakeChangedProperties(list);
        return 0u;
    });
}

int32_t ShootEntry(uint32_t handle, int32_t *out1, int32_t *out2)
{
    const auto session = FindSession(handle);
    if (!session)
        return Fail(MissingSessionError());
    // The outcome is known only later: the outputs say nothing yet.
    if (out1)
        *out1 = 0;
    if (out2)
        *out2 = 0;
    const uint32_t error = session->Shoot();
    return error == 0 ? 0 : Fail(error);
}

int32_t ReadImageInfoEntry(uint32_t handle, CameraImageInfo *info)
{
    return OnCamera(handle, VRX4K_CALL_READ_IMAGE_INFO, info,
                    [&](CameraSession &session) { return session.ReadImageInfo(*info); });
}

int32_t ReadImageEntry(uint32_t handle, uint8_t *buffer, uint32_t size)
{
    return OnCamera(handle, VRX4K_CALL_READ_IMAGE, buffer,
                    [&](CameraSession &session) { return session.ReadImage(buffer, size); });
}

} // namespace

int32_t VRX4K_Init(int32_t value)
{
    return vrx4k::Guarded(g_errors, [&] { return InitEntry(value); });
}

int32_t VRX4K_Exit(void)
{
    return vrx4k::Guarded(g_errors, [&] { return ExitEntry(); });
}

int32_t VRX4K_Detect(int32_t value, int32_t *count)
{
    return vrx4k::Guarded(g_errors, [&] { return DetectEntry(value, count); });
}

int32_t VRX4K_Open(int32_t index, uint32_t *handle, CameraCallback callback, int32_t value)
{
    return vrx4k::Guarded(g_errors, [&] { return OpenEntry(index, handle, callback, value); });
}

int32_t VRX4K_Close(uint32_t handle)
{
    return vrx4k::Guarded(g_errors, [&] { return CloseEntry(handle); });
}

int32_t VRX4K_GetDeviceInfo(uint32_t handle, CameraDeviceInfo *info)
{
    return vrx4k::Guarded(g_errors, [&] { return GetDeviceInfoEntry(handle, info); });
}

int32_t VRX4K_GetErrorNumber(uint32_t handle, int32_t *failedResult, uint32_t *errorNumber)
{
    return vrx4k::Guarded(g_errors, [&] { return GetErrorNumberEntry(handle, failedResult, errorNumber); });
}

int32_t VRX4K_GetChangedProperty(uint32_t handle, uint8_t *list)
{
    return vrx4k::Guarded(g_errors, [&] { return GetChangedPropertyEntry(handle, list); });
}

int32_t VRX4K_Shoot(uint32_t handle, int32_t *out1, int32_t *out2)
{
    return vrx4k::Guarded(g_errors, [&] { return ShootEntry(handle, out1, out2); });
}

int32_t VRX4K_ReadImageInfo(uint32_t handle, CameraImageInfo *info)
{
    return vrx4k::Guarded(g_errors, [&] { return ReadImageInfoEntry(handle, info); });
}

int32_t VRX4K_ReadImage(uint32_t handle, uint8_t *buffer, uint32_t size)
{
    return vrx4k::Guarded(g_errors, [&] { return ReadImageEntry(handle, buffer, size); });
}
