// The simulated machine's device I/O and COM: events, device requests and
// their overlapped completion, component creation, BSTRs and the ANSI
// conversion of wide text.
#include <cstring>

#include "platform/sim/sim_platform.h"
#include "platform/win_constants.h"

namespace cw::sim {

SimComponents& SimPlatform::Components() const {
  if (!components_) components_ = std::make_unique<SimComponents>(const_cast<SimPlatform&>(*this));
  return *components_;
}

// ----------------------------------------------------------- device I/O

HANDLE SimPlatform::CreateEventA(BOOL /*manualReset*/, BOOL /*initialState*/) {
  DWORD error = 0;
  if (Inject("CreateEventA", &error)) {
    SetLastError(error);
    return HANDLE(0);
  }
  uintptr_t handle = next_handle_;
  next_handle_ += 4;
  kernel_handles_[handle] = "event";
  return HANDLE(handle);
}

BOOL SimPlatform::DeviceIoControl(HANDLE device, DWORD code, void* input, DWORD inputSize,
                                  void* output, DWORD outputSize, DWORD* bytesReturned,
                                  OVERLAPPED* overlapped) {
  if (InjectBool("DeviceIoControl")) return FALSE;
  // The only device that answers requests is the capture filter's.
  if (!Components().OwnsDevice(device)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return Components().DeviceIoControl(device, code, input, inputSize, output, outputSize,
                                      bytesReturned, overlapped);
}

BOOL SimPlatform::GetOverlappedResult(HANDLE device, OVERLAPPED* overlapped,
                                      DWORD* bytesTransferred, BOOL wait) {
  if (InjectBool("GetOverlappedResult")) return FALSE;
  if (!Components().OwnsDevice(device)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return Components().GetOverlappedResult(device, overlapped, bytesTransferred, wait);
}

// ------------------------------------------------------------------ COM

HRESULT SimPlatform::CoInitialize() {
  DWORD error = 0;
  if (Inject("CoInitialize", &error)) return HRESULT_FROM_WIN32(error);
  return com_depth_++ == 0 ? S_OK : S_FALSE;
}

void SimPlatform::CoUninitialize() {
  if (com_depth_ == 0) {
    Components().Problem("CoUninitialize without a CoInitialize to match");
    return;
  }
  // The last one ends the apartment: the in-process components go with it.
  if (--com_depth_ == 0) Components().ComEnded();
}

HRESULT SimPlatform::CoCreateInstance(const CLSID& clsid, void* outer, DWORD context,
                                      const IID& iid, void** object) {
  DWORD error = 0;
  if (object) *object = nullptr;
  if (Inject("CoCreateInstance", &error)) return HRESULT_FROM_WIN32(error);
  // The system device enumerator, and the SAA713x driver's component when
  // it is registered.
  return Components().CreateInstance(clsid, outer, context, iid, object);
}

void SimPlatform::SysFreeString(BSTR text) {
  if (text == nullptr) return;
  // Strings handed out by the simulation carry their 4-byte length before
  // the text, as a BSTR does; any other pointer is not freed.
  Components().FreeString(text);
}

int SimPlatform::WideCharToMultiByte(UINT /*codePage*/, DWORD /*flags*/, const OLECHAR* wide,
                                     int wideLength, char* buffer, int bufferSize) {
  DWORD error = 0;
  if (Inject("WideCharToMultiByte", &error)) {
    SetLastError(error);
    return 0;
  }
  if (wide == nullptr || bufferSize < 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  size_t count = 0;
  if (wideLength < 0) {
    while (wide[count] != 0) ++count;
    ++count;  // the terminator is converted too
  } else {
    count = static_cast<size_t>(wideLength);
  }
  std::vector<BYTE> bytes(count * 2);
  for (size_t i = 0; i < count; ++i) {
    bytes[2 * i] = static_cast<BYTE>(wide[i] & 0xFF);
    bytes[2 * i + 1] = static_cast<BYTE>(wide[i] >> 8);
  }
  std::string ansi = Utf8ToAnsi(Utf16LeToUtf8(bytes.data(), bytes.size()));
  if (bufferSize == 0) return static_cast<int>(ansi.size());
  if (buffer == nullptr || ansi.size() > static_cast<size_t>(bufferSize)) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  std::memcpy(buffer, ansi.data(), ansi.size());
  return static_cast<int>(ansi.size());
}

}  // namespace cw::sim
