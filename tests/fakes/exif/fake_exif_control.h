/*
 * A scriptable stand-in for the decoder library, built as libExif.so into its
 * own folder: <build>/fakes/exif (CMake: ${TAVREN_FAKE_EXIF_DIR}); a variant
 * that lacks ExifReadImage goes to <build>/fakes/exif-partial
 * (${TAVREN_FAKE_EXIF_PARTIAL_DIR}). A test puts that folder first on
 * LD_LIBRARY_PATH (CTest ENVIRONMENT, one process per variant) and the real
 * binding loads the fake with dlopen. Keep such test programs out of
 * <build>/bin, where RUNPATH $ORIGIN would find the real libExif.so.
 *
 * The test reaches the fake through one exported symbol, FakeExif_GetControl,
 * which returns a table of control functions (look it up with dlsym on the
 * module the binding loaded, or on a dlopen of the same name, which keeps the
 * fake's state alive across the program's Unload). Every entry point and
 * control function is safe to call from any thread.
 *
 * Script defaults (after loading and after Reset):
 *   - ExifMemOpen returns 0 and writes handle 1 (openHandle);
 *   - ExifGetImageSizeType returns 0 and writes 4 x 2, Extra 0;
 *   - ExifReadImage returns 0 and writes a bottom-up 24-bit DIB of that size,
 *     every pixel (blue, green, red) = (0x20, 0x40, 0x80), padding bytes 0;
 *   - ExifFileClose returns 0.
 * Statuses come from the script; a failing ExifMemOpen still writes
 * openHandleOnFailure (0 by default), as some libraries do. A failing
 * ExifGetImageSizeType or ExifReadImage writes nothing. ExifReadImage with a
 * capacity below the picture's size returns FAKE_EXIF_CAPACITY_STATUS and
 * writes nothing, whatever the script says.
 */
#ifndef TAVREN_FAKE_EXIF_CONTROL_H
#define TAVREN_FAKE_EXIF_CONTROL_H

#include "exif.h"

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define FAKE_EXIF_CAPACITY_STATUS 0x7E57

/* The entry points, as numbered in the call log. */
enum FakeExifEntry {
    FAKE_EXIF_MEM_OPEN = 0,
    FAKE_EXIF_GET_IMAGE_SIZE_TYPE,
    FAKE_EXIF_READ_IMAGE,
    FAKE_EXIF_FILE_CLOSE,
};

typedef struct FakeExifScript {
    uint16_t openStatus;
    uint32_t openHandle;          /* written when openStatus is 0 */
    uint32_t openHandleOnFailure; /* written when openStatus is not 0 */
    uint16_t sizeStatus;
    uint32_t width;
    uint32_t height;
    uint32_t extra;
    uint16_t readStatus;
    int32_t topDown; /* non-zero: negative height, top row first */
    uint8_t blue, green, red;
    uint16_t closeStatus;
} FakeExifScript;

/* One call as the fake saw it. */
typedef struct FakeExifCall {
    int32_t entry;          /* FakeExifEntry */
    uint32_t handle;        /* argument; for ExifMemOpen the value written */
    const void *pointer;    /* ExifMemOpen: data; GetImageSizeType: record; ReadImage: buffer */
    uint32_t count;         /* ExifMemOpen: size; ExifReadImage: capacity */
    uint16_t status;        /* what the call returned */
} FakeExifCall;

typedef struct FakeExifControl {
    /* Restores the default script and empties the call log. */
    void (*Reset)(void);
    void (*GetScript)(FakeExifScript *script);
    void (*SetScript)(const FakeExifScript *script);
    /* Number of calls logged since the last Reset. */
    uint32_t (*CallCount)(void);
    /* Copies call number index (0 = oldest); returns 0 when there is none. */
    int32_t (*GetCall)(uint32_t index, FakeExifCall *call);
    /* Handles opened (status 0 or not, non-zero handle) and not yet closed. */
    uint32_t (*OpenHandleCount)(void);
} FakeExifControl;

typedef const FakeExifControl *(*PfnFakeExif_GetControl)(void);
const FakeExifControl *FakeExif_GetControl(void);

#ifdef __cplusplus
} /* extern "C" */
#endif

#endif /* TAVREN_FAKE_EXIF_CONTROL_H */
