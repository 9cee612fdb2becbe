/*
 * The decoder library's C contract: four entry points that decode a JPEG file
 * held in memory into a packed DIB.
 *
 * Statuses are 16-bit: 0 for success, any other value for failure. Handles
 * are 32-bit, 0 for none. The program loads the library at run time as
 * libExif.so.
 */
#ifndef TAVREN_EXIF_H
#define TAVREN_EXIF_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define EXIF_STATUS_OK 0

/* Filled by ExifGetImageSizeType. */
typedef struct ExifImageSize {
    uint32_t Width;  /* pixels */
    uint32_t Height; /* pixels */
    uint32_t Extra;  /* library-defined; the program never reads it */
} ExifImageSize;

/* Size of the BITMAPINFOHEADER that starts a decoded picture. */
#define EXIF_DIB_HEADER_SIZE 40

typedef uint16_t (*PfnExifMemOpen)(const uint8_t *data, uint32_t size, uint32_t *handle);
typedef uint16_t (*PfnExifGetImageSizeType)(uint32_t handle, ExifImageSize *size);
typedef uint16_t (*PfnExifReadImage)(uint32_t handle, uint8_t *buffer, uint32_t capacity);
typedef uint16_t (*PfnExifFileClose)(uint32_t handle);

uint16_t ExifMemOpen(const uint8_t *data, uint32_t size, uint32_t *handle);
uint16_t ExifGetImageSizeType(uint32_t handle, ExifImageSize *size);
uint16_t ExifReadImage(uint32_t handle, uint8_t *buffer, uint32_t capacity);
uint16_t ExifFileClose(uint32_t handle);

#ifdef __cplusplus
} /* extern "C" */
static_assert(sizeof(ExifImageSize) == 12);
#else
_Static_assert(sizeof(ExifImageSize) == 12, "ExifImageSize layout");
#endif

#endif /* TAVREN_EXIF_H */
