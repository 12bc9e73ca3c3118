# Cross-compiles for 64-bit Windows with Debian's mingw-w64 toolchain.
#
# The -posix variant of the compilers is used because the host code runs
# iteration on std::thread workers, which the win32 thread model lacks.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(CORVEXEL_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${CORVEXEL_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${CORVEXEL_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${CORVEXEL_MINGW_PREFIX}-windres)

# Look for libraries and headers only in the cross environment (and in the
# prefixes the build adds, such as the cross-built libwebp).
set(CMAKE_FIND_ROOT_PATH /usr/${CORVEXEL_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# GCC 12's libstdc++ makes -Wrestrict report impossible overlaps inside
# std::string concatenation when inlined at -O3 (a known false positive of
# that release); silence that one warning for the cross build.
set(CMAKE_CXX_FLAGS_INIT "-Wno-restrict")
