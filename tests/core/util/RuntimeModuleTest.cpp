// The large libraries (FFmpeg, OpenSSL) are loaded only by the commands that need
// them, and a missing module fails only those commands, with a message that says what to do.
#include "core/image/BmpCodec.h"
#include "core/util/FileIO.h"
#include "support/ImageBuilders.h"
#include "support/TempDir.h"

#include <arpa/inet.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sstream>
#include <string>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

using namespace kestrix::test;

namespace {

std::string writePicture(const TempDir& dir) {
    std::string file = dir.path() + "/picture.bmp";
    kestrix::writeFileAtomically(file, kestrix::writeBmp(rampBitmap(64, 48)));
    return file;
}

// The shared libraries the command initialised, as the dynamic loader reports them.
std::string loadedBy(const TempDir& dir, const std::string& arguments) {
    const std::string log = dir.path() + "/loader.log";
    runCommand("cd " + dir.path() + " && LD_DEBUG=libs " + KESTRIX_CLI + " " + arguments +
               " >/dev/null 2>" + log);
    std::ifstream in(log);
    std::stringstream libraries;
    for (std::string line; std::getline(in, line);)
        if (line.find("calling init:") != std::string::npos)
            libraries << line.substr(line.rfind('/') + 1) << ' ';
    return libraries.str();
}

} // namespace

TEST(RuntimeModules, OnlyMoviesMapFfmpegAndNoCommandMapsTlsUnasked) {
    TempDir dir;
    const std::string kPicture = writePicture(dir);
    const std::vector<std::string> commands = {
        "--help",
        "--version",
        "identify " + kPicture,
        "decode " + kPicture + " out.bmp",
        "compare " + kPicture + " out.bmp",
        "resize " + kPicture + " small.bmp 40 30",
        "gif out.gif " + kPicture + " " + kPicture,
        "frames pack out.ifrm " + kPicture + " " + kPicture,
        "frames dups out.ifrm",
        "expand %Y",
    };
    for (const std::string& command : commands) {
        const std::string libraries = loadedBy(dir, command);
        EXPECT_NE(libraries.find("libstdc++"), std::string::npos) << command << ": " << libraries;
        for (const char* heavy :
             {"libavcodec", "libavformat", "libssl", "libcrypto", "libkestrix_"})
            EXPECT_EQ(libraries.find(heavy), std::string::npos) << command << ": " << libraries;
    }
    const std::string movie = loadedBy(dir, "movie out.avi " + kPicture);
    EXPECT_NE(movie.find("libkestrix_movie.so"), std::string::npos) << movie;
    EXPECT_NE(movie.find("libavformat"), std::string::npos) << movie;
}

TEST(RuntimeModules, AMissingModuleFailsOnlyItsOwnWorkAndSaysWhatToInstall) {
    TempDir dir;
    const std::string kPicture = writePicture(dir);
    const std::string without = "KESTRIX_MOVIE_MODULE=/nonexistent/libkestrix_movie.so "
                                "KESTRIX_TLS_MODULE=/nonexistent/libkestrix_tls.so " +
                                std::string(KESTRIX_CLI);
    for (const char* movie : {"out.avi", "out.mp4"}) {
        const CommandResult failed = runCommand("cd " + dir.path() + " && " + without + " movie " +
                                                movie + " " + kPicture + " 2>&1");
        EXPECT_EQ(failed.status, 1);
        EXPECT_NE(failed.out.find("Movies need Kestrix's module libkestrix_movie.so, which could "
                                  "not be loaded: /nonexistent/libkestrix_movie.so"),
                  std::string::npos)
            << failed.out;
        EXPECT_NE(failed.out.find("apt install libavformat59"), std::string::npos) << failed.out;
        EXPECT_FALSE(std::filesystem::exists(dir.path() + "/" + movie));
    }

    // A listening socket that never answers: the connection is made, and the secure handshake
    // is where the module is needed.
    const int listener = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(listen(listener, 4), 0);
    ASSERT_EQ(getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length), 0);
    const CommandResult secure = runCommand(without + " fetch --https https://127.0.0.1:" +
                                            std::to_string(ntohs(address.sin_port)) + "/ 2>&1");
    close(listener);
    EXPECT_EQ(secure.status, 1);
    EXPECT_NE(secure.out.find("Secure (https) addresses need Kestrix's module libkestrix_tls.so"),
              std::string::npos)
        << secure.out;

    const CommandResult decoded =
        runCommand("cd " + dir.path() + " && " + without + " decode " + kPicture + " out.bmp 2>&1");
    EXPECT_EQ(decoded.status, 0) << decoded.out;
    EXPECT_TRUE(std::filesystem::exists(dir.path() + "/out.bmp"));
}
