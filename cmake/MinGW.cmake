# Shared by the two Windows toolchains; HEXBIN_MINGW_TRIPLE names the target.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER ${HEXBIN_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${HEXBIN_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${HEXBIN_MINGW_TRIPLE}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${HEXBIN_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# Static runtime: the executables need no toolchain DLL beside them.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
# The linker writes 0 where it would write the time into the header (and so
# into the checksum): the same sources build the same bytes, whenever built.
add_link_options(-Wl,--no-insert-timestamp)
# Release executables carry no symbols.
set(CMAKE_EXE_LINKER_FLAGS_RELEASE_INIT "-s")
# Release builds at -O2, as the benchmarks measure the conversions; CMake's
# -O3 made the 32-bit program's conversions several KB larger by unrolling.
set(CMAKE_CXX_FLAGS_RELEASE "-O2 -DNDEBUG" CACHE STRING "Flags for Release builds")
