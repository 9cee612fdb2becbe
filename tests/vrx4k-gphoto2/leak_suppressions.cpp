// LeakSanitizer reads these when the tests run under it. The virtual camera
// keeps its card's file tree and pending events in process-wide lists that
// it never frees.
extern "C" const char *__lsan_default_suppressions()
{
    return "leak:vusb.so\n";
}
