// Whole-file reads and crash-safe writes (see AtomicFile): a failed or killed save never
// destroys the old file and leaves nothing behind.
#pragma once

#include <string>
#include <string_view>

namespace kestrix {

// Reads a whole file; failure raises 'Cannot open file "PATH". REASON'.
std::string readFileBytes(const std::string& path);

// Puts `bytes` in place of the file `path` once they are all written and synced; failure raises
// 'Cannot create file "PATH". REASON' and leaves the old file as it was.
void writeFileAtomically(const std::string& path, std::string_view bytes);

// Raises 'Cannot create file "PATH". REASON' for the errno `err`.
[[noreturn]] void throwCreate(const std::string& path, int err);
// The same unless `err` is 0.
void throwIfFailed(int err, const std::string& path);

bool fileExists(const std::string& path);

// The reason text of the last failed system call (errno).
std::string systemErrorText(int errorNumber);

} // namespace kestrix
