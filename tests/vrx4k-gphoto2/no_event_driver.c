/*
 * A camera driver that cannot wait for events, as some of libgphoto2's
 * drivers cannot: libgphoto2's PTP driver with its event waiting taken away,
 * so that gp_camera_wait_for_event answers GP_ERROR_NOT_SUPPORTED.
 * build_vusb.sh builds it, with PTP2_DRIVER set to the real driver's file,
 * into a camera driver folder of its own.
 */
#include <gphoto2/gphoto2-camera.h>
#include <gphoto2/gphoto2-library.h>
#include <gphoto2/gphoto2-result.h>

#include <dlfcn.h>

static void *driver_symbol(const char *name)
{
    static void *driver;
    if (!driver)
        driver = dlopen(PTP2_DRIVER, RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
    return driver ? dlsym(driver, name) : NULL;
}

int camera_id(CameraText *id)
{
    int (*id_function)(CameraText *) = (int (*)(CameraText *))driver_symbol("camera_id");
    return id_function ? id_function(id) : GP_ERROR_LIBRARY;
}

int camera_abilities(CameraAbilitiesList *list)
{
    int (*abilities)(CameraAbilitiesList *) = (int (*)(CameraAbilitiesList *))driver_symbol("camera_abilities");
    return abilities ? abilities(list) : GP_ERROR_LIBRARY;
}

int camera_init(Camera *camera, GPContext *context)
{
    int (*init)(Camera *, GPContext *) = (int (*)(Camera *, GPContext *))driver_symbol("camera_init");
    int result = init ? init(camera, context) : GP_ERROR_LIBRARY;
    if (result >= GP_OK)
        camera->functions->wait_for_event = NULL;
    return result;
}
