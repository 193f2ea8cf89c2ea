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
#pragma once

#include <map>
#include <string>

#include "platform/sim/reg_file.h"
#include "platform/sim/registry.h"

namespace cw::sim {

constexpr const char* kSimulationKey = "SOFTWARE\\Chanwiz Simulation";

struct WindowsVersion {
  DWORD platformId = 2;  // VER_PLATFORM_WIN32_NT
  DWORD major = 5;
  DWORD minor = 1;
  DWORD build = 2600;
  std::string csdVersion;
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
};

// Reads a machine file. On error returns false with *error naming the file
// and line; *machine is then unchanged.
bool LoadMachineFile(const std::string& path, Machine* machine, RegFileError* error);
// The same from bytes already read.
bool LoadMachineBytes(const std::string& bytes, const std::string& fileName, Machine* machine,
                      RegFileError* error);

}  // namespace cw::sim
