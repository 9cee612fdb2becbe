/* A library that the unloadable camera library needs and that is never on the
   loader's search path when the test runs. */
int tavren_vanishing_dependency(void);

int tavren_vanishing_dependency(void)
{
    return 1;
}
