# Compiler flags shared by every target of the project.
add_library(kestrix_options INTERFACE)
target_compile_options(kestrix_options INTERFACE -Wall -Wextra -Wpedantic)
if(KESTRIX_WERROR)
  target_compile_options(kestrix_options INTERFACE -Werror)
endif()
if(KESTRIX_SANITIZE)
  # The sanitizers' instrumentation makes GCC 12 see uninitialised reads that are not there (in
  # std::regex's automaton, for one); the normal build keeps that warning.
  target_compile_options(kestrix_options INTERFACE
    -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined
    -Wno-maybe-uninitialized)
  target_link_options(kestrix_options INTERFACE -fsanitize=address,undefined)
endif()
if(KESTRIX_SANITIZE_THREAD)
  target_compile_options(kestrix_options INTERFACE -fsanitize=thread -fno-omit-frame-pointer)
  target_link_options(kestrix_options INTERFACE -fsanitize=thread)
endif()
if(KESTRIX_BUILD_FUZZ)
  # Coverage feedback for the fuzzers needs the core instrumented too.
  target_compile_options(kestrix_options INTERFACE
    -fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer)
  target_link_options(kestrix_options INTERFACE -fsanitize=address,undefined)
endif()
if(CMAKE_UNITY_BUILD AND CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
  # Joined into one unit, a source file's own classes look to GCC as if a header declared them
  # with members of another file's unnamed namespace.
  target_compile_options(kestrix_options INTERFACE -Wno-subobject-linkage)
endif()
