/*
 * A scriptable stand-in for the camera library, built as libVRX4KAPI.so into
 * its own folder: <build>/fakes/camera (CMake: ${TAVREN_FAKE_CAMERA_DIR}).
 * Two variants each lack one entry point: VRX4K_GetDeviceInfo in
 * <build>/fakes/camera-partial (${TAVREN_FAKE_CAMERA_PARTIAL_DIR}) and
 * VRX4K_ReadImage in <build>/fakes/camera-no-readimage
 * (${TAVREN_FAKE_CAMERA_NO_READ_IMAGE_DIR}). A test puts one folder first on
 * LD_LIBRARY_PATH (CTest ENVIRONMENT, one process per variant: the loader
 * reads it once) and the real binding loads the fake with dlopen like any
 * camera library. Keep such test programs out of <build>/bin, where RUNPATH
 * $ORIGIN would find the simulated camera library instead.
 *
 * The test reaches the fake through one exported symbol,
 * FakeCamera_GetControl, which returns a table of control functions; see
 * fake_camera.h for a C++ helper that opens the library and binds the table.
 * The fake's state lives as long as the library stays loaded: hold a
 * FakeCamera helper to keep it across the program's Load and Unload.
 *
 * Every entry point and control function is safe to call from any thread.
 *
 * Defaults after loading and after Reset:
 *   - every entry point returns 0; VRX4K_GetErrorNumber writes 0 as the error
 *     number and leaves its second argument alone;
 *   - VRX4K_Detect writes 1 camera;
 *   - VRX4K_Open writes the handle 0x1001 + index (index 0 -> 0x1001);
 *   - camera i's device record is all zero except Name "Fake Camera <i+1>"
 *     and Detail "FAKE-<i+1>";
 *   - VRX4K_ReadImageInfo, with no picture queued, writes type 5
 *     (CAMERA_IMAGE_NONE) and size 0;
 *   - VRX4K_GetChangedProperty writes a count of 0;
 *   - VRX4K_Shoot writes 0 to both outputs and fires no event (FireEvent
 *     does);
 *   - nothing is written through an output pointer when the entry point
 *     returns -1 (see SetWriteOnFailure); null output pointers are skipped.
 *
 * How a result is chosen, for every call of an entry point:
 *   1. the oldest result queued for it with QueueResult, if any (used once);
 *   2. for VRX4K_Open only: the result set with SetOpenResult for the index;
 *   3. the entry point's result set with SetResult (0 by default).
 */
#ifndef TAVREN_FAKE_CAMERA_CONTROL_H
#define TAVREN_FAKE_CAMERA_CONTROL_H

#include "vrx4k-common/error_numbers.h"
#include "vrx4kapi.h"

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* The entry points, as numbered in the call log and in SetResult: their
 * place in the contract, as GetErrorNumber of TAVREN's libraries names them. */
enum FakeCameraEntry {
    FAKE_CAMERA_INIT = VRX4K_CALL_INIT,
    FAKE_CAMERA_EXIT = VRX4K_CALL_EXIT,
    FAKE_CAMERA_DETECT = VRX4K_CALL_DETECT,
    FAKE_CAMERA_OPEN = VRX4K_CALL_OPEN,
    FAKE_CAMERA_CLOSE = VRX4K_CALL_CLOSE,
    FAKE_CAMERA_GET_DEVICE_INFO = VRX4K_CALL_GET_DEVICE_INFO,
    FAKE_CAMERA_GET_ERROR_NUMBER = VRX4K_CALL_GET_ERROR_NUMBER,
    FAKE_CAMERA_GET_CHANGED_PROPERTY = VRX4K_CALL_GET_CHANGED_PROPERTY,
    FAKE_CAMERA_SHOOT = VRX4K_CALL_SHOOT,
    FAKE_CAMERA_READ_IMAGE_INFO = VRX4K_CALL_READ_IMAGE_INFO,
    FAKE_CAMERA_READ_IMAGE = VRX4K_CALL_READ_IMAGE
};

/* Camera indexes 0 to FAKE_CAMERA_MAX_CAMERAS - 1 can be scripted one by one. */
#define FAKE_CAMERA_MAX_CAMERAS 16

/* How an event is delivered to the callback registered with VRX4K_Open. */
enum FakeCameraDelivery {
    FAKE_CAMERA_DELIVER_SYNC = 1,   /* on the calling thread, before returning */
    FAKE_CAMERA_DELIVER_THREAD,     /* on a new thread, joined before returning */
    FAKE_CAMERA_DELIVER_ASYNC       /* on a new thread, not waited for; see JoinEventThreads */
};

/*
 * One call of an entry point, as the fake received it. Fields an entry point
 * does not have stay 0 / null.
 *   handle:   the camera handle (Close, GetDeviceInfo, GetErrorNumber,
 *             GetChangedProperty, Shoot, ReadImageInfo, ReadImage)
 *   value:    Init's value, Detect's first argument, Open's index,
 *             ReadImage's size
 *   value2:   Open's fourth argument
 *   pointer1: the first pointer argument (Detect's count, Open's handle
 *             location, the record of GetDeviceInfo / ReadImageInfo, the list,
 *             ReadImage's buffer, Shoot's out1, GetErrorNumber's second)
 *   pointer2: the second pointer argument (Shoot's out2, GetErrorNumber's third)
 *   callback: Open's callback
 *   in1, in2: GetErrorNumber only: what its second and third arguments
 *             pointed to when it was called (0 for a null pointer)
 *   result:   what the fake returned
 *   thread:   kernel id (gettid) of the calling thread
 */
typedef struct FakeCameraCall {
    int32_t entry;
    uint32_t handle;
    int64_t value;
    int32_t value2;
    const void *pointer1;
    const void *pointer2;
    CameraCallback callback;
    int64_t in1;
    int64_t in2;
    int32_t result;
    uint64_t thread;
} FakeCameraCall;

/* One delivery of an event to the callback. */
typedef struct FakeCameraEvent {
    int32_t context;
    int32_t event;
    int32_t delivered; /* 0 when no callback was registered: nothing was called */
    int32_t result;    /* the callback's result when delivered */
    uint64_t thread;   /* kernel id of the thread that called the callback */
} FakeCameraEvent;

typedef struct FakeCameraControl {
    /* Back to the defaults above; clears the call log, the event log, the
     * queued results and pictures and the registered callback. Waits for
     * event threads still running first. */
    void (*Reset)(void);

    /* --- results ----------------------------------------------------- */
    /* The result of every call of `entry` (a FakeCameraEntry). */
    void (*SetResult)(int32_t entry, int32_t result);
    /* A result for one later call of `entry`; queued results are used first,
     * oldest first. */
    void (*QueueResult)(int32_t entry, int32_t result);
    /* Non-zero: write the outputs (count, handle, records, bytes, list,
     * Shoot's outputs) even when returning -1. */
    void (*SetWriteOnFailure)(int32_t enabled);

    /* --- discovery and connection ------------------------------------ */
    /* The count VRX4K_Detect writes (any value, negative included). */
    void (*SetDetectCount)(int32_t count);
    /* The handle VRX4K_Open writes for `index` (0 allowed). */
    void (*SetOpenHandle)(int32_t index, uint32_t handle);
    /* The result of VRX4K_Open for `index`, e.g. -1 for a camera that cannot
     * be opened; a queued Open result still comes first. */
    void (*SetOpenResult)(int32_t index, int32_t result);
    /* The record VRX4K_GetDeviceInfo writes for the camera opened from
     * `index` (found by its handle): `size` bytes (at most 1825) from `bytes`
     * over an all-zero record. */
    void (*SetDeviceInfo)(int32_t index, const void *bytes, size_t size);
    /* The same with Name and Detail copied from NUL-terminated texts
     * (truncated to 512 and 31 bytes). */
    void (*SetDeviceTexts)(int32_t index, const char *name, const char *detail);

    /* --- errors ------------------------------------------------------ */
    /* The number VRX4K_GetErrorNumber writes to its third argument; written
     * whatever it returns (its result is set with SetResult). */
    void (*SetErrorNumber)(uint32_t number);
    /* When `enabled`, VRX4K_GetErrorNumber writes `value` to its second
     * argument too. */
    void (*SetErrorFirstValue)(int32_t enabled, int32_t value);

    /* --- shooting, pictures, properties ------------------------------ */
    /* Queues a picture. VRX4K_ReadImageInfo takes the oldest one: it writes
     * `type` and `reportedSize` (the first 32 bytes zero) and makes it the current
     * picture; VRX4K_ReadImage copies min(size, byteCount) of its `bytes`. */
    void (*QueueImage)(int32_t type, uint32_t reportedSize, const void *bytes, size_t byteCount);
    /* The bytes VRX4K_GetChangedProperty writes at the start of the list
     * (at most 8804; the rest of the caller's buffer is left alone). */
    void (*SetChangedPropertyBytes)(const void *bytes, size_t size);
    /* The same built from `count` entries (code, value) in the library's
     * layout; the 16-bit count written is `count`. */
    void (*SetChangedProperties)(uint16_t count, const uint32_t *codes, const uint32_t *values);

    /* --- the call log ------------------------------------------------ */
    size_t (*CallCount)(void);
    /* Copies call `index` (0 = first) into `call`; returns 0 when out of range. */
    int32_t (*GetCall)(size_t index, FakeCameraCall *call);
    /* How many calls `entry` received. */
    size_t (*CountCalls)(int32_t entry);
    void (*ClearCalls)(void);

    /* --- events ------------------------------------------------------ */
    /* Calls the callback of the last VRX4K_Open that passed one with
     * (context, event) as `delivery`
     * says (SYNC, THREAD or ASYNC). Returns 1 when a callback was there and,
     * for SYNC and THREAD, stores its result in `*result` (may be null). */
    int32_t (*FireEvent)(int32_t context, int32_t event, int32_t delivery, int32_t *result);
    /* Waits for every ASYNC delivery that is still running. */
    void (*JoinEventThreads)(void);
    /* The event log: every delivery attempt, in the order they finished. */
    size_t (*EventCount)(void);
    int32_t (*GetEvent)(size_t index, FakeCameraEvent *event);

    /* QueueImage with the first 32 bytes of CameraImageInfo (its Reserved
     * words) as given in `leading`, byte for byte, instead of zeros. */
    void (*QueueImageWithLeadingBytes)(int32_t type, uint32_t reportedSize, const void *leading,
                                       const void *bytes, size_t byteCount);
} FakeCameraControl;

/* The one symbol a test looks up (besides the eleven entry points). */
#define FAKE_CAMERA_CONTROL_SYMBOL "FakeCamera_GetControl"
typedef const FakeCameraControl *(*PfnFakeCamera_GetControl)(void);
const FakeCameraControl *FakeCamera_GetControl(void);

#ifdef __cplusplus
} /* extern "C" */
#endif

#endif /* TAVREN_FAKE_CAMERA_CONTROL_H */
