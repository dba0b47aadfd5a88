#include "core/util/Error.h"

namespace kestrix {

void throwStreamRead() {
    throw Error("Stream read error", ErrorKind::StreamRead);
}

} // namespace kestrix
