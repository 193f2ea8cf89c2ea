#include "access/vamp_probe.h"

#include <cstdio>

#include "platform/com_call.h"
#include "platform/raii.h"
#include "platform/win_constants.h"

namespace cw {

namespace {

// How long the second open waits for the registration to finish.
constexpr DWORD kRegistrationWaitMs = 10000;

enum class Registration { Started, NotFound, NotStarted };

// Runs "regsvr32 /s 34com.dll" hidden, from the system folder by its full
// path (never found through the current or the program's folder), and waits
// for it to finish, at most kRegistrationWaitMs.
Registration RegisterVampComponent(Platform& platform) {
  char directory[MAX_PATH] = {};
  const UINT length = platform.GetSystemDirectoryA(directory, sizeof(directory));
  if (length == 0 || length >= sizeof(directory)) return Registration::NotStarted;

  const char* separator = directory[length - 1] == '\\' ? "" : "\\";
  char application[MAX_PATH + 16];
  int written =
      std::snprintf(application, sizeof(application), "%s%sregsvr32.exe", directory, separator);
  if (written < 0 || static_cast<size_t>(written) >= sizeof(application))
    return Registration::NotStarted;
  // CreateProcessA may write into the command line: it is a buffer of ours.
  char commandLine[sizeof(application) + 32];
  written = std::snprintf(commandLine, sizeof(commandLine), "\"%s\" /s %s", application,
                          kVampComponentFile);
  if (written < 0 || static_cast<size_t>(written) >= sizeof(commandLine))
    return Registration::NotStarted;

  PROCESS_INFORMATION started = {};
  if (!platform.CreateProcessA(application, commandLine, 0, SW_HIDE, &started)) {
    const DWORD error = platform.GetLastError();
    return error == static_cast<DWORD>(ERROR_FILE_NOT_FOUND) ||
                   error == static_cast<DWORD>(ERROR_PATH_NOT_FOUND)
               ? Registration::NotFound
               : Registration::NotStarted;
  }
  KernelHandle process(platform);
  process.reset(started.hProcess);
  KernelHandle thread(platform);
  thread.reset(started.hThread);
  thread.Close();
  // A registration still running after the wait is not waited for further:
  // the second open then finds the component as it is.
  platform.WaitForSingleObject(process.get(), kRegistrationWaitMs);
  return Registration::Started;
}

}  // namespace

VampProbe::~VampProbe() { ReleaseVampInterfaces(); }

int32_t VampProbe::OpenVampDevice() {
  com_.Initialize();
  // A new open starts from nothing held.
  ReleaseVampInterfaces();

  const HRESULT created = platform_.CoCreateInstance(CLSID_VampDeviceList, nullptr,
                                                     CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER,
                                                     IID_VampDeviceList, VampDeviceList.receive());
  VampDeviceCount = 0;
  VampDeviceIndex = 0;
  if (Failed(created)) VampDeviceList.Abandon();
  if (!VampDeviceList) return 0;

  ComCall(VampDeviceList.get(), kSlotVampDeviceCount, &VampDeviceCount);
  if (!(VampDeviceIndex < VampDeviceCount)) return 0;

  ComPtr device;
  HRESULT status =
      ComCall(VampDeviceList.get(), kSlotVampGetDevice, VampDeviceIndex, device.receive());
  if (Failed(status)) device.Abandon();
  if (!device) {
    platform_.MessageBoxA(HWND(0), "Cannot open device", "get_Device failure", MB_ICONHAND);
    return 0;
  }

  status = QueryInterface(device.get(), IID_IVampDevice, &VampDevice);
  device.Reset();
  if (Failed(status) || !VampDevice) {
    platform_.MessageBoxA(HWND(0), "Cannot get IVampDevice", "QueryInterface failure", MB_ICONHAND);
    return 0;
  }
  return 1;
}

bool VampProbe::QueryVampItem(uint32_t item) {
  LONG answer = 0;
  if (!VampItem && VampDevice) {
    ComPtr object;
    const HRESULT status = ComCall(VampDevice.get(), kSlotVampItemObject, object.receive());
    if (Failed(status)) object.Abandon();
    // The object received is released whether or not it has the interface.
    if (object) QueryInterface(object.get(), IID_VampItem, &VampItem);
  }
  if (!VampItem) return false;
  ComCall(VampItem.get(), kSlotVampItemQuery, ULONG{item}, &answer);
  return answer == 1;
}

void VampProbe::ReleaseVampInterfaces() {
  VampItem.Reset();
  VampDevice.Reset();
  VampDeviceList.Reset();
}

int32_t ProbeSaa713xTuner(Platform& platform, WizardState& state) {
  // Every way out releases the component's interfaces before COM is
  // uninitialised: the probe's destructor does both, in that order.
  VampProbe probe(platform);
  if (!probe.OpenVampDevice()) {
    if (!state.IsNtFamily) return 0;
    switch (RegisterVampComponent(platform)) {
      case Registration::NotFound:
        platform.MessageBoxA(
            HWND(0), "Can't find 34Com.dll file.\n\nPlease check your hardware or drivers. ",
            state.AppTitleName, MB_OK);
        return 1;
      case Registration::NotStarted:
        return 1;
      case Registration::Started:
        break;
    }
    if (!probe.OpenVampDevice()) return 0;
  }
  state.TunerVariant =
      probe.QueryVampItem(kVampTunerItem) ? kTunerVariantAlternate : kTunerVariantStandard;
  return 1;
}

}  // namespace cw
