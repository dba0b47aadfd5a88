#include "core/util/RuntimeModule.h"

#include "core/util/Error.h"

#include <cstdlib>
#include <dlfcn.h>

namespace kestrix {

void throwModuleUnusable(const RuntimeModule& module, const std::string& reason) {
    throw Error(std::string(module.purpose) + " need Kestrix's module " + module.file +
                ", which could not be loaded: " + reason +
                ". Reinstall Kestrix, or install its libraries (Debian: apt install " +
                module.packages + ").");
}

void* loadModuleEntry(const RuntimeModule& module) {
    const char* chosen = std::getenv(module.overrideVariable);
    const char* file = chosen != nullptr && *chosen != '\0' ? chosen : module.file;
    // Never closed: objects the module makes may live until the program ends.
    void* handle = dlopen(file, RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr)
        throwModuleUnusable(module, dlerror());
    void* entry = dlsym(handle, module.entry);
    if (entry == nullptr)
        throwModuleUnusable(module, dlerror());
    return entry;
}

} // namespace kestrix
