// The address bar's drop-down list: the address in use moves to the top.
#pragma once

#include <string>
#include <vector>

namespace kestrix {

// Looks `text` up in `list` ignoring letter case. Not found: it is inserted at the top. Found:
// that entry moves to the top and `text` becomes the entry as stored.
void pushAddressHistory(std::vector<std::string>& list, std::string& text);

} // namespace kestrix
