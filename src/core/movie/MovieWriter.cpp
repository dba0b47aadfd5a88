// Which movie a file name asks for, and the writers, made by the movie module.
#include "core/movie/MovieWriter.h"

#include "core/movie/MovieModule.h"
#include "core/util/Text.h"

#include <filesystem>

namespace kestrix {

namespace {

MakeMovieWriterEntry movieModule() {
    // Loaded once; a failed load is tried again by the next movie.
    static const auto entry = reinterpret_cast<MakeMovieWriterEntry>(loadModuleEntry(kMovieModule));
    return entry;
}

} // namespace

std::optional<MovieFormat> movieFormatForFile(const std::string& fileName) {
    const std::string extension = std::filesystem::path(fileName).extension().string();
    if (equalsIgnoreCase(extension, ".avi"))
        return MovieFormat::Avi;
    if (equalsIgnoreCase(extension, ".mp4"))
        return MovieFormat::Mp4;
    return std::nullopt;
}

std::unique_ptr<MovieWriter> makeMovieWriter(MovieFormat format, const MovieOptions& options) {
    std::unique_ptr<MovieWriter> writer(
        movieModule()(kMovieModuleInterface, format, options, &announceFileStep));
    if (!writer)
        throwModuleUnusable(kMovieModule, "it belongs to another build of Kestrix");
    return writer;
}

} // namespace kestrix
