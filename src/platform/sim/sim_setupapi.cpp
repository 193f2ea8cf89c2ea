// The simulated Windows' setupapi: the device lists read from the machine's
// Enum tree.
#include "platform/sim/sim_platform.h"

#include "platform/win_constants.h"

namespace cw::sim {

namespace {

constexpr const char* kEnumPath = "SYSTEM\\CurrentControlSet\\Enum";

}  // namespace

// ------------------------------------------------------- device setup

HDEVINFO SimPlatform::SetupDiGetClassDevsA(const GUID* classGuid, const char* /*enumerator*/,
                                           HWND /*parent*/, DWORD flags) {
  DWORD error = 0;
  if (Inject("SetupDiGetClassDevsA", &error)) {
    SetLastError(error);
    return INVALID_HANDLE_VALUE;
  }
  if (classGuid == nullptr && !(flags & DIGCF_ALLCLASSES)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  DeviceList list;
  // Enumerator, device and instance keys in registry order, as Windows and
  // Wine meet them. Wine lists only instances that carry a ClassGUID.
  if (const RegKey* root = machine_.registry.Find(RegRoot::LocalMachine, kEnumPath)) {
    for (const auto& [en, enumerator] : root->subkeys())
      for (const auto& [dn, device] : enumerator->subkeys())
        for (const auto& [in, instance] : device->subkeys())
          if (instance->FindValue("ClassGUID") != nullptr)
            list.instancePaths.push_back(std::string(kEnumPath) + "\\" + enumerator->name() +
                                         "\\" + device->name() + "\\" + instance->name());
  }
  uintptr_t handle = next_handle_;
  next_handle_ += 4;
  device_lists_[handle] = std::move(list);
  return HANDLE(handle);
}

BOOL SimPlatform::SetupDiEnumDeviceInfo(HDEVINFO list, DWORD index, SP_DEVINFO_DATA* data) {
  if (InjectBool("SetupDiEnumDeviceInfo")) return FALSE;
  auto it = device_lists_.find(static_cast<uintptr_t>(list));
  if (it == device_lists_.end()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (data == nullptr || data->cbSize != sizeof(SP_DEVINFO_DATA)) {
    SetLastError(ERROR_INVALID_USER_BUFFER);
    return FALSE;
  }
  if (index >= it->second.instancePaths.size()) {
    SetLastError(ERROR_NO_MORE_ITEMS);
    return FALSE;
  }
  data->ClassGuid = GUID{};
  data->DevInst = index + 1;
  data->Reserved = index;
  return TRUE;
}

BOOL SimPlatform::SetupDiGetDeviceRegistryPropertyA(HDEVINFO list, SP_DEVINFO_DATA* data,
                                                    DWORD property, DWORD* type, BYTE* buffer,
                                                    DWORD bufferSize, DWORD* requiredSize) {
  if (InjectBool("SetupDiGetDeviceRegistryPropertyA")) return FALSE;
  auto it = device_lists_.find(static_cast<uintptr_t>(list));
  if (it == device_lists_.end()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (data == nullptr || data->cbSize != sizeof(SP_DEVINFO_DATA) ||
      data->Reserved >= it->second.instancePaths.size()) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (buffer == nullptr && bufferSize != 0) {
    SetLastError(ERROR_INVALID_DATA);
    return FALSE;
  }
  const char* valueName = nullptr;
  switch (property) {
    case SPDRP_DEVICEDESC:
      valueName = "DeviceDesc";
      break;
    case SPDRP_HARDWAREID:
      valueName = "HardwareID";
      break;
    case SPDRP_COMPATIBLEIDS:
      valueName = "CompatibleIDs";
      break;
    case SPDRP_CLASS:
      valueName = "Class";
      break;
    case SPDRP_CLASSGUID:
      valueName = "ClassGUID";
      break;
    case SPDRP_DRIVER:
      valueName = "Driver";
      break;
    default:
      SetLastError(ERROR_INVALID_DATA);
      return FALSE;
  }
  const RegKey* instance = machine_.registry.Find(
      RegRoot::LocalMachine, it->second.instancePaths[static_cast<size_t>(data->Reserved)]);
  const RegValue* value = instance ? instance->FindValue(valueName) : nullptr;
  if (value == nullptr) {
    SetLastError(ERROR_INVALID_DATA);
    return FALSE;
  }
  const DWORD needed = static_cast<DWORD>(StoredAnsiSize(*value));
  if (type) *type = value->type;
  if (requiredSize) *requiredSize = needed;
  if (bufferSize < needed) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  if (needed) CopyStoredAsAnsi(*value, buffer);
  SetLastError(NO_ERROR);
  return TRUE;
}

BOOL SimPlatform::SetupDiDestroyDeviceInfoList(HDEVINFO list) {
  if (InjectBool("SetupDiDestroyDeviceInfoList")) return FALSE;
  if (device_lists_.erase(static_cast<uintptr_t>(list)) == 0) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  SetLastError(NO_ERROR);
  return TRUE;
}

}  // namespace cw::sim
