/*
 * Wraps the virtual camera's port driver so that a test can pull the cable:
 * while a file named "unplugged" exists in the working folder, every
 * transfer fails as it does when a USB camera has left the bus.
 * build_vusb.sh compiles vusb.c with its operations table renamed to
 * vusb_original_operations and links this file in front of it.
 */
#include <gphoto2/gphoto2-port-library.h>
#include <gphoto2/gphoto2-port-result.h>

#include <unistd.h>

GPPortOperations *vusb_original_operations(void);

static int (*original_read)(GPPort *, char *, int);
static int (*original_write)(GPPort *, const char *, int);
static int (*original_check_int)(GPPort *, char *, int, int);

static int unplugged(void)
{
    return access("unplugged", F_OK) == 0;
}

static int read_port(GPPort *port, char *bytes, int size)
{
    return unplugged() ? GP_ERROR_IO_USB_FIND : original_read(port, bytes, size);
}

static int write_port(GPPort *port, const char *bytes, int size)
{
    return unplugged() ? GP_ERROR_IO_USB_FIND : original_write(port, bytes, size);
}

static int check_int(GPPort *port, char *bytes, int size, int timeout)
{
    return unplugged() ? GP_ERROR_IO_USB_FIND : original_check_int(port, bytes, size, timeout);
}

GPPortOperations *gp_port_library_operations(void)
{
    GPPortOperations *operations = vusb_original_operations();
    if (!operations)
        return NULL;
    original_read = operations->read;
    original_write = operations->write;
    original_check_int = operations->check_int;
    operations->read = read_port;
    operations->write = write_port;
    operations->check_int = check_int;
    return operations;
}
