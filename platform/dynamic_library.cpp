#include "dynamic_library.h"

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
    // A name without a slash makes dlopen use the loader's search order,
    // including the RUNPATH of the program this code is linked into.
    return dlopen(SharedObjectName(moduleName).c_str(), RTLD_NOW | RTLD_LOCAL);
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
