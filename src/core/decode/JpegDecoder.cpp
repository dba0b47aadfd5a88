// JPEG decoding through libjpeg at full size with its default (accurate) settings. The library's
// errors longjmp back to the one frame that calls it and become our errors; it never exits.
#include "core/decode/ImageDecoder.h"
#include "core/util/Error.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <jpeglib.h>
// After jpeglib.h, which it needs.
#include <jerror.h>

namespace kestrix {

namespace {

// A progressive file can repeat scans without end, and each scan visits the whole image.
constexpr int kMaxScans = 1000;
// The library's working memory (coefficient buffers of progressive files) stays under this.
constexpr long kMaxLibraryMemory = 1L << 30;

struct ErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
    // The data ended before the picture did (the library filled the rest with grey).
    bool endedEarly;
};

struct Session {
    jpeg_decompress_struct cinfo{};
    ErrorManager errors{};
    jpeg_progress_mgr progress{};
    bool created = false;

    Session() = default;
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;
    ~Session() {
        if (created)
            jpeg_destroy_decompress(&cinfo);
    }
};

[[noreturn]] void onError(j_common_ptr cinfo) {
    auto* errors = reinterpret_cast<ErrorManager*>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, errors->message);
    std::longjmp(errors->jump, 1);
}

// Warnings (corrupt data, a premature end) are not errors: the library substitutes grey, as
// djpeg does, and the default handler would print to stderr. A premature end is remembered.
void onMessage(j_common_ptr cinfo, int level) {
    if (level < 0 && cinfo->err->msg_code == JWRN_JPEG_EOF)
        reinterpret_cast<ErrorManager*>(cinfo->err)->endedEarly = true;
}

[[noreturn]] void fail(j_common_ptr cinfo, const char* message) {
    auto* errors = reinterpret_cast<ErrorManager*>(cinfo->err);
    std::snprintf(errors->message, sizeof errors->message, "%s", message);
    std::longjmp(errors->jump, 1);
}

void onProgress(j_common_ptr cinfo) {
    if (reinterpret_cast<j_decompress_ptr>(cinfo)->input_scan_number > kMaxScans)
        fail(cinfo, "JPEG has too many scans");
}

inline uint8_t mul255(unsigned a, unsigned b) {
    return static_cast<uint8_t>((a * b + 127) / 255);
}

// Adobe writes CMYK inverted (255 = no ink); other writers store ink amounts.
void cmykRowToBgr(const JSAMPLE* in, uint8_t* out, JDIMENSION width, bool inverted) {
    for (JDIMENSION x = 0; x < width; ++x, in += 4, out += 3) {
        unsigned c = in[0], m = in[1], y = in[2], k = in[3];
        if (!inverted) {
            c = 255 - c;
            m = 255 - m;
            y = 255 - y;
            k = 255 - k;
        }
        out[0] = mul255(y, k);
        out[1] = mul255(m, k);
        out[2] = mul255(c, k);
    }
}

void readRows(jpeg_decompress_struct& cinfo, Bitmap& out) {
    const bool cmyk = cinfo.out_color_space == JCS_CMYK;
    JSAMPARRAY cmykRow = cmyk ? (*cinfo.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&cinfo),
                                                           JPOOL_IMAGE, cinfo.output_width * 4, 1)
                              : nullptr;
    constexpr int kBatch = 16;
    JSAMPROW rows[kBatch];
    while (cinfo.output_scanline < cinfo.output_height) {
        const JDIMENSION first = cinfo.output_scanline;
        JDIMENSION got;
        if (cmyk) {
            got = jpeg_read_scanlines(&cinfo, cmykRow, 1);
            if (got == 1)
                cmykRowToBgr(cmykRow[0], out.scanLine(static_cast<int>(first)), cinfo.output_width,
                             cinfo.saw_Adobe_marker);
        } else {
            const JDIMENSION batch = std::min<JDIMENSION>(kBatch, cinfo.output_height - first);
            for (JDIMENSION i = 0; i < batch; ++i)
                rows[i] = out.scanLine(static_cast<int>(first + i));
            got = jpeg_read_scanlines(&cinfo, rows, batch);
        }
        if (got == 0)
            fail(reinterpret_cast<j_common_ptr>(&cinfo), "JPEG data ended early");
    }
}

// Every library call happens in this frame, under its setjmp. Nothing here has a destructor, so
// a longjmp skips none; C++ exceptions (a size over the limits) may still leave normally.
bool decompress(Session& s, std::string_view body, Bitmap& out) {
    if (setjmp(s.errors.jump))
        return false;
    jpeg_create_decompress(&s.cinfo);
    s.created = true;
    s.progress.progress_monitor = onProgress;
    s.cinfo.progress = &s.progress;
    s.cinfo.mem->max_memory_to_use = kMaxLibraryMemory;
    jpeg_mem_src(&s.cinfo, reinterpret_cast<const unsigned char*>(body.data()),
                 static_cast<unsigned long>(body.size()));
    jpeg_read_header(&s.cinfo, TRUE);
    checkImageSize(s.cinfo.image_width, s.cinfo.image_height);
    const bool cmyk = s.cinfo.jpeg_color_space == JCS_CMYK || s.cinfo.jpeg_color_space == JCS_YCCK;
    s.cinfo.out_color_space = cmyk ? JCS_CMYK : JCS_EXT_BGR;
    jpeg_start_decompress(&s.cinfo);
    out = Bitmap(static_cast<int>(s.cinfo.output_width), static_cast<int>(s.cinfo.output_height),
                 PixelFormat::Bit24);
    readRows(s.cinfo, out);
    jpeg_finish_decompress(&s.cinfo);
    return true;
}

// The header only: the frame's size, as the library reads it.
bool readHeader(Session& s, std::string_view body, JDIMENSION& width, JDIMENSION& height) {
    if (setjmp(s.errors.jump))
        return false;
    jpeg_create_decompress(&s.cinfo);
    s.created = true;
    jpeg_mem_src(&s.cinfo, reinterpret_cast<const unsigned char*>(body.data()),
                 static_cast<unsigned long>(body.size()));
    jpeg_read_header(&s.cinfo, TRUE);
    width = s.cinfo.image_width;
    height = s.cinfo.image_height;
    return true;
}

void startSession(Session& session) {
    session.cinfo.err = jpeg_std_error(&session.errors.pub);
    session.errors.pub.error_exit = onError;
    session.errors.pub.emit_message = onMessage;
}

} // namespace

ImageSize readJpegSize(std::string_view body) {
    Session session;
    startSession(session);
    JDIMENSION width = 0;
    JDIMENSION height = 0;
    if (!readHeader(session, body, width, height))
        throw Error(session.errors.message, ErrorKind::InvalidImage);
    checkImageSize(width, height);
    return {static_cast<int>(width), static_cast<int>(height)};
}

void decodeJpeg(std::string_view body, Bitmap& bitmap, bool requireComplete) {
    Session session;
    startSession(session);
    Bitmap decoded;
    if (!decompress(session, body, decoded))
        throw Error(session.errors.message, ErrorKind::InvalidImage);
    if (requireComplete && session.errors.endedEarly)
        throw Error("Image data is incomplete", ErrorKind::InvalidImage);
    bitmap = std::move(decoded);
}

} // namespace kestrix
