// The simulated Windows keeps Windows' contracts: results, error codes,
// last-error behaviour, and the controls' behaviour. A difference from
// Windows here would let the logic pass tests that the real program fails.
#include <gtest/gtest.h>

#include <cstring>

#include "framework/framework.h"
#include "app/dialog_templates.h"
#include "platform/sim/profile.h"
#include "regtree/undo.h"
#include "platform/win_constants.h"
#include "support/sim_harness.h"

namespace cw::test {
namespace {

constexpr DWORD kSentinel = 0xdeadbeef;

sim::Machine SmallMachine() {
  return MachineFromText(RegText(
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Test]\r\n"
      "\"Text\"=\"Citt\xC3\xA0\"\r\n"
      "\"Number\"=dword:0000002a\r\n"
      "\"Blob\"=hex:01,02,03,04,05\r\n"
      "\r\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Test\\Child]\r\n\r\n" +
      DeviceKey("PCI\\VEN_1131&DEV_7134&SUBSYS_01381131&REV_01\\4&1&0&20F0",
                {"PCI\\VEN_1131&DEV_7134&SUBSYS_01381131&REV_01", "PCI\\VEN_1131&DEV_7134"},
                "{4d36e96c-e325-11ce-bfc1-08002be10318}\\0001") +
      DeviceKey("ROOT\\NOID\\0000", {}, "") +
      "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Enum\\ROOT\\NOCLASS\\0000]\r\n"
      "\"HardwareID\"=hex(7):41,00,00,00,00,00\r\n\r\n"));
}

TEST(SimRegistry, QueryValueContract) {
  sim::Machine m = SmallMachine();
  sim::SimPlatform p(m, nullptr);
  HKEY key = HKEY(0);
  ASSERT_EQ(p.RegOpenKeyExA(HKEY_LOCAL_MACHINE, "software\\TEST", 0, KEY_ALL_ACCESS, &key), 0);
  p.SetLastError(kSentinel);

  // Size probe, then a read into a buffer too small, then a real read: the
  // string comes back as ANSI with its terminator counted.
  DWORD type = 0, size = 0;
  EXPECT_EQ(p.RegQueryValueExA(key, "text", &type, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(type, REG_SZ);
  EXPECT_EQ(size, 6u);
  char small[3] = {};
  size = sizeof(small);
  EXPECT_EQ(p.RegQueryValueExA(key, "Text", &type, reinterpret_cast<BYTE*>(small), &size),
            ERROR_MORE_DATA);
  EXPECT_EQ(size, 6u);
  char data[16] = {};
  size = sizeof(data);
  EXPECT_EQ(p.RegQueryValueExA(key, "Text", &type, reinterpret_cast<BYTE*>(data), &size), 0);
  EXPECT_STREQ(data, "Citt\xE0");

  DWORD number = 0;
  size = 4;
  EXPECT_EQ(p.RegQueryValueExA(key, "Number", &type, reinterpret_cast<BYTE*>(&number), &size), 0);
  EXPECT_EQ(type, REG_DWORD);
  EXPECT_EQ(number, 42u);
  // A five-byte value does not fit a DWORD's buffer.
  size = 4;
  EXPECT_EQ(p.RegQueryValueExA(key, "Blob", &type, reinterpret_cast<BYTE*>(&number), &size),
            ERROR_MORE_DATA);
  EXPECT_EQ(p.RegQueryValueExA(key, "Missing", &type, nullptr, &size), ERROR_FILE_NOT_FOUND);
  // Registry calls report through their result only.
  EXPECT_EQ(p.GetLastError(), kSentinel);
  EXPECT_EQ(p.RegCloseKey(key), 0);
  EXPECT_EQ(p.RegCloseKey(key), ERROR_INVALID_HANDLE);
  EXPECT_EQ(p.RegQueryValueExA(key, "Text", &type, nullptr, &size), ERROR_INVALID_HANDLE);
}

TEST(SimRegistry, SetCreateAndOpenContract) {
  sim::Machine m = SmallMachine();
  sim::SimPlatform p(m, nullptr);
  HKEY key = HKEY(0);
  EXPECT_EQ(p.RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Nope", 0, KEY_ALL_ACCESS, &key),
            ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(p.RegOpenKeyA(HKEY_LOCAL_MACHINE, "\\SOFTWARE", &key), ERROR_FILE_NOT_FOUND);
  // A trailing backslash is allowed, as on Windows.
  ASSERT_EQ(p.RegOpenKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Test\\", &key), 0);
  p.RegCloseKey(key);

  DWORD disposition = 0;
  ASSERT_EQ(p.RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\A\\B\\C", 0, 0, KEY_ALL_ACCESS, &key,
                              &disposition),
            0);
  EXPECT_EQ(disposition, REG_CREATED_NEW_KEY);
  const char text[] = "0xC2";
  EXPECT_EQ(p.RegSetValueExA(key, "Address", 0, REG_SZ, reinterpret_cast<const BYTE*>(text), 5), 0);
  p.RegCloseKey(key);
  ASSERT_EQ(p.RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\A\\B\\C", 0, 0, KEY_ALL_ACCESS, &key,
                              &disposition),
            0);
  EXPECT_EQ(disposition, REG_OPENED_EXISTING_KEY);
  p.RegCloseKey(key);

  // Stored as Windows stores it: UTF-16LE with the terminator.
  const sim::RegValue* v =
      m.registry.Find(sim::RegRoot::LocalMachine, "software\\a\\b\\c")->FindValue("address");
  ASSERT_NE(v, nullptr);
  EXPECT_EQ(v->type, REG_SZ);
  EXPECT_EQ(v->data, sim::StringData("0xC2"));

  // A key opened for reading cannot be written.
  ASSERT_EQ(p.RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Test", 0, KEY_QUERY_VALUE, &key), 0);
  DWORD one = 1;
  EXPECT_EQ(p.RegSetValueExA(key, "X", 0, REG_DWORD, reinterpret_cast<BYTE*>(&one), 4),
            ERROR_ACCESS_DENIED);
  p.RegCloseKey(key);
  EXPECT_TRUE(p.OpenKeyPaths().empty());
}

// The machine's PROCESSOR_ARCHITECTURE, as 64-bit Windows keeps it.
std::string Architecture(const std::string& name) {
  if (name.empty()) return "";
  return "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment]"
         "\r\n\"PROCESSOR_ARCHITECTURE\"=\"" + name + "\"\r\n\r\n";
}

// The program is 32-bit: on 64-bit Windows it sees HKLM\SOFTWARE, but for
// the shared keys, and the COM registrations in their 32-bit view, unless
// it asks for the other; SYSTEM is one for both.
TEST(SimRegistry, A32BitProgramsViewOf64BitWindows) {
  struct Case {
    const char* architecture;  // "" for none
    HKEY root;
    const char* parent;  // opened first ("" for none); `path` is below it
    const char* path;
    REGSAM view;
    const char* real;  // where the key is made
  };
  const HKEY lm = HKEY_LOCAL_MACHINE;
  const Case cases[] = {
      {"", lm, "", "SOFTWARE\\Morvex Multimedia\\Common", 0, "HKEY_LOCAL_MACHINE\\SOFTWARE\\Morvex Multimedia\\Common"},
      {"x86", lm, "", "SOFTWARE\\Morvex Multimedia\\Common", 0, "HKEY_LOCAL_MACHINE\\SOFTWARE\\Morvex Multimedia\\Common"},
      {"AMD64", lm, "", "SOFTWARE\\Morvex Multimedia\\Common", 0, "HKEY_LOCAL_MACHINE\\SOFTWARE\\Wow6432Node\\Morvex Multimedia\\Common"},
      {"AMD64", lm, "SOFTWARE", "Morvex Multimedia", 0, "HKEY_LOCAL_MACHINE\\SOFTWARE\\Wow6432Node\\Morvex Multimedia"},
      {"AMD64", lm, "", "SOFTWARE\\Morvex", KEY_WOW64_64KEY, "HKEY_LOCAL_MACHINE\\SOFTWARE\\Morvex"},
      {"AMD64", lm, "", "SOFTWARE\\Wow6432Node\\Morvex", KEY_WOW64_32KEY, "HKEY_LOCAL_MACHINE\\SOFTWARE\\Wow6432Node\\Morvex"},
      {"AMD64", lm, "", "SYSTEM\\CurrentControlSet\\Control\\Class\\X", 0, "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Class\\X"},
      {"AMD64", lm, "", "SOFTWARE\\Classes\\CLSID\\{X}", 0, "HKEY_LOCAL_MACHINE\\SOFTWARE\\Wow6432Node\\Classes\\CLSID\\{X}"},
      {"AMD64", lm, "", "SOFTWARE\\Classes\\.reg", 0, "HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\.reg"},
      {"AMD64", lm, "", "SOFTWARE\\Policies\\X", 0, "HKEY_LOCAL_MACHINE\\SOFTWARE\\Policies\\X"},
      {"AMD64", HKEY_CLASSES_ROOT, "", "CLSID\\{X}", 0, "HKEY_CLASSES_ROOT\\Wow6432Node\\CLSID\\{X}"},
      {"AMD64", HKEY_CURRENT_USER, "", "Software\\Classes\\CLSID\\{X}", 0, "HKEY_CURRENT_USER\\Software\\Classes\\Wow6432Node\\CLSID\\{X}"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.architecture) + " " + c.parent + " " + c.path);
    sim::Machine m = MachineFromText(RegText(Architecture(c.architecture)));
    const sim::RegistryTree before = m.registry;
    sim::SimPlatform p(m, nullptr);
    BOOL wow64 = 2;
    ASSERT_TRUE(p.IsWow64Process(p.GetCurrentProcess(), &wow64));
    EXPECT_EQ(wow64, std::string(c.architecture) == "AMD64" ? TRUE : FALSE);
    HKEY parent = c.root;
    if (*c.parent) {
      ASSERT_EQ(p.RegOpenKeyExA(c.root, c.parent, 0, KEY_READ, &parent), 0);
    }
    HKEY key = HKEY(0);
    ASSERT_EQ(p.RegCreateKeyExA(parent, c.path, 0, 0, KEY_ALL_ACCESS | c.view, &key, nullptr), 0);
    EXPECT_EQ(p.OpenKeyPaths().back(), c.real);
    // Keys every Windows has are there even when the machine file lacks
    // them: an undo never deletes one.
    const std::string undo = sim::WriteRegUndo(before, m.registry, sim::RegFileFormat::Utf8v5);
    EXPECT_EQ(undo.find("[-HKEY_LOCAL_MACHINE\\SOFTWARE]"), std::string::npos) << undo;
    EXPECT_EQ(undo.find("[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Wow6432Node]"), std::string::npos) << undo;
  }
}

// The driver's component registered by the registry alone: a 32-bit
// program's COM finds it in the 32-bit view, and only there.
TEST(SimRegistry, TheComponentIsFoundInTheProgramsOwnView) {
  const struct {
    const char* architecture;
    const char* classes;  // where its registration lies
    HRESULT created;
  } cases[] = {
      {"AMD64", "HKEY_LOCAL_MACHINE\\SOFTWARE\\Wow6432Node\\Classes", S_OK},
      {"AMD64", "HKEY_CLASSES_ROOT\\Wow6432Node", S_OK},
      {"AMD64", "HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes", REGDB_E_CLASSNOTREG},
      {"x86", "HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes", S_OK},
  };
  GUID component, list;
  ASSERT_TRUE(sim::ParseGuidText("{B8A9279E-C453-11D4-AD45-0060080BA634}", &component));
  ASSERT_TRUE(sim::ParseGuidText("{B8A9279D-C453-11D4-AD45-0060080BA634}", &list));
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.architecture) + " " + c.classes);
    sim::Machine m = MachineFromText(RegText(
        Architecture(c.architecture) + "[" + c.classes +
        "\\CLSID\\{B8A9279E-C453-11D4-AD45-0060080BA634}\\InprocServer32]\r\n@=\"34com.dll\"\r\n\r\n"
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Chanwiz Simulation\\Vamp]\r\n\"Registered\"=dword:00000000\r\n"));
    sim::SimPlatform p(m, nullptr);
    p.CoInitialize();
    void* object = nullptr;
    EXPECT_EQ(p.CoCreateInstance(component, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER,
                                 list, &object),
              c.created);
  }
}

TEST(SimDevices, PropertyContract) {
  sim::Machine m = SmallMachine();
  sim::SimPlatform p(m, nullptr);
  HDEVINFO list = p.SetupDiGetClassDevsA(nullptr, nullptr, HWND(0), DIGCF_PRESENT | DIGCF_ALLCLASSES);
  ASSERT_NE(list, INVALID_HANDLE_VALUE);

  // Only instances with a ClassGUID are listed (as Wine lists them), in
  // registry order: PCI, then ROOT\NOID.
  SP_DEVINFO_DATA d = {};
  d.cbSize = sizeof(d);
  ASSERT_TRUE(p.SetupDiEnumDeviceInfo(list, 0, &d));
  SP_DEVINFO_DATA second = {};
  second.cbSize = sizeof(second);
  ASSERT_TRUE(p.SetupDiEnumDeviceInfo(list, 1, &second));
  SP_DEVINFO_DATA third = {};
  third.cbSize = sizeof(third);
  p.SetLastError(kSentinel);
  EXPECT_FALSE(p.SetupDiEnumDeviceInfo(list, 2, &third));
  EXPECT_EQ(p.GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_ITEMS));
  SP_DEVINFO_DATA wrongSize = {};
  wrongSize.cbSize = 4;
  EXPECT_FALSE(p.SetupDiEnumDeviceInfo(list, 0, &wrongSize));

  // Sizing read: the required size is written even on failure.
  DWORD type = 0, required = 0;
  p.SetLastError(kSentinel);
  EXPECT_FALSE(p.SetupDiGetDeviceRegistryPropertyA(list, &d, SPDRP_HARDWAREID, &type, nullptr, 0,
                                                   &required));
  EXPECT_EQ(p.GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(required, 44u + 1 + 21 + 1 + 1);
  std::vector<BYTE> buffer(required);
  p.SetLastError(kSentinel);
  EXPECT_TRUE(p.SetupDiGetDeviceRegistryPropertyA(list, &d, SPDRP_HARDWAREID, &type, buffer.data(),
                                                  required, &required));
  EXPECT_EQ(p.GetLastError(), 0u);
  EXPECT_EQ(type, REG_MULTI_SZ);
  EXPECT_STREQ(reinterpret_cast<char*>(buffer.data()), "PCI\\VEN_1131&DEV_7134&SUBSYS_01381131&REV_01");

  char driver[64] = {};
  EXPECT_TRUE(p.SetupDiGetDeviceRegistryPropertyA(list, &d, SPDRP_DRIVER, &type,
                                                  reinterpret_cast<BYTE*>(driver), sizeof(driver),
                                                  nullptr));
  EXPECT_STREQ(driver, "{4d36e96c-e325-11ce-bfc1-08002be10318}\\0001");

  // No such property: ERROR_INVALID_DATA.
  EXPECT_FALSE(p.SetupDiGetDeviceRegistryPropertyA(list, &second, SPDRP_DRIVER, &type,
                                                   reinterpret_cast<BYTE*>(driver), sizeof(driver),
                                                   nullptr));
  EXPECT_EQ(p.GetLastError(), static_cast<DWORD>(ERROR_INVALID_DATA));

  EXPECT_TRUE(p.SetupDiDestroyDeviceInfoList(list));
  EXPECT_FALSE(p.SetupDiDestroyDeviceInfoList(list));
  EXPECT_EQ(p.GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST(SimSystem, ModuleFileNameIsCutAndTerminatedWhenItDoesNotFit) {
  sim::Machine m = SmallMachine();
  sim::SimPlatform p(m, nullptr);
  char buffer[64];
  DWORD n = p.GetModuleFileNameA(buffer, sizeof(buffer));
  EXPECT_EQ(std::string(buffer, n), "C:\\Program Files\\Morvex\\Chanwiz\\Chanwiz.exe");
  char small[8];
  p.SetLastError(0);
  EXPECT_EQ(p.GetModuleFileNameA(small, sizeof(small)), 8u);
  EXPECT_STREQ(small, "C:\\Prog");
  EXPECT_EQ(p.GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));

  char folder[4];
  EXPECT_EQ(p.GetWindowsDirectoryA(folder, sizeof(folder)), 11u);  // required size with the NUL
}

TEST(SimSystem, VersionsOfTheWindowsFamilies) {
  struct Case {
    const char* body;
    DWORD platform, major, minor;
    bool highBit;
  };
  const Case cases[] = {
      {"", 2, 5, 1, false},
      {"[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion]\r\n\"CurrentVersion\"=\"4.0\"\r\n", 2, 4, 0, false},
      {"[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion]\r\n\"CurrentVersion\"=\"6.1\"\r\n", 2, 6, 1, false},
      {"[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion]\r\n\"VersionNumber\"=\"4.10.2222\"\r\n", 1, 4, 10, true},
      {"[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion]\r\n\"VersionNumber\"=\"4.90.3000\"\r\n", 1, 4, 90, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.body);
    sim::Machine m = MachineFromText(RegText(c.body));
    sim::SimPlatform p(m, nullptr);
    OSVERSIONINFOA info = {};
    info.dwOSVersionInfoSize = sizeof(info);
    ASSERT_TRUE(p.GetVersionExA(&info));
    EXPECT_EQ(info.dwPlatformId, c.platform);
    EXPECT_EQ(info.dwMajorVersion, c.major);
    EXPECT_EQ(info.dwMinorVersion, c.minor);
    DWORD v = p.GetVersion();
    EXPECT_EQ((v & 0x80000000u) != 0, c.highBit);
    EXPECT_EQ(v & 0xFF, c.major);
    info.dwOSVersionInfoSize = 20;
    EXPECT_FALSE(p.GetVersionExA(&info));
  }
}

TEST(SimProfile, ReadsAsTheWindowsProfileReaderDoes) {
  const std::string ini =
      "; a comment\r\n[39]\r\nAppTitleName = Procedura guidata \r\nOKText=\"OK quoted\"\r\n"
      "[Intl]\r\niCountry=39\r\n[39]\r\nAppTitleName=second section ignored\r\n";
  std::string v;
  EXPECT_TRUE(sim::ProfileLookup(ini, "39", "apptitlename", &v));
  EXPECT_EQ(v, "Procedura guidata");
  EXPECT_TRUE(sim::ProfileLookup(ini, "39", "OKTEXT", &v));
  EXPECT_EQ(v, "OK quoted");
  EXPECT_TRUE(sim::ProfileLookup(ini, "intl", "ICOUNTRY", &v));
  EXPECT_EQ(sim::ProfileInt(v), 39u);
  EXPECT_FALSE(sim::ProfileLookup(ini, "49", "AppTitleName", &v));
  EXPECT_FALSE(sim::ProfileLookup(ini, "39", "Missing", &v));
  EXPECT_EQ(sim::ProfileInt("123abc"), 123u);
  EXPECT_EQ(sim::ProfileInt("abc"), 0u);

  sim::Machine m = SmallMachine();
  sim::SimPlatform p(m, nullptr);
  p.MapFile("C:\\Dir\\Texts.ini", WriteTempFile(ini));
  char buffer[6];
  // Cut to the buffer less one character; names without regard to case.
  EXPECT_EQ(p.GetPrivateProfileStringA("39", "AppTitleName", "dflt", buffer, sizeof(buffer),
                                       "c:\\dir\\TEXTS.INI"),
            5u);
  EXPECT_STREQ(buffer, "Proce");
  // Missing key, section or file: the default (its trailing blanks dropped).
  EXPECT_EQ(p.GetPrivateProfileStringA("39", "Nope", "ab  ", buffer, sizeof(buffer),
                                       "C:\\Dir\\Texts.ini"),
            2u);
  EXPECT_STREQ(buffer, "ab");
  p.GetPrivateProfileStringA("1", "AppTitleName", "default", buffer, sizeof(buffer),
                             "C:\\Dir\\None.ini");
  EXPECT_STREQ(buffer, "defau");
  EXPECT_EQ(p.GetPrivateProfileIntA("intl", "iCountry", 1, "C:\\Dir\\Texts.ini"), 39u);
  EXPECT_EQ(p.GetPrivateProfileIntA("intl", "iCountry", 1, "C:\\Dir\\None.ini"), 1u);
}

// A page that records what it is told, to exercise the controls.
class ProbePage : public CDialog {
 public:
  explicit ProbePage(Platform& p) : CDialog(p, 130) {}
  std::vector<std::pair<int, int>> commands;
  std::function<void(ProbePage&)> onInit;

 protected:
  BOOL OnInitDialog() override {
    if (onInit) onInit(*this);
    return TRUE;
  }
  bool OnCommand(int id, int code) override {
    commands.emplace_back(id, code);
    return false;
  }
};

TEST(SimWindows, ListAndComboBoxesBehaveAsWindowsOnes) {
  sim::Machine m = SmallMachine();
  sim::ScriptAnswers answers({});
  sim::SimPlatform p(m, &answers, nullptr, WizardDialogs());
  ProbePage page(p);
  std::vector<LRESULT> results;
  page.onInit = [&](ProbePage& self) {
    HWND list = p.GetDlgItem(self.hwnd(), 1019);
    HWND combo = p.GetDlgItem(self.hwnd(), 1021);
    for (const char* t : {"b", "a", "c"})
      results.push_back(p.SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(t)));
    // The combo box sorts; the list box does not.
    for (const char* t : {"Q", "B", "a"})
      results.push_back(p.SendMessageA(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(t)));
    results.push_back(p.SendMessageA(list, LB_GETCURSEL, 0, 0));   // none yet
    results.push_back(p.SendMessageA(combo, CB_GETCURSEL, 0, 0));  // none yet
    results.push_back(p.SendMessageA(list, LB_SETCURSEL, 1, 0));
    results.push_back(p.SendMessageA(list, LB_SETCURSEL, 7, 0));  // out of range
    results.push_back(p.SendMessageA(list, LB_GETCURSEL, 0, 0));  // ... leaves none
    results.push_back(p.SendMessageA(combo, CB_SETCURSEL, static_cast<WPARAM>(-1), 0));
    results.push_back(p.SendMessageA(combo, CB_SETCURSEL, 2, 0));
    char text[8] = {};
    p.SendMessageA(combo, CB_GETLBTEXT, 0, reinterpret_cast<LPARAM>(text));
    results.push_back(text[0]);
    results.push_back(p.SendMessageA(list, LB_RESETCONTENT, 0, 0));
    results.push_back(p.SendMessageA(list, LB_GETCOUNT, 0, 0));
    results.push_back(p.SendMessageA(list, LB_SETCURSEL, 0, 0));  // empty list
    // EnableWindow returns whether the window was disabled before.
    HWND ok = p.GetDlgItem(self.hwnd(), IDOK);
    results.push_back(p.EnableWindow(ok, FALSE));
    results.push_back(p.EnableWindow(ok, TRUE));
    results.push_back(p.EnableWindow(ok, FALSE));
  };
  EXPECT_EQ(page.DoModal(), -1);  // the empty script stops the run at the page
  const std::vector<LRESULT> expected = {0, 1, 2, 0, 0, 0, -1, -1, 1, -1, -1, -1, 2, 'a', 0, 0, -1, 0, 1, 0};
  EXPECT_EQ(results, expected);
}

TEST(SimWindows, ScriptStepsReachThePageAsWindowsWouldSendThem) {
  sim::Machine m = SmallMachine();
  std::vector<sim::ScriptStep> steps;
  std::string error;
  ASSERT_TRUE(sim::ParseScript("select 1021 1; select 1019 0; click 1", &steps, &error));
  sim::ScriptAnswers answers(steps);
  sim::SimPlatform p(m, &answers, nullptr, WizardDialogs());
  ProbePage page(p);
  page.onInit = [&](ProbePage& self) {
    for (const char* t : {"x", "y"}) {
      p.SendMessageA(p.GetDlgItem(self.hwnd(), 1019), LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(t));
      p.SendMessageA(p.GetDlgItem(self.hwnd(), 1021), CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(t));
    }
  };
  EXPECT_EQ(page.DoModal(), IDOK);
  const std::vector<std::pair<int, int>> expected = {{1021, 1}, {1019, 1}, {1, 0}};
  EXPECT_EQ(page.commands, expected);
}

TEST(SimWindows, DisabledButtonsIgnoreClicksAndEnter) {
  sim::Machine m = SmallMachine();
  std::vector<sim::ScriptStep> steps;
  std::string error;
  ASSERT_TRUE(sim::ParseScript("click 1; enter; click 2", &steps, &error));
  sim::ScriptAnswers answers(steps);
  sim::SimPlatform p(m, &answers, nullptr, WizardDialogs());
  ProbePage page(p);
  page.onInit = [&](ProbePage& self) { p.EnableWindow(p.GetDlgItem(self.hwnd(), IDOK), FALSE); };
  EXPECT_EQ(page.DoModal(), IDCANCEL);
  const std::vector<std::pair<int, int>> expected = {{2, 0}};
  EXPECT_EQ(page.commands, expected);
}

TEST(SimFaults, TheNthCallFailsWithTheChosenError) {
  sim::Machine m = SmallMachine();
  sim::SimPlatform p(m, nullptr);
  p.AddFault({"RegOpenKeyExA", 2, 5});
  p.AddFault({"SetupDiGetClassDevsA", 1, 8});
  HKEY key;
  EXPECT_EQ(p.RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE", 0, KEY_READ, &key), 0);
  p.RegCloseKey(key);
  EXPECT_EQ(p.RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE", 0, KEY_READ, &key), 5);
  EXPECT_EQ(p.RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE", 0, KEY_READ, &key), 0);
  p.RegCloseKey(key);
  EXPECT_EQ(p.SetupDiGetClassDevsA(nullptr, nullptr, HWND(0), 6), INVALID_HANDLE_VALUE);
  EXPECT_EQ(p.GetLastError(), 8u);
  // Every failable call is counted, in order.
  const std::vector<std::string> expected = {"RegOpenKeyExA", "RegCloseKey",   "RegOpenKeyExA",
                                             "RegOpenKeyExA", "RegCloseKey",   "SetupDiGetClassDevsA"};
  EXPECT_EQ(p.calls(), expected);
}

TEST(SimFaults, FailingDetectionEndsInTheNoDeviceMessage) {
  SimRun run(MachineFromSample("saa7134-xp-italy.reg"));
  run.platform->AddFault({"SetupDiGetClassDevsA", 1, 5});
  run.Run();
  auto boxes = run.Events("messagebox");
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_NE(boxes[0].find("\"style\":48"), std::string::npos);
}

}  // namespace
}  // namespace cw::test
