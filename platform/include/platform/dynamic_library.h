#pragma once

#include <string>

namespace platform {

// A loaded shared library, as a plain handle: nullptr for none.
using ModuleHandle = void *;

// The shared object a Windows module name stands for: "NAME.DLL" -> "libNAME.so".
// A name without the ".DLL" suffix is taken as it stands, after the "lib" prefix.
std::string SharedObjectName(const std::string &moduleName);

// Loads a library by module name through the dynamic loader's own search order
// (LD_LIBRARY_PATH, the program's RUNPATH, the system's folders) and nowhere
// else, binding all symbols at once. Returns the handle, or nullptr when it
// cannot be found or loaded; the loader's reason then goes to standard error.
ModuleHandle LoadModule(const std::string &moduleName);

// The address of an exported symbol, or nullptr when the library lacks it.
void *FindEntryPoint(ModuleHandle module, const char *name);

// Releases a handle from LoadModule. nullptr is ignored.
void FreeModule(ModuleHandle module);

// Binds an exported function to a typed pointer; nullptr when missing.
template <typename Function>
Function FindFunction(ModuleHandle module, const char *name)
{
    return reinterpret_cast<Function>(FindEntryPoint(module, name));
}

} // namespace platform
