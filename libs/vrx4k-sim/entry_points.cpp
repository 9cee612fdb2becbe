// The eleven exported entry points. The contract header comes first, inside
// a default-visibility region: everything else in the library stays hidden.
#pragma GCC visibility push(default)
#include "vrx4kapi.h"
#pragma GCC visibility pop

#include "call_record.h"
#include "sim_config.h"
#include "sim_log.h"
#include "simulator.h"
#include "vrx4k-common/entry_guard.h"
#include "vrx4k_sim.h"

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>

using vrx4ksim::CallRecord;
using vrx4ksim::SimLog;
using vrx4ksim::Simulator;

namespace {

std::mutex g_mutex;
std::shared_ptr<Simulator> g_simulator; // between Init and Exit
std::shared_ptr<SimLog> g_log;           // the log of the latest Init, kept after Exit
vrx4k::ErrorLatch g_errors;

struct Current {
    std::shared_ptr<Simulator> simulator;
    std::shared_ptr<SimLog> log;
};

Current GetCurrent()
{
    std::lock_guard lock(g_mutex);
    return {g_simulator, g_log};
}

int32_t Finish(CallRecord &call, int32_t result)
{
    return result == -1 ? g_errors.Fail(call.Error()) : result;
}

int32_t Fail(CallRecord &call, uint32_t error)
{
    return Finish(call, call.Fail(error));
}

int32_t InitEntry(int32_t value)
{
    std::lock_guard lock(g_mutex);
    if (g_simulator) {
        CallRecord call(g_log.get(), "VRX4K_Init");
        call.Arg("value", value);
        return Fail(call, VRX4K_ERROR_ALREADY_INITIALISED);
    }

    std::string problem;
    auto config = vrx4ksim::ReadConfig([](const char *name) { return std::getenv(name); }, problem);
    auto log = std::make_shared<SimLog>();
    if (config && !config->logPath.empty() && !log->Open(config->logPath)) {
        problem = "VRX4K_SIM_LOG: cannot open '" + config->logPath + "' for appending";
        config.reset();
    }
    g_log = log;

    CallRecord call(log.get(), "VRX4K_Init");
    call.Arg("value", value);
    if (!config) {
        std::fprintf(stderr, "libVRX4KAPI (simulated cameras): %s\n", problem.c_str());
        return Fail(call, VRX4K_ERROR_BAD_CONFIGURATION);
    }
    if (config->failInit)
        return Fail(call, VRX4K_ERROR_INIT_FAILED);
    call.Out("cameras", config->cameraCount);
    call.Out("size", std::to_string(config->width) + "x" + std::to_string(config->height));
    g_simulator = std::make_shared<Simulator>(std::move(*config), log);
    g_simulator->Start();
    return call.Succeed();
}

int32_t ExitEntry()
{
    std::shared_ptr<Simulator> simulator;
    std::shared_ptr<SimLog> log;
    {
        std::lock_guard lock(g_mutex);
        log = g_log;
        if (g_simulator && !g_simulator->OnEventThread())
            simulator = std::move(g_simulator);
    }
    CallRecord call(log.get(), "VRX4K_Exit");
    if (!simulator) {
        const Current current = GetCurrent();
        return Fail(call, current.simulator ? VRX4K_ERROR_IN_CALLBACK : VRX4K_ERROR_NOT_INITIALISED);
    }
    // Waits for the event thread: no callback runs after this point.
    simulator->Stop();
    return call.Succeed();
}

int32_t DetectEntry(int32_t value, int32_t *count)
{
    const Current current = GetCurrent();
    CallRecord call(current.log.get(), "VRX4K_Detect");
    call.Arg("value", value);
    if (!current.simulator)
        return Fail(call, VRX4K_ERROR_NOT_INITIALISED);
    return Finish(call, current.simulator->Detect(count, call));
}

int32_t OpenEntry(int32_t index, uint32_t *handle, CameraCallback callback, int32_t value)
{
    const Current current = GetCurrent();
    CallRecord call(current.log.get(), "VRX4K_Open");
    call.Arg("index", index);
    call.Arg("callback", callback ? "yes" : "no");
    call.Arg("value", value);
    if (!current.simulator) {
        if (handle)
            *handle = 0;
        return Fail(call, VRX4K_ERROR_NOT_INITIALISED);
    }
    return Finish(call, current.simulator->Open(index, handle, callback, value, call));
}

// A call on an opened camera: logged with its handle (and the arguments
// `more` adds), refused before Init.
template <typename Work, typename More>
int32_t OnCamera(const char *entryPoint, uint32_t handle, Work work, More more)
{
    const Current current = GetCurrent();
    CallRecord call(current.log.get(), entryPoint);
    call.Arg("handle", handle);
    more(call);
    if (!current.simulator)
        return Fail(call, VRX4K_ERROR_NOT_INITIALISED);
    return Finish(call, work(*current.simulator, call));
}

template <typename Work>
int32_t OnCamera(const char *entryPoint, uint32_t handle, Work work)
{
    return OnCamera(entryPoint, handle, work, [](CallRecord &) {});
}

int32_t GetErrorNumberEntry(uint32_t handle, int32_t *failedResult, uint32_t *errorNumber)
{
    const Current current = GetCurrent();
    CallRecord call(current.log.get(), "VRX4K_GetErrorNumber");
    call.Arg("handle", handle);
    int32_t result = -1;
    if (handle == 0) {
        result = g_errors.Answer(failedResult, errorNumber);
    } else if (current.simulator) {
        result = current.simulator->GetErrorNumber(handle, failedResult, errorNumber);
    }
    if (result == -1)
        return Fail(call, errorNumber ? VRX4K_ERROR_BAD_HANDLE : VRX4K_ERROR_BAD_ARGUMENT);
    call.Out("error_number", *errorNumber);
    return call.Succeed();
}

// The failure of a call on an opened camera is that camera's latest too.
template <typename Body>
int32_t Guarded(uint32_t handle, Body body) noexcept
{
    return vrx4k::Guarded(g_errors, body, [handle](uint32_t error) {
        if (auto simulator = GetCurrent().simulator)
            simulator->NoteFailure(handle, error);
    });
}

} // namespace

int32_t VRX4K_Init(int32_t value)
{
    return Guarded(0, [&] { return InitEntry(value); });
}

int32_t VRX4K_Exit(void)
{
    return Guarded(0, [&] { return ExitEntry(); });
}

int32_t VRX4K_Detect(int32_t value, int32_t *count)
{
    return Guarded(0, [&] { return DetectEntry(value, count); });
}

int32_t VRX4K_Open(int32_t index, uint32_t *handle, CameraCallback callback, int32_t value)
{
    return Guarded(0, [&] { return OpenEntry(index, handle, callback, value); });
}

int32_t VRX4K_Close(uint32_t handle)
{
    return Guarded(handle, [&] {
        return OnCamera("VRX4K_Close", handle, [&](Simulator &sim, CallRecord &call) { return sim.Close(handle, call); });
    });
}

int32_t VRX4K_GetDeviceInfo(uint32_t handle, CameraDeviceInfo *info)
{
    return Guarded(handle, [&] {
        return OnCamera("VRX4K_GetDeviceInfo", handle,
                        [&](Simulator &sim, CallRecord &call) { return sim.GetDeviceInfo(handle, info, call); });
    });
}

int32_t VRX4K_GetErrorNumber(uint32_t handle, int32_t *failedResult, uint32_t *errorNumber)
{
    return Guarded(0, [&] { return GetErrorNumberEntry(handle, failedResult, errorNumber); });
}

int32_t VRX4K_GetChangedProperty(uint32_t handle, uint8_t *list)
{
    return Guarded(handle, [&] {
        return OnCamera("VRX4K_GetChangedProperty", handle,
                        [&](Simulator &sim, CallRecord &call) { return sim.GetChangedProperty(handle, list, call); });
    });
}

int32_t VRX4K_Shoot(uint32_t handle, int32_t *out1, int32_t *out2)
{
    return Guarded(handle, [&] {
        return OnCamera("VRX4K_Shoot", handle,
                        [&](Simulator &sim, CallRecord &call) { return sim.Shoot(handle, out1, out2, call); });
    });
}

int32_t VRX4K_ReadImageInfo(uint32_t handle, CameraImageInfo *info)
{
    return Guarded(handle, [&] {
        return OnCamera("VRX4K_ReadImageInfo", handle,
                        [&](Simulator &sim, CallRecord &call) { return sim.ReadImageInfo(handle, info, call); });
    });
}

int32_t VRX4K_ReadImage(uint32_t handle, uint8_t *buffer, uint32_t size)
{
    return Guarded(handle, [&] {
        return OnCamera(
            "VRX4K_ReadImage", handle,
            [&](Simulator &sim, CallRecord &call) { return sim.ReadImage(handle, buffer, size, call); },
            [&](CallRecord &call) { call.Arg("size", size); });
    });
}
