#include "cli/PictureOutput.h"

namespace kestrix::cli {

void addQualityOption(CLI::App& command, int& quality) {
    command.add_option("--quality", quality, "JPEG quality from 1 (smallest) to 100 (best)")
        ->default_val(kDefaultJpegQuality)
        ->check(CLI::Range(1, 100));
}

} // namespace kestrix::cli
