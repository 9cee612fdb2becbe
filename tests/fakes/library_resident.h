#pragma once

#include <dlfcn.h>

// True while a library of that file name is loaded in this process, asked
// without loading it.
inline bool LibraryResident(const char *fileName)
{
    void *module = dlopen(fileName, RTLD_NOW | RTLD_NOLOAD);
    if (module == nullptr)
        return false;
    dlclose(module);
    return true;
}
