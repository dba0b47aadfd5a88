// kestrix-cli decode: decodes a file exactly as a fetched body and writes the image (and, for a
// GIF, every composited frame) in the format the output's name asks for.
#include "cli/CliCommand.h"
#include "cli/PictureOutput.h"
#include "core/decode/ImageDecoder.h"
#include "core/frames/BitmapList.h"
#include "core/util/FileIO.h"
#include "core/util/Text.h"

#include <filesystem>
#include <memory>
#include <optional>

namespace kestrix::cli {

namespace {

struct DecodeOptions {
    std::string input, output, prefix;
    std::optional<std::string> address;
    int quality = kDefaultJpegQuality;
};

void defineDecode(CLI::App& command) {
    command.description("Decodes a file exactly as a fetched body and writes the picture.");
    auto o = std::make_shared<DecodeOptions>();
    command.add_option("IN", o->input, "File to decode (BMP, GIF, JPEG or PNG)")->required();
    command.add_option("OUT", o->output, "Picture to write: .bmp, .png or .jpg")->required();
    command.add_option("--frames", o->prefix,
                       "Also write every GIF frame as PREFIX0000.EXT, PREFIX0001.EXT, ... (EXT "
                       "as OUT's)");
    command.add_option("--address", o->address,
                       "Address the body is taken to come from; its extension decides the kind "
                       "when the bytes do not (default: IN's file name)");
    addQualityOption(command, o->quality);
    addExample(command, "kestrix-cli decode radar.gif radar.png --frames radar-");
    onRun(command, [o] {
        const ImageFileType type = imageFileTypeFor(o->output);
        const std::string address =
            o->address.value_or(std::filesystem::path(o->input).filename().string());
        const std::string body = readFileBytes(o->input);
        Bitmap bitmap;
        BitmapList frames;
        decodeImage(body, address, bitmap, &frames, true);
        saveImageFile(bitmap, o->output, type, o->quality);
        const std::string extension = std::filesystem::path(o->output).extension().string();
        if (!o->prefix.empty())
            for (int32_t i = 0; i < frames.count(); ++i)
                saveImageFile(*frames.get(i), o->prefix + strPrintf("%04d", i) + extension, type,
                              o->quality);
        return 0;
    });
}

const Registration kDecodeRegistration({"decode", defineDecode});

} // namespace

} // namespace kestrix::cli
