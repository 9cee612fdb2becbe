/*
 * Numbers of the camera library over libgphoto2 (libs/vrx4k-gphoto2) that
 * go beyond the contract in vrx4kapi.h: its own error numbers, what it writes
 * before Name in CameraDeviceInfo and in words 0 to 7 of CameraImageInfo, and
 * the meaning of the three property codes. docs/real-cameras.md explains them.
 */
#ifndef TAVREN_VRX4K_GPHOTO2_H
#define TAVREN_VRX4K_GPHOTO2_H

/* Error numbers 1 to 999 are libgphoto2's result codes without their sign:
 * error number n stands for gp_result_as_string(-n), e.g. 7 for GP_ERROR_IO,
 * 110 for GP_ERROR_CAMERA_BUSY. The library's own numbers start at 0xB001. */
#define VRX4K_GP_ERROR_NOT_INITIALISED 0xB001u     /* a call before Init or after Exit */
#define VRX4K_GP_ERROR_BAD_ARGUMENT 0xB002u        /* null pointer, camera index out of range */
#define VRX4K_GP_ERROR_BAD_HANDLE 0xB003u          /* the handle names no open camera */
#define VRX4K_GP_ERROR_NO_IMAGE 0xB004u            /* ReadImageInfo with no picture waiting */
#define VRX4K_GP_ERROR_NOT_DESCRIBED 0xB005u       /* ReadImage with no picture described */
#define VRX4K_GP_ERROR_SIZE_MISMATCH 0xB006u       /* ReadImage size differs from ImageSize */
#define VRX4K_GP_ERROR_ALREADY_INITIALISED 0xB007u /* Init twice without Exit */
#define VRX4K_GP_ERROR_IN_CALLBACK 0xB008u         /* Exit from inside the callback */
#define VRX4K_GP_ERROR_OUT_OF_MEMORY 0xB009u       /* a picture or a record could not be allocated */
#define VRX4K_GP_ERROR_CLOSING 0xB00Au             /* the camera is being closed */
#define VRX4K_GP_ERROR_TOO_LARGE 0xB00Bu           /* a file of 4 GiB or more cannot be described */
#define VRX4K_GP_ERROR_BAD_SETTING 0xB00Cu         /* VRX4K_GPHOTO2_CONFIG could not be read or applied */

/* GetErrorNumber's second argument: the entry point that failed, 1 (Init) to
 * 11 (ReadImage) in the contract's order, or 0 for work the camera's own
 * thread did (a trigger, a download, event handling). */
#define VRX4K_GP_CALL_CAMERA_THREAD 0

/* CameraDeviceInfo before Name: a magic, then NUL-terminated texts. */
#define VRX4K_GP_DEVICE_MAGIC "VRXGPH01" /* 8 bytes, no NUL */
#define VRX4K_GP_DEVICE_TEXT_SIZE 64
#define VRX4K_GP_DEVICE_MODEL_OFFSET 64        /* model as libgphoto2 detected it */
#define VRX4K_GP_DEVICE_PORT_OFFSET 128        /* port, e.g. "usb:001,004" */
#define VRX4K_GP_DEVICE_MANUFACTURER_OFFSET 192 /* as the camera reports it */
#define VRX4K_GP_DEVICE_SERIAL_OFFSET 256
#define VRX4K_GP_DEVICE_VERSION_OFFSET 320     /* firmware / device version */
#define VRX4K_GP_DEVICE_LIBRARY_OFFSET 384     /* libgphoto2's version */

/* CameraImageInfo words 0 to 7 (the rest are 0). */
#define VRX4K_GP_INFO_NUMBER 0  /* picture number since the camera was opened, from 1 */
#define VRX4K_GP_INFO_WAITING 1 /* pictures still waiting after this one */

/* The three properties, reported when they change and all at connection. */
#define VRX4K_GP_PROPERTY_BATTERY 0x2004u         /* percent, 0 to 100 */
#define VRX4K_GP_PROPERTY_SHOTS_REMAINING 0x2008u /* pictures the card still takes */
#define VRX4K_GP_PROPERTY_ISO 0x2202u             /* ISO speed; 0 for automatic ISO */

#endif /* TAVREN_VRX4K_GPHOTO2_H */
