// kestrix-cli fetch: performs the program's GET of one address and writes the body.
#include "cli/CliCommand.h"
#include "cli/ConnectionArgs.h"
#include "core/net/HttpClient.h"
#include "core/util/Error.h"
#include "core/util/FileIO.h"
#include "core/util/Text.h"

#include <cstdio>
#include <iostream>
#include <optional>

namespace kestrix::cli {

namespace {

struct FetchOptions {
    std::optional<std::string> url;
    std::optional<std::string> outputFile;
    bool printHeader = false;
    ConnectionArgs connection;
    int timeoutSeconds = 60;
};

FetchOptions parseFetchArgs(const Args& args, const Command& self) {
    FetchOptions options;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "-o" && i + 1 < args.size() && !options.outputFile)
            options.outputFile = args[++i];
        else if (arg == "--header")
            options.printHeader = true;
        else if (arg == "--timeout" && i + 1 < args.size())
            options.timeoutSeconds = strToInt(args[++i]);
        else if (takeConnectionArg(args, i, options.connection, false))
            continue;
        else if ((arg.empty() || arg[0] != '-') && !options.url)
            options.url = arg;
        else
            usageError(self);
    }
    if (!options.url)
        usageError(self);
    return options;
}

int runFetch(const Args& args) {
    FetchOptions options = parseFetchArgs(args, findCommand("fetch"));
    if (options.timeoutSeconds < 1)
        throw Error("--timeout takes a number of seconds above 0");
    HttpClient client;
    applyImageFetchSettings(client);
    applyConnectionOptions(client, connectionOptions(options.connection));
    // Every wait, and each stretch of the body without a byte, may last this long.
    client.setTimeOut(options.timeoutSeconds * 1000);
    client.get(*options.url);
    if (options.printHeader)
        std::cerr << client.header() << std::flush;
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

// The usage line stays the one scripts know; the connection options are in the README.
const Registration kRegistration({"fetch", "fetch URL [-o FILE] [--header]", runFetch});

} // namespace

} // namespace kestrix::cli
