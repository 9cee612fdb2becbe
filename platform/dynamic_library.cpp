#include "dynamic_library.h"

#include <dlfcn.h>
#include <filesystem>
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
    const std::string fileName = SharedObjectName(moduleName);
    if (ModuleHandle module = dlopen(fileName.c_str(), RTLD_NOW | RTLD_LOCAL))
        return module;
    // Sanitizer runtimes call dlopen on the program's behalf, which hides its
    // RUNPATH ($ORIGIN); the program's own folder is the last place to look.
    std::error_code error;
    const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error)
        return nullptr;
    const std::filesystem::path besideProgram = program.parent_path() / fileName;
    return dlopen(besideProgram.c_str(), RTLD_NOW | RTLD_LOCAL);
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
