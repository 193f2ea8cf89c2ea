// Calls the component the way the wizard's probe does: the same identifiers,
// the same method positions and the same call mechanism (platform/com_call.h),
// against whatever "34com.dll" is registered. With --register it first runs
// the registration as the probe does when the component cannot be created.
//
// Prints each step. Exit code: 3 when item 22 answers 1, 0 for any other
// answer, 20 when the class is not registered, 21 when no device is listed,
// 22-25 when a later step fails, 30 when COM cannot be initialised.
#include <windows.h>
#include <objbase.h>

#include <cstdio>
#include <cstring>

#include "platform/com_call.h"
#include "access/vamp_device.h"

namespace {

HRESULT Say(const char* step, HRESULT status) {
  std::printf("%s: 0x%08lX\n", step, static_cast<unsigned long>(status));
  return status;
}

HRESULT Create(void** list) {
  return CoCreateInstance(reinterpret_cast<const ::CLSID&>(cw::CLSID_VampDeviceList), nullptr,
                          CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER,
                          reinterpret_cast<const ::IID&>(cw::IID_VampDeviceList), list);
}

// "<system folder>\regsvr32.exe /s 34com.dll", hidden, waited for 10 s.
bool Register() {
  char directory[MAX_PATH] = {};
  UINT length = GetSystemDirectoryA(directory, sizeof(directory));
  if (length == 0 || length >= sizeof(directory)) return false;
  char application[MAX_PATH + 16];
  std::snprintf(application, sizeof(application), "%s\\regsvr32.exe", directory);
  char commandLine[sizeof(application) + 32];
  std::snprintf(commandLine, sizeof(commandLine), "\"%s\" /s %s", application,
                cw::kVampComponentFile);
  STARTUPINFOA startup = {};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_HIDE;
  PROCESS_INFORMATION process = {};
  if (!CreateProcessA(application, commandLine, nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &process)) {
    std::printf("CreateProcessA %s: error %lu\n", commandLine, GetLastError());
    return false;
  }
  DWORD waited = WaitForSingleObject(process.hProcess, 10000);
  DWORD exitCode = 0;
  GetExitCodeProcess(process.hProcess, &exitCode);
  std::printf("%s: wait %lu, exit code %lu\n", commandLine, waited, exitCode);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return true;
}

int Probe(bool registerFirst) {
  cw::ComPtr list;
  if (FAILED(Say("CoCreateInstance", Create(list.receive())))) list.Abandon();
  if (!list && registerFirst && Register() && FAILED(Say("CoCreateInstance again", Create(list.receive()))))
    list.Abandon();
  if (!list) return 20;

  cw::LONG count = 0;
  HRESULT status = cw::ComCall(list.get(), cw::kSlotVampDeviceCount, &count);
  std::printf("method 7: 0x%08lX, count %ld\n", static_cast<unsigned long>(status),
              static_cast<long>(count));
  if (count < 1) return 21;

  cw::ComPtr device;
  if (FAILED(Say("method 8 (get_Device 0)",
                 cw::ComCall(list.get(), cw::kSlotVampGetDevice, cw::LONG{0}, device.receive()))))
    device.Abandon();
  if (!device) return 22;

  cw::ComPtr vampDevice;
  Say("QueryInterface IVampDevice", cw::QueryInterface(device.get(), cw::IID_IVampDevice, &vampDevice));
  device.Reset();
  if (!vampDevice) return 23;

  cw::ComPtr object;
  if (FAILED(Say("method 21", cw::ComCall(vampDevice.get(), cw::kSlotVampItemObject, object.receive()))))
    object.Abandon();
  if (!object) return 24;

  cw::ComPtr item;
  Say("QueryInterface item interface", cw::QueryInterface(object.get(), cw::IID_VampItem, &item));
  object.Reset();
  if (!item) return 25;

  // An unused method answers E_NOTIMPL and changes nothing.
  Say("method 3 of the item interface", cw::ComCall(item.get(), 3));

  cw::LONG answer = 0;
  status = cw::ComCall(item.get(), cw::kSlotVampItemQuery, cw::ULONG{cw::kVampTunerItem}, &answer);
  std::printf("method 11 (item 22): 0x%08lX, answer %ld\n", static_cast<unsigned long>(status),
              static_cast<long>(answer));
  return answer == 1 ? 3 : 0;
}

}  // namespace

int main(int argc, char** argv) {
  const bool registerFirst = argc > 1 && std::strcmp(argv[1], "--register") == 0;
  if (FAILED(CoInitialize(nullptr))) return 30;
  int result = Probe(registerFirst);
  CoUninitialize();
  std::printf("result %d\n", result);
  std::fflush(stdout);
  return result;
}
