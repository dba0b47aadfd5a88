// Replays every file of tests/data/crashers (malformed files that once broke a decoder, each
// named after what it broke) through the decoder it targets: each must end in an image or an
// error, under the sanitizers as well.
#include "DecodeTestSupport.h"
#include "core/decode/ImageDecoder.h"
#include "core/frames/BitmapList.h"
#include "core/util/Error.h"

#include <filesystem>

using namespace kestrix;
using namespace kestrix::test;

TEST(Crashers, EveryFileEndsInAnImageOrAnError) {
    const std::filesystem::path folder = std::string(KESTRIX_TEST_DATA) + "/crashers";
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        if (!entry.is_regular_file() || entry.path().filename() == "README.md")
            continue;
        ++files;
        const std::string body = readFile(entry.path().string());
        Bitmap bitmap;
        BitmapList frames;
        try {
            decodeImage(body, entry.path().filename().string(), bitmap, &frames);
            EXPECT_FALSE(bitmap.empty()) << entry.path();
        } catch (const Error&) {
        }
    }
    EXPECT_GT(files, 0);
}
