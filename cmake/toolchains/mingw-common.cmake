# Shared part of the MinGW-w64 cross toolchains (Debian 12, gcc 12).
# Included by mingw-x86_64.cmake / mingw-i686.cmake after they set CHANWIZ_MINGW_TRIPLE
# and CHANWIZ_MINGW_THREADS.
#
# Thread model: Debian ships each compiler in two variants, ${triple}-g++-win32 and
# ${triple}-g++-posix (the plain name is an alternative that may point at either,
# so we always ask for one by name).
#   win32  the runtime calls only what Windows 95/NT 4 already had; gcc 12 has no
#          std::thread / std::mutex with it. Chanwiz uses neither, so the shipped
#          32-bit programs use this one (they must load on Windows 98 SE).
#   posix  full C++11 threads through winpthreads, linked in with -static; but
#          winpthreads imports GetTickCount64 (Vista) and the vectored exception
#          handler calls (XP), and its thread start is broken on 9x.
#
# Options (cache):
#   CHANWIZ_MINGW_STATIC        ON: link -static -static-libgcc -static-libstdc++ (default)
#   CHANWIZ_WINE_EMULATOR       ON: set CMAKE_CROSSCOMPILING_EMULATOR to the Wine loader so
#                               add_test() runs .exe files under Wine (default OFF)

set(CMAKE_SYSTEM_NAME Windows)

set(_triple "${CHANWIZ_MINGW_TRIPLE}")

set(_threads "${CHANWIZ_MINGW_THREADS}")
# Cached per thread model: a build tree made with the other model must not keep it.
find_program(_chanwiz_cc_${_threads}  NAMES ${_triple}-gcc-${_threads} REQUIRED NO_CMAKE_FIND_ROOT_PATH)
find_program(_chanwiz_cxx_${_threads} NAMES ${_triple}-g++-${_threads} REQUIRED NO_CMAKE_FIND_ROOT_PATH)
find_program(_chanwiz_rc  NAMES ${_triple}-windres REQUIRED NO_CMAKE_FIND_ROOT_PATH)

set(CMAKE_C_COMPILER   "${_chanwiz_cc_${_threads}}")
set(CMAKE_CXX_COMPILER "${_chanwiz_cxx_${_threads}}")
set(CMAKE_RC_COMPILER  "${_chanwiz_rc}")

# Binutils by triple (CMake would otherwise guess from the compiler name).
foreach(_tool AR RANLIB OBJDUMP STRIP DLLTOOL)
    string(TOLOWER "${_tool}" _lc)
    find_program(_chanwiz_${_lc} NAMES ${_triple}-${_lc} NO_CMAKE_FIND_ROOT_PATH)
    if(_chanwiz_${_lc})
        set(CMAKE_${_tool} "${_chanwiz_${_lc}}" CACHE FILEPATH "" FORCE)
    endif()
endforeach()

set(CMAKE_FIND_ROOT_PATH "/usr/${_triple}")
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

option(CHANWIZ_MINGW_STATIC "Link MinGW executables fully static" ON)
if(CHANWIZ_MINGW_STATIC)
    set(CMAKE_EXE_LINKER_FLAGS_INIT    "-static -static-libgcc -static-libstdc++")
    set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
    set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
endif()

option(CHANWIZ_WINE_EMULATOR "Run cross-built test executables under Wine" OFF)
if(CHANWIZ_WINE_EMULATOR)
    find_program(_chanwiz_wine NAMES wine64 wine PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
    if(_chanwiz_wine)
        set(CMAKE_CROSSCOMPILING_EMULATOR "${_chanwiz_wine}")
    endif()
endif()
