// Imports of the compiler's own runtime that Windows 9x may lack, answered
// inside the program so that it loads there.
//
// The win32 thread model's libgcc (its mutexes, the unwinder's frame list,
// emulated thread-local storage) makes its semaphores with CreateSemaphoreW,
// which the 9x KERNEL32 is not known to export. It calls through the import
// pointer __imp__CreateSemaphoreW@16: defining that pointer here, in an
// object of each program, means the linker never takes KERNEL32's, and the
// semaphores come from CreateSemaphoreA, which every Windows has.
#if defined(__MINGW32__) && defined(__i386__)
#include <windows.h>

namespace {

HANDLE WINAPI CreateSemaphoreThroughAnsi(LPSECURITY_ATTRIBUTES attributes, LONG initialCount,
                                         LONG maximumCount, LPCWSTR name) {
  // The runtime's semaphores have no name; a name is converted all the same.
  char ansiName[MAX_PATH];
  if (name != nullptr && ::WideCharToMultiByte(CP_ACP, 0, name, -1, ansiName, sizeof ansiName,
                                               nullptr, nullptr) == 0)
    return nullptr;
  return ::CreateSemaphoreA(attributes, initialCount, maximumCount,
                            name != nullptr ? ansiName : nullptr);
}

}  // namespace

extern "C" {
using CreateSemaphoreWFunction = HANDLE(WINAPI*)(LPSECURITY_ATTRIBUTES, LONG, LONG, LPCWSTR);
extern const CreateSemaphoreWFunction chanwiz_CreateSemaphoreW __asm__("__imp__CreateSemaphoreW@16");
const CreateSemaphoreWFunction chanwiz_CreateSemaphoreW = CreateSemaphoreThroughAnsi;
}
#endif
