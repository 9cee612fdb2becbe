// LeakSanitizer reads these when the tests run under it: libgphoto2, its
// drivers and the virtual camera keep allocations for the life of the
// process (driver lists, the virtual card's file tree).
extern "C" const char *__lsan_default_suppressions()
{
    return "leak:libgphoto2.so\n"
           "leak:libgphoto2_port.so\n"
           "leak:libltdl.so\n"
           "leak:ptp2.so\n"
           "leak:vusb.so\n"
           "leak:libexif.so\n";
}
