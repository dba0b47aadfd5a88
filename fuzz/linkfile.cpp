// Fuzzes the link-file reader and writes back whatever it read.
#include "core/links/LinkFile.h"

#include "core/util/Error.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    kestrix::LinkTree tree;
    kestrix::LinkNode* root = tree.addRootNode("Image Links");
    try {
        kestrix::readLinkStream({reinterpret_cast<const char*>(data), size}, tree, root);
    } catch (const kestrix::Error&) {
    }
    (void)kestrix::writeLinkTreeText(tree, root);
    return 0;
}
