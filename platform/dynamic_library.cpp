#include "platform/dynamic_library.h"

#include <cstdio>
#include <dlfcn.h>
#include <strings.h>

namespace platform {

std::string SharedObjectName(const std::string &moduleName)
{
    static constexpr char windowsSuffix[] = ".DLL";
    static constexpr size_t suffixLength = sizeof(windowsSuffix) - 1;
    std::string base = moduleName;
    if (base.size() > suffixLength
        && strcasecmp(base.c_str() + base.size() - suffixLength, windowsSuffix) == 0)
        base.resize(base.size() - suffixLength);
    return "lib" + base + ".so";
}

ModuleHandle LoadModule(const std::string &moduleName)
{
    // A name without a slash makes dlopen use the loader's search order and
    // nothing else: LD_LIBRARY_PATH, the RUNPATH of the program this code is
    // linked into, the system's folders. A library that is found but cannot
    // be loaded is a failed load, never a reason to try another copy.
    const std::string fileName = SharedObjectName(moduleName);
    ModuleHandle module = dlopen(fileName.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (module == nullptr) {
        // The one thing the program says when a library fails: the loader's reason.
        const char *reason = dlerror();
        std::fprintf(stderr, "tavren: cannot load %s: %s\n", fileName.c_str(),
                     reason != nullptr ? reason : "unknown reason");
    }
    return module;
}

void *FindEntryPoint(ModuleHandle module, const char *name)
{
    if (module == nullptr || name == nullptr)
        return nullptr;
    return dlsym(module, name);
}

void FreeModule(ModuleHandle module)
{
    if (module != nullptr)
        dlclose(module);
}

} // namespace platform
