// A scriptable libExif.so for the binding and preview tests; see fake_exif_control.h.

#include "fake_exif_control.h"

#include <cstring>
#include <mutex>
#include <set>
#include <vector>

namespace {

FakeExifScript DefaultScript()
{
    FakeExifScript script{};
    script.openHandle = 1;
    script.width = 4;
    script.height = 2;
    script.blue = 0x20;
    script.green = 0x40;
    script.red = 0x80;
    return script;
}

struct FakeState {
    std::mutex mutex;
    FakeExifScript script = DefaultScript();
    std::vector<FakeExifCall> calls;
    std::multiset<uint32_t> openHandles;
};

FakeState &State()
{
    static FakeState state;
    return state;
}

uint16_t Log(FakeState &state, int32_t entry, uint32_t handle, const void *pointer, uint32_t count,
             uint16_t status)
{
    state.calls.push_back(FakeExifCall{entry, handle, pointer, count, status});
    return status;
}

void Put32(uint8_t *at, uint32_t value)
{
    std::memcpy(at, &value, 4);
}

[[maybe_unused]] void WritePicture(const FakeExifScript &script, uint8_t *buffer)
{
    const uint64_t stride = (3 * uint64_t{script.width} + 3) & ~uint64_t{3};
    std::memset(buffer, 0, EXIF_DIB_HEADER_SIZE);
    Put32(buffer + 0, EXIF_DIB_HEADER_SIZE);
    Put32(buffer + 4, script.width);
    const int32_t height =
        script.topDown ? -static_cast<int32_t>(script.height) : static_cast<int32_t>(script.height);
    std::memcpy(buffer + 8, &height, 4);
    const uint16_t planes = 1, bits = 24;
    std::memcpy(buffer + 12, &planes, 2);
    std::memcpy(buffer + 14, &bits, 2);
    Put32(buffer + 20, static_cast<uint32_t>(stride * script.height));
    uint8_t *rows = buffer + EXIF_DIB_HEADER_SIZE;
    for (uint32_t y = 0; y < script.height; ++y) {
        uint8_t *row = rows + y * stride;
        std::memset(row, 0, stride);
        for (uint32_t x = 0; x < script.width; ++x) {
            row[3 * x] = script.blue;
            row[3 * x + 1] = script.green;
            row[3 * x + 2] = script.red;
        }
    }
}

void Reset()
{
    FakeState &state = State();
    std::lock_guard lock(state.mutex);
    state.script = DefaultScript();
    state.calls.clear();
    state.openHandles.clear();
}

void GetScript(FakeExifScript *script)
{
    FakeState &state = State();
    std::lock_guard lock(state.mutex);
    *script = state.script;
}

void SetScript(const FakeExifScript *script)
{
    FakeState &state = State();
    std::lock_guard lock(state.mutex);
    state.script = *script;
}

uint32_t CallCount()
{
    FakeState &state = State();
    std::lock_guard lock(state.mutex);
    return static_cast<uint32_t>(state.calls.size());
}

int32_t GetCall(uint32_t index, FakeExifCall *call)
{
    FakeState &state = State();
    std::lock_guard lock(state.mutex);
    if (index >= state.calls.size())
        return 0;
    *call = state.calls[index];
    return 1;
}

uint32_t OpenHandleCount()
{
    FakeState &state = State();
    std::lock_guard lock(state.mutex);
    return static_cast<uint32_t>(state.openHandles.size());
}

constexpr FakeExifControl kControl = {Reset, GetScript, SetScript, CallCount, GetCall, OpenHandleCount};

} // namespace

extern "C" {

const FakeExifControl *FakeExif_GetControl(void)
{
    return &kControl;
}

uint16_t ExifMemOpen(const uint8_t *data, uint32_t size, uint32_t *handle)
{
    FakeState &state = State();
    std::lock_guard lock(state.mutex);
    const FakeExifScript &script = state.script;
    const uint32_t written = script.openStatus == 0 ? script.openHandle : script.openHandleOnFailure;
    if (handle != nullptr)
        *handle = written;
    if (written != 0)
        state.openHandles.insert(written);
    return Log(state, FAKE_EXIF_MEM_OPEN, written, data, size, script.openStatus);
}

uint16_t ExifGetImageSizeType(uint32_t handle, ExifImageSize *size)
{
    FakeState &state = State();
    std::lock_guard lock(state.mutex);
    const FakeExifScript &script = state.script;
    if (script.sizeStatus == 0 && size != nullptr) {
        size->Width = script.width;
        size->Height = script.height;
        size->Extra = script.extra;
    }
    return Log(state, FAKE_EXIF_GET_IMAGE_SIZE_TYPE, handle, size, 0, script.sizeStatus);
}

#ifndef FAKE_EXIF_WITHOUT_READ_IMAGE
uint16_t ExifReadImage(uint32_t handle, uint8_t *buffer, uint32_t capacity)
{
    FakeState &state = State();
    std::lock_guard lock(state.mutex);
    const FakeExifScript &script = state.script;
    const uint64_t stride = (3 * uint64_t{script.width} + 3) & ~uint64_t{3};
    const uint64_t needed = EXIF_DIB_HEADER_SIZE + stride * script.height;
    uint16_t status = script.readStatus;
    if (status == 0 && (buffer == nullptr || capacity < needed))
        status = FAKE_EXIF_CAPACITY_STATUS;
    if (status == 0)
        WritePicture(script, buffer);
    return Log(state, FAKE_EXIF_READ_IMAGE, handle, buffer, capacity, status);
}
#endif

uint16_t ExifFileClose(uint32_t handle)
{
    FakeState &state = State();
    std::lock_guard lock(state.mutex);
    auto open = state.openHandles.find(handle);
    if (open != state.openHandles.end())
        state.openHandles.erase(open);
    return Log(state, FAKE_EXIF_FILE_CLOSE, handle, nullptr, 0, state.script.closeStatus);
}

} // extern "C"
