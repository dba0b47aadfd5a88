// JPEG files through libjpeg. Library errors longjmp back to the one frame that called the
// library; that frame holds no objects with destructors.
#include "core/image/ImageFile.h"
#include "core/util/AtomicFile.h"
#include "core/util/Error.h"
#include "core/util/FileIO.h"

#include <algorithm>
#include <array>
#include <csetjmp>
#include <cstdio>
#include <jpeglib.h>
// After jpeglib.h, which it needs.
#include <jerror.h>
#include <memory>
#include <string>
#include <vector>

namespace kestrix {

namespace {

struct JpegOutput {
    jpeg_error_mgr errors;
    std::jmp_buf jump;
    std::array<char, JMSG_LENGTH_MAX> message;
    jpeg_destination_mgr destination;
    // Where the bytes go: a file, or memory.
    PieceWriter* pieces = nullptr;
    std::string* memory = nullptr;
    std::array<JOCTET, 64 * 1024> buffer;
};

JpegOutput& outputOf(j_common_ptr cinfo) {
    return *reinterpret_cast<JpegOutput*>(cinfo->err);
}

[[noreturn]] void onJpegError(j_common_ptr cinfo) {
    JpegOutput& out = outputOf(cinfo);
    cinfo->err->format_message(cinfo, out.message.data());
    std::longjmp(out.jump, 1);
}

void onJpegMessage(j_common_ptr) {}

void startDestination(j_compress_ptr cinfo) {
    JpegOutput& out = outputOf(reinterpret_cast<j_common_ptr>(cinfo));
    out.destination.next_output_byte = out.buffer.data();
    out.destination.free_in_buffer = out.buffer.size();
}

// Hands `size` bytes of the buffer on; false when they could not be taken. Never throws: it runs
// inside libjpeg.
bool handOn(JpegOutput& out, size_t size) noexcept {
    if (out.memory) {
        try {
            out.memory->append(reinterpret_cast<const char*>(out.buffer.data()), size);
        } catch (...) {
            return false;
        }
        return true;
    }
    out.pieces->append(out.buffer.data(), size);
    return out.pieces->error() == 0;
}

boolean emptyDestination(j_compress_ptr cinfo) {
    JpegOutput& out = outputOf(reinterpret_cast<j_common_ptr>(cinfo));
    if (!handOn(out, out.buffer.size()))
        ERREXIT(cinfo, JERR_FILE_WRITE);
    startDestination(cinfo);
    return TRUE;
}

void endDestination(j_compress_ptr cinfo) {
    JpegOutput& out = outputOf(reinterpret_cast<j_common_ptr>(cinfo));
    if (!handOn(out, out.buffer.size() - out.destination.free_in_buffer))
        ERREXIT(cinfo, JERR_FILE_WRITE);
}

std::unique_ptr<JpegOutput> jpegOutput(jpeg_compress_struct& cinfo) {
    auto out = std::make_unique<JpegOutput>();
    cinfo.err = jpeg_std_error(&out->errors);
    out->errors.error_exit = onJpegError;
    out->errors.output_message = onJpegMessage;
    out->destination.init_destination = startDestination;
    out->destination.empty_output_buffer = emptyDestination;
    out->destination.term_destination = endDestination;
    return out;
}

void checkJpegSize(const Bitmap& bitmap) {
    checkImageSize(bitmap.width(), bitmap.height());
    if (bitmap.width() > JPEG_MAX_DIMENSION || bitmap.height() > JPEG_MAX_DIMENSION)
        throw Error("A JPEG file holds at most " + std::to_string(JPEG_MAX_DIMENSION) +
                    " pixels per side");
}

// Answers false when libjpeg failed; the reason is in out.message.
bool compressJpeg(JpegOutput& out, jpeg_compress_struct& cinfo, const Bitmap& bitmap, int quality,
                  uint8_t* row) {
    if (setjmp(out.jump)) {
        jpeg_destroy_compress(&cinfo);
        return false;
    }
    jpeg_create_compress(&cinfo);
    cinfo.dest = &out.destination;
    cinfo.image_width = static_cast<JDIMENSION>(bitmap.width());
    cinfo.image_height = static_cast<JDIMENSION>(bitmap.height());
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_EXT_BGR;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    const bool direct = bitmap.pixelFormat() == PixelFormat::Bit24;
    while (cinfo.next_scanline < cinfo.image_height) {
        const int y = static_cast<int>(cinfo.next_scanline);
        if (!direct)
            bitmap.readRow24(y, row);
        // libjpeg reads rows through non-const pointers but never writes to them.
        JSAMPROW rows[1] = {direct ? const_cast<uint8_t*>(bitmap.scanLine(y)) : row};
        jpeg_write_scanlines(&cinfo, rows, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    return true;
}

} // namespace

std::string encodeJpeg(const Bitmap& bitmap, int quality) {
    checkJpegSize(bitmap);
    std::vector<uint8_t> row(static_cast<size_t>(bitmap.width()) * 3);
    std::string bytes;
    jpeg_compress_struct cinfo{};
    auto out = jpegOutput(cinfo);
    out->memory = &bytes;
    if (!compressJpeg(*out, cinfo, bitmap, std::clamp(quality, 1, 100), row.data()))
        throw Error(std::string("Cannot make a JPEG picture. ") + out->message.data());
    return bytes;
}

void saveJpegFile(const Bitmap& bitmap, const std::string& path, int quality) {
    checkJpegSize(bitmap);
    std::vector<uint8_t> row(static_cast<size_t>(bitmap.width()) * 3);
    AtomicFile file;
    throwIfFailed(file.create(path), path);
    PieceWriter pieces(file);
    jpeg_compress_struct cinfo{};
    auto out = jpegOutput(cinfo);
    out->pieces = &pieces;
    const bool written = compressJpeg(*out, cinfo, bitmap, std::clamp(quality, 1, 100), row.data());
    throwIfFailed(pieces.finish(), path);
    if (!written)
        throw Error("Cannot write JPEG file \"" + path + "\". " + out->message.data());
    throwIfFailed(file.commit(), path);
}

} // namespace kestrix
