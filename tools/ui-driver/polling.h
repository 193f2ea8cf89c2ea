// Waiting for what the driver can only look at again and again: a process
// to appear, a window to open or to go, a step to be handled.
#pragma once

#include <windows.h>

#include <functional>

namespace uidriver {

// The pause between two looks.
constexpr DWORD kPollMs = 150;

// How many pauses of kPollMs make `timeoutSeconds`.
int PollTries(int timeoutSeconds);

// What one look found.
enum class Look {
  kNothing,   // not yet: pause and look again
  kProgress,  // something happened: the bound counts from here again
  kDone,      // the wait is over
};

// Looks, pauses `pauseMs` (less when `wake` is signalled first), looks
// again, until a look says kDone (true) or `tries` + 1 looks in a row found
// nothing (false: the last look came after the last pause).
bool PollUntil(int tries, DWORD pauseMs, const std::function<Look()>& look,
               HANDLE wake = nullptr);

}  // namespace uidriver
