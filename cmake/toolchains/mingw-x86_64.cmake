# Cross toolchain: Windows x86_64 (64-bit) with Debian's MinGW-w64 (posix threads),
# for the 64-bit test tools; the shipped programs are the 32-bit ones.
#   cmake -S tools/ui-driver -B build/ui-driver -DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/mingw-x86_64.cmake
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(CHANWIZ_MINGW_TRIPLE x86_64-w64-mingw32)
if(NOT CHANWIZ_MINGW_THREADS)
    set(CHANWIZ_MINGW_THREADS posix)
endif()
include("${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake")
