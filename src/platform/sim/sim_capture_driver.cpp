// The simulated capture driver behind the filter's handle: the
// register-access property requests (IOCTL_KS_PROPERTY), answered at once or
// later, with their overlapped completion.
#include <algorithm>
#include <cstdio>

#include "platform/sim/sim_com_objects.h"

namespace cw::sim {

using namespace com;

namespace {

constexpr ULONG_PTR kStatusPending = 0x103;
constexpr ULONG_PTR kStatusUnsuccessful = 0xC0000001u;
constexpr size_t kMaxRecordedInput = 4096;

// The driver's property set and its answers.
constexpr DWORD kPropertyId = 6;
constexpr DWORD kTypeGet = 1;
constexpr DWORD kTypeSet = 2;
constexpr DWORD kOpSetAddress = 0x30000001;
constexpr DWORD kOpRead = 0x30000003;
constexpr DWORD kRequestSize = 40;

std::string Hex(DWORD value) {
  char text[16];
  std::snprintf(text, sizeof(text), "0x%X", value);
  return text;
}

}  // namespace

HANDLE SimComponents::NewDeviceHandle() {
  const uintptr_t handle = platform_.next_handle_;
  platform_.next_handle_ += 4;
  platform_.kernel_handles_[handle] = "ks-filter";
  devices_.insert(HANDLE(handle));
  return HANDLE(handle);
}

void SimComponents::DropDeviceHandle(HANDLE handle) {
  if (devices_.erase(handle) == 0) return;
  if (platform_.kernel_handles_.erase(static_cast<uintptr_t>(handle)) == 0)
    Problem("the capture filter's handle was closed by the program");
}

bool SimComponents::OwnsDevice(HANDLE device) const {
  return devices_.count(device) != 0 &&
         platform_.kernel_handles_.count(static_cast<uintptr_t>(device)) != 0;
}
// ------------------------------------------------------ capture driver

DWORD SimComponents::Answer(DWORD code, const BYTE* input, DWORD inputSize, DWORD outputSize,
                            std::vector<BYTE>* reply, DWORD* bytes) {
  const CaptureFilterConfig& capture = this->config().captureFilter;
  reply->clear();
  *bytes = 0;
  if (code != IOCTL_KS_PROPERTY) return ERROR_INVALID_FUNCTION;
  if (input == nullptr || inputSize < 24) return ERROR_INVALID_PARAMETER;
  GUID set;
  std::memcpy(&set, input, sizeof(set));
  if (!(set == kRegisterSet)) return ERROR_SET_NOT_FOUND;
  if (ReadWord(input + 16) != kPropertyId) return ERROR_NOT_FOUND;
  if (inputSize < kRequestSize || outputSize < kRequestSize) return ERROR_INSUFFICIENT_BUFFER;
  const DWORD flags = ReadWord(input + 20);
  const DWORD operation = ReadWord(input + 24);
  if (flags == kTypeSet && operation == kOpSetAddress) {
    if (capture.failAddress != 0) return capture.failAddress;
    address_ = ReadWord(input + 28);
    hasLatch_ = false;
    latched_ = 0;
    events_.push_back("address " + Hex(address_));
    return 0;
  }
  if (flags == kTypeSet && operation == kOpRead) {
    if (capture.failReadSelect != 0) return capture.failReadSelect;
    auto it = capture.registers.find(address_);
    latched_ = it == capture.registers.end() ? 0 : it->second;
    hasLatch_ = true;
    // The reply names the register read and its value; the request that
    // follows fetches the value again.
    reply->assign(input, input + kRequestSize);
    WriteWord(reply->data() + 28, address_);
    WriteWord(reply->data() + 32, latched_);
    WriteWord(reply->data() + 36, 0);
    *bytes = kRequestSize;
    return 0;
  }
  if (flags == kTypeGet && operation == kOpRead) {
    if (capture.failRead != 0) return capture.failRead;
    // The reply is the block with the value latched by the read request
    // (0 when none came since the address was set).
    reply->assign(input, input + kRequestSize);
    const DWORD value = hasLatch_ ? latched_ : 0;
    WriteWord(reply->data() + 32, value);
    *bytes = kRequestSize;
    events_.push_back("read " + Hex(address_) + " = " + Hex(value));
    return 0;
  }
  return ERROR_INVALID_PARAMETER;
}

void SimComponents::Complete(Request* request) {
  if (request->error == 0 && !request->reply.empty() && request->output != nullptr)
    std::memcpy(request->output, request->reply.data(),
                std::min<size_t>(request->reply.size(), request->outputSize));
  request->answered = true;
}

BOOL SimComponents::DeviceIoControl(HANDLE device, DWORD code, void* input, DWORD inputSize,
                                    void* output, DWORD outputSize, DWORD* bytesReturned,
                                    OVERLAPPED* overlapped) {
  DeviceRequest record;
  record.code = code;
  record.inputSize = inputSize;
  record.outputSize = outputSize;
  record.outputIsInput = input != nullptr && input == output;
  record.overlapped = overlapped != nullptr;
  if (input != nullptr) {
    const BYTE* bytes = static_cast<const BYTE*>(input);
    record.input.assign(bytes, bytes + std::min<size_t>(inputSize, kMaxRecordedInput));
  }
  auto fail = [&](DWORD error) {
    record.error = error;
    requests_.push_back(record);
    platform_.SetLastError(error);
    return FALSE;
  };
  // The filter's handle is opened for overlapped requests: without a record
  // Windows gives no dependable result.
  if (overlapped == nullptr) {
    Problem("a request on the capture filter's handle without an OVERLAPPED record");
    return fail(ERROR_INVALID_PARAMETER);
  }
  if (overlapped->hEvent != HANDLE(0)) {
    auto it = platform_.kernel_handles_.find(static_cast<uintptr_t>(overlapped->hEvent));
    if (it == platform_.kernel_handles_.end() || it->second != "event")
      return fail(ERROR_INVALID_HANDLE);
  }

  Request request;
  request.device = device;
  request.output = output;
  request.outputSize = outputSize;
  request.error = Answer(code, static_cast<const BYTE*>(input), inputSize, outputSize,
                         &request.reply, &request.bytes);
  request.record = requests_.size();
  record.error = request.error;
  record.pending = config().captureFilter.pending;
  requests_.push_back(record);

  if (record.pending) {
    overlapped->Internal = kStatusPending;
    overlapped_[overlapped] = std::move(request);
    platform_.SetLastError(ERROR_IO_PENDING);
    return FALSE;
  }
  Complete(&request);
  overlapped->Internal = request.error == 0 ? 0 : kStatusUnsuccessful;
  overlapped->InternalHigh = request.bytes;
  const DWORD error = request.error;
  const DWORD bytes = request.bytes;
  overlapped_[overlapped] = std::move(request);
  if (error != 0) {
    platform_.SetLastError(error);
    return FALSE;
  }
  if (bytesReturned != nullptr) *bytesReturned = bytes;
  return TRUE;
}

BOOL SimComponents::GetOverlappedResult(HANDLE device, OVERLAPPED* overlapped,
                                        DWORD* bytesTransferred, BOOL wait) {
  auto it = overlapped == nullptr ? overlapped_.end() : overlapped_.find(overlapped);
  if (it == overlapped_.end() || it->second.device != device) {
    platform_.SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  Request& request = it->second;
  if (!request.answered) {
    if (!wait) {
      platform_.SetLastError(ERROR_IO_INCOMPLETE);
      return FALSE;
    }
    Complete(&request);
    overlapped->Internal = request.error == 0 ? 0 : kStatusUnsuccessful;
    overlapped->InternalHigh = request.bytes;
  }
  if (request.error != 0) {
    platform_.SetLastError(request.error);
    return FALSE;
  }
  if (bytesTransferred != nullptr) *bytesTransferred = request.bytes;
  return TRUE;
}

}  // namespace cw::sim
