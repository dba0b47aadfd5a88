// kestrix-cli fetch: performs the program's GET of one address and writes the body; a camera
// stream (RTSP, HLS) gives its first picture as a JPEG.
#include "cli/CliCommand.h"
#include "cli/ConnectionArgs.h"
#include "core/acquire/DownloadImage.h"
#include "core/image/Bitmap.h"
#include "core/net/HttpClient.h"
#include "core/util/Error.h"
#include "core/util/FileIO.h"
#include "core/util/Text.h"

#include <cstdio>
#include <iostream>
#include <memory>
#include <optional>

namespace kestrix::cli {

namespace {

struct FetchOptions {
    std::string url;
    std::optional<std::string> outputFile;
    bool printHeader = false;
    bool fail = false;
    ConnectionArgs connection;
    int timeoutSeconds = 60;
};

int fetch(const FetchOptions& options) {
    HttpClient client;
    applyImageFetchSettings(client);
    applyConnectionOptions(client, connectionOptions(options.connection));
    // Every wait, and each stretch of the body without a byte, may last this long.
    client.setTimeOut(options.timeoutSeconds * 1000);
    if (isStreamAddress(options.url)) {
        // An RTSP camera or an HLS playlist: its first picture, as a JPEG.
        Bitmap picture;
        fetchStreamPicture(client, options.url, picture);
    } else {
        client.get(options.url);
    }
    if (options.printHeader)
        std::cerr << client.header() << std::flush;
    if (options.fail && client.statusCode() >= 400)
        throw Error(httpErrorText(client));
    if (options.outputFile) {
        writeFileAtomically(*options.outputFile, client.body());
    } else {
        const std::string& body = client.body();
        if (std::fwrite(body.data(), 1, body.size(), stdout) != body.size() ||
            std::fflush(stdout) != 0)
            throw Error("Cannot write the body to standard output");
    }
    return 0;
}

void defineFetch(CLI::App& command) {
    command.description("Fetches one address with the program's own request.");
    auto o = std::make_shared<FetchOptions>();
    command
        .add_option(
            "URL", o->url,
            "Address to fetch (http://, or https:// with --https; rtsp:// and .m3u8 playlists "
            "give their first picture as a JPEG)")
        ->required();
    command.add_option("-o", o->outputFile, "Write the body to this file instead of stdout");
    command.add_flag("--header", o->printHeader, "Print the response header on stderr");
    command.add_flag("--fail", o->fail,
                     "Exit 1 without writing the body when the status is 400 or above");
    command
        .add_option("--timeout", o->timeoutSeconds,
                    "Seconds any wait may last, also each stretch of the body without a byte")
        ->default_val(60)
        ->check(CLI::PositiveNumber);
    addConnectionOptions(command, o->connection, false);
    addExample(command, "kestrix-cli fetch http://cam.example/latest.jpg -o latest.jpg --header");
    onRun(command, [o] { return fetch(*o); });
}

const Registration kFetchRegistration({"fetch", defineFetch});

} // namespace

} // namespace kestrix::cli
