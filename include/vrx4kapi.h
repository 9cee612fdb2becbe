/*
 * The camera library's C contract: eleven entry points, the event callback,
 * the records the library fills and the codes found in them.
 *
 * Every entry point uses the platform's C calling convention, takes 32-bit
 * integers and returns a 32-bit signed result: -1 for failure, anything else
 * for success. After a failure on an opened camera, VRX4K_GetErrorNumber
 * gives the library's error number for that camera.
 *
 * The program loads the library at run time as libVRX4KAPI.so, so any
 * library that exports these names with these types can stand in for it.
 */
#ifndef TAVREN_VRX4KAPI_H
#define TAVREN_VRX4KAPI_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Result of every entry point that failed. */
#define VRX4K_FAILURE (-1)

/* The error number the program uses when the library gave none. */
#define CAMERA_ERROR_UNKNOWN 37120u /* 0x9100 */

/* Image type codes (CameraImageInfo.ImageType). */
#define CAMERA_IMAGE_RAW 1
#define CAMERA_IMAGE_JPEG 2
#define CAMERA_IMAGE_JPEG_ALT 3 /* handled exactly like CAMERA_IMAGE_JPEG */
#define CAMERA_IMAGE_NONE 5

/* Event codes passed as the callback's second argument. */
#define CAMERA_EVENT_IMAGE_READY 1
#define CAMERA_EVENT_PROPERTY_CHANGED 2

/* Property codes the program keeps the latest value of. */
#define CAMERA_PROPERTY_2004 0x2004 /* 8196 */
#define CAMERA_PROPERTY_2008 0x2008 /* 8200 */
#define CAMERA_PROPERTY_2202 0x2202 /* 8706 */

/*
 * The event callback. The library may call it from a thread of its own.
 * context: a value the program does not use; event: one of CAMERA_EVENT_*.
 */
typedef int32_t (*CameraCallback)(int32_t context, int32_t event);

#pragma pack(push, 1)

/* Filled by VRX4K_GetDeviceInfo. Texts are 8-bit and NUL-terminated within
 * their field when the library behaves; readers never go past the field. */
typedef struct CameraDeviceInfo {
    uint8_t Reserved[1280]; /* the library's own; the program never reads it */
    char Name[513];
    char Detail[32];
} CameraDeviceInfo;

/* Filled by VRX4K_ReadImageInfo for the oldest picture waiting. Reserved
 * belongs to the library. TAVREN's own camera libraries announce the picture
 * there, and the program honours a complete, valid announcement only: bytes
 * 0-3 "TVRN"; 4-11 the picture's file extension as the camera names it, 1 to
 * 8 ASCII letters or digits, NUL-padded (all NUL: none); 12-15 the shot
 * number, little-endian, shared by a raw file and its JPEG (0: unknown);
 * 16-31 zero. The program zeroes the record before each call, so a library
 * that writes nothing there announces nothing. */
typedef struct CameraImageInfo {
    uint32_t Reserved[8]; /* the library's own; see above */
    int32_t ImageType;    /* CAMERA_IMAGE_* or any other code */
    uint32_t ImageSize;   /* bytes */
} CameraImageInfo;

#pragma pack(pop)

/*
 * The changed-property list, filled by VRX4K_GetChangedProperty into a buffer
 * of CHANGED_PROPERTY_LIST_SIZE bytes: a little-endian 16-bit count, then that
 * many entries, each a 32-bit code followed by a 32-bit value. The entries
 * start at offset 2, so they are not aligned: read them byte by byte.
 */
#define CHANGED_PROPERTY_LIST_SIZE 8804
#define CHANGED_PROPERTY_COUNT_SIZE 2
#define CHANGED_PROPERTY_ENTRY_SIZE 8
#define CHANGED_PROPERTY_MAX_ENTRIES \
    ((CHANGED_PROPERTY_LIST_SIZE - CHANGED_PROPERTY_COUNT_SIZE) / CHANGED_PROPERTY_ENTRY_SIZE)

/* The eleven entry points, as function pointer types for run-time binding. */
typedef int32_t (*PfnVRX4K_Init)(int32_t value);
typedef int32_t (*PfnVRX4K_Exit)(void);
typedef int32_t (*PfnVRX4K_Detect)(int32_t value, int32_t *count);
typedef int32_t (*PfnVRX4K_Open)(int32_t index, uint32_t *handle, CameraCallback callback, int32_t value);
typedef int32_t (*PfnVRX4K_Close)(uint32_t handle);
typedef int32_t (*PfnVRX4K_GetDeviceInfo)(uint32_t handle, CameraDeviceInfo *info);
typedef int32_t (*PfnVRX4K_GetErrorNumber)(uint32_t handle, int32_t *failedResult, uint32_t *errorNumber);
typedef int32_t (*PfnVRX4K_GetChangedProperty)(uint32_t handle, uint8_t *list);
typedef int32_t (*PfnVRX4K_Shoot)(uint32_t handle, int32_t *out1, int32_t *out2);
typedef int32_t (*PfnVRX4K_ReadImageInfo)(uint32_t handle, CameraImageInfo *info);
typedef int32_t (*PfnVRX4K_ReadImage)(uint32_t handle, uint8_t *buffer, uint32_t size);

/* Declarations for libraries that implement the contract. */
int32_t VRX4K_Init(int32_t value);
int32_t VRX4K_Exit(void);
int32_t VRX4K_Detect(int32_t value, int32_t *count);
int32_t VRX4K_Open(int32_t index, uint32_t *handle, CameraCallback callback, int32_t value);
int32_t VRX4K_Close(uint32_t handle);
int32_t VRX4K_GetDeviceInfo(uint32_t handle, CameraDeviceInfo *info);
int32_t VRX4K_GetErrorNumber(uint32_t handle, int32_t *failedResult, uint32_t *errorNumber);
int32_t VRX4K_GetChangedProperty(uint32_t handle, uint8_t *list);
int32_t VRX4K_Shoot(uint32_t handle, int32_t *out1, int32_t *out2);
int32_t VRX4K_ReadImageInfo(uint32_t handle, CameraImageInfo *info);
int32_t VRX4K_ReadImage(uint32_t handle, uint8_t *buffer, uint32_t size);

#ifdef __cplusplus
} /* extern "C" */

static_assert(sizeof(CameraDeviceInfo) == 1825);
static_assert(offsetof(CameraDeviceInfo, Name) == 1280);
static_assert(offsetof(CameraDeviceInfo, Detail) == 1793);
static_assert(sizeof(CameraImageInfo) == 40);
static_assert(offsetof(CameraImageInfo, ImageType) == 32);
static_assert(offsetof(CameraImageInfo, ImageSize) == 36);
static_assert(CHANGED_PROPERTY_MAX_ENTRIES == 1100);
#else
_Static_assert(sizeof(CameraDeviceInfo) == 1825, "CameraDeviceInfo layout");
_Static_assert(offsetof(CameraDeviceInfo, Name) == 1280, "CameraDeviceInfo layout");
_Static_assert(offsetof(CameraDeviceInfo, Detail) == 1793, "CameraDeviceInfo layout");
_Static_assert(sizeof(CameraImageInfo) == 40, "CameraImageInfo layout");
_Static_assert(offsetof(CameraImageInfo, ImageType) == 32, "CameraImageInfo layout");
_Static_assert(offsetof(CameraImageInfo, ImageSize) == 36, "CameraImageInfo layout");
#endif

#endif /* TAVREN_VRX4KAPI_H */
