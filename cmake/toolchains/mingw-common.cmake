# Shared part of the MinGW-w64 cross toolchains (Debian 12, gcc 12).
# Included by mingw-x86_64.cmake / mingw-i686.cmake after they set CHANWIZ_MINGW_TRIPLE.
#
# Thread model: the "posix" variant (x86_64-w64-mingw32-g++-posix) is used when
# present. With gcc 12 the "win32" variant has no std::thread / std::condition_variable;
# the posix one has full C++11 threads and, linked with -static, embeds winpthread
# (no libwinpthread-1.dll import). The plain names are the fallback (Debian's
# alternatives pick win32 if both variants are installed, so we ask for -posix).
#
# Options (cache):
#   CHANWIZ_MINGW_STATIC        ON: link -static -static-libgcc -static-libstdc++ (default)
#   CHANWIZ_WINE_EMULATOR       ON: set CMAKE_CROSSCOMPILING_EMULATOR to the Wine loader so
#                               add_test() runs .exe files under Wine (default OFF)

set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_VERSION 6.1)

set(_triple "${CHANWIZ_MINGW_TRIPLE}")

find_program(_chanwiz_cc  NAMES ${_triple}-gcc-posix ${_triple}-gcc REQUIRED NO_CMAKE_FIND_ROOT_PATH)
find_program(_chanwiz_cxx NAMES ${_triple}-g++-posix ${_triple}-g++ REQUIRED NO_CMAKE_FIND_ROOT_PATH)
find_program(_chanwiz_rc  NAMES ${_triple}-windres REQUIRED NO_CMAKE_FIND_ROOT_PATH)

set(CMAKE_C_COMPILER   "${_chanwiz_cc}")
set(CMAKE_CXX_COMPILER "${_chanwiz_cxx}")
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
