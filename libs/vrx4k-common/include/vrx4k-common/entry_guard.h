// What every exported entry point shares: no exception leaves it, and the
// number of the latest failure of any call is kept for GetErrorNumber with
// handle 0.
#pragma once

#include "vrx4k-common/error_numbers.h"

#include <atomic>
#include <cstdint>

namespace vrx4k {

// An entry point's exported name from its VRX4K_CALL_* number, for logs and
// messages.
inline const char *EntryPointName(int32_t call)
{
    static constexpr const char *kNames[VRX4K_CALL_END] = {
        "library thread",      "VRX4K_Init",          "VRX4K_Exit",
        "VRX4K_Detect",        "VRX4K_Open",          "VRX4K_Close",
        "VRX4K_GetDeviceInfo", "VRX4K_GetErrorNumber", "VRX4K_GetChangedProperty",
        "VRX4K_Shoot",         "VRX4K_ReadImageInfo", "VRX4K_ReadImage",
    };
    return call >= 0 && call < VRX4K_CALL_END ? kNames[call] : "unknown entry point";
}

class ErrorLatch {
public:
    // Keeps error as the latest failure and returns the entry point's -1.
    int32_t Fail(uint32_t error)
    {
        m_latest = error;
        return -1;
    }
    uint32_t Latest() const { return m_latest; }

    // GetErrorNumber for handle 0: the library's latest failure; no entry
    // point to name. -1 without somewhere to write the number.
    int32_t Answer(int32_t *failedCall, uint32_t *errorNumber) const
    {
        if (!errorNumber)
            return -1;
        *errorNumber = m_latest;
        if (failedCall)
            *failedCall = VRX4K_CALL_LIBRARY_THREAD;
        return 0;
    }

private:
    std::atomic<uint32_t> m_latest{0};
};

// Runs an entry point's body. Nothing may unwind out of a C entry point: any
// exception (in practice a failed allocation) becomes -1 with
// VRX4K_ERROR_OUT_OF_MEMORY, and onFailure may record it on the camera too.
template <typename Body, typename OnFailure>
int32_t Guarded(ErrorLatch &latch, Body body, OnFailure onFailure) noexcept
{
    try {
        return body();
    } catch (...) {
        latch.Fail(VRX4K_ERROR_OUT_OF_MEMORY);
        try {
            onFailure(VRX4K_ERROR_OUT_OF_MEMORY);
        } catch (...) {
        }
        return -1;
    }
}

template <typename Body>
int32_t Guarded(ErrorLatch &latch, Body body) noexcept
{
    return Guarded(latch, body, [](uint32_t) {});
}

} // namespace vrx4k
