// kestrix-cli adjust: brightness, contrast and gamma, as the track bars set them, applied to an
// image decoded as the loader would.
#include "cli/CliCommand.h"
#include "cli/CliInputs.h"
#include "core/decode/ImageDecoder.h"
#include "core/image/BmpCodec.h"
#include "core/tools/BCG.h"
#include "core/util/Error.h"
#include "core/util/FileIO.h"
#include "core/util/Text.h"

#include <filesystem>

namespace kestrix::cli {

namespace {

int runAdjust(const Args& args) {
    const Command& self = findCommand("adjust");
    std::vector<std::string> files;
    int position[3] = {50, 50, 50};
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        const int which = a == "--brightness" ? 0 : a == "--contrast" ? 1 : a == "--gamma" ? 2 : -1;
        if (which >= 0 && i + 1 < args.size()) {
            position[which] = strToInt(args[++i]);
            if (position[which] < 0 || position[which] > 100)
                throw Error(a + " takes a position from 0 to 100");
        } else {
            files.push_back(a);
        }
    }
    if (files.size() != 2)
        usageError(self);
    Bitmap image = readInputImage(files[0]);
    Bitmap adjusted;
    applyBcg(image, adjusted, position[0] / 100.0, position[1] / 100.0, position[2] / 100.0);
    saveBmpFile(adjusted, files[1]);
    return 0;
}

const Registration kRegistration({"adjust",
                                  "adjust IN OUT.bmp [--brightness P] [--contrast P] [--gamma P]",
                                  runAdjust});

} // namespace

} // namespace kestrix::cli
