/*
 * What the simulated camera library (libVRX4KAPI.so) puts into the contract's
 * open fields: the meaning of the property codes, the
 * description block before CameraDeviceInfo.Name, the words of
 * CameraImageInfo and the layout of its raw files. docs/simulated-camera.md
 * describes the same in prose; programs and tests may include this header.
 */
#ifndef TAVREN_VRX4K_SIM_H
#define TAVREN_VRX4K_SIM_H

#include <stdint.h>

/* Error numbers and failed-call numbers: vrx4k-common/error_numbers.h,
 * shared with the real-camera library. */
#include "vrx4k-common/error_numbers.h"

/* Property codes reported with CAMERA_EVENT_PROPERTY_CHANGED. */
#define VRX4K_SIM_PROPERTY_BATTERY 0x2004u         /* 8196: battery level, percent 0-100 */
#define VRX4K_SIM_PROPERTY_SHOTS_REMAINING 0x2008u /* 8200: shots that still fit on the card */
#define VRX4K_SIM_PROPERTY_ISO 0x2202u             /* 8706: ISO sensitivity of the latest shot */
#define VRX4K_SIM_PROPERTY_SHUTTER_COUNT 0x2210u   /* 8720: shutter releases since Init */

/* CameraImageInfo's first 32 bytes announce each picture as every TAVREN
 * camera library does (vrx4k-common/records.h): extension "RWQ" for a raw
 * file, "JPG" otherwise, and the shot number on this camera, from 1, shared
 * by the raw file and the JPEG of a raw+JPEG shot. The picture's part number,
 * size, capture time, ISO and the pictures still waiting are in the call log. */

/* The description block at the start of CameraDeviceInfo (bytes 0 to 1279).
 * Integers are little-endian; texts are NUL-padded. Unused bytes are zero. */
#define VRX4K_SIM_DEVICE_MAGIC "VRXDEV01"     /* offset 0, 8 bytes, no NUL */
#define VRX4K_SIM_DEVICE_VERSION_OFFSET 8     /* u32, 1 */
#define VRX4K_SIM_DEVICE_INDEX_OFFSET 12      /* u32, camera index */
#define VRX4K_SIM_DEVICE_FORMATS_OFFSET 16    /* u32, bit 0 JPEG, bit 1 raw, bit 2 raw+JPEG */
#define VRX4K_SIM_DEVICE_WIDTH_OFFSET 20      /* u32, picture width */
#define VRX4K_SIM_DEVICE_HEIGHT_OFFSET 24     /* u32, picture height */
#define VRX4K_SIM_DEVICE_BATTERY_OFFSET 28    /* u32, percent */
#define VRX4K_SIM_DEVICE_REMAINING_OFFSET 32  /* u32, shots remaining */
#define VRX4K_SIM_DEVICE_ISO_OFFSET 36        /* u32 */
#define VRX4K_SIM_DEVICE_SHUTTER_OFFSET 40    /* u32, shutter count */
#define VRX4K_SIM_DEVICE_VENDOR_OFFSET 64     /* 32 bytes */
#define VRX4K_SIM_DEVICE_MODEL_OFFSET 96      /* 32 bytes */
#define VRX4K_SIM_DEVICE_SERIAL_OFFSET 128    /* 32 bytes */
#define VRX4K_SIM_DEVICE_FIRMWARE_OFFSET 160  /* 32 bytes */
#define VRX4K_SIM_DEVICE_PORT_OFFSET 192      /* 64 bytes */
#define VRX4K_SIM_DEVICE_TEXT_SIZE 32

/* Raw files (type 1): a 128-byte header, then the sensor rows. Integers are
 * little-endian. Each row holds width 12-bit samples of an RGGB mosaic, two
 * samples in three bytes: byte 0 = a bits 0-7, byte 1 = a bits 8-11 in its
 * low nibble and b bits 0-3 in its high nibble, byte 2 = b bits 4-11. An odd
 * last sample takes two bytes. Rows are RAW_STRIDE bytes apart. */
#define VRX4K_SIM_RAW_MAGIC "VRX4KRAW"        /* offset 0, 8 bytes */
#define VRX4K_SIM_RAW_HEADER_SIZE 128
#define VRX4K_SIM_RAW_HEADER_SIZE_OFFSET 8    /* u32, 128 */
#define VRX4K_SIM_RAW_VERSION_OFFSET 12       /* u32, 1 */
#define VRX4K_SIM_RAW_WIDTH_OFFSET 16         /* u32 */
#define VRX4K_SIM_RAW_HEIGHT_OFFSET 20        /* u32 */
#define VRX4K_SIM_RAW_BITS_OFFSET 24          /* u32, 12 */
#define VRX4K_SIM_RAW_STRIDE_OFFSET 28        /* u32, (width * 3 + 1) / 2 */
#define VRX4K_SIM_RAW_CFA_OFFSET 32           /* u32, 0 = RGGB */
#define VRX4K_SIM_RAW_BLACK_OFFSET 36         /* u32 */
#define VRX4K_SIM_RAW_WHITE_OFFSET 40         /* u32 */
#define VRX4K_SIM_RAW_ISO_OFFSET 44           /* u32 */
#define VRX4K_SIM_RAW_SHOT_OFFSET 48          /* u32 */
#define VRX4K_SIM_RAW_TIME_MS_OFFSET 56       /* u64, capture time, ms since 1970 (UTC) */
#define VRX4K_SIM_RAW_MODEL_OFFSET 64         /* 32 bytes */
#define VRX4K_SIM_RAW_SERIAL_OFFSET 96        /* 32 bytes */
#define VRX4K_SIM_RAW_BLACK_LEVEL 256
#define VRX4K_SIM_RAW_WHITE_LEVEL 4095

#endif /* TAVREN_VRX4K_SIM_H */
