# Cross toolchain: Windows x86 (32-bit) with Debian's MinGW-w64 (posix threads).
#   cmake -S . -B build-win32 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/mingw-i686.cmake
# Running the result under Wine needs wine32:i386 (CHANWIZ_DEPS_WINE32=1 scripts/install-deps.sh).
set(CMAKE_SYSTEM_PROCESSOR X86)
set(CHANWIZ_MINGW_TRIPLE i686-w64-mingw32)
include("${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake")
