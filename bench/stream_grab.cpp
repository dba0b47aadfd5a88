// One picture from a camera stream, saved as JPEG: the whole command that bench/stream.sh times
// against `ffmpeg -i URL -frames:v 1 out.jpg`.
//   bench_stream_grab URL OUT.jpg [--udp]
#include "core/image/ImageFile.h"
#include "core/stream/CameraStream.h"

#include <cstdio>
#include <exception>
#include <string>

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s URL OUT.jpg [--udp]\n", argv[0]);
        return 2;
    }
    kestrix::StreamOptions options;
    options.rtspOverUdp = argc > 3 && std::string(argv[3]) == "--udp";
    try {
        const kestrix::Bitmap picture = kestrix::grabStreamPicture(argv[1], options);
        kestrix::saveImageFile(picture, argv[2]);
        std::printf("%dx%d\n", picture.width(), picture.height());
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
    return 0;
}
