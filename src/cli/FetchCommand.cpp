// kestrix-cli fetch: performs the program's GET of one address and writes the body.
#include "CliCommand.h"
#include "net/HttpClient.h"
#include "util/Error.h"
#include "util/FileIO.h"

#include <cstdio>
#include <iostream>
#include <optional>

namespace kestrix::cli {

namespace {

struct FetchOptions {
    std::optional<std::string> url;
    std::optional<std::string> outputFile;
    bool printHeader = false;
};

FetchOptions parseFetchArgs(const Args& args, const Command& self) {
    FetchOptions options;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "-o" && i + 1 < args.size() && !options.outputFile)
            options.outputFile = args[++i];
        else if (arg == "--header")
            options.printHeader = true;
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
    THttpClient client;
    applyImageFetchSettings(client);
    client.Get(*options.url);
    if (options.printHeader)
        std::cerr << client.Header() << std::flush;
    if (options.outputFile) {
        writeFileAtomically(*options.outputFile, client.Body());
    } else {
        const std::string& body = client.Body();
        if (std::fwrite(body.data(), 1, body.size(), stdout) != body.size() ||
            std::fflush(stdout) != 0)
            throw Error("Cannot write the body to standard output");
    }
    return 0;
}

const Registration registration({"fetch", "fetch URL [-o FILE] [--header]", runFetch});

} // namespace

} // namespace kestrix::cli
