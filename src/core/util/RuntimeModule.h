// Parts of Kestrix that need large libraries (FFmpeg for movies, OpenSSL for https, an HTTP
// server for the watch's status page) are modules of their own, opened the first time they are
// needed, so that starting a program maps none of those libraries. They are looked for in the
// library folder beside the installed program, then in the build's module folder.
#pragma once

#include <string>

namespace kestrix {

struct RuntimeModule {
    // The file, such as "libkestrix_movie.so".
    const char* file;
    // The exported function to look up.
    const char* entry;
    // An environment variable that, when set, names the module file instead.
    const char* overrideVariable;
    // What needs it, for the error: "Movies".
    const char* purpose;
    // The Debian packages of the libraries it needs, for the error.
    const char* packages;
};

// Opens the module (it stays loaded) and answers its entry. Raises "PURPOSE need Kestrix's
// module FILE, which could not be loaded: REASON. Reinstall Kestrix, or install its libraries
// (Debian: apt install PACKAGES)." when the file or the entry is missing.
void* loadModuleEntry(const RuntimeModule& module);

// The same error, for a module that answered but belongs to another build.
[[noreturn]] void throwModuleUnusable(const RuntimeModule& module, const std::string& reason);

} // namespace kestrix
