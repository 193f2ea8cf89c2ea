// The hardware probes on a simulated machine: its capture filter and
// component from a few values, a platform recording the probes' calls, and
// the checks every probe must pass at its end.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "access/cx23880_register.h"
#include "access/vamp_probe.h"
#include "record/wizard_state.h"
#include "platform/sim/sim_platform.h"
#include "support/sim_harness.h"

namespace cw::test {

// A machine whose simulation key holds `simValues` and the given subkeys.
inline sim::Machine ProbeMachine(const std::string& captureValues, const std::string& vampValues = "",
                                 const std::string& simValues = "", bool withVamp = true) {
  std::string body = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Chanwiz Simulation]\r\n" + simValues + "\r\n";
  if (!captureValues.empty())
    body += "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Chanwiz Simulation\\CaptureFilter]\r\n" +
            captureValues + "\r\n";
  if (withVamp)
    body += "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Chanwiz Simulation\\Vamp]\r\n" + vampValues + "\r\n";
  return MachineFromText(RegText(body));
}

// The simulated Windows, recording the arguments of the calls the probes
// make, in order.
class RecordingSim : public sim::SimPlatform {
 public:
  explicit RecordingSim(sim::Machine& machine) : SimPlatform(machine, nullptr) {}

  std::vector<std::string> log;
  std::vector<HANDLE> started, closed;  // process and thread handles handed out; closed
  int comInitialized = 0, comUninitialized = 0;  // successful CoInitialize calls; CoUninitialize calls

  HRESULT CoInitialize() override {
    HRESULT status = SimPlatform::CoInitialize();
    comInitialized += status >= 0;
    return status;
  }
  void CoUninitialize() override { ++comUninitialized; SimPlatform::CoUninitialize(); }
  HRESULT CoCreateInstance(const CLSID& clsid, void* outer, DWORD context, const IID& iid,
                           void** object) override {
    char text[64];
    std::snprintf(text, sizeof(text), "CoCreateInstance %08X context %u", clsid.Data1, context);
    log.push_back(text);
    return SimPlatform::CoCreateInstance(clsid, outer, context, iid, object);
  }
  int WideCharToMultiByte(UINT codePage, DWORD flags, const OLECHAR* wide, int wideLength, char* buffer,
                          int bufferSize) override {
    log.push_back("WideCharToMultiByte " + std::to_string(codePage) + " " + std::to_string(flags) + " " +
                  std::to_string(wideLength) + " " + std::to_string(bufferSize));
    return SimPlatform::WideCharToMultiByte(codePage, flags, wide, wideLength, buffer, bufferSize);
  }
  HANDLE CreateEventA(BOOL manualReset, BOOL initialState) override {
    log.push_back("CreateEventA " + std::to_string(manualReset) + " " + std::to_string(initialState));
    return SimPlatform::CreateEventA(manualReset, initialState);
  }
  BOOL GetOverlappedResult(HANDLE device, OVERLAPPED* overlapped, DWORD* bytes, BOOL wait) override {
    log.push_back("GetOverlappedResult wait " + std::to_string(wait));
    return SimPlatform::GetOverlappedResult(device, overlapped, bytes, wait);
  }
  BOOL CreateProcessA(const char* applicationName, char* commandLine, DWORD creationFlags, UINT show,
                      PROCESS_INFORMATION* info) override {
    log.push_back(std::string("CreateProcessA [") + (applicationName ? applicationName : "") + "] [" +
                  (commandLine ? commandLine : "") + "] show " + std::to_string(show));
    BOOL ok = SimPlatform::CreateProcessA(applicationName, commandLine, creationFlags, show, info);
    if (ok) started.insert(started.end(), {info->hProcess, info->hThread});
    return ok;
  }
  DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) override {
    const bool onProcess = !started.empty() && handle == started[started.size() - 2];
    log.push_back(std::string("WaitForSingleObject ") + (onProcess ? "process " : "other ") +
                  std::to_string(milliseconds));
    return SimPlatform::WaitForSingleObject(handle, milliseconds);
  }
  BOOL CloseHandle(HANDLE handle) override { closed.push_back(handle); return SimPlatform::CloseHandle(handle); }
  int MessageBoxA(HWND owner, const char* text, const char* caption, UINT type) override {
    boxes.push_back(std::string(text ? text : "") + " | " + (caption ? caption : "") + " | " +
                    std::to_string(type));
    return SimPlatform::MessageBoxA(owner, text, caption, type);
  }
  std::vector<std::string> boxes;  // "text | caption | style"

  // How many entries of the log begin with `prefix`.
  int Count(const std::string& prefix) const {
    return std::count_if(log.begin(), log.end(), [&](const std::string& e) { return e.rfind(prefix, 0) == 0; });
  }
  // How often the simulation counted `operation` (component methods included).
  int Calls(const std::string& operation) const {
    return std::count(calls().begin(), calls().end(), operation);
  }
};

// A machine and a record ready for the probes (as start-up leaves it, with
// the family and the caption set).
struct ProbeRun {
  explicit ProbeRun(sim::Machine m, bool nt = true) : machine(std::move(m)), platform(machine) {
    state.IsNtFamily = nt ? 1 : 0;
    CopyText(state.AppTitleName, "QL750 Chanwiz Wizard");
  }

  // No interface held, no string unfreed, COM uninitialised as often as it
  // was initialised, every handle closed, no breach of a component's contract.
  void ExpectCleanEnd() {
    EXPECT_EQ(platform.components().LiveObjects(), std::vector<std::string>{});
    EXPECT_EQ(platform.components().LiveStrings(), 0u);
    EXPECT_EQ(platform.components().problems(), std::vector<std::string>{});
    EXPECT_EQ(platform.comInitialized, platform.comUninitialized);
    for (HANDLE h : platform.started)
      EXPECT_EQ(std::count(platform.closed.begin(), platform.closed.end(), h), 1)
          << "handle " << static_cast<uintptr_t>(h) << " not closed";
  }

  sim::Machine machine;
  RecordingSim platform;
  WizardState state;
};

}  // namespace cw::test
