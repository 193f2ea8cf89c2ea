// The real-API platform against Windows (or Wine): each group walks one
// contract the wizard relies on, through Win32Platform, and checks both the
// result and the thread's last error. What the simulated Windows promises is
// checked here against the real thing, so a difference shows up as a failure
// on one side or the other.
//
// Runs unelevated: everything it writes is under HKEY_CURRENT_USER or in the
// temporary folder, and removed again.
//
// The wizard's headers come before <windows.h>, as in the program itself:
// its macros would rename framework members (SetWindowText) here only.
#include "framework/framework.h"
#include "platform/win32/win32_platform.h"
#include "resource.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <iostream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {
// The real predefined keys, named here where HKEY is still Windows' own type.
const ::HKEY kRealCurrentUser = HKEY_CURRENT_USER;
const ::HKEY kRealLocalMachine = HKEY_LOCAL_MACHINE;
const ::HKEY kRealClassesRoot = HKEY_CLASSES_ROOT;
const ::HKEY kRealUsers = HKEY_USERS;
const ::HANDLE kRealInvalidHandle = INVALID_HANDLE_VALUE;
}  // namespace

namespace cw::win32 {
namespace {

// The wizard's constants, as the wizard's code spells them (win_constants.h
// cannot be included beside <windows.h>).
const HKEY kCurrentUser = HKEY(0x80000001u);
const HKEY kLocalMachine = HKEY(0x80000002u);
constexpr DWORD kSentinel = 0xDEADBEEF;
constexpr DWORD kDigcfPresent = 0x2;
constexpr DWORD kDigcfAllClasses = 0x4;
constexpr DWORD kSpdrpHardwareId = 0x1;
constexpr DWORD kErrorElevationRequired = 740;  // not in every SDK's headers

// A test key under HKEY_CURRENT_USER, deleted with everything below it.
class ScratchKey {
 public:
  ScratchKey() : path_("Software\\Chanwiz win32 tests\\" + std::to_string(::GetCurrentProcessId())) {}
  ~ScratchKey() {
    ::RegDeleteTreeA(kRealCurrentUser, path_.c_str());
    ::RegDeleteKeyA(kRealCurrentUser, "Software\\Chanwiz win32 tests");
  }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

std::string TempFile(const char* name) {
  char folder[MAX_PATH] = {};
  ::GetTempPathA(sizeof(folder), folder);
  return std::string(folder) + name + std::to_string(::GetCurrentProcessId());
}

// ---------------------------------------------------------------------------

TEST(Win32Keys, PredefinedKeysAreSignExtendedForTheRealApiAndBack) {
  EXPECT_EQ(RealKeyValue(kCurrentUser), reinterpret_cast<std::uintptr_t>(kRealCurrentUser));
  EXPECT_EQ(RealKeyValue(kLocalMachine), reinterpret_cast<std::uintptr_t>(kRealLocalMachine));
  EXPECT_EQ(RealKeyValue(HKEY(0x80000000u)), reinterpret_cast<std::uintptr_t>(kRealClassesRoot));
  EXPECT_EQ(RealKeyValue(HKEY(0x80000003u)), reinterpret_cast<std::uintptr_t>(kRealUsers));
  EXPECT_EQ(WizardKeyValue(reinterpret_cast<std::uintptr_t>(kRealLocalMachine)), kLocalMachine);
  EXPECT_EQ(WizardKeyValue(reinterpret_cast<std::uintptr_t>(kRealClassesRoot)), HKEY(0x80000000u));
  // Ordinary handles pass unchanged both ways.
  EXPECT_EQ(RealKeyValue(HKEY(0x1A4)), 0x1A4u);
  EXPECT_EQ(WizardKeyValue(0x1A4), HKEY(0x1A4));
  EXPECT_EQ(WizardKeyValue(0), HKEY(0));
#ifdef _WIN64
  // Only the sign-extended form is a predefined key on 64-bit Windows.
  EXPECT_EQ(WizardKeyValue(0x80000002u), HKEY(0x80000002u));
  EXPECT_EQ(RealKeyValue(HKEY(0x80000002u)), 0xFFFFFFFF80000002ull);
#endif
}

TEST(Win32Registry, OpenCreateWriteQueryCloseThroughThePredefinedKeys) {
  Win32Platform p;
  ScratchKey scratch;

  // Registry calls report through their result and leave the last error.
  HKEY missing = HKEY(0x1234);
  p.SetLastError(kSentinel);
  EXPECT_EQ(p.RegOpenKeyExA(kCurrentUser, (scratch.path() + "\\absent").c_str(), 0, KEY_READ,
                            &missing),
            ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(p.GetLastError(), kSentinel);

  HKEY key = HKEY(0);
  DWORD disposition = 0;
  ASSERT_EQ(p.RegCreateKeyExA(kCurrentUser, scratch.path().c_str(), 0, 0, KEY_ALL_ACCESS, &key,
                              &disposition),
            ERROR_SUCCESS);
  EXPECT_NE(key, HKEY(0));
  EXPECT_EQ(disposition, static_cast<DWORD>(REG_CREATED_NEW_KEY));

  // A string is stored with its NUL counted, as the writers do.
  const char text[] = "FQ1216ME";
  ASSERT_EQ(p.RegSetValueExA(key, "TunerType", 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                             sizeof(text)),
            ERROR_SUCCESS);
  const DWORD number = 0x10;
  ASSERT_EQ(p.RegSetValueExA(key, "DefaultStandard", 0, REG_DWORD,
                             reinterpret_cast<const BYTE*>(&number), sizeof(number)),
            ERROR_SUCCESS);
  EXPECT_EQ(p.RegFlushKey(key), ERROR_SUCCESS);

  // Size probe, short buffer, full read.
  DWORD type = 0;
  DWORD size = 0;
  EXPECT_EQ(p.RegQueryValueExA(key, "TunerType", &type, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(size, sizeof(text));
  BYTE shortBuffer[4] = {};
  size = sizeof(shortBuffer);
  EXPECT_EQ(p.RegQueryValueExA(key, "TunerType", &type, shortBuffer, &size), ERROR_MORE_DATA);
  EXPECT_EQ(size, sizeof(text));
  char buffer[32] = {};
  size = sizeof(buffer);
  EXPECT_EQ(p.RegQueryValueExA(key, "TunerType", &type, reinterpret_cast<BYTE*>(buffer), &size),
            ERROR_SUCCESS);
  EXPECT_STREQ(buffer, text);
  DWORD read = 0;
  size = sizeof(read);
  EXPECT_EQ(p.RegQueryValueExA(key, "DefaultStandard", &type, reinterpret_cast<BYTE*>(&read),
                               &size),
            ERROR_SUCCESS);
  EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
  EXPECT_EQ(read, number);
  EXPECT_EQ(p.RegQueryValueExA(key, "Absent", &type, nullptr, &size), ERROR_FILE_NOT_FOUND);

  DWORD values = 0;
  DWORD subKeys = 99;
  DWORD securitySize = 0;
  EXPECT_EQ(p.RegQueryInfoKeyA(key, nullptr, nullptr, &subKeys, nullptr, nullptr, &values, nullptr,
                               nullptr, &securitySize, nullptr),
            ERROR_SUCCESS);
  EXPECT_EQ(values, 2u);
  EXPECT_EQ(subKeys, 0u);
  EXPECT_EQ(p.RegCloseKey(key), ERROR_SUCCESS);

  // RegOpenKeyA, the call the country page makes, on the predefined key.
  HKEY again = HKEY(0);
  ASSERT_EQ(p.RegOpenKeyA(kCurrentUser, scratch.path().c_str(), &again), ERROR_SUCCESS);
  size = sizeof(buffer);
  EXPECT_EQ(p.RegQueryValueExA(again, "TunerType", &type, reinterpret_cast<BYTE*>(buffer), &size),
            ERROR_SUCCESS);
  EXPECT_EQ(p.RegCloseKey(again), ERROR_SUCCESS);
  // Closing twice is an invalid handle, not a crash.
  EXPECT_NE(p.RegCloseKey(again), ERROR_SUCCESS);

  // With no sub-key RegOpenKeyA hands back the key it was given: the
  // wizard must see its own constant again, not the sign-extended value.
  HKEY same = HKEY(0);
  ASSERT_EQ(p.RegOpenKeyA(kCurrentUser, "", &same), ERROR_SUCCESS);
  EXPECT_EQ(same, kCurrentUser);
}

TEST(Win32Registry, KeySecurityRoundTripsThroughTheAccessListCalls) {
  Win32Platform p;
  ScratchKey scratch;
  HKEY key = HKEY(0);
  ASSERT_EQ(p.RegCreateKeyExA(kCurrentUser, scratch.path().c_str(), 0, 0,
                              KEY_ALL_ACCESS, &key, nullptr),
            ERROR_SUCCESS);

  // The size probe: ERROR_INSUFFICIENT_BUFFER and the size needed.
  DWORD size = 0;
  BYTE probe[1] = {};
  EXPECT_EQ(p.RegGetKeySecurity(key, DACL_SECURITY_INFORMATION, probe, &size),
            ERROR_INSUFFICIENT_BUFFER);
  ASSERT_GT(size, 0u);
  std::vector<BYTE> descriptor(size);
  ASSERT_EQ(p.RegGetKeySecurity(key, DACL_SECURITY_INFORMATION, descriptor.data(), &size),
            ERROR_SUCCESS);
  EXPECT_EQ(p.GetSecurityDescriptorLength(descriptor.data()), size);

  BOOL present = FALSE;
  BOOL defaulted = TRUE;
  ACL* dacl = nullptr;
  ASSERT_TRUE(p.GetSecurityDescriptorDacl(descriptor.data(), &present, &dacl, &defaulted));
  ASSERT_TRUE(present);
  ASSERT_NE(dacl, nullptr);
  // The list lies inside the self-relative descriptor just read.
  EXPECT_GE(reinterpret_cast<BYTE*>(dacl), descriptor.data());
  EXPECT_LT(reinterpret_cast<BYTE*>(dacl), descriptor.data() + descriptor.size());

  // Build a new list with the old entries plus one for Everyone, as the
  // writers widen a key, and set it.
  SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
  PSID everyone = nullptr;
  ASSERT_TRUE(::AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0,
                                         &everyone));
  DWORD newSize = dacl->AclSize + sizeof(ACCESS_ALLOWED_ACE) + p.GetLengthSid(everyone);
  std::vector<BYTE> aclBuffer(newSize + 8);
  ACL* acl = reinterpret_cast<ACL*>(aclBuffer.data());
  ASSERT_TRUE(p.InitializeAcl(acl, newSize, ACL_REVISION));
  for (DWORD i = 0; i < dacl->AceCount; ++i) {
    void* ace = nullptr;
    ASSERT_TRUE(p.GetAce(dacl, i, &ace));
    ASSERT_TRUE(::AddAce(reinterpret_cast<::PACL>(acl), ACL_REVISION, MAXDWORD, ace,
                         reinterpret_cast<ACE_HEADER*>(ace)->AceSize));
  }
  ASSERT_TRUE(p.AddAccessAllowedAce(acl, ACL_REVISION, KEY_ALL_ACCESS, everyone));
  EXPECT_EQ(acl->AceCount, dacl->AceCount + 1);

  std::vector<BYTE> absolute(SECURITY_DESCRIPTOR_MIN_LENGTH);
  ASSERT_TRUE(p.InitializeSecurityDescriptor(absolute.data(), SECURITY_DESCRIPTOR_REVISION));
  ASSERT_TRUE(p.SetSecurityDescriptorDacl(absolute.data(), TRUE, acl, FALSE));
  EXPECT_EQ(p.RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, absolute.data()), ERROR_SUCCESS);

  // And the saved one goes back unchanged.
  EXPECT_EQ(p.RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, descriptor.data()), ERROR_SUCCESS);
  ::FreeSid(everyone);
  EXPECT_EQ(p.RegCloseKey(key), ERROR_SUCCESS);
}

// ---------------------------------------------------------------------------

TEST(Win32SetupApi, DeviceListWalkUsesTheRealRecordSize) {
  Win32Platform p;
  HDEVINFO list = p.SetupDiGetClassDevsA(nullptr, nullptr, HWND(0), kDigcfAllClasses | kDigcfPresent);
  ASSERT_NE(list, HANDLE(~std::uintptr_t{0})) << "error " << p.GetLastError();

  SP_DEVINFO_DATA data = {};
  data.cbSize = sizeof(data);  // 28 in a 32-bit build, 32 in a 64-bit one
  DWORD index = 0;
  for (; index < 10000; ++index) {
    data.cbSize = sizeof(data);
    p.SetLastError(kSentinel);
    if (!p.SetupDiEnumDeviceInfo(list, index, &data)) break;
    // A listed device has a class and hardware ids the size probe reports.
    DWORD required = 0;
    DWORD type = 0;
    BYTE small[1] = {};
    p.SetLastError(kSentinel);
    if (!p.SetupDiGetDeviceRegistryPropertyA(list, &data, kSpdrpHardwareId, &type, small,
                                             sizeof(small), &required)) {
      DWORD error = p.GetLastError();
      EXPECT_TRUE(error == ERROR_INSUFFICIENT_BUFFER || error == ERROR_INVALID_DATA)
          << "device " << index << ": error " << error;
      if (error == ERROR_INSUFFICIENT_BUFFER) {
        EXPECT_GT(required, 1u);
        std::vector<BYTE> ids(required);
        EXPECT_TRUE(p.SetupDiGetDeviceRegistryPropertyA(list, &data, kSpdrpHardwareId, &type,
                                                        ids.data(), required, nullptr));
        EXPECT_EQ(type, static_cast<DWORD>(REG_MULTI_SZ));
      }
    }
  }
  // The walk ends on ERROR_NO_MORE_ITEMS, not on a record the API refused.
  EXPECT_EQ(p.GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_ITEMS)) << "at index " << index;

  // A record of the wrong size is refused, which is what would happen to
  // every call if the mirror type were laid out differently.
  data.cbSize = sizeof(data) + 4;
  p.SetLastError(kSentinel);
  EXPECT_FALSE(p.SetupDiEnumDeviceInfo(list, 0, &data));
  EXPECT_EQ(p.GetLastError(), static_cast<DWORD>(ERROR_INVALID_USER_BUFFER));

  EXPECT_TRUE(p.SetupDiDestroyDeviceInfoList(list));
}

// ---------------------------------------------------------------------------

TEST(Win32System, ModuleVersionDirectoriesAndProfileFiles) {
  Win32Platform p;

  char path[MAX_PATH] = {};
  DWORD length = p.GetModuleFileNameA(path, sizeof(path));
  ASSERT_GT(length, 4u);
  EXPECT_EQ(length, std::strlen(path));
  EXPECT_EQ(_stricmp(path + length - 4, ".exe"), 0) << path;
  // Cut short, the buffer size comes back. That is all a caller can rely
  // on: XP leaves the text unterminated, Vista and later terminate it and
  // set ERROR_INSUFFICIENT_BUFFER, and Wine does neither.
  char tiny[4] = {'x', 'x', 'x', 'x'};
  EXPECT_EQ(p.GetModuleFileNameA(tiny, sizeof(tiny)), sizeof(tiny));

  OSVERSIONINFOA info = {};
  info.dwOSVersionInfoSize = sizeof(info);
  ASSERT_TRUE(p.GetVersionExA(&info));
  EXPECT_EQ(info.dwPlatformId, static_cast<DWORD>(VER_PLATFORM_WIN32_NT));
  EXPECT_GE(info.dwMajorVersion, 5u);
  // GetVersion's high bit is clear on the NT family.
  EXPECT_EQ(p.GetVersion() & 0x80000000u, 0u);
  EXPECT_EQ(p.GetVersion() & 0xFF, info.dwMajorVersion);
  info.dwOSVersionInfoSize = sizeof(info) - 1;
  p.SetLastError(0);
  EXPECT_FALSE(p.GetVersionExA(&info));
  EXPECT_EQ(p.GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));

  char windows[MAX_PATH] = {};
  char system[MAX_PATH] = {};
  EXPECT_GT(p.GetWindowsDirectoryA(windows, sizeof(windows)), 0u);
  EXPECT_GT(p.GetSystemDirectoryA(system, sizeof(system)), 0u);
  EXPECT_EQ(_strnicmp(system, windows, std::strlen(windows)), 0) << system << " / " << windows;

  std::string ini = TempFile("chanwiz-test.ini");
  ASSERT_TRUE(::WritePrivateProfileStringA("39", "AppTitleName", "Procedura guidata", ini.c_str()));
  ASSERT_TRUE(::WritePrivateProfileStringA("39", "Number", "42", ini.c_str()));
  char text[64] = {};
  EXPECT_EQ(p.GetPrivateProfileStringA("39", "AppTitleName", "", text, sizeof(text), ini.c_str()),
            17u);
  EXPECT_STREQ(text, "Procedura guidata");
  // A short buffer: cut, terminated, size - 1 returned.
  char cut[6] = {};
  EXPECT_EQ(p.GetPrivateProfileStringA("39", "AppTitleName", "", cut, sizeof(cut), ini.c_str()),
            5u);
  EXPECT_STREQ(cut, "Proce");
  EXPECT_EQ(p.GetPrivateProfileStringA("1", "AppTitleName", "fallback", text, sizeof(text),
                                       ini.c_str()),
            8u);
  EXPECT_STREQ(text, "fallback");
  EXPECT_EQ(p.GetPrivateProfileIntA("39", "Number", 7, ini.c_str()), 42u);
  EXPECT_EQ(p.GetPrivateProfileIntA("39", "Absent", 7, ini.c_str()), 7u);
  ::DeleteFileA(ini.c_str());
}

TEST(Win32Process, CreateProcessWaitAndExitCode) {
  Win32Platform p;
  char system[MAX_PATH] = {};
  ASSERT_GT(p.GetSystemDirectoryA(system, sizeof(system)), 0u);
  std::string cmd = std::string(system) + "\\cmd.exe";
  char commandLine[] = "cmd.exe /c exit 7";
  PROCESS_INFORMATION info = {};
  ASSERT_TRUE(p.CreateProcessA(cmd.c_str(), commandLine, CREATE_NO_WINDOW, SW_HIDE, &info))
      << "error " << p.GetLastError();
  EXPECT_NE(info.hProcess, HANDLE(0));
  EXPECT_NE(info.hThread, HANDLE(0));
  EXPECT_NE(info.dwProcessId, 0u);
  EXPECT_EQ(p.WaitForSingleObject(info.hProcess, 30000), static_cast<DWORD>(WAIT_OBJECT_0));
  DWORD code = 0;
  EXPECT_TRUE(p.GetExitCodeProcess(info.hProcess, &code));
  EXPECT_EQ(code, 7u);
  EXPECT_TRUE(p.CloseHandle(info.hThread));
  EXPECT_TRUE(p.CloseHandle(info.hProcess));

  // A missing program fails with the file error and touches no handle.
  PROCESS_INFORMATION none = {};
  p.SetLastError(0);
  EXPECT_FALSE(p.CreateProcessA((std::string(system) + "\\no-such-program.exe").c_str(), nullptr,
                                0, SW_HIDE, &none));
  EXPECT_EQ(p.GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(none.hProcess, HANDLE(0));
  // No record to fill is refused rather than written through.
  p.SetLastError(0);
  EXPECT_FALSE(p.CreateProcessA(cmd.c_str(), commandLine, 0, SW_HIDE, nullptr));
  EXPECT_EQ(p.GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST(Win32Process, TokenPrivilegeAdjustment) {
  Win32Platform p;
  HANDLE token = HANDLE(0);
  ASSERT_TRUE(p.OpenProcessToken(p.GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY,
                                 &token));
  EXPECT_NE(token, HANDLE(0));
  TOKEN_PRIVILEGES privileges = {};
  privileges.PrivilegeCount = 1;
  ASSERT_TRUE(p.LookupPrivilegeValueA(nullptr, "SeShutdownPrivilege", &privileges.Privileges[0].Luid));
  ::LUID expected = {};
  ASSERT_TRUE(::LookupPrivilegeValueA(nullptr, "SeShutdownPrivilege", &expected));
  EXPECT_EQ(privileges.Privileges[0].Luid.LowPart, expected.LowPart);
  EXPECT_EQ(privileges.Privileges[0].Luid.HighPart, expected.HighPart);
  privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
  p.SetLastError(kSentinel);
  EXPECT_TRUE(p.AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr));
  // Success leaves 0, or ERROR_NOT_ALL_ASSIGNED when the account lacks it:
  // the restart reads exactly this.
  DWORD error = p.GetLastError();
  EXPECT_TRUE(error == 0 || error == ERROR_NOT_ALL_ASSIGNED) << error;
  EXPECT_TRUE(p.CloseHandle(token));

  HANDLE unset = HANDLE(0x5678);
  p.SetLastError(0);
  EXPECT_FALSE(p.OpenProcessToken(HANDLE(0), TOKEN_QUERY, &unset));
  EXPECT_NE(p.GetLastError(), 0u);
}

TEST(Win32DeviceIo, EventsAndInvalidDevices) {
  Win32Platform p;
  HANDLE event = p.CreateEventA(TRUE, FALSE);
  ASSERT_NE(event, HANDLE(0));
  EXPECT_EQ(p.WaitForSingleObject(event, 0), static_cast<DWORD>(WAIT_TIMEOUT));

  OVERLAPPED overlapped = {};
  overlapped.hEvent = event;
  BYTE block[40] = {};
  DWORD returned = 0;
  p.SetLastError(0);
  EXPECT_FALSE(p.DeviceIoControl(HANDLE(0), 0x2F0003, block, sizeof(block), block, sizeof(block),
                                 &returned, &overlapped));
  EXPECT_EQ(p.GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  EXPECT_TRUE(p.CloseHandle(event));
  p.SetLastError(0);
  EXPECT_FALSE(p.CloseHandle(event));
  EXPECT_EQ(p.GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

// The overlapped record is written by the system after the call returns: a
// pipe read completes into the caller's record, found by GetOverlappedResult.
TEST(Win32DeviceIo, OverlappedCompletionLandsInTheCallersRecord) {
  Win32Platform p;
  std::string name = "\\\\.\\pipe\\chanwiz-test-" + std::to_string(::GetCurrentProcessId());
  ::HANDLE server = ::CreateNamedPipeA(name.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED,
                                       PIPE_TYPE_BYTE, 1, 64, 64, 0, nullptr);
  ASSERT_NE(server, kRealInvalidHandle);
  ::HANDLE client = ::CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                  OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(client, kRealInvalidHandle);

  HANDLE event = p.CreateEventA(TRUE, FALSE);
  OVERLAPPED overlapped = {};
  overlapped.hEvent = event;
  char buffer[8] = {};
  BOOL started = ::ReadFile(server, buffer, 5, nullptr, reinterpret_cast<::LPOVERLAPPED>(&overlapped));
  ASSERT_TRUE(started || ::GetLastError() == ERROR_IO_PENDING);
  ::DWORD written = 0;
  ASSERT_TRUE(::WriteFile(client, "hello", 5, &written, nullptr));
  DWORD transferred = 0;
  ASSERT_TRUE(p.GetOverlappedResult(HANDLE(reinterpret_cast<std::uintptr_t>(server)), &overlapped,
                                    &transferred, TRUE));
  EXPECT_EQ(transferred, 5u);
  EXPECT_EQ(overlapped.InternalHigh, 5u);
  EXPECT_EQ(std::string(buffer), "hello");
  p.CloseHandle(event);
  ::CloseHandle(client);
  ::CloseHandle(server);
}

// ---------------------------------------------------------------------------

TEST(Win32Com, InitializeCreateAndStrings) {
  Win32Platform p;
  HRESULT init = p.CoInitialize();
  EXPECT_TRUE(init == S_OK || init == S_FALSE) << init;

  // The SAA713x component's class: not registered here.
  const CLSID vampList = {0xB8A9279E, 0xC453, 0x11D4, {0xAD, 0x45, 0x00, 0x60, 0x08, 0x0B, 0xA6, 0x34}};
  const IID vampListIid = {0xB8A9279D, 0xC453, 0x11D4, {0xAD, 0x45, 0x00, 0x60, 0x08, 0x0B, 0xA6, 0x34}};
  void* object = reinterpret_cast<void*>(0x1);
  EXPECT_EQ(p.CoCreateInstance(vampList, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER,
                               vampListIid, &object),
            REGDB_E_CLASSNOTREG);
  EXPECT_EQ(object, nullptr);

  // A class every system has: the free-threaded marshaler is not creatable,
  // but the standard global interface table is.
  const IID unknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
  CLSID git = {};
  std::memcpy(&git, &CLSID_StdGlobalInterfaceTable, sizeof(git));
  object = nullptr;
  ASSERT_EQ(p.CoCreateInstance(git, nullptr, CLSCTX_INPROC_SERVER, unknown, &object), S_OK);
  ASSERT_NE(object, nullptr);
  static_cast<::IUnknown*>(object)->Release();

  ::BSTR text = ::SysAllocString(L"Italia (PAL-B/G)");
  char narrow[80] = {};
  EXPECT_EQ(p.WideCharToMultiByte(CP_ACP, 0, reinterpret_cast<const OLECHAR*>(text), -1, narrow,
                                  sizeof(narrow)),
            17);
  EXPECT_STREQ(narrow, "Italia (PAL-B/G)");
  // Too small: nothing usable, ERROR_INSUFFICIENT_BUFFER.
  char small[4] = {};
  p.SetLastError(0);
  EXPECT_EQ(p.WideCharToMultiByte(CP_ACP, 0, reinterpret_cast<const OLECHAR*>(text), -1, small,
                                  sizeof(small)),
            0);
  EXPECT_EQ(p.GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  p.SysFreeString(reinterpret_cast<BSTR>(text));
  p.SysFreeString(nullptr);
  p.CoUninitialize();
}

// ---------------------------------------------------------------------------
// Pages: the dialog procedure hands every message from WM_INITDIALOG on to
// the page and returns its answer as Windows expects.

constexpr UINT kStep = WM_APP + 1;
constexpr UINT kThrow = WM_APP + 2;
constexpr UINT_PTR kGuardTimer = 1;
constexpr INT_PTR kTimedOut = -77;

class RecordingPage : public DialogProcHandler {
 public:
  explicit RecordingPage(Platform& p) : p_(p) {}

  INT_PTR HandleDialogMessage(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) override {
    messages.push_back(msg);
    ::HWND real = reinterpret_cast<::HWND>(static_cast<std::uintptr_t>(hwnd));
    switch (msg) {
      case WM_INITDIALOG:
        first_hwnd = hwnd;
        init_lparam = lparam;
        // Never hang the test run on a page that does not end.
        ::SetTimer(real, kGuardTimer, 10000, nullptr);
        ::PostMessageA(real, throw_on_step ? kThrow : kStep, 0, 0);
        return TRUE;
      case kStep: {
        same_hwnd = hwnd == first_hwnd;
        // WM_QUERYDRAGICON's answer is the icon itself, returned directly.
        drag_icon = ::SendMessageA(real, WM_QUERYDRAGICON, 0, 0);
        list = p_.GetDlgItem(hwnd, IDC_SYSTEM_LIST);
        p_.SetDlgItemTextA(hwnd, IDC_SYSTEM_NAME, "PAL BG");
        char text[32] = {};
        p_.GetWindowTextA(p_.GetDlgItem(hwnd, IDC_SYSTEM_NAME), text, sizeof(text));
        name_text = text;
        p_.EndDialog(hwnd, 42);
        return TRUE;
      }
      case kThrow:
        throw std::runtime_error("page failed");
      case WM_QUERYDRAGICON:
        return kDragIcon;
      case WM_TIMER:
        if (wparam == kGuardTimer) p_.EndDialog(hwnd, kTimedOut);
        return TRUE;
      default:
        return FALSE;
    }
  }

  static constexpr INT_PTR kDragIcon = 0x12340;
  Platform& p_;
  bool throw_on_step = false;
  std::vector<UINT> messages;
  HWND first_hwnd = HWND(0);
  LPARAM init_lparam = 0;
  bool same_hwnd = false;
  LRESULT drag_icon = 0;
  HWND list = HWND(0);
  std::string name_text;
};

TEST(Win32Dialogs, HandlerGetsEveryMessageFromInitDialogAndEndsThePage) {
  Win32Platform p;
  RecordingPage page(p);
  EXPECT_EQ(p.DialogBoxParamA(IDD_STANDARD_PAGE, HWND(0), &page), 42);
  ASSERT_FALSE(page.messages.empty());
  // Nothing reached the page before WM_INITDIALOG (WM_SETFONT comes first).
  EXPECT_EQ(page.messages.front(), static_cast<UINT>(WM_INITDIALOG));
  EXPECT_EQ(page.init_lparam, reinterpret_cast<LPARAM>(static_cast<DialogProcHandler*>(&page)));
  EXPECT_TRUE(page.same_hwnd);
  EXPECT_EQ(page.drag_icon, RecordingPage::kDragIcon);
  EXPECT_NE(page.list, HWND(0));
  EXPECT_EQ(page.name_text, "PAL BG");
}

TEST(Win32Dialogs, AnExceptionInAPageEndsItAsAPageThatCouldNotBeShown) {
  Win32Platform p;
  RecordingPage page(p);
  page.throw_on_step = true;
  EXPECT_EQ(p.DialogBoxParamA(IDD_START_PAGE, HWND(0), &page), -1);
}

TEST(Win32Dialogs, MissingTemplateOrHandlerIsAPageThatCannotBeCreated) {
  Win32Platform p;
  RecordingPage page(p);
  EXPECT_EQ(p.DialogBoxParamA(999, HWND(0), &page), -1);
  EXPECT_TRUE(page.messages.empty());
  p.SetLastError(0);
  EXPECT_EQ(p.DialogBoxParamA(IDD_START_PAGE, HWND(0), nullptr), -1);
  EXPECT_EQ(p.GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

// The framework's page on real windows: the restart page's radio buttons,
// texts, and the close box ending the page as Cancel.
class ClosingPage : public CDialog {
 public:
  explicit ClosingPage(Platform& p) : CDialog(p, IDD_RESTART_PAGE) {}
  UINT yes = 99;
  UINT no = 99;
  std::string title;

 protected:
  BOOL OnInitDialog() override {
    CDialog::OnInitDialog();
    platform_.SetWindowTextA(hwnd(), "Riavvio");
    platform_.CheckDlgButton(hwnd(), IDC_RESTART_YES, 1);
    platform_.CheckDlgButton(hwnd(), IDC_RESTART_NO, 0);
    yes = platform_.IsDlgButtonChecked(hwnd(), IDC_RESTART_YES);
    no = platform_.IsDlgButtonChecked(hwnd(), IDC_RESTART_NO);
    char text[32] = {};
    platform_.GetWindowTextA(hwnd(), text, sizeof(text));
    title = text;
    ::PostMessageA(reinterpret_cast<::HWND>(static_cast<std::uintptr_t>(hwnd())), WM_CLOSE, 0, 0);
    return TRUE;
  }
};

TEST(Win32Dialogs, FrameworkPageOnRealWindowsClosesAsCancel) {
  Win32Platform p;
  ClosingPage page(p);
  EXPECT_EQ(page.DoModal(), IDCANCEL);
  EXPECT_EQ(page.yes, 1u);
  EXPECT_EQ(page.no, 0u);
  EXPECT_EQ(page.title, "Riavvio");
}

TEST(Win32Ui, IconAndMetrics) {
  Win32Platform p;
  EXPECT_NE(p.LoadIconA(IDR_APP_ICON), HICON(0));
  EXPECT_EQ(p.LoadIconA(999), HICON(0));
  EXPECT_GT(p.GetSystemMetrics(SM_CXICON), 0);
  EXPECT_GT(p.GetSystemMetrics(SM_CYICON), 0);
  RECT rect = {1, 2, 3, 4};
  p.SetLastError(0);
  EXPECT_FALSE(p.GetClientRect(HWND(0), &rect));
  EXPECT_EQ(p.GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
  EXPECT_FALSE(p.IsIconic(HWND(0)));
}

// ---------------------------------------------------------------------------
// Chanwiz.exe itself, started beside this program: without a supported board
// it shows the no-device message, with one the start page; either way it
// ends with 0 once the window is answered.

// The process handles of a started program; a program still running when
// the test ends is ended with it.
class ChildProcess {
 public:
  ChildProcess() = default;
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;
  ~ChildProcess() {
    if (info_.hProcess != nullptr) {
      if (::WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT)
        ::TerminateProcess(info_.hProcess, 99);
      ::CloseHandle(info_.hProcess);
    }
    if (info_.hThread != nullptr) ::CloseHandle(info_.hThread);
  }
  ::PROCESS_INFORMATION* receive() { return &info_; }
  ::HANDLE process() const { return info_.hProcess; }
  ::DWORD id() const { return info_.dwProcessId; }

 private:
  ::PROCESS_INFORMATION info_ = {};
};

struct WindowSearch {
  ::DWORD process;
  ::HWND found;
};

BOOL CALLBACK FindDialogOfProcess(::HWND window, ::LPARAM param) {
  WindowSearch* search = reinterpret_cast<WindowSearch*>(param);
  ::DWORD owner = 0;
  ::GetWindowThreadProcessId(window, &owner);
  char cls[16] = {};
  ::GetClassNameA(window, cls, sizeof(cls));
  if (owner == search->process && std::strcmp(cls, "#32770") == 0 && ::IsWindowVisible(window)) {
    search->found = window;
    return FALSE;
  }
  return TRUE;
}

// Polls with a bound; null when no dialog of the process appeared.
::HWND WaitForDialog(::DWORD process) {
  for (int i = 0; i < 100; ++i) {
    WindowSearch search = {process, nullptr};
    ::EnumWindows(&FindDialogOfProcess, reinterpret_cast<::LPARAM>(&search));
    if (search.found != nullptr) return search.found;
    ::Sleep(150);
  }
  return nullptr;
}

TEST(ChanwizExe, OpensWithTheNoDeviceMessageOrTheStartPageAndEndsWithZero) {
  char self[MAX_PATH] = {};
  ::DWORD length = ::GetModuleFileNameA(nullptr, self, sizeof(self));
  ASSERT_GT(length, 0u);
  ASSERT_LT(length, sizeof(self));
  std::string folder(self, std::strrchr(self, '\\') + 1);
  std::string program = folder + "Chanwiz.exe";
  if (::GetFileAttributesA(program.c_str()) == INVALID_FILE_ATTRIBUTES)
    GTEST_SKIP() << "no " << program;
  if (::GetFileAttributesA((folder + "Chanwiz.ini").c_str()) != INVALID_FILE_ATTRIBUTES)
    GTEST_SKIP() << "a Chanwiz.ini beside it would change the texts";

  ChildProcess child;
  ::STARTUPINFOA startup = {};
  startup.cb = sizeof(startup);
  if (!::CreateProcessA(program.c_str(), nullptr, nullptr, nullptr, FALSE, 0, nullptr,
                        folder.c_str(), &startup, child.receive())) {
    ::DWORD error = ::GetLastError();
    if (error == kErrorElevationRequired) GTEST_SKIP() << "Chanwiz.exe needs an administrator";
    FAIL() << "CreateProcessA: error " << error;
  }

  ::HWND window = WaitForDialog(child.id());
  ASSERT_NE(window, nullptr) << "Chanwiz.exe showed no window";
  char caption[128] = {};
  ::GetWindowTextA(window, caption, sizeof(caption));
  EXPECT_STREQ(caption, "QL750 Chanwiz Wizard");
  if (::GetDlgItem(window, IDC_TVSYSTEM_BUTTON) != nullptr) {
    // A board is present: the start page, with its texts from the defaults.
    std::cout << "[          ] a supported board is present: the start page opened\n";
    char text[64] = {};
    ::GetDlgItemTextA(window, IDC_TVSYSTEM_BUTTON, text, sizeof(text));
    EXPECT_STREQ(text, "TV System");
    ::GetDlgItemTextA(window, IDC_COUNTRY_BUTTON, text, sizeof(text));
    EXPECT_STREQ(text, "Country");
    // The close box ends the page, and with it the run.
    ::PostMessageA(window, WM_CLOSE, 0, 0);
  } else {
    char text[512] = {};
    ::GetDlgItemTextA(window, 0xFFFF, text, sizeof(text));
    EXPECT_STREQ(text, "Sorry, we can't find any QL750 Device on your computer.\n"
                       "Please check your hardware.");
    ::PostMessageA(window, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                   reinterpret_cast<::LPARAM>(::GetDlgItem(window, IDOK)));
  }
  ASSERT_EQ(::WaitForSingleObject(child.process(), 10000), static_cast<::DWORD>(WAIT_OBJECT_0))
      << "Chanwiz.exe did not end";
  ::DWORD code = 99;
  ::GetExitCodeProcess(child.process(), &code);
  EXPECT_EQ(code, 0u);
}

}  // namespace
}  // namespace cw::win32
