// The simulated machine's COM components and capture driver:
//
// - the system device enumerator, listing the video input devices of the
//   machine file (monikers with a property bag holding "FriendlyName"), each
//   bound as a capture filter whose IKsObject gives a device handle;
// - the capture driver behind that handle, answering the register-access
//   property requests (IOCTL_KS_PROPERTY) at once or later (pending);
// - the SAA713x driver's component "34com.dll": its device list, the
//   IVampDevice of a device and the item interface that answers item 22.
//
// Every object is a real COM object: a structure whose first member points
// at a static table of methods, called by position with COM's calling
// convention. Objects are kept until the simulation ends, so a call on one
// the program has already released is recorded as a problem rather than
// reaching freed memory. What the program did wrong by the components'
// contracts (a call on a released object, an object still held when COM is
// uninitialised, a string freed twice) is collected in problems().
#pragma once

#include <map>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "platform/sim/machine.h"
#include "platform/win_types.h"

namespace cw::sim {

class SimPlatform;
struct SimObject;
struct ComObjects;

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" (either letter case) into *guid.
bool ParseGuidText(std::string_view text, GUID* guid);

// One request the capture driver received.
struct DeviceRequest {
  DWORD code = 0;
  std::vector<BYTE> input;  // the input block as it was when sent (at most 4096 bytes)
  DWORD inputSize = 0;
  DWORD outputSize = 0;
  bool outputIsInput = false;  // one buffer for both
  bool overlapped = false;     // an OVERLAPPED record was given
  bool pending = false;        // answered later
  DWORD error = 0;             // the outcome: 0, or the Windows error
};

class SimComponents {
 public:
  explicit SimComponents(SimPlatform& platform);
  ~SimComponents();
  SimComponents(const SimComponents&) = delete;
  SimComponents& operator=(const SimComponents&) = delete;

  // ---- What the platform hands over ----
  HRESULT CreateInstance(const CLSID& clsid, void* outer, DWORD context, const IID& iid,
                         void** object);
  bool OwnsDevice(HANDLE device) const;
  BOOL DeviceIoControl(HANDLE device, DWORD code, void* input, DWORD inputSize, void* output,
                       DWORD outputSize, DWORD* bytesReturned, OVERLAPPED* overlapped);
  BOOL GetOverlappedResult(HANDLE device, OVERLAPPED* overlapped, DWORD* bytesTransferred,
                           BOOL wait);
  // A BSTR of the text (UTF-8): its byte length in the 4 bytes before it.
  BSTR NewString(std::string_view utf8);
  // Frees a BSTR handed out here; false (nothing freed) for any other.
  bool FreeString(BSTR text);
  // COM's apartment has ended (the last CoUninitialize).
  void ComEnded();
  void Problem(const std::string& what);

  // ---- What a test looks at ----
  // Objects the program still holds a reference to, by interface name.
  std::vector<std::string> LiveObjects() const;
  size_t LiveStrings() const { return strings_.size(); }
  const std::vector<DeviceRequest>& requests() const { return requests_; }
  // What the components did, in order: "enumerate video input devices",
  // "bind <friendly name>", "address 0x350018", "read 0x350018 = 0x40",
  // "registered" (by a registration run), "device 0", "item 22 = 1".
  const std::vector<std::string>& events() const { return events_; }
  const std::vector<std::string>& problems() const { return problems_; }
  // Whether "34com.dll" is registered now: by the machine (its "Registered"
  // value, or its class in the registry where the program's COM looks), or
  // by a regsvr32.exe run from the system folder.
  bool VampRegistered() const;
  // A program the machine started: regsvr32 may register the component.
  void ProcessStarted(const std::string& application, const std::string& commandLine);

 private:
  friend struct ComObjects;

  struct Request {  // an overlapped request, answered or not
    HANDLE device{};
    void* output = nullptr;
    DWORD outputSize = 0;
    std::vector<BYTE> reply;  // written to the output when answered
    DWORD bytes = 0;
    DWORD error = 0;
    bool answered = false;
    size_t record = 0;  // index into requests_
  };

  const MachineConfig& config() const;
  SimObject* NewObject(int kind);
  // The driver's answer to one request: 0 or a Windows error.
  DWORD Answer(DWORD code, const BYTE* input, DWORD inputSize, DWORD outputSize,
               std::vector<BYTE>* reply, DWORD* bytes);
  void Complete(Request* request);
  bool Inject(const char* operation, HRESULT* status);
  HANDLE NewDeviceHandle();
  void DropDeviceHandle(HANDLE handle);

  SimPlatform& platform_;
  std::vector<std::unique_ptr<SimObject>> objects_;
  std::set<BSTR> strings_;
  std::set<HANDLE> devices_;
  std::map<const OVERLAPPED*, Request> overlapped_;
  std::vector<DeviceRequest> requests_;
  std::vector<std::string> events_;
  std::vector<std::string> problems_;
  bool registered_ = false;  // by a registration run
  // The driver's state: the address set last, and the value a read latched.
  DWORD address_ = 0;
  DWORD latched_ = 0;
  bool hasLatch_ = false;
};

}  // namespace cw::sim
