// Stands between the wizard and the platform of an unattended run and keeps
// account of what the run does to the registry:
//
// - every value it sets, with the value as it was before (or that there was
//   none), and every key it creates, so that the changes, an undo file and a
//   report can be written for the live machine too;
// - every write that failed, so the exit code can say so;
// - the devices Windows listed, as the wizard read them.
//
// In a dry run nothing reaches the registry: keys are opened for reading
// only, values the wizard sets are kept aside (and read back from there),
// keys it creates exist only here, access lists are left as they are, and no
// process is started and no restart made. Once the run has stopped (the
// answers ran out) nothing more is written either, as if the process had
// ended there.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/forwarding_platform.h"
#include "regtree/registry.h"
#include "regtree/undo.h"

namespace cw {

class RecordingPlatform : public ForwardingPlatform {
 public:
  enum class Mode {
    Apply,   // writes go through
    DryRun,  // nothing is written
  };

  // With `keepOldValues` false (the simulation, which compares whole
  // registries instead) the values are not read before they are set, so the
  // run makes exactly the calls it would make alone.
  RecordingPlatform(Platform& inner, Mode mode, bool keepOldValues = true);

  // Asked before each write: true once the run is over.
  void SetStopped(std::function<bool()> stopped) { stopped_ = std::move(stopped); }

  struct FailedCall {
    std::string operation;  // "RegSetValueExA", "RegOpenKeyExA", ...
    std::string key;        // full path, "HKEY_LOCAL_MACHINE\..."
    std::string value;      // the value name, for value writes
    LONG error = 0;
    REGSAM access = 0;  // for opens: the access asked for
  };
  struct WrittenValue {
    std::string key;  // full path
    std::string value;
  };
  struct Device {
    DWORD devInst = 0;
    std::string hardwareId;  // the first of the device's hardware ids
    std::string driver;      // its driver key, "" when not read
  };

  Mode mode() const { return mode_; }
  // Every key the run wrote to or created, with the values it set as they
  // were before the run (absent when there was none) and as it left them.
  // Keys the run created are only in after(). Nothing else is in them.
  const sim::RegistryTree& before() const { return before_; }
  const sim::RegistryTree& after() const { return after_; }
  // Writes that failed: values, created keys, access lists.
  const std::vector<FailedCall>& failedWrites() const { return failed_writes_; }
  // Keys that did not open, in the order tried (reads and writes alike).
  const std::vector<FailedCall>& failedOpens() const { return failed_opens_; }
  // Every value set (in a dry run: that would have been set), in order.
  const std::vector<WrittenValue>& writtenValues() const { return written_; }
  // Values whose old data could not be read exactly: an undo cannot put them
  // back, and says so.
  const std::vector<sim::UnreadValue>& unknownOldValues() const { return unknown_old_; }
  const std::vector<Device>& devices() const { return devices_; }
  bool restartRequested() const { return restart_requested_; }
  // What a dry run left out that a real run would have done.
  const std::vector<std::string>& notes() const { return notes_; }

  // ---- Platform ----
  LONG RegOpenKeyA(HKEY key, const char* subKey, HKEY* result) override;
  LONG RegOpenKeyExA(HKEY key, const char* subKey, DWORD options, REGSAM access,
                     HKEY* result) override;
  LONG RegCreateKeyExA(HKEY key, const char* subKey, DWORD reserved, DWORD options, REGSAM access,
                       HKEY* result, DWORD* disposition) override;
  LONG RegQueryValueExA(HKEY key, const char* valueName, DWORD* type, BYTE* data,
                        DWORD* dataSize) override;
  LONG RegSetValueExA(HKEY key, const char* valueName, DWORD reserved, DWORD type,
                      const BYTE* data, DWORD dataSize) override;
  LONG RegFlushKey(HKEY key) override;
  LONG RegDeleteKeyA(HKEY key, const char* subKey) override;
  LONG RegCloseKey(HKEY key) override;
  LONG RegQueryInfoKeyA(HKEY key, char* className, DWORD* classNameSize, DWORD* subKeys,
                        DWORD* maxSubKeyLen, DWORD* maxClassLen, DWORD* values,
                        DWORD* maxValueNameLen, DWORD* maxValueLen,
                        DWORD* securityDescriptorSize, FILETIME* lastWriteTime) override;
  LONG RegGetKeySecurity(HKEY key, SECURITY_INFORMATION info, PSECURITY_DESCRIPTOR descriptor,
                         DWORD* size) override;
  LONG RegSetKeySecurity(HKEY key, SECURITY_INFORMATION info,
                         PSECURITY_DESCRIPTOR descriptor) override;
  BOOL ExitWindowsEx(UINT flags, DWORD reason) override;
  BOOL SetupDiGetDeviceRegistryPropertyA(HDEVINFO list, SP_DEVINFO_DATA* data, DWORD property,
                                         DWORD* type, BYTE* buffer, DWORD bufferSize,
                                         DWORD* requiredSize) override;
  UINT WinExec(const char* commandLine, UINT show) override;
  BOOL CreateProcessA(const char* applicationName, char* commandLine, DWORD creationFlags,
                      UINT show, PROCESS_INFORMATION* processInformation) override;

 private:
  static constexpr UINT kWindows1252 = 1252;
  // Why old string data read through an "A" call may not be the stored text,
  // or "" when it is exact.
  std::string InexactAnsiText(DWORD type, const std::vector<BYTE>& data);

  // A key the wizard holds open, by its path. Keys that exist only in a dry
  // run (created by it) have handles of this class's own.
  struct OpenKey {
    sim::RegRoot root;
    // Below the root, in the "A" calls' text, where the key really is: on
    // 64-bit Windows a 32-bit process's HKLM\SOFTWARE is
    // HKLM\SOFTWARE\Wow6432Node, and an undo imported by regedit (64-bit
    // there) must name that.
    std::string path;
    REGSAM access;     // as the wizard asked (RegOpenKeyA: everything)
    bool previewOnly;
  };

  bool Resolve(HKEY key, OpenKey* out) const;
  // The saved-access record is the writers' scaffolding, not a setting: a
  // finished run leaves none, so a real run keeps it out of its account.
  bool IsSecurityRecord(HKEY key, const char* subKey) const;
  static std::string Join(const std::string& parent, const char* subKey);
  // Whether this process runs under WOW64 (asked once).
  bool Wow64();
  // Where a key named below an open one lies, in the view `access` names.
  std::string ChildPath(const OpenKey& parent, const char* subKey, REGSAM access);
  // The access bits that make this class's own opens take its paths as they
  // are: 64-bit view under WOW64 (no bit elsewhere, where some Windows refuse it).
  REGSAM LiteralView();
  std::string FullPath(sim::RegRoot root, const std::string& path) const;
  bool Stopped() const { return stopped_ && stopped_(); }
  void Remember(HKEY handle, const OpenKey& key) { keys_[static_cast<uintptr_t>(handle)] = key; }
  HKEY NewPreviewHandle();
  // Whether the key exists on the machine (a key that exists but may not be
  // read counts as existing).
  bool ExistsOnMachine(sim::RegRoot root, const std::string& path);
  // Puts the existing keys of a path into before() and after().
  void NoteExistingParents(sim::RegRoot root, const std::string& path);
  // Reads a value's data before it is first set, into before().
  void KeepOldValue(HKEY handle, const OpenKey& key, const std::string& name);
  LONG OpenChild(HKEY key, const char* subKey, REGSAM access, bool exactAccess, HKEY* result,
                 const char* operation);

  Mode mode_;
  bool keep_old_values_;
  std::function<bool()> stopped_;
  std::map<uintptr_t, OpenKey> keys_;
  uintptr_t next_preview_handle_ = 0x7E000000;
  sim::RegistryTree before_;
  sim::RegistryTree after_;
  // Values already in before() (set once, at their first write), and the
  // values a dry run holds aside, by "ROOT\path" + "\n" + name, upper-cased.
  std::set<std::string> kept_;
  std::set<std::string> set_aside_;
  // Keys only a dry run has created, and keys a real run created, by full
  // path, upper-cased.
  std::set<std::string> preview_keys_;
  std::set<std::string> created_keys_;
  std::vector<FailedCall> failed_writes_;
  std::vector<FailedCall> failed_opens_;
  std::vector<WrittenValue> written_;
  std::vector<sim::UnreadValue> unknown_old_;
  UINT ansi_code_page_ = 0;  // asked once, when first needed
  int wow64_ = -1;           // likewise: -1 not asked yet, else 0 or 1
  std::vector<Device> devices_;
  std::vector<std::string> notes_;
  bool restart_requested_ = false;
};

}  // namespace cw
