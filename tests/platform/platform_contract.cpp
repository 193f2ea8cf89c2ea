// The platform's contract, one test per call family the wizard relies on: the
// results and last errors it branches on, as Windows, Wine and the simulation give them.
#include "platform/platform_contract.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>

#include "access/cx23880_register.h"
#include "access/vamp_device.h"
#include "base/text.h"
#include "platform/com_call.h"
#include "platform/win_constants.h"
#include "resource.h"

namespace cw::contract {
namespace {

constexpr DWORD kSentinel = 0xDEADBEEF;

class PlatformContract : public ::testing::Test {
 protected:
  std::unique_ptr<Backend> backend_ = MakeBackend();
  Platform& p = backend_->platform();

  // Expects `call` to fail with `error` as the thread's last error.
  template <typename Call>
  void ExpectFailure(DWORD error, Call call) {
    p.SetLastError(0);
    EXPECT_FALSE(call());
    EXPECT_EQ(p.GetLastError(), error);
  }
  // The key's DACL, sized first; `descriptor` keeps it.
  ACL* KeyDacl(HKEY key, std::vector<BYTE>* descriptor) {
    DWORD size = 0;
    BYTE probe[1] = {};
    EXPECT_EQ(p.RegGetKeySecurity(key, DACL_SECURITY_INFORMATION, probe, &size), ERROR_INSUFFICIENT_BUFFER);
    descriptor->resize(size);
    EXPECT_EQ(p.RegGetKeySecurity(key, DACL_SECURITY_INFORMATION, descriptor->data(), &size), 0);
    EXPECT_EQ(p.GetSecurityDescriptorLength(descriptor->data()), size);
    BOOL present = FALSE, defaulted = TRUE;
    ACL* dacl = nullptr;
    EXPECT_TRUE(p.GetSecurityDescriptorDacl(descriptor->data(), &present, &dacl, &defaulted) && present);
    // The list lies inside the self-relative descriptor just read.
    const BYTE* at = reinterpret_cast<BYTE*>(dacl);
    EXPECT_TRUE(at >= descriptor->data() && at < descriptor->data() + size);
    return dacl;
  }
};

TEST_F(PlatformContract, RegistryOpenCreateSetQueryClose) {
  const std::string path = backend_->ScratchKey();
  HKEY key = HKEY(0), other = HKEY(0);
  // Registry calls report through their result only.
  p.SetLastError(kSentinel);
  EXPECT_EQ(p.RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
  DWORD disposition = 0;
  ASSERT_EQ(p.RegCreateKeyExA(HKEY_CURRENT_USER, (path + "\\Child").c_str(), 0, 0, KEY_ALL_ACCESS,
                              &other, &disposition), 0);
  EXPECT_EQ(disposition, REG_CREATED_NEW_KEY);
  EXPECT_EQ(p.RegCloseKey(other), ERROR_SUCCESS);
  ASSERT_EQ(p.RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, 0, KEY_ALL_ACCESS, &key,
                              &disposition), 0);
  EXPECT_EQ(disposition, REG_OPENED_EXISTING_KEY);

  // Written as the writers write: a string with its NUL counted.
  const char text[] = "FQ1216ME";
  const DWORD number = 42;
  const BYTE blob[5] = {1, 2, 3, 4, 5};
  auto set = [&](const char* name, DWORD type, const void* data, DWORD size) {
    return p.RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), size);
  };
  EXPECT_EQ(set("Tuner", REG_SZ, text, 9) | set("Number", REG_DWORD, &number, 4) |
                set("Blob", REG_BINARY, blob, sizeof(blob)) | p.RegFlushKey(key), ERROR_SUCCESS);

  // A size probe (no buffer), a buffer too small, a full read; names in any case.
  const struct {
    const char* name;
    DWORD buffer;  // 0 for none
    LONG result;
    DWORD type, size;
  } reads[] = {
      {"tuner", 0, ERROR_SUCCESS, REG_SZ, 9},     {"Tuner", 4, ERROR_MORE_DATA, REG_SZ, 9},
      {"TUNER", 16, ERROR_SUCCESS, REG_SZ, 9},    {"Number", 4, ERROR_SUCCESS, REG_DWORD, 4},
      {"Blob", 4, ERROR_MORE_DATA, REG_BINARY, 5}, {"Absent", 16, ERROR_FILE_NOT_FOUND, 0, 16},
  };
  for (const auto& r : reads) {
    BYTE buffer[16] = {};
    DWORD type = 0, size = r.buffer;
    EXPECT_EQ(p.RegQueryValueExA(key, r.name, &type, r.buffer ? buffer : nullptr, &size), r.result)
        << r.name;
    if (r.result == ERROR_FILE_NOT_FOUND) continue;
    EXPECT_EQ(type, r.type) << r.name;
    EXPECT_EQ(size, r.size) << r.name;
    const void* written = r.type == REG_SZ ? static_cast<const void*>(text) : &number;
    if (r.result == ERROR_SUCCESS && r.buffer) { EXPECT_EQ(std::memcmp(buffer, written, r.size), 0); }
  }
  DWORD values = 0, subKeys = 0;
  EXPECT_EQ(p.RegQueryInfoKeyA(key, nullptr, nullptr, &subKeys, nullptr, nullptr, &values, nullptr,
                               nullptr, nullptr, nullptr), 0);
  EXPECT_EQ(values, 3u);
  EXPECT_EQ(subKeys, 1u);
  // A key with a subkey is not deleted; an empty one is.
  EXPECT_NE(p.RegDeleteKeyA(HKEY_CURRENT_USER, path.c_str()), ERROR_SUCCESS);
  EXPECT_EQ(p.RegDeleteKeyA(key, "Child"), ERROR_SUCCESS);
  EXPECT_EQ(p.RegOpenKeyA(key, "Child", &other), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(p.RegCloseKey(key), ERROR_SUCCESS);

  // A trailing backslash is allowed. Opened for reading, a key cannot be written.
  ASSERT_EQ(p.RegOpenKeyExA(HKEY_CURRENT_USER, (path + "\\").c_str(), 0, KEY_QUERY_VALUE, &key), 0);
  EXPECT_NE(set("Tuner", REG_SZ, text, 9), ERROR_SUCCESS);
  EXPECT_EQ(p.RegCloseKey(key), ERROR_SUCCESS);
  // RegOpenKeyA, the call the country page makes, reads and writes.
  ASSERT_EQ(p.RegOpenKeyA(HKEY_CURRENT_USER, path.c_str(), &key), ERROR_SUCCESS);
  EXPECT_EQ(set("Tuner", REG_SZ, text, 9), ERROR_SUCCESS);
  EXPECT_EQ(p.RegCloseKey(key), ERROR_SUCCESS);
  EXPECT_EQ(p.GetLastError(), kSentinel);
}

// The writers' bracket: read the descriptor, set a wider list, put the saved one back.
TEST_F(PlatformContract, KeySecurityRoundTrip) {
  HKEY key = HKEY(0);
  ASSERT_EQ(p.RegCreateKeyExA(HKEY_CURRENT_USER, backend_->ScratchKey().c_str(), 0, 0,
                              KEY_ALL_ACCESS, &key, nullptr), 0);
  std::vector<BYTE> saved, widened, restored;
  const ACL* original = KeyDacl(key, &saved);
  ASSERT_NE(original, nullptr);

  BYTE everyone[12] = {1, 1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0};  // S-1-1-0
  ASSERT_EQ(p.GetLengthSid(everyone), sizeof(everyone));
  const DWORD aclSize = sizeof(ACL) + offsetof(ACCESS_ALLOWED_ACE, SidStart) + sizeof(everyone);
  std::vector<BYTE> aclBuffer(aclSize);
  ACL* acl = reinterpret_cast<ACL*>(aclBuffer.data());
  ASSERT_TRUE(p.InitializeAcl(acl, aclSize, ACL_REVISION));
  ASSERT_TRUE(p.AddAccessAllowedAce(acl, ACL_REVISION, KEY_ALL_ACCESS, everyone));
  EXPECT_FALSE(p.AddAccessAllowedAce(acl, ACL_REVISION, KEY_READ, everyone));  // no room left
  std::vector<BYTE> absolute(SECURITY_DESCRIPTOR_MIN_LENGTH);
  ASSERT_TRUE(p.InitializeSecurityDescriptor(absolute.data(), SECURITY_DESCRIPTOR_REVISION));
  ASSERT_TRUE(p.SetSecurityDescriptorDacl(absolute.data(), TRUE, acl, FALSE));
  EXPECT_EQ(p.RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, absolute.data()), ERROR_SUCCESS);

  ACL* dacl = KeyDacl(key, &widened);
  ASSERT_EQ(dacl->AceCount, 1u);
  void* ace = nullptr;
  ASSERT_TRUE(p.GetAce(dacl, 0, &ace));
  const auto* allowed = static_cast<const ACCESS_ALLOWED_ACE*>(ace);
  EXPECT_EQ(allowed->Header.AceType, ACCESS_ALLOWED_ACE_TYPE);
  EXPECT_EQ(allowed->Mask, KEY_ALL_ACCESS);
  EXPECT_EQ(std::memcmp(&allowed->SidStart, everyone, sizeof(everyone)), 0);

  EXPECT_EQ(p.RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, saved.data()), ERROR_SUCCESS);
  EXPECT_EQ(KeyDacl(key, &restored)->AceCount, original->AceCount);
  EXPECT_EQ(p.RegCloseKey(key), ERROR_SUCCESS);
}

// Detection's walk: every device, its hardware ids sized first, until ERROR_NO_MORE_ITEMS.
TEST_F(PlatformContract, DeviceListWalkAndHardwareIds) {
  HDEVINFO list = p.SetupDiGetClassDevsA(nullptr, nullptr, HWND(0), DIGCF_PRESENT | DIGCF_ALLCLASSES);
  ASSERT_NE(list, INVALID_HANDLE_VALUE) << "error " << p.GetLastError();
  std::vector<std::string> firstIds;
  SP_DEVINFO_DATA data = {};
  for (DWORD index = 0; data.cbSize = sizeof(data), p.SetupDiEnumDeviceInfo(list, index, &data);
       ++index) {
    DWORD type = 0, required = 0;
    p.SetLastError(kSentinel);
    ASSERT_FALSE(p.SetupDiGetDeviceRegistryPropertyA(list, &data, SPDRP_HARDWAREID, &type, nullptr,
                                                     0, &required));
    if (p.GetLastError() == ERROR_INVALID_DATA) {  // a device without hardware ids
      firstIds.emplace_back();
      continue;
    }
    ASSERT_EQ(p.GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER)) << index;
    std::vector<BYTE> ids(required + 2, 0xFF);  // a mark past the end, then a stop
    ids.back() = 0;
    ASSERT_TRUE(p.SetupDiGetDeviceRegistryPropertyA(list, &data, SPDRP_HARDWAREID, &type,
                                                    ids.data(), required, nullptr));
    EXPECT_EQ(type, REG_MULTI_SZ);
    // The size asked for holds the whole list (Wine asks for more: the UTF-16 size).
    const char* text = reinterpret_cast<const char*>(ids.data());
    size_t at = 0;
    while (at < required && text[at] != '\0') at += std::strlen(text + at) + 1;
    EXPECT_LT(at, required) << index;
    EXPECT_EQ(ids[required], 0xFF) << index;
    firstIds.emplace_back(text);
  }
  EXPECT_EQ(p.GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_ITEMS));
  if (auto expected = backend_->Devices()) { EXPECT_EQ(firstIds, *expected); }
  EXPECT_TRUE(p.SetupDiDestroyDeviceInfoList(list));
}

TEST_F(PlatformContract, ModuleNameFoldersAndVersion) {
  char path[MAX_PATH] = {}, windows[MAX_PATH] = {}, tiny[4] = {};
  const DWORD length = p.GetModuleFileNameA(path, sizeof(path));
  ASSERT_GT(length, 4u);
  EXPECT_EQ(length, std::strlen(path));
  EXPECT_EQ(Lower(path + length - 4), ".exe") << path;
  // Cut short, the buffer's size comes back (the rest differs between versions).
  EXPECT_EQ(p.GetModuleFileNameA(tiny, sizeof(tiny)), sizeof(tiny));
  // A folder that does not fit: the size needed, with its NUL.
  const UINT windowsLength = p.GetWindowsDirectoryA(windows, sizeof(windows));
  ASSERT_GT(windowsLength, 3u);
  EXPECT_EQ(windowsLength, std::strlen(windows));
  EXPECT_EQ(p.GetWindowsDirectoryA(tiny, sizeof(tiny)), windowsLength + 1);

  OSVERSIONINFOA info = {};
  info.dwOSVersionInfoSize = sizeof(info);
  ASSERT_TRUE(p.GetVersionExA(&info));
  // GetVersion's high bit marks the 9x family.
  EXPECT_EQ((p.GetVersion() & 0x80000000u) == 0, info.dwPlatformId == VER_PLATFORM_WIN32_NT);
}

// The texts file is read as Windows' profile reader reads it.
TEST_F(PlatformContract, ProfileReads) {
  const std::string ini = backend_->ProfileFile(
      "; a comment\r\n[39]\r\nAppTitleName = Procedura guidata \r\nOKText=\"OK quoted\"\r\n"
      "[Intl]\r\niCountry=39\r\nMixed=123abc\r\nWord=abc\r\n"
      "[39]\r\nAppTitleName=second section ignored\r\n");
  const std::string none = ini.substr(0, ini.find_last_of('\\') + 1) + "chanwiz-none.ini";
  const struct {
    const char *section, *key, *fallback, *file;
    DWORD size, returned;
    const char* text;
  } reads[] = {
      {"39", "apptitlename", "", ini.c_str(), 64, 17, "Procedura guidata"},
      {"39", "OKTEXT", "", ini.c_str(), 64, 9, "OK quoted"},
      // Cut to the buffer less one, and terminated.
      {"39", "AppTitleName", "", ini.c_str(), 6, 5, "Proce"},
      // A missing key, section or file: the default, its trailing blanks dropped.
      {"39", "Nope", "ab  ", ini.c_str(), 64, 2, "ab"},
      {"49", "AppTitleName", "fallback", ini.c_str(), 64, 8, "fallback"},
      {"39", "AppTitleName", "default", none.c_str(), 6, 5, "defau"},
  };
  for (const auto& r : reads) {
    char buffer[64];
    std::memset(buffer, 'x', sizeof(buffer));
    EXPECT_EQ(p.GetPrivateProfileStringA(r.section, r.key, r.fallback, buffer, r.size, r.file),
              r.returned) << r.key << " " << r.file;
    EXPECT_STREQ(buffer, r.text);
  }
  const struct {
    const char *key, *file;
    UINT value;
  } numbers[] = {{"ICOUNTRY", ini.c_str(), 39}, {"Mixed", ini.c_str(), 123}, {"Word", ini.c_str(), 0},
                 {"Absent", ini.c_str(), 7},    {"iCountry", none.c_str(), 7}};
  for (const auto& n : numbers)
    EXPECT_EQ(p.GetPrivateProfileIntA("intl", n.key, 7, n.file), n.value) << n.key << " " << n.file;
}

// The restart's token calls: success either way, the last error tells the rest.
TEST_F(PlatformContract, TokenPrivilegeAdjustment) {
  HANDLE token = HANDLE(0);
  ASSERT_TRUE(p.OpenProcessToken(p.GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY,
                                 &token));
  TOKEN_PRIVILEGES privileges = {};
  privileges.PrivilegeCount = 1;
  ASSERT_TRUE(p.LookupPrivilegeValueA(nullptr, SE_SHUTDOWN_NAME, &privileges.Privileges[0].Luid));
  privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
  p.SetLastError(kSentinel);
  EXPECT_TRUE(p.AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr));
  EXPECT_TRUE(p.GetLastError() == 0 || p.GetLastError() == ERROR_NOT_ALL_ASSIGNED);
  EXPECT_TRUE(p.CloseHandle(token));
}

// regsvr32 as the registration starts it; a missing program: ERROR_FILE_NOT_FOUND.
TEST_F(PlatformContract, ProcessStartWaitAndErrors) {
  char system[MAX_PATH] = {};
  ASSERT_GT(p.GetSystemDirectoryA(system, sizeof(system)), 0u);
  const std::string regsvr32 = std::string(system) + "\\regsvr32.exe";
  char commandLine[] = "regsvr32.exe /s /u chanwiz-no-such.dll";
  PROCESS_INFORMATION info = {};
  ASSERT_TRUE(p.CreateProcessA(regsvr32.c_str(), commandLine, 0, SW_HIDE, &info))
      << "error " << p.GetLastError();
  EXPECT_EQ(p.WaitForSingleObject(info.hProcess, 30000), WAIT_OBJECT_0);
  EXPECT_TRUE(p.CloseHandle(info.hThread) && p.CloseHandle(info.hProcess));
  const std::string missing = std::string(system) + "\\chanwiz-no-such.exe";
  ExpectFailure(ERROR_FILE_NOT_FOUND,
                [&] { return p.CreateProcessA(missing.c_str(), commandLine, 0, SW_HIDE, &info); });
}

// The overlapped request's event, and the start page's icon.
TEST_F(PlatformContract, EventsAndIcons) {
  OVERLAPPED overlapped = {};
  overlapped.hEvent = p.CreateEventA(TRUE, FALSE);
  ASSERT_NE(overlapped.hEvent, HANDLE(0));
  BYTE block[40] = {};
  DWORD returned = 0;
  ExpectFailure(ERROR_INVALID_HANDLE, [&] {
    return p.DeviceIoControl(HANDLE(0), 0x2F0003, block, 40, block, 40, &returned, &overlapped);
  });
  EXPECT_TRUE(p.CloseHandle(overlapped.hEvent));
  EXPECT_NE(p.LoadIconA(IDR_APP_ICON), HICON(0));
  EXPECT_GT(p.GetSystemMetrics(SM_CXICON), 0);
}

TEST_F(PlatformContract, ComCreationAndStrings) {
  void* object = nullptr;
  auto create = [&](const CLSID& clsid, DWORD context, const IID& iid) {
    object = reinterpret_cast<void*>(0x1);
    return p.CoCreateInstance(clsid, nullptr, context, iid, &object);
  };
  EXPECT_EQ(create(CLSID_SystemDeviceEnum, CLSCTX_INPROC_SERVER, IID_ICreateDevEnum),
            static_cast<HRESULT>(0x800401F0u));  // CO_E_NOTINITIALIZED
  EXPECT_EQ(object, nullptr);
  const HRESULT init = p.CoInitialize();
  EXPECT_TRUE(init == S_OK || init == S_FALSE) << init;
  EXPECT_EQ(p.CoInitialize(), S_FALSE);
  p.CoUninitialize();
  // The SAA713x component, registered on neither backend's machine.
  EXPECT_EQ(create(CLSID_VampDeviceList, CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER, IID_VampDeviceList),
            REGDB_E_CLASSNOTREG);
  EXPECT_EQ(object, nullptr);
  ASSERT_EQ(create(CLSID_SystemDeviceEnum, CLSCTX_INPROC_SERVER, IID_ICreateDevEnum), S_OK);
  ASSERT_NE(object, nullptr);
  CallComMethod<ULONG>(object, kSlotRelease);

  // The friendly name's conversion: a name that does not fit fails.
  const OLECHAR text[] = u"Italia (PAL-B/G)";
  char narrow[80] = {}, small[4] = {};
  EXPECT_EQ(p.WideCharToMultiByte(CP_ACP, 0, text, -1, narrow, sizeof(narrow)), 17);
  EXPECT_STREQ(narrow, "Italia (PAL-B/G)");
  ExpectFailure(ERROR_INSUFFICIENT_BUFFER,
                [&] { return p.WideCharToMultiByte(CP_ACP, 0, text, -1, small, sizeof(small)); });
  p.SysFreeString(nullptr);  // a BSTR property read may hand back none
  p.CoUninitialize();
}

}  // namespace
}  // namespace cw::contract
