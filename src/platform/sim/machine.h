// A simulated machine: its registry, read from one .reg file, and the few
// answers about its hardware and system that a registry cannot hold.
//
// Those answers live in the same file under one key, which the simulation
// takes out of the registry when it loads the machine (the wizard never sees
// it, as it would not on a real machine):
//
//   [HKEY_LOCAL_MACHINE\SOFTWARE\Chanwiz Simulation]
//   "ModuleFileName"="C:\\Program Files\\Morvex\\Chanwiz\\Chanwiz.exe"
//   "WindowsDirectory"="C:\\WINDOWS"
//   "SystemDirectory"="C:\\WINDOWS\\system32"
//   "ShutdownPrivilege"=dword:00000001
//   "Regsvr32"=dword:00000001
//   "ZeroSecurityDescriptorSize"=dword:00000000
//
//   [HKEY_LOCAL_MACHINE\SOFTWARE\Chanwiz Simulation\win.ini\intl]
//   "iCountry"="39"
//
// ShutdownPrivilege: the user holds the shutdown privilege. Regsvr32:
// regsvr32.exe can be found and started. ZeroSecurityDescriptorSize:
// RegQueryInfoKeyA reports a security-descriptor size of 0, as Wine does.
// The win.ini subkeys are that file's sections (9x keeps iCountry there).
//
// A key's security, when it is not the default (DefaultKeySecurity), is an
// SDDL string named by the key's full path:
//
//   [HKEY_LOCAL_MACHINE\SOFTWARE\Chanwiz Simulation\Security]
//   "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Class\\{4d36e96c-...}\\0001"="O:BAG:SYD:(A;;KA;;;SY)(D;;KA;;;BU)"
//
// An SDDL that does not parse, or a key the file does not have, makes the
// file fail to load.
//
// The video input devices with the Conexant capture driver behind them, and
// the SAA713x driver's component "34com.dll":
//
//   [HKEY_LOCAL_MACHINE\SOFTWARE\Chanwiz Simulation\CaptureFilter]
//   "FriendlyName"="Conexant 2388x Video Capture"   (or hex(7): several devices)
//   "Register_350018"=dword:00000040
//   "Pending"=dword:00000001
//   "FailAddress"=dword:0000001f
//
//   [HKEY_LOCAL_MACHINE\SOFTWARE\Chanwiz Simulation\Vamp]
//   "DeviceCount"=dword:00000001
//   "Item22"=dword:00000001
//
// See CaptureFilterConfig and VampConfig for every value. A register value
// whose name is not "Register_" and a hexadecimal address makes the file
// fail to load.
//
// On a 64-bit machine (Is64Bit) the file holds the registry as it really
// is, what the 32-bit program sees of HKLM\SOFTWARE under
// HKLM\SOFTWARE\Wow6432Node; the simulation key stays where it is.
//
// Keys every such Windows has (HKLM\SOFTWARE and HKLM\SYSTEM, and that node
// on a 64-bit one) are made when the file lacks them: an undo must never
// take one of them for a key the run created.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "regtree/reg_file.h"
#include "regtree/registry.h"

namespace cw::sim {

constexpr const char* kSimulationKey = "SOFTWARE\\Chanwiz Simulation";

struct WindowsVersion {
  DWORD platformId = 2;  // VER_PLATFORM_WIN32_NT
  DWORD major = 5;
  DWORD minor = 1;
  DWORD build = 2600;
  std::string csdVersion;
};

// The video input devices and the capture driver behind them (subkey
// CaptureFilter). Every device listed is bound to the same driver.
struct CaptureFilterConfig {
  // "FriendlyName" (REG_SZ, or REG_MULTI_SZ for several devices): the
  // devices in the order the enumerator lists them, UTF-8. None: the
  // category is empty.
  std::vector<std::string> friendlyNames;
  // "Register_<hex address>" (dword): the chip's registers; others read 0.
  std::map<DWORD, DWORD> registers;
  // "Pending": every request completes later (ERROR_IO_PENDING, then
  // GetOverlappedResult).
  bool pending = false;
  // Windows error codes for the request kinds (0: they succeed):
  // "FailAddress" the address request, "FailReadSelect" the first read
  // request (SET), "FailRead" the second (GET).
  DWORD failAddress = 0;
  DWORD failReadSelect = 0;
  DWORD failRead = 0;
  // "NoKsHandle": the filter has no IKsObject.
  bool noKsHandle = false;
};

// The SAA713x driver's component (subkey Vamp). Without the subkey it is
// not installed: not registered, and registering it does not help.
struct VampConfig {
  bool installed = false;         // the subkey is there
  // "Registered" (default 1 with the subkey). 0: registered only when the
  // registry holds the class's InprocServer32 key where the program looks
  // (see SimComponents::VampRegistered).
  bool registered = false;
  bool registerSucceeds = false;  // "RegisterSucceeds": regsvr32 registers it (default 1)
  LONG deviceCount = 0;           // "DeviceCount" (default 1)
  bool getDeviceFails = false;    // "GetDeviceFails": get_Device fails
  bool queryInterfaceFails = false;  // "QueryInterfaceFails": no IVampDevice
  bool itemObjectFails = false;   // "ItemObjectFails": IVampDevice method 21 fails
  // "ItemInterfaceNull": the item interface is not given; 1 as a failed
  // QueryInterface, 2 as one that succeeds with a null pointer.
  DWORD itemInterfaceNull = 0;
  LONG item22 = 0;                // "Item22": the answer for item 22
};

struct MachineConfig {
  std::string moduleFileName = "C:\\Program Files\\Morvex\\Chanwiz\\Chanwiz.exe";
  std::string windowsDirectory = "C:\\WINDOWS";
  std::string systemDirectory = "C:\\WINDOWS\\system32";
  bool shutdownPrivilege = true;
  bool regsvr32Found = true;
  bool zeroSecurityDescriptorSize = false;
  // win.ini as sections of key = value, names as written.
  std::map<std::string, std::map<std::string, std::string>> winIni;
  CaptureFilterConfig captureFilter;
  VampConfig vamp;
  // Everything under the simulation key, kept for later readers.
  std::unique_ptr<RegKey> raw;
};

struct Machine {
  RegistryTree registry;
  MachineConfig config;
  RegFileFormat format = RegFileFormat::Unicode5;
  std::string fileName;

  // The Windows version the machine reports, from its registry.
  WindowsVersion Version() const;
  // 64-bit Windows, as its registry says: PROCESSOR_ARCHITECTURE "AMD64",
  // "ARM64" or "IA64" under HKLM\SYSTEM\CurrentControlSet\Control\Session
  // Manager\Environment on the NT family. The program, 32-bit, then runs
  // under WOW64 and sees the registry through Wow64KeyPath.
  bool Is64Bit() const;
};

// Reads a machine file. On error returns false with *error naming the file
// and line; *machine is then unchanged.
bool LoadMachineFile(const std::string& path, Machine* machine, RegFileError* error);
// The same from bytes already read.
bool LoadMachineBytes(const std::string& bytes, const std::string& fileName, Machine* machine,
                      RegFileError* error);

// `registry` (the machine's registry after a run) with the simulation key put
// back, so that a file written from it loads as the same machine again.
RegistryTree WithSimulationKey(const Machine& machine, const RegistryTree& registry);

}  // namespace cw::sim
