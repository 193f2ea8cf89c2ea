// Reading a device's registry property into a buffer that grows on demand,
// and comparing hardware identifiers.
#pragma once

#include <string>
#include <vector>

#include "base/text.h"
#include "platform/platform.h"

namespace cw {

enum class PropertyRead {
  Ok,    // the property is in the buffer
  Skip,  // the device has no such property (ERROR_INVALID_DATA)
  Stop,  // any other failure: the walk ends here
};

// A zero-filled property buffer. On ERROR_INSUFFICIENT_BUFFER it is
// replaced by one of the required size plus `spare` bytes and the read is
// tried again; its size never shrinks.
class PropertyBuffer {
 public:
  // Requests beyond this are refused rather than allocated: no identifier
  // list or key name comes near it, and a device reporting more is broken.
  static constexpr DWORD kMaxSize = 1u << 20;

  PropertyBuffer(DWORD initialSize, DWORD spare) : data_(initialSize, 0), spare_(spare) {}

  PropertyRead Read(Platform& platform, HDEVINFO list, SP_DEVINFO_DATA* device, DWORD property);

  // The first NUL-terminated text in the buffer, never reaching past it.
  std::string FirstString() const;

  DWORD size() const { return static_cast<DWORD>(data_.size()); }

 private:
  std::vector<BYTE> data_;
  DWORD spare_;
};

}  // namespace cw
