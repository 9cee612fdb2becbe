/*
 * The decoder library's C contract: four entry points that decode a JPEG file
 * held in memory into a packed DIB.
 *
 * Statuses are 16-bit: 0 for success, any other value for failure. Handles
 * are 32-bit, 0 for none; an unknown or closed handle gives a failure status.
 * The program loads the library at run time as libExif.so. Every entry point
 * may be called from any thread; distinct handles decode in parallel.
 *
 * Use: ExifMemOpen, ExifGetImageSizeType, allocate the picture buffer,
 * ExifReadImage, then ExifFileClose.
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
    uint32_t Width;  /* pixels, never 0 */
    uint32_t Height; /* pixels, never 0 */
    /* libExif.so: the chrominance subsampling as TurboJPEG numbers it
     * (0 4:4:4, 1 4:2:2, 2 4:2:0, 3 grey, 4 4:4:0, 5 4:1:1), 0xFFFFFFFF for
     * other sampling factors (decoded all the same). The program never
     * reads it. */
    uint32_t Extra;
} ExifImageSize;

/* Size of the BITMAPINFOHEADER that starts a decoded picture. */
#define EXIF_DIB_HEADER_SIZE 40

/*
 * The decoded picture: a BITMAPINFOHEADER (size 40, width, height, 1 plane,
 * 24 bits, BI_RGB, image size = row stride x height, 3780 pixels per metre,
 * no colour table), then the rows, 3 bytes per pixel in B, G, R order, each
 * row padded with zero bytes to a multiple of 4: stride = 3 x width + width
 * mod 4. libExif.so writes a negative height: the top row comes first.
 * The whole picture takes EXIF_DIB_HEADER_SIZE + stride x height bytes.
 */

typedef uint16_t (*PfnExifMemOpen)(const uint8_t *data, uint32_t size, uint32_t *handle);
typedef uint16_t (*PfnExifGetImageSizeType)(uint32_t handle, ExifImageSize *size);
typedef uint16_t (*PfnExifReadImage)(uint32_t handle, uint8_t *buffer, uint32_t capacity);
typedef uint16_t (*PfnExifFileClose)(uint32_t handle);

/*
 * Opens size bytes of a JPEG file for decoding and writes the new handle.
 * The bytes are not copied: they must stay unchanged until ExifFileClose.
 * Sets *handle to 0 first; on failure it stays 0 (another library may leave
 * it non-zero, so callers close whatever is non-zero). Fails for null
 * pointers, 0 bytes, bytes whose JPEG header cannot be read, CMYK/YCCK
 * pictures, and pictures whose decoded size exceeds 32 bits.
 */
uint16_t ExifMemOpen(const uint8_t *data, uint32_t size, uint32_t *handle);

/* Writes width, height and Extra. Fails for an unknown handle or null size. */
uint16_t ExifGetImageSizeType(uint32_t handle, ExifImageSize *size);

/*
 * Decodes the whole picture into buffer as described above. Fails, writing
 * nothing, when capacity is below the picture's size or the handle is
 * unknown. Compressed data that ends early or is damaged where a decoder can
 * carry on gives status 0 with the lost area grey, so that the picture is
 * still kept; data that cannot be decoded at all gives a failure, with the
 * buffer's content undefined but nothing written past capacity.
 */
uint16_t ExifReadImage(uint32_t handle, uint8_t *buffer, uint32_t capacity);

/* Releases the handle; it is unknown from then on. Fails for an unknown handle. */
uint16_t ExifFileClose(uint32_t handle);

#ifdef __cplusplus
} /* extern "C" */
static_assert(sizeof(ExifImageSize) == 12);
#else
_Static_assert(sizeof(ExifImageSize) == 12, "ExifImageSize layout");
#endif

#endif /* TAVREN_EXIF_H */
