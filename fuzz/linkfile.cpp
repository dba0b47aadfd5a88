// Fuzzes the link-file reader and writes back whatever it read.
#include "links/LinkFile.h"
#include "util/Error.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    kestrix::LinkTree tree;
    kestrix::LinkNode* root = tree.AddRootNode("Image Links");
    try {
        kestrix::ReadLinkStream({reinterpret_cast<const char*>(data), size}, tree, root);
    } catch (const kestrix::Error&) {
    }
    (void)kestrix::WriteLinkTreeText(tree, root);
    return 0;
}
