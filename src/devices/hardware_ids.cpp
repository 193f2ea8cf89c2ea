#include "devices/hardware_ids.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "base/text.h"
#include "platform/win_constants.h"

namespace cw {

PropertyRead PropertyBuffer::Read(Platform& platform, HDEVINFO list, SP_DEVINFO_DATA* device,
                                  DWORD property) {
  for (;;) {
    DWORD type = 0;
    DWORD required = 0;
    std::fill(data_.begin(), data_.end(), 0);
    if (platform.SetupDiGetDeviceRegistryPropertyA(list, device, property, &type, data_.data(),
                                                   size(), &required)) {
      return PropertyRead::Ok;
    }
    DWORD error = platform.GetLastError();
    if (error == static_cast<DWORD>(ERROR_INVALID_DATA)) return PropertyRead::Skip;
    if (error != static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER)) return PropertyRead::Stop;
    // A required size that does not exceed what we already offered would
    // loop for ever; one beyond any sane property is refused.
    if (required <= size() || required > kMaxSize) return PropertyRead::Stop;
    data_.assign(static_cast<size_t>(required) + spare_, 0);
  }
}

std::string PropertyBuffer::FirstString() const {
  const char* begin = reinterpret_cast<const char*>(data_.data());
  // The buffer is zero-filled before each read, so what lies past the data
  // is NUL; the buffer's end bounds a text that carries no terminator.
  size_t limit = data_.size();
  size_t n = 0;
  while (n < limit && begin[n] != '\0') ++n;
  return std::string(begin, n);
}

}  // namespace cw
