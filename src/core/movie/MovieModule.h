// The movie writers and FFmpeg are a module of their own (see RuntimeModule.h).
#pragma once

#include "core/movie/MovieWriter.h"
#include "core/stream/StreamProvider.h"
#include "core/util/AtomicFile.h"
#include "core/util/RuntimeModule.h"

namespace kestrix {

// Changes whenever the entry's arguments or the movie interface change, so that a module left
// from another build is refused instead of called.
constexpr int kMovieModuleInterface = 1;

inline constexpr RuntimeModule kMovieModule{"libkestrix_movie.so", "kestrixMakeMovieWriter",
                                            "KESTRIX_MOVIE_MODULE", "Movies",
                                            "libavformat59 libavcodec59 libswscale6"};

// The module's entry: a new writer, or null when `interface` is not the module's. `announce` is
// the program's announceFileStep, which the module's file steps call so that the program's
// step hook sees them.
using MakeMovieWriterEntry = MovieWriter* (*)(int interface, MovieFormat format,
                                              const MovieOptions& options, FileStepHook announce);

// The module's second entry: camera streams (RTSP, HLS) through the same FFmpeg. It has an
// interface number of its own, changed whenever StreamProvider or StreamConnection change.
constexpr int kStreamModuleInterface = 1;

inline constexpr RuntimeModule kStreamModule{"libkestrix_movie.so", "kestrixStreamProvider",
                                             "KESTRIX_MOVIE_MODULE", "Camera streams",
                                             "libavformat59 libavcodec59 libswscale6"};

// The provider, or null when `interface` is not the module's.
using StreamModuleEntry = const StreamProvider* (*)(int interface);

} // namespace kestrix
