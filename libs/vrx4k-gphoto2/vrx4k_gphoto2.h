/*
 * Numbers of the camera library over libgphoto2 (libs/vrx4k-gphoto2) that
 * go beyond the contract in vrx4kapi.h: what it writes
 * before Name in CameraDeviceInfo and in the first 32 bytes of CameraImageInfo, and
 * the meaning of the three property codes. docs/real-cameras.md explains them.
 */
#ifndef TAVREN_VRX4K_GPHOTO2_H
#define TAVREN_VRX4K_GPHOTO2_H

/* Error numbers 1 to 999 are libgphoto2's result codes without their sign:
 * error number n stands for gp_result_as_string(-n), e.g. 7 for GP_ERROR_IO,
 * 110 for GP_ERROR_CAMERA_BUSY. The library's own numbers, and the entry
 * point GetErrorNumber names (0 for the camera's own thread: a trigger, a
 * download, event handling), are those of every TAVREN camera library. */
#include "vrx4k-common/error_numbers.h"

/* CameraDeviceInfo before Name: a magic, then NUL-terminated texts. */
#define VRX4K_GP_DEVICE_MAGIC "VRXGPH01" /* 8 bytes, no NUL */
#define VRX4K_GP_DEVICE_TEXT_SIZE 64
#define VRX4K_GP_DEVICE_MODEL_OFFSET 64        /* model as libgphoto2 detected it */
#define VRX4K_GP_DEVICE_PORT_OFFSET 128        /* port, e.g. "usb:001,004" */
#define VRX4K_GP_DEVICE_MANUFACTURER_OFFSET 192 /* as the camera reports it */
#define VRX4K_GP_DEVICE_SERIAL_OFFSET 256
#define VRX4K_GP_DEVICE_VERSION_OFFSET 320     /* firmware / device version */
#define VRX4K_GP_DEVICE_LIBRARY_OFFSET 384     /* libgphoto2's version */

/* CameraImageInfo's first 32 bytes announce each picture as every TAVREN
 * camera library does (vrx4k-common/records.h): the extension of the file on
 * the camera, and a shot number shared by a raw file and its JPEG (the same
 * name but for the extension, one after the other). The picture's number and
 * the pictures still waiting go to the log (VRX4K_GPHOTO2_DEBUG). */

/* The three properties, reported when they change and all at connection. */
#define VRX4K_GP_PROPERTY_BATTERY 0x2004u         /* percent, 0 to 100 */
#define VRX4K_GP_PROPERTY_SHOTS_REMAINING 0x2008u /* pictures the card still takes */
#define VRX4K_GP_PROPERTY_ISO 0x2202u             /* ISO speed; 0 for automatic ISO */

#endif /* TAVREN_VRX4K_GPHOTO2_H */
