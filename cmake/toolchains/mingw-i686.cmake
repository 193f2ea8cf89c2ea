# Cross toolchain: Windows x86 (32-bit), the shipped programs, with Debian's
# MinGW-w64 in the win32 thread model (see mingw-common.cmake).
#   cmake --preset mingw-i686
# Running the result under Wine needs wine32:i386 (scripts/install-deps.sh).
set(CMAKE_SYSTEM_PROCESSOR X86)
set(CHANWIZ_MINGW_TRIPLE i686-w64-mingw32)
if(NOT CHANWIZ_MINGW_THREADS)
    set(CHANWIZ_MINGW_THREADS win32)
endif()
include("${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake")
