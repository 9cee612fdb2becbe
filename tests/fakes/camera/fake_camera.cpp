// The scriptable camera library; its control API is in fake_camera_control.h.
#include "fake_camera_control.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <unistd.h>

#define FAKE_CAMERA_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

constexpr uint32_t kFirstHandle = 0x1001;

struct Picture {
    int32_t type = CAMERA_IMAGE_NONE;
    uint32_t reportedSize = 0;
    std::vector<uint8_t> bytes;
};

struct Camera {
    uint32_t handle = 0;
    bool hasOpenResult = false;
    int32_t openResult = 0;
    CameraDeviceInfo info{};
};

struct State {
    std::array<int32_t, FAKE_CAMERA_ENTRY_COUNT> results{};
    std::array<std::deque<int32_t>, FAKE_CAMERA_ENTRY_COUNT> queuedResults;
    bool writeOnFailure = false;

    int32_t detectCount = 1;
    std::array<Camera, FAKE_CAMERA_MAX_CAMERAS> cameras;

    uint32_t errorNumber = 0;
    bool writesErrorFirst = false;
    int32_t errorFirst = 0;

    int32_t shootOut1 = 0;
    int32_t shootOut2 = 0;
    int32_t shootEvent = 0;
    int32_t shootDelivery = FAKE_CAMERA_DELIVER_NONE;

    std::deque<Picture> pictures;
    Picture current;
    std::vector<uint8_t> changedProperties;

    std::vector<FakeCameraCall> calls;
    std::vector<FakeCameraEvent> events;
    CameraCallback callback = nullptr;
};

void SetTexts(CameraDeviceInfo &info, const char *name, const char *detail)
{
    info = CameraDeviceInfo{};
    if (name != nullptr)
        std::strncpy(info.Name, name, sizeof(info.Name) - 1);
    if (detail != nullptr)
        std::strncpy(info.Detail, detail, sizeof(info.Detail) - 1);
}

void ApplyDefaults(State &state)
{
    state = State{};
    state.changedProperties.assign(CHANGED_PROPERTY_COUNT_SIZE, 0);
    for (size_t i = 0; i < state.cameras.size(); ++i) {
        state.cameras[i].handle = kFirstHandle + static_cast<uint32_t>(i);
        const std::string number = std::to_string(i + 1);
        SetTexts(state.cameras[i].info, ("Fake Camera " + number).c_str(), ("FAKE-" + number).c_str());
    }
}

uint64_t CurrentThread()
{
    return static_cast<uint64_t>(gettid());
}

// Owns the state and the threads of ASYNC deliveries; the destructor runs
// when the library is unloaded, so no delivery thread may outlive it.
class Fake {
public:
    Fake() { ApplyDefaults(m_state); }
    ~Fake() { JoinThreads(); }

    std::mutex &Mutex() { return m_mutex; }
    State &Locked() { return m_state; } // only with Mutex() held

    void AddThread(std::thread thread)
    {
        std::lock_guard lock(m_threadMutex);
        m_threads.push_back(std::move(thread));
    }

    void JoinThreads()
    {
        for (;;) {
            std::vector<std::thread> threads;
            {
                std::lock_guard lock(m_threadMutex);
                threads.swap(m_threads);
            }
            if (threads.empty())
                return;
            for (std::thread &thread : threads)
                thread.join();
        }
    }

private:
    std::mutex m_mutex;
    State m_state;
    std::mutex m_threadMutex;
    std::vector<std::thread> m_threads;
};

Fake g_fake;

// Picks the result of one call (queued, then Open's per-index, then default).
int32_t ChooseResult(State &state, int32_t entry, int32_t openIndex = -1)
{
    std::deque<int32_t> &queue = state.queuedResults[static_cast<size_t>(entry)];
    if (!queue.empty()) {
        const int32_t result = queue.front();
        queue.pop_front();
        return result;
    }
    if (entry == FAKE_CAMERA_OPEN && openIndex >= 0 && openIndex < FAKE_CAMERA_MAX_CAMERAS
        && state.cameras[static_cast<size_t>(openIndex)].hasOpenResult)
        return state.cameras[static_cast<size_t>(openIndex)].openResult;
    return state.results[static_cast<size_t>(entry)];
}

FakeCameraCall NewCall(int32_t entry)
{
    FakeCameraCall call{};
    call.entry = entry;
    call.thread = CurrentThread();
    return call;
}

bool WritesOutputs(const State &state, int32_t result)
{
    return result != VRX4K_FAILURE || state.writeOnFailure;
}

int32_t Record(State &state, FakeCameraCall call, int32_t result)
{
    call.result = result;
    state.calls.push_back(call);
    return result;
}

void RecordEvent(const FakeCameraEvent &event)
{
    std::lock_guard lock(g_fake.Mutex());
    g_fake.Locked().events.push_back(event);
}

FakeCameraEvent Deliver(CameraCallback callback, int32_t context, int32_t event)
{
    FakeCameraEvent record{};
    record.context = context;
    record.event = event;
    record.thread = CurrentThread();
    if (callback != nullptr) {
        record.delivered = 1;
        record.result = callback(context, event);
    }
    RecordEvent(record);
    return record;
}

// Never called with the state's mutex held: the callback may call back in.
int32_t Fire(int32_t context, int32_t event, int32_t delivery, int32_t *result)
{
    CameraCallback callback;
    {
        std::lock_guard lock(g_fake.Mutex());
        callback = g_fake.Locked().callback;
    }
    FakeCameraEvent record{};
    switch (delivery) {
    case FAKE_CAMERA_DELIVER_SYNC:
        record = Deliver(callback, context, event);
        break;
    case FAKE_CAMERA_DELIVER_THREAD:
        std::thread([&] { record = Deliver(callback, context, event); }).join();
        break;
    case FAKE_CAMERA_DELIVER_ASYNC:
        g_fake.AddThread(std::thread([=] { Deliver(callback, context, event); }));
        return callback != nullptr ? 1 : 0;
    default:
        return 0;
    }
    if (result != nullptr && record.delivered)
        *result = record.result;
    return record.delivered;
}

bool ValidEntry(int32_t entry)
{
    return entry >= 0 && entry < FAKE_CAMERA_ENTRY_COUNT;
}

bool ValidCamera(int32_t index)
{
    return index >= 0 && index < FAKE_CAMERA_MAX_CAMERAS;
}

// --- control functions ----------------------------------------------------

void Reset()
{
    g_fake.JoinThreads();
    std::lock_guard lock(g_fake.Mutex());
    ApplyDefaults(g_fake.Locked());
}

void SetResult(int32_t entry, int32_t result)
{
    std::lock_guard lock(g_fake.Mutex());
    if (ValidEntry(entry))
        g_fake.Locked().results[static_cast<size_t>(entry)] = result;
}

void QueueResult(int32_t entry, int32_t result)
{
    std::lock_guard lock(g_fake.Mutex());
    if (ValidEntry(entry))
        g_fake.Locked().queuedResults[static_cast<size_t>(entry)].push_back(result);
}

void SetWriteOnFailure(int32_t enabled)
{
    std::lock_guard lock(g_fake.Mutex());
    g_fake.Locked().writeOnFailure = enabled != 0;
}

void SetDetectCount(int32_t count)
{
    std::lock_guard lock(g_fake.Mutex());
    g_fake.Locked().detectCount = count;
}

void SetOpenHandle(int32_t index, uint32_t handle)
{
    std::lock_guard lock(g_fake.Mutex());
    if (ValidCamera(index))
        g_fake.Locked().cameras[static_cast<size_t>(index)].handle = handle;
}

void SetOpenResult(int32_t index, int32_t result)
{
    std::lock_guard lock(g_fake.Mutex());
    if (!ValidCamera(index))
        return;
    Camera &camera = g_fake.Locked().cameras[static_cast<size_t>(index)];
    camera.hasOpenResult = true;
    camera.openResult = result;
}

void SetDeviceInfo(int32_t index, const void *bytes, size_t size)
{
    std::lock_guard lock(g_fake.Mutex());
    if (!ValidCamera(index))
        return;
    CameraDeviceInfo &info = g_fake.Locked().cameras[static_cast<size_t>(index)].info;
    info = CameraDeviceInfo{};
    if (bytes != nullptr)
        std::memcpy(&info, bytes, std::min(size, sizeof(info)));
}

void SetDeviceTexts(int32_t index, const char *name, const char *detail)
{
    std::lock_guard lock(g_fake.Mutex());
    if (ValidCamera(index))
        SetTexts(g_fake.Locked().cameras[static_cast<size_t>(index)].info, name, detail);
}

void SetErrorNumber(uint32_t number)
{
    std::lock_guard lock(g_fake.Mutex());
    g_fake.Locked().errorNumber = number;
}

void SetErrorFirstValue(int32_t enabled, int32_t value)
{
    std::lock_guard lock(g_fake.Mutex());
    g_fake.Locked().writesErrorFirst = enabled != 0;
    g_fake.Locked().errorFirst = value;
}

void SetShootOutputs(int32_t out1, int32_t out2)
{
    std::lock_guard lock(g_fake.Mutex());
    g_fake.Locked().shootOut1 = out1;
    g_fake.Locked().shootOut2 = out2;
}

void SetShootEvent(int32_t event, int32_t delivery)
{
    std::lock_guard lock(g_fake.Mutex());
    g_fake.Locked().shootEvent = event;
    g_fake.Locked().shootDelivery = delivery;
}

void QueueImage(int32_t type, uint32_t reportedSize, const void *bytes, size_t byteCount)
{
    Picture picture;
    picture.type = type;
    picture.reportedSize = reportedSize;
    if (bytes != nullptr)
        picture.bytes.assign(static_cast<const uint8_t *>(bytes), static_cast<const uint8_t *>(bytes) + byteCount);
    std::lock_guard lock(g_fake.Mutex());
    g_fake.Locked().pictures.push_back(std::move(picture));
}

size_t PendingImages()
{
    std::lock_guard lock(g_fake.Mutex());
    return g_fake.Locked().pictures.size();
}

void SetChangedPropertyBytes(const void *bytes, size_t size)
{
    std::vector<uint8_t> list;
    if (bytes != nullptr)
        list.assign(static_cast<const uint8_t *>(bytes),
                    static_cast<const uint8_t *>(bytes) + std::min<size_t>(size, CHANGED_PROPERTY_LIST_SIZE));
    std::lock_guard lock(g_fake.Mutex());
    g_fake.Locked().changedProperties = std::move(list);
}

void SetChangedProperties(uint16_t count, const uint32_t *codes, const uint32_t *values)
{
    std::vector<uint8_t> list;
    const auto put = [&list](uint32_t word, int bytes) {
        for (int i = 0; i < bytes; ++i)
            list.push_back(static_cast<uint8_t>(word >> (8 * i)));
    };
    put(count, 2);
    const size_t entries = std::min<size_t>(count, CHANGED_PROPERTY_MAX_ENTRIES);
    for (size_t i = 0; i < entries && codes != nullptr && values != nullptr; ++i) {
        put(codes[i], 4);
        put(values[i], 4);
    }
    std::lock_guard lock(g_fake.Mutex());
    g_fake.Locked().changedProperties = std::move(list);
}

size_t CallCount()
{
    std::lock_guard lock(g_fake.Mutex());
    return g_fake.Locked().calls.size();
}

int32_t GetCall(size_t index, FakeCameraCall *call)
{
    std::lock_guard lock(g_fake.Mutex());
    const std::vector<FakeCameraCall> &calls = g_fake.Locked().calls;
    if (index >= calls.size() || call == nullptr)
        return 0;
    *call = calls[index];
    return 1;
}

size_t CountCalls(int32_t entry)
{
    std::lock_guard lock(g_fake.Mutex());
    const std::vector<FakeCameraCall> &calls = g_fake.Locked().calls;
    return static_cast<size_t>(std::count_if(calls.begin(), calls.end(),
                                             [entry](const FakeCameraCall &call) { return call.entry == entry; }));
}

void ClearCalls()
{
    std::lock_guard lock(g_fake.Mutex());
    g_fake.Locked().calls.clear();
}

CameraCallback RegisteredCallback()
{
    std::lock_guard lock(g_fake.Mutex());
    return g_fake.Locked().callback;
}

void JoinEventThreads()
{
    g_fake.JoinThreads();
}

size_t EventCount()
{
    std::lock_guard lock(g_fake.Mutex());
    return g_fake.Locked().events.size();
}

int32_t GetEvent(size_t index, FakeCameraEvent *event)
{
    std::lock_guard lock(g_fake.Mutex());
    const std::vector<FakeCameraEvent> &events = g_fake.Locked().events;
    if (index >= events.size() || event == nullptr)
        return 0;
    *event = events[index];
    return 1;
}

const FakeCameraControl g_control = {
    Reset,
    SetResult,
    QueueResult,
    SetWriteOnFailure,
    SetDetectCount,
    SetOpenHandle,
    SetOpenResult,
    SetDeviceInfo,
    SetDeviceTexts,
    SetErrorNumber,
    SetErrorFirstValue,
    SetShootOutputs,
    SetShootEvent,
    QueueImage,
    PendingImages,
    SetChangedPropertyBytes,
    SetChangedProperties,
    CallCount,
    GetCall,
    CountCalls,
    ClearCalls,
    RegisteredCallback,
    Fire,
    JoinEventThreads,
    EventCount,
    GetEvent,
};

} // namespace

FAKE_CAMERA_EXPORT const FakeCameraControl *FakeCamera_GetControl(void)
{
    return &g_control;
}

// --- the eleven entry points -------------------------------------------------

FAKE_CAMERA_EXPORT int32_t VRX4K_Init(int32_t value)
{
    std::lock_guard lock(g_fake.Mutex());
    State &state = g_fake.Locked();
    FakeCameraCall call = NewCall(FAKE_CAMERA_INIT);
    call.value = value;
    return Record(state, call, ChooseResult(state, FAKE_CAMERA_INIT));
}

FAKE_CAMERA_EXPORT int32_t VRX4K_Exit(void)
{
    std::lock_guard lock(g_fake.Mutex());
    State &state = g_fake.Locked();
    return Record(state, NewCall(FAKE_CAMERA_EXIT), ChooseResult(state, FAKE_CAMERA_EXIT));
}

FAKE_CAMERA_EXPORT int32_t VRX4K_Detect(int32_t value, int32_t *count)
{
    std::lock_guard lock(g_fake.Mutex());
    State &state = g_fake.Locked();
    FakeCameraCall call = NewCall(FAKE_CAMERA_DETECT);
    call.value = value;
    call.pointer1 = count;
    const int32_t result = ChooseResult(state, FAKE_CAMERA_DETECT);
    if (count != nullptr && WritesOutputs(state, result))
        *count = state.detectCount;
    return Record(state, call, result);
}

FAKE_CAMERA_EXPORT int32_t VRX4K_Open(int32_t index, uint32_t *handle, CameraCallback callback, int32_t value)
{
    std::lock_guard lock(g_fake.Mutex());
    State &state = g_fake.Locked();
    FakeCameraCall call = NewCall(FAKE_CAMERA_OPEN);
    call.value = index;
    call.pointer1 = handle;
    call.callback = callback;
    call.value2 = value;
    const int32_t result = ChooseResult(state, FAKE_CAMERA_OPEN, index);
    if (WritesOutputs(state, result)) {
        if (handle != nullptr)
            *handle = ValidCamera(index) ? state.cameras[static_cast<size_t>(index)].handle : 0;
        if (callback != nullptr)
            state.callback = callback;
    }
    return Record(state, call, result);
}

FAKE_CAMERA_EXPORT int32_t VRX4K_Close(uint32_t handle)
{
    std::lock_guard lock(g_fake.Mutex());
    State &state = g_fake.Locked();
    FakeCameraCall call = NewCall(FAKE_CAMERA_CLOSE);
    call.handle = handle;
    return Record(state, call, ChooseResult(state, FAKE_CAMERA_CLOSE));
}

// The variants that lack one entry point, for the binding's failure path.
#ifndef FAKE_CAMERA_WITHOUT_GET_DEVICE_INFO
namespace {

// The camera index whose scripted handle is `handle`, or -1.
int Index(const State &state, uint32_t handle)
{
    for (size_t i = 0; i < state.cameras.size(); ++i)
        if (state.cameras[i].handle == handle)
            return static_cast<int>(i);
    return -1;
}

} // namespace

FAKE_CAMERA_EXPORT int32_t VRX4K_GetDeviceInfo(uint32_t handle, CameraDeviceInfo *info)
{
    std::lock_guard lock(g_fake.Mutex());
    State &state = g_fake.Locked();
    FakeCameraCall call = NewCall(FAKE_CAMERA_GET_DEVICE_INFO);
    call.handle = handle;
    call.pointer1 = info;
    const int32_t result = ChooseResult(state, FAKE_CAMERA_GET_DEVICE_INFO);
    const int index = Index(state, handle);
    if (info != nullptr && index >= 0 && WritesOutputs(state, result))
        std::memcpy(info, &state.cameras[static_cast<size_t>(index)].info, sizeof(*info));
    return Record(state, call, result);
}
#endif

FAKE_CAMERA_EXPORT int32_t VRX4K_GetErrorNumber(uint32_t handle, int32_t *failedResult, uint32_t *errorNumber)
{
    std::lock_guard lock(g_fake.Mutex());
    State &state = g_fake.Locked();
    FakeCameraCall call = NewCall(FAKE_CAMERA_GET_ERROR_NUMBER);
    call.handle = handle;
    call.pointer1 = failedResult;
    call.pointer2 = errorNumber;
    call.in1 = failedResult != nullptr ? *failedResult : 0;
    call.in2 = errorNumber != nullptr ? *errorNumber : 0;
    if (failedResult != nullptr && state.writesErrorFirst)
        *failedResult = state.errorFirst;
    if (errorNumber != nullptr)
        *errorNumber = state.errorNumber;
    return Record(state, call, ChooseResult(state, FAKE_CAMERA_GET_ERROR_NUMBER));
}

FAKE_CAMERA_EXPORT int32_t VRX4K_GetChangedProperty(uint32_t handle, uint8_t *list)
{
    std::lock_guard lock(g_fake.Mutex());
    State &state = g_fake.Locked();
    FakeCameraCall call = NewCall(FAKE_CAMERA_GET_CHANGED_PROPERTY);
    call.handle = handle;
    call.pointer1 = list;
    const int32_t result = ChooseResult(state, FAKE_CAMERA_GET_CHANGED_PROPERTY);
    if (list != nullptr && WritesOutputs(state, result) && !state.changedProperties.empty())
        std::memcpy(list, state.changedProperties.data(), state.changedProperties.size());
    return Record(state, call, result);
}

FAKE_CAMERA_EXPORT int32_t VRX4K_Shoot(uint32_t handle, int32_t *out1, int32_t *out2)
{
    int32_t result;
    int32_t event;
    int32_t delivery;
    {
        std::lock_guard lock(g_fake.Mutex());
        State &state = g_fake.Locked();
        FakeCameraCall call = NewCall(FAKE_CAMERA_SHOOT);
        call.handle = handle;
        call.pointer1 = out1;
        call.pointer2 = out2;
        result = ChooseResult(state, FAKE_CAMERA_SHOOT);
        if (WritesOutputs(state, result)) {
            if (out1 != nullptr)
                *out1 = state.shootOut1;
            if (out2 != nullptr)
                *out2 = state.shootOut2;
        }
        Record(state, call, result);
        event = state.shootEvent;
        delivery = result != VRX4K_FAILURE ? state.shootDelivery : FAKE_CAMERA_DELIVER_NONE;
    }
    if (delivery != FAKE_CAMERA_DELIVER_NONE)
        Fire(0, event, delivery, nullptr);
    return result;
}

FAKE_CAMERA_EXPORT int32_t VRX4K_ReadImageInfo(uint32_t handle, CameraImageInfo *info)
{
    std::lock_guard lock(g_fake.Mutex());
    State &state = g_fake.Locked();
    FakeCameraCall call = NewCall(FAKE_CAMERA_READ_IMAGE_INFO);
    call.handle = handle;
    call.pointer1 = info;
    const int32_t result = ChooseResult(state, FAKE_CAMERA_READ_IMAGE_INFO);
    if (WritesOutputs(state, result)) {
        state.current = Picture{};
        if (!state.pictures.empty()) {
            state.current = std::move(state.pictures.front());
            state.pictures.pop_front();
        }
        if (info != nullptr) {
            *info = CameraImageInfo{};
            info->ImageType = state.current.type;
            info->ImageSize = state.current.reportedSize;
        }
    }
    return Record(state, call, result);
}

#ifndef FAKE_CAMERA_WITHOUT_READ_IMAGE
FAKE_CAMERA_EXPORT int32_t VRX4K_ReadImage(uint32_t handle, uint8_t *buffer, uint32_t size)
{
    std::lock_guard lock(g_fake.Mutex());
    State &state = g_fake.Locked();
    FakeCameraCall call = NewCall(FAKE_CAMERA_READ_IMAGE);
    call.handle = handle;
    call.pointer1 = buffer;
    call.value = size;
    const int32_t result = ChooseResult(state, FAKE_CAMERA_READ_IMAGE);
    const size_t copied = std::min<size_t>(size, state.current.bytes.size());
    if (buffer != nullptr && copied > 0 && WritesOutputs(state, result))
        std::memcpy(buffer, state.current.bytes.data(), copied);
    return Record(state, call, result);
}
#endif
