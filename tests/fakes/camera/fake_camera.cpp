// The scriptable camera library; its control API is in fake_camera_control.h.
#include "fake_camera_control.h"
#include "vrx4k-common/records.h"

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
    std::array<uint8_t, 32> leading{}; // CameraImageInfo's Reserved words
    std::vector<uint8_t> bytes;
};

struct Camera {
    uint32_t handle = 0;
    bool hasOpenResult = false;
    int32_t openResult = 0;
    CameraDeviceInfo info{};
};

struct State {
    std::array<int32_t, VRX4K_CALL_END> results{};
    std::array<std::deque<int32_t>, VRX4K_CALL_END> queuedResults;
    bool writeOnFailure = false;

    int32_t detectCount = 1;
    std::array<Camera, FAKE_CAMERA_MAX_CAMERAS> cameras;

    uint32_t errorNumber = 0;
    bool writesErrorFirst = false;
    int32_t errorFirst = 0;

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
    return entry >= VRX4K_CALL_INIT && entry <= VRX4K_CALL_READ_IMAGE;
}

bool ValidCamera(int32_t index)
{
    return index >= 0 && index < FAKE_CAMERA_MAX_CAMERAS;
}

// --- control functions ----------------------------------------------------

// Runs `change` on the fake's state under its lock.
template <typename Change>
auto Script(Change change)
{
    std::lock_guard lock(g_fake.Mutex());
    return change(g_fake.Locked());
}

template <typename Entry>
int32_t CopyEntry(const std::vector<Entry> &log, size_t index, Entry *out)
{
    if (index >= log.size() || out == nullptr)
        return 0;
    *out = log[index];
    return 1;
}

void SetDeviceInfo(int32_t index, const void *bytes, size_t size)
{
    Script([&](State &state) {
        if (!ValidCamera(index))
            return;
        CameraDeviceInfo &info = state.cameras[static_cast<size_t>(index)].info;
        info = CameraDeviceInfo{};
        if (bytes != nullptr)
            std::memcpy(&info, bytes, std::min(size, sizeof(info)));
    });
}

void QueueImageWithLeadingBytes(int32_t type, uint32_t reportedSize, const void *leading, const void *bytes,
                                size_t byteCount)
{
    Picture picture;
    picture.type = type;
    picture.reportedSize = reportedSize;
    if (leading != nullptr)
        std::memcpy(picture.leading.data(), leading, picture.leading.size());
    if (bytes != nullptr)
        picture.bytes.assign(static_cast<const uint8_t *>(bytes), static_cast<const uint8_t *>(bytes) + byteCount);
    Script([&](State &state) { state.pictures.push_back(std::move(picture)); });
}

void QueueImage(int32_t type, uint32_t reportedSize, const void *bytes, size_t byteCount)
{
    QueueImageWithLeadingBytes(type, reportedSize, nullptr, bytes, byteCount);
}

void SetChangedPropertyBytes(const void *bytes, size_t size)
{
    std::vector<uint8_t> list;
    if (bytes != nullptr)
        list.assign(static_cast<const uint8_t *>(bytes),
                    static_cast<const uint8_t *>(bytes) + std::min<size_t>(size, CHANGED_PROPERTY_LIST_SIZE));
    Script([&](State &state) { state.changedProperties = std::move(list); });
}

void SetChangedProperties(uint16_t count, const uint32_t *codes, const uint32_t *values)
{
    std::vector<vrx4k::PropertyEntry> entries;
    for (size_t i = 0; i < std::min<size_t>(count, CHANGED_PROPERTY_MAX_ENTRIES) && codes && values; ++i)
        entries.emplace_back(codes[i], values[i]);
    std::vector<uint8_t> list(CHANGED_PROPERTY_COUNT_SIZE + entries.size() * CHANGED_PROPERTY_ENTRY_SIZE);
    vrx4k::WriteChangedProperties(list.data(), entries);
    // The count as given, also one the entries do not match.
    vrx4k::PutLe16(list.data(), count);
    Script([&](State &state) { state.changedProperties = std::move(list); });
}

const FakeCameraControl g_control = {
    [] {
        g_fake.JoinThreads();
        Script([](State &state) { ApplyDefaults(state); });
    },
    [](int32_t entry, int32_t result) {
        Script([&](State &state) {
            if (ValidEntry(entry))
                state.results[static_cast<size_t>(entry)] = result;
        });
    },
    [](int32_t entry, int32_t result) {
        Script([&](State &state) {
            if (ValidEntry(entry))
                state.queuedResults[static_cast<size_t>(entry)].push_back(result);
        });
    },
    [](int32_t enabled) { Script([&](State &state) { state.writeOnFailure = enabled != 0; }); },
    [](int32_t count) { Script([&](State &state) { state.detectCount = count; }); },
    [](int32_t index, uint32_t handle) {
        Script([&](State &state) {
            if (ValidCamera(index))
                state.cameras[static_cast<size_t>(index)].handle = handle;
        });
    },
    [](int32_t index, int32_t result) {
        Script([&](State &state) {
            if (!ValidCamera(index))
                return;
            state.cameras[static_cast<size_t>(index)].hasOpenResult = true;
            state.cameras[static_cast<size_t>(index)].openResult = result;
        });
    },
    SetDeviceInfo,
    [](int32_t index, const char *name, const char *detail) {
        Script([&](State &state) {
            if (ValidCamera(index))
                SetTexts(state.cameras[static_cast<size_t>(index)].info, name, detail);
        });
    },
    [](uint32_t number) { Script([&](State &state) { state.errorNumber = number; }); },
    [](int32_t enabled, int32_t value) {
        Script([&](State &state) {
            state.writesErrorFirst = enabled != 0;
            state.errorFirst = value;
        });
    },
    QueueImage,
    SetChangedPropertyBytes,
    SetChangedProperties,
    [] { return Script([](State &state) { return state.calls.size(); }); },
    [](size_t index, FakeCameraCall *call) {
        return Script([&](State &state) { return CopyEntry(state.calls, index, call); });
    },
    [](int32_t entry) {
        return Script([&](State &state) {
            return static_cast<size_t>(std::count_if(state.calls.begin(), state.calls.end(),
                                                     [entry](const FakeCameraCall &call) { return call.entry == entry; }));
        });
    },
    [] { Script([](State &state) { state.calls.clear(); }); },
    Fire,
    [] { g_fake.JoinThreads(); },
    [] { return Script([](State &state) { return state.events.size(); }); },
    [](size_t index, FakeCameraEvent *event) {
        return Script([&](State &state) { return CopyEntry(state.events, index, event); });
    },
    QueueImageWithLeadingBytes,
};

} // namespace

FAKE_CAMERA_EXPORT const FakeCameraControl *FakeCamera_GetControl(void)
{
    return &g_control;
}

// --- the eleven entry points -------------------------------------------------

namespace {

FakeCameraCall Arguments(int32_t entry, uint32_t handle, const void *pointer1, const void *pointer2 = nullptr)
{
    FakeCameraCall call = NewCall(entry);
    call.handle = handle;
    call.pointer1 = pointer1;
    call.pointer2 = pointer2;
    return call;
}

// Logs one call, picks its result and, when that result allows, lets
// `write` fill the outputs.
template <typename Write>
int32_t Answer(const FakeCameraCall &call, Write write, int32_t openIndex = -1)
{
    std::lock_guard lock(g_fake.Mutex());
    State &state = g_fake.Locked();
    const int32_t result = ChooseResult(state, call.entry, openIndex);
    if (WritesOutputs(state, result))
        write(state);
    return Record(state, call, result);
}

// The camera index whose scripted handle is `handle`, or -1.
[[maybe_unused]] int Index(const State &state, uint32_t handle)
{
    for (size_t i = 0; i < state.cameras.size(); ++i)
        if (state.cameras[i].handle == handle)
            return static_cast<int>(i);
    return -1;
}

} // namespace

FAKE_CAMERA_EXPORT int32_t VRX4K_Init(int32_t value)
{
    FakeCameraCall call = Arguments(FAKE_CAMERA_INIT, 0, nullptr);
    call.value = value;
    return Answer(call, [](State &) {});
}

FAKE_CAMERA_EXPORT int32_t VRX4K_Exit(void)
{
    return Answer(Arguments(FAKE_CAMERA_EXIT, 0, nullptr), [](State &) {});
}

FAKE_CAMERA_EXPORT int32_t VRX4K_Detect(int32_t value, int32_t *count)
{
    FakeCameraCall call = Arguments(FAKE_CAMERA_DETECT, 0, count);
    call.value = value;
    return Answer(call, [&](State &state) {
        if (count != nullptr)
            *count = state.detectCount;
    });
}

FAKE_CAMERA_EXPORT int32_t VRX4K_Open(int32_t index, uint32_t *handle, CameraCallback callback, int32_t value)
{
    FakeCameraCall call = Arguments(FAKE_CAMERA_OPEN, 0, handle);
    call.value = index;
    call.callback = callback;
    call.value2 = value;
    return Answer(
        call,
        [&](State &state) {
            if (handle != nullptr)
                *handle = ValidCamera(index) ? state.cameras[static_cast<size_t>(index)].handle : 0;
            if (callback != nullptr)
                state.callback = callback;
        },
        index);
}

FAKE_CAMERA_EXPORT int32_t VRX4K_Close(uint32_t handle)
{
    return Answer(Arguments(FAKE_CAMERA_CLOSE, handle, nullptr), [](State &) {});
}

// The variants that lack one entry point, for the binding's failure path.
#ifndef FAKE_CAMERA_WITHOUT_GET_DEVICE_INFO
FAKE_CAMERA_EXPORT int32_t VRX4K_GetDeviceInfo(uint32_t handle, CameraDeviceInfo *info)
{
    return Answer(Arguments(FAKE_CAMERA_GET_DEVICE_INFO, handle, info), [&](State &state) {
        const int index = Index(state, handle);
        if (info != nullptr && index >= 0)
            std::memcpy(info, &state.cameras[static_cast<size_t>(index)].info, sizeof(*info));
    });
}
#endif

FAKE_CAMERA_EXPORT int32_t VRX4K_GetErrorNumber(uint32_t handle, int32_t *failedResult, uint32_t *errorNumber)
{
    FakeCameraCall call = Arguments(FAKE_CAMERA_GET_ERROR_NUMBER, handle, failedResult, errorNumber);
    call.in1 = failedResult != nullptr ? *failedResult : 0;
    call.in2 = errorNumber != nullptr ? *errorNumber : 0;
    std::lock_guard lock(g_fake.Mutex());
    State &state = g_fake.Locked();
    // Written whatever the result: the binding must not trust it after -1.
    if (failedResult != nullptr && state.writesErrorFirst)
        *failedResult = state.errorFirst;
    if (errorNumber != nullptr)
        *errorNumber = state.errorNumber;
    return Record(state, call, ChooseResult(state, FAKE_CAMERA_GET_ERROR_NUMBER));
}

FAKE_CAMERA_EXPORT int32_t VRX4K_GetChangedProperty(uint32_t handle, uint8_t *list)
{
    return Answer(Arguments(FAKE_CAMERA_GET_CHANGED_PROPERTY, handle, list), [&](State &state) {
        if (list != nullptr && !state.changedProperties.empty())
            std::memcpy(list, state.changedProperties.data(), state.changedProperties.size());
    });
}

FAKE_CAMERA_EXPORT int32_t VRX4K_Shoot(uint32_t handle, int32_t *out1, int32_t *out2)
{
    return Answer(Arguments(FAKE_CAMERA_SHOOT, handle, out1, out2), [&](State &) {
        if (out1 != nullptr)
            *out1 = 0;
        if (out2 != nullptr)
            *out2 = 0;
    });
}

FAKE_CAMERA_EXPORT int32_t VRX4K_ReadImageInfo(uint32_t handle, CameraImageInfo *info)
{
    return Answer(Arguments(FAKE_CAMERA_READ_IMAGE_INFO, handle, info), [&](State &state) {
        state.current = Picture{};
        if (!state.pictures.empty()) {
            state.current = std::move(state.pictures.front());
            state.pictures.pop_front();
        }
        if (info != nullptr) {
            vrx4k::WriteImageInfo(*info, state.current.type, state.current.reportedSize);
            std::memcpy(info->Reserved, state.current.leading.data(), state.current.leading.size());
        }
    });
}

#ifndef FAKE_CAMERA_WITHOUT_READ_IMAGE
FAKE_CAMERA_EXPORT int32_t VRX4K_ReadImage(uint32_t handle, uint8_t *buffer, uint32_t size)
{
    FakeCameraCall call = Arguments(FAKE_CAMERA_READ_IMAGE, handle, buffer);
    call.value = size;
    return Answer(call, [&](State &state) {
        const size_t copied = std::min<size_t>(size, state.current.bytes.size());
        if (buffer != nullptr && copied > 0)
            std::memcpy(buffer, state.current.bytes.data(), copied);
    });
}
#endif
