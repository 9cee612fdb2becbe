/*
 * What VRX4K_GetErrorNumber reports in TAVREN's own camera libraries (the
 * simulated cameras and the one over libgphoto2): the error number of a
 * camera's latest failure and the entry point that failed. The vendor
 * contract (vrx4kapi.h) leaves both open; docs/simulated-camera.md and
 * docs/real-cameras.md describe them for users.
 *
 * Numbers 1 to 999 come only from the real-camera library: libgphoto2's
 * result codes without their sign (n stands for gp_result_as_string(-n)).
 */
#ifndef TAVREN_VRX4K_COMMON_ERROR_NUMBERS_H
#define TAVREN_VRX4K_COMMON_ERROR_NUMBERS_H

#define VRX4K_ERROR_NOT_INITIALISED 0xA001u     /* a call before Init or after Exit */
#define VRX4K_ERROR_BAD_ARGUMENT 0xA002u        /* a required pointer is null, an index is out of range */
#define VRX4K_ERROR_BAD_HANDLE 0xA003u          /* the handle names no open camera */
#define VRX4K_ERROR_NO_IMAGE 0xA004u            /* ReadImageInfo with no picture waiting */
#define VRX4K_ERROR_NOT_DESCRIBED 0xA005u       /* ReadImage before ReadImageInfo described a picture */
#define VRX4K_ERROR_SIZE_MISMATCH 0xA006u       /* ReadImage size differs from the described ImageSize */
#define VRX4K_ERROR_TRANSFER_FAILED 0xA007u     /* the picture's transfer failed */
#define VRX4K_ERROR_SHOOT_FAILED 0xA008u        /* the shutter did not release */
#define VRX4K_ERROR_BUFFER_FULL 0xA009u         /* the camera's picture buffer is full */
#define VRX4K_ERROR_CARD_FULL 0xA00Au           /* no shots remain on the memory card */
#define VRX4K_ERROR_OPEN_FAILED 0xA00Bu         /* the camera does not answer */
#define VRX4K_ERROR_IN_USE 0xA00Cu              /* the camera already has a connection with a callback */
#define VRX4K_ERROR_ALREADY_INITIALISED 0xA00Du /* Init twice without Exit */
#define VRX4K_ERROR_BAD_CONFIGURATION 0xA00Eu   /* a setting from the environment could not be read or applied */
#define VRX4K_ERROR_IN_CALLBACK 0xA00Fu         /* Exit called from inside the event callback */
#define VRX4K_ERROR_INFO_FAILED 0xA010u         /* the picture's description could not be read */
#define VRX4K_ERROR_DETECT_FAILED 0xA011u       /* enumeration failed */
#define VRX4K_ERROR_INIT_FAILED 0xA012u         /* initialisation failed */
#define VRX4K_ERROR_OUT_OF_MEMORY 0xA013u       /* the library ran out of memory */
#define VRX4K_ERROR_CLOSING 0xA014u             /* the camera is being closed */
#define VRX4K_ERROR_TOO_LARGE 0xA015u           /* a file of 4 GiB or more cannot be described */
#define VRX4K_ERROR_NO_CARD 0xA016u             /* the camera has no memory card to shoot to */
#define VRX4K_ERROR_FOCUS_FAILED 0xA017u        /* the camera could not focus and did not release */
#define VRX4K_ERROR_CAMERA_BUSY 0xA018u         /* the camera stayed busy (writing, focusing, in a menu) */
#define VRX4K_ERROR_CAMERA_GONE 0xA019u         /* the camera left: unplugged, switched off, asleep */

/* GetErrorNumber's second argument: the entry point that failed, in the
 * contract's order, or 0 for work a library thread did on its own (a
 * trigger, a download, making a picture). */
enum Vrx4kCall {
    VRX4K_CALL_LIBRARY_THREAD = 0,
    VRX4K_CALL_INIT = 1,
    VRX4K_CALL_EXIT,
    VRX4K_CALL_DETECT,
    VRX4K_CALL_OPEN,
    VRX4K_CALL_CLOSE,
    VRX4K_CALL_GET_DEVICE_INFO,
    VRX4K_CALL_GET_ERROR_NUMBER,
    VRX4K_CALL_GET_CHANGED_PROPERTY,
    VRX4K_CALL_SHOOT,
    VRX4K_CALL_READ_IMAGE_INFO,
    VRX4K_CALL_READ_IMAGE,
    VRX4K_CALL_END /* one past the last entry point */
};

#endif /* TAVREN_VRX4K_COMMON_ERROR_NUMBERS_H */
