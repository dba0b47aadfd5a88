// libjpeg compression of movie frames. Library errors longjmp back to the one frame that called
// the library and become a status; nothing is printed and the process never exits.
#include "core/movie/writers/JpegFrameEncoder.h"

#include <algorithm>
#include <jerror.h>
#include <new>
#include <utility>

namespace kestrix {

namespace {

constexpr int kFullChromaFrom = 9000;
// Room for a typical frame before the buffer first grows; it is reused for every later frame.
constexpr size_t kSlackBytes = 64 * 1024;

} // namespace

int jpegQualityFor(int movieQuality) {
    return std::clamp((std::clamp(movieQuality, 0, 10000) + 50) / 100, 1, 100);
}

bool fullChromaFor(int movieQuality) {
    return movieQuality >= kFullChromaFrom;
}

JpegFrameEncoder::~JpegFrameEncoder() {
    if (created_)
        jpeg_destroy_compress(&cinfo_);
}

void JpegFrameEncoder::onError(j_common_ptr cinfo) {
    auto* errors = reinterpret_cast<ErrorManager*>(cinfo->err);
    errors->status =
        errors->pub.msg_code == JERR_OUT_OF_MEMORY ? JpegStatus::OutOfMemory : JpegStatus::Failed;
    std::longjmp(errors->jump, 1);
}

// Warnings would go to stderr by default; a movie frame has nothing to warn about.
void JpegFrameEncoder::onMessage(j_common_ptr) {}

void JpegFrameEncoder::initDestination(j_compress_ptr cinfo) {
    auto* dest = reinterpret_cast<Destination*>(cinfo->dest);
    dest->pub.next_output_byte = dest->owner->buffer_.data();
    dest->pub.free_in_buffer = dest->owner->buffer_.size();
}

// Called when the buffer is full: it doubles, keeping what was written.
boolean JpegFrameEncoder::emptyDestination(j_compress_ptr cinfo) {
    auto* dest = reinterpret_cast<Destination*>(cinfo->dest);
    const size_t written = dest->owner->buffer_.size();
    if (!dest->owner->grow())
        ERREXIT1(cinfo, JERR_OUT_OF_MEMORY, 0);
    dest->pub.next_output_byte = dest->owner->buffer_.data() + written;
    dest->pub.free_in_buffer = dest->owner->buffer_.size() - written;
    return TRUE;
}

void JpegFrameEncoder::termDestination(j_compress_ptr cinfo) {
    auto* dest = reinterpret_cast<Destination*>(cinfo->dest);
    dest->owner->used_ = dest->owner->buffer_.size() - dest->pub.free_in_buffer;
}

bool JpegFrameEncoder::grow() noexcept {
    try {
        buffer_.resize(std::max(kSlackBytes, buffer_.size() * 2));
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

JpegStatus JpegFrameEncoder::start(int width, int height, int movieQuality) {
    if (width <= 0 || height <= 0 || width > JPEG_MAX_DIMENSION || height > JPEG_MAX_DIMENSION)
        return JpegStatus::BadSize;
    try {
        rows_.assign(static_cast<size_t>(height), nullptr);
        buffer_.resize(static_cast<size_t>(width) * static_cast<size_t>(height) + kSlackBytes);
    } catch (const std::bad_alloc&) {
        return JpegStatus::OutOfMemory;
    }
    used_ = 0;
    return configure(width, height, movieQuality);
}

JpegStatus JpegFrameEncoder::configure(int width, int height, int movieQuality) {
    if (!created_) {
        cinfo_.err = jpeg_std_error(&errors_.pub);
        errors_.pub.error_exit = onError;
        errors_.pub.output_message = onMessage;
        destination_.pub.init_destination = initDestination;
        destination_.pub.empty_output_buffer = emptyDestination;
        destination_.pub.term_destination = termDestination;
        destination_.owner = this;
    }
    if (setjmp(errors_.jump))
        return errors_.status;
    if (!created_) {
        // Set first: a failed creation leaves the object in a state that can still be destroyed.
        created_ = true;
        jpeg_create_compress(&cinfo_);
    }
    cinfo_.dest = &destination_.pub;
    cinfo_.image_width = static_cast<JDIMENSION>(width);
    cinfo_.image_height = static_cast<JDIMENSION>(height);
    cinfo_.input_components = 3;
    cinfo_.in_color_space = JCS_EXT_BGR;
    jpeg_set_defaults(&cinfo_);
    jpeg_set_quality(&cinfo_, jpegQualityFor(movieQuality), TRUE);
    if (fullChromaFor(movieQuality)) {
        cinfo_.comp_info[0].h_samp_factor = 1;
        cinfo_.comp_info[0].v_samp_factor = 1;
    }
    return JpegStatus::Ok;
}

JpegStatus JpegFrameEncoder::encode(const uint8_t* bottomUpPixels, size_t stride) {
    if (!created_ || rows_.empty())
        return JpegStatus::Failed;
    const size_t height = rows_.size();
    // libjpeg reads rows through non-const pointers but never writes to them.
    auto* pixels = const_cast<uint8_t*>(bottomUpPixels);
    for (size_t y = 0; y < height; ++y)
        rows_[y] = pixels + (height - 1 - y) * stride;
    used_ = 0;
    return compress();
}

JpegStatus JpegFrameEncoder::encodeTopDown(const uint8_t* topDownPixels, size_t stride) {
    if (!created_ || rows_.empty())
        return JpegStatus::Failed;
    auto* pixels = const_cast<uint8_t*>(topDownPixels);
    for (size_t y = 0; y < rows_.size(); ++y)
        rows_[y] = pixels + y * stride;
    used_ = 0;
    return compress();
}

std::vector<uint8_t> JpegFrameEncoder::takeOutput() {
    buffer_.resize(used_);
    used_ = 0;
    return std::exchange(buffer_, {});
}

JpegStatus JpegFrameEncoder::compress() {
    if (setjmp(errors_.jump)) {
        jpeg_abort_compress(&cinfo_);
        return errors_.status;
    }
    // Every frame carries its own tables, so each one decodes on its own.
    jpeg_start_compress(&cinfo_, TRUE);
    while (cinfo_.next_scanline < cinfo_.image_height)
        jpeg_write_scanlines(&cinfo_, rows_.data() + cinfo_.next_scanline,
                             cinfo_.image_height - cinfo_.next_scanline);
    jpeg_finish_compress(&cinfo_);
    return JpegStatus::Ok;
}

} // namespace kestrix
