/*
 * Wraps the virtual camera's port driver so that a test can pull the cable:
 * while a file named "unplugged" exists in the working folder, every
 * transfer fails as it does when a USB camera has left the bus. A file
 * named "failed_downloads" holding a number fails that many PTP GetObject
 * requests with an I/O error, as a transfer cut short by the cable does.
 * build_vusb.sh compiles vusb.c with its operations table renamed to
 * vusb_original_operations and links this file in front of it.
 */
#include <gphoto2/gphoto2-port-library.h>
#include <gphoto2/gphoto2-port-result.h>

#include <stdio.h>
#include <unistd.h>

GPPortOperations *vusb_original_operations(void);

static int (*original_read)(GPPort *, char *, int);
static int (*original_write)(GPPort *, const char *, int);
static int (*original_check_int)(GPPort *, char *, int, int);

static int unplugged(void)
{
    return access("unplugged", F_OK) == 0;
}

/* Whether this write is a GetObject request to fail; counts it down. */
static int failed_download(const char *bytes, int size)
{
    const unsigned char *container = (const unsigned char *)bytes;
    int left = 0;
    FILE *file;
    /* A command container: length (4), type 1 (2), operation 0x1009 (2). */
    if (size < 8 || container[4] != 1 || container[5] != 0 || container[6] != 0x09 || container[7] != 0x10)
        return 0;
    file = fopen("failed_downloads", "r+");
    if (!file)
        return 0;
    if (fscanf(file, "%d", &left) != 1 || left <= 0) {
        fclose(file);
        return 0;
    }
    rewind(file);
    fprintf(file, "%d\n", left - 1);
    fclose(file);
    return 1;
}

static int read_port(GPPort *port, char *bytes, int size)
{
    return unplugged() ? GP_ERROR_IO_USB_FIND : original_read(port, bytes, size);
}

static int write_port(GPPort *port, const char *bytes, int size)
{
    if (unplugged())
        return GP_ERROR_IO_USB_FIND;
    if (failed_download(bytes, size)) {
        /* The camera takes the request and answers at once; its answer is
         * lost, so both ends have counted the transaction. */
        char answer[65536];
        original_write(port, bytes, size);
        while (original_read(port, answer, sizeof answer) > 0) {
        }
        return GP_ERROR_IO;
    }
    return original_write(port, bytes, size);
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
