#include "core/util/RuntimeModule.h"

#include "core/util/Error.h"

#include <cstdlib>
#include <dlfcn.h>
#include <filesystem>
#include <system_error>
#include <vector>

namespace kestrix {

namespace {

namespace fs = std::filesystem;

// Where a module may be, in order: the installed library folder beside the program's folder, the
// build's module folder, then the loader's own search (LD_LIBRARY_PATH, the system folders).
// The folders are named outright: a loader interposed by a tool (a sanitizer's) would not see
// the program's run path.
std::vector<std::string> candidates(const char* file) {
    std::vector<std::string> places;
    std::error_code error;
    const fs::path program = fs::read_symlink("/proc/self/exe", error);
    if (!error)
        places.push_back((program.parent_path() / KESTRIX_MODULE_FROM_BIN / file).string());
    places.push_back((fs::path(KESTRIX_MODULE_BUILD_DIR) / file).string());
    places.emplace_back(file);
    return places;
}

} // namespace

void throwModuleUnusable(const RuntimeModule& module, const std::string& reason) {
    throw Error(std::string(module.purpose) + " need Kestrix's module " + module.file +
                ", which could not be loaded: " + reason +
                ". Reinstall Kestrix, or install its libraries (Debian: apt install " +
                module.packages + ").");
}

void* loadModuleEntry(const RuntimeModule& module) {
    const char* chosen = std::getenv(module.overrideVariable);
    const std::vector<std::string> places = chosen != nullptr && *chosen != '\0'
                                                ? std::vector<std::string>{chosen}
                                                : candidates(module.file);
    // The reason given is the one of the first file that exists, which says what it lacks.
    std::string reason;
    for (const std::string& place : places) {
        // Never closed: objects the module makes may live until the program ends.
        if (void* handle = dlopen(place.c_str(), RTLD_NOW | RTLD_LOCAL)) {
            void* entry = dlsym(handle, module.entry);
            if (entry == nullptr)
                throwModuleUnusable(module, dlerror());
            return entry;
        }
        const std::string why = dlerror();
        std::error_code error;
        if (reason.empty() || (place != places.back() && fs::exists(place, error)))
            reason = why;
    }
    throwModuleUnusable(module, reason);
}

} // namespace kestrix
