// Whole-file reads and crash-safe writes. A write goes to a temporary file in the target's folder
// and is renamed over the target only when complete, so a failed save never destroys the old file.
#pragma once

#include <string>
#include <string_view>

namespace kestrix {

// Reads a whole file; failure raises 'Cannot open file "PATH". REASON'.
std::string readFileBytes(const std::string& path);

// Writes `bytes` to a fresh temporary file beside `path` and returns its name; failure raises
// 'Cannot create file "PATH". REASON' and leaves nothing behind.
std::string writeTemporaryBeside(const std::string& path, std::string_view bytes);

// Renames a finished temporary file over `path`; failure removes the temporary file and raises
// 'Cannot create file "PATH". REASON'.
void commitTemporary(const std::string& temporary, const std::string& path);

// writeTemporaryBeside followed by commitTemporary.
void writeFileAtomically(const std::string& path, std::string_view bytes);

bool fileExists(const std::string& path);

// The reason text of the last failed system call (errno).
std::string systemErrorText(int errorNumber);

} // namespace kestrix
