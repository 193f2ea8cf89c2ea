// The simulated "34com.dll", the SAA713x driver's component: its
// registration, its device list, the IVampDevice of a device and the item
// interface.
#include <cctype>

#include "base/text.h"
#include "platform/sim/sim_com_objects.h"

namespace cw::sim {

using namespace com;

namespace {

}  // namespace

// ---- the Vamp component ----

HRESULT CW_STDMETHOD ComObjects::Count(void* self, LONG* count) {
  SimObject* o = Self(self, "the device count");
  HRESULT status = S_OK;
  if (Fail(o, "VampDevices.Count", &status)) return status;
  if (count == nullptr) return E_POINTER;
  *count = Vamp(o).deviceCount;
  return S_OK;
}

HRESULT CW_STDMETHOD ComObjects::GetDevice(void* self, LONG index, void** out) {
  SimObject* o = Self(self, "get_Device");
  if (out) *out = nullptr;
  HRESULT status = S_OK;
  if (Fail(o, "VampDevices.get_Device", &status)) return status;
  if (out == nullptr) return E_POINTER;
  if (Vamp(o).getDeviceFails) return E_FAIL;
  if (index < 0 || index >= Vamp(o).deviceCount) return E_INVALIDARG;
  o->owner->events_.push_back("device " + std::to_string(index));
  *out = Make(o, kVampDeviceObject, static_cast<size_t>(index));
  return S_OK;
}

HRESULT CW_STDMETHOD ComObjects::ItemObject(void* self, void** out) {
  SimObject* o = Self(self, "IVampDevice method 21");
  if (out) *out = nullptr;
  HRESULT status = S_OK;
  if (Fail(o, "IVampDevice.ItemObject", &status)) return status;
  if (out == nullptr) return E_POINTER;
  if (Vamp(o).itemObjectFails) return E_FAIL;
  *out = Make(o, kVampItemObject, o->device);
  return S_OK;
}

HRESULT CW_STDMETHOD ComObjects::Query(void* self, ULONG item, LONG* answer) {
  SimObject* o = Self(self, "the item query");
  HRESULT status = S_OK;
  if (Fail(o, "VampItem.Query", &status)) return status;
  if (answer == nullptr) return E_POINTER;
  if (item != 22) {
    o->owner->events_.push_back("item " + std::to_string(item) + " unknown");
    return E_INVALIDARG;
  }
  *answer = Vamp(o).item22;
  o->owner->events_.push_back("item 22 = " + std::to_string(*answer));
  return S_OK;
}

bool SimComponents::VampRegistered() const {
  const VampConfig& vamp = config().vamp;
  if (registered_ || vamp.registered) return true;
  if (!vamp.installed) return false;
  // Its in-process server where COM looks for the program: the per-user and
  // the machine's classes, in the 32-bit view on 64-bit Windows.
  const Machine& machine = platform_.machine_;
  const std::string server = "CLSID\\{B8A9279E-C453-11D4-AD45-0060080BA634}\\InprocServer32";
  const std::pair<RegRoot, std::string> places[] = {
      {RegRoot::CurrentUser, "Software\\Classes\\" + server},
      {RegRoot::LocalMachine, "SOFTWARE\\Classes\\" + server},
      {RegRoot::ClassesRoot, server}};
  const bool wow64 = machine.Is64Bit();
  for (const auto& [root, path] : places)
    if (machine.registry.Find(root, wow64 ? Wow64KeyPath(root, path) : path) != nullptr) return true;
  return false;
}

void SimComponents::ProcessStarted(const std::string& application, const std::string& commandLine) {
  // regsvr32.exe started from the system folder on "34com.dll" registers it.
  const MachineConfig& config = this->config();
  if (registered_ || !config.vamp.registerSucceeds) return;
  if (Lower(application) != Lower(config.systemDirectory + "\\regsvr32.exe")) return;
  if (Lower(commandLine).find("34com.dll") == std::string::npos) return;
  registered_ = true;
  events_.push_back("registered");
}
}  // namespace cw::sim
