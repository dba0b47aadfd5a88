// Core code that waits (a fetch, a playback pass) keeps the user interface alive by calling a
// pump between short waits; the GUI's pump handles pending events, the command line's does
// nothing.
#pragma once

#include <functional>

namespace kestrix {

using Pump = std::function<void()>;

} // namespace kestrix
