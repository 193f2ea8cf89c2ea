#include "polling.h"

namespace uidriver {

int PollTries(int timeoutSeconds) { return timeoutSeconds * 1000 / static_cast<int>(kPollMs); }

bool PollUntil(int tries, DWORD pauseMs, const std::function<Look()>& look, HANDLE wake) {
  int idle = 0;
  for (;;) {
    switch (look()) {
      case Look::kDone:
        return true;
      case Look::kProgress:
        idle = 0;
        break;
      case Look::kNothing:
        if (idle++ >= tries) return false;
        break;
    }
    if (wake != nullptr)
      WaitForSingleObject(wake, pauseMs);
    else
      Sleep(pauseMs);
  }
}

}  // namespace uidriver
