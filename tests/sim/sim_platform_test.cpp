// The simulated Windows under the platform contract (tests/platform), and what
// only the simulation has: the 32-bit view of 64-bit Windows and scripted pages.
#include <gtest/gtest.h>

#include "framework/framework.h"
#include "access/vamp_device.h"
#include "app/dialog_templates.h"
#include "platform/platform_contract.h"
#include "regtree/undo.h"
#include "platform/win_constants.h"
#include "support/sim_harness.h"

namespace cw::contract {

// The contract's machine: one capture board, one device without hardware
// ids, and one instance without a class, which the list leaves out.
class SimBackend : public Backend {
 public:
  SimBackend()
      : machine_(test::MachineFromText(test::RegText(
            test::DeviceKey("PCI\\VEN_1131&DEV_7134&SUBSYS_01381131&REV_01\\4&1&0&20F0",
                            {"PCI\\VEN_1131&DEV_7134&SUBSYS_01381131&REV_01", "PCI\\VEN_1131&DEV_7134"},
                            "{4d36e96c-e325-11ce-bfc1-08002be10318}\\0001") +
            test::DeviceKey("ROOT\\NOID\\0000", {}, "") +
            "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Enum\\ROOT\\NOCLASS\\0000]\r\n"
            "\"HardwareID\"=hex(7):41,00,00,00,00,00\r\n\r\n"))),
        platform_(machine_, nullptr) {}
  ~SimBackend() override { EXPECT_TRUE(platform_.OpenKeyPaths().empty()); }
  Platform& platform() override { return platform_; }
  std::string ScratchKey() override { return "Software\\Chanwiz contract"; }
  std::string ProfileFile(const std::string& text) override {
    platform_.MapFile("C:\\Dir\\Texts.ini", test::WriteTempFile(text));
    return "c:\\dir\\TEXTS.INI";
  }
  std::optional<std::vector<std::string>> Devices() override {
    return std::vector<std::string>{"PCI\\VEN_1131&DEV_7134&SUBSYS_01381131&REV_01", ""};
  }

 private:
  sim::Machine machine_;
  sim::SimPlatform platform_;
};

std::unique_ptr<Backend> MakeBackend() { return std::make_unique<SimBackend>(); }

}  // namespace cw::contract

namespace cw::test {
namespace {

// The machine's PROCESSOR_ARCHITECTURE, as 64-bit Windows keeps it.
std::string Architecture(const std::string& name) {
  if (name.empty()) return "";
  return "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment]"
         "\r\n\"PROCESSOR_ARCHITECTURE\"=\"" + name + "\"\r\n\r\n";
}

// On 64-bit Windows the 32-bit program sees HKLM\SOFTWARE (but the shared
// keys) and COM registrations in their 32-bit view, unless it asks otherwise.
TEST(SimRegistry, A32BitProgramsViewOf64BitWindows) {
  // The architecture ("" none), the root, a key opened first ("" none), the
  // path below it, the view asked for, and where the key is made.
  const HKEY lm = HKEY_LOCAL_MACHINE;
  const struct { const char* architecture; HKEY root; const char *parent, *path; REGSAM view;
                 const char* real; } cases[] = {
      {"", lm, "", "SOFTWARE\\Morvex Multimedia\\Common", 0, "HKEY_LOCAL_MACHINE\\SOFTWARE\\Morvex Multimedia\\Common"},
      {"x86", lm, "", "SOFTWARE\\Morvex Multimedia\\Common", 0, "HKEY_LOCAL_MACHINE\\SOFTWARE\\Morvex Multimedia\\Common"},
      {"AMD64", lm, "", "SOFTWARE\\Morvex Multimedia\\Common", 0, "HKEY_LOCAL_MACHINE\\SOFTWARE\\Wow6432Node\\Morvex Multimedia\\Common"},
      {"AMD64", lm, "SOFTWARE", "Morvex Multimedia", 0, "HKEY_LOCAL_MACHINE\\SOFTWARE\\Wow6432Node\\Morvex Multimedia"},
      {"AMD64", lm, "", "SOFTWARE\\Morvex", KEY_WOW64_64KEY, "HKEY_LOCAL_MACHINE\\SOFTWARE\\Morvex"},
      {"AMD64", lm, "", "SYSTEM\\CurrentControlSet\\Control\\Class\\X", 0, "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Class\\X"},
      {"AMD64", lm, "", "SOFTWARE\\Classes\\CLSID\\{X}", 0, "HKEY_LOCAL_MACHINE\\SOFTWARE\\Wow6432Node\\Classes\\CLSID\\{X}"},
      {"AMD64", HKEY_CLASSES_ROOT, "", "CLSID\\{X}", 0, "HKEY_CLASSES_ROOT\\Wow6432Node\\CLSID\\{X}"},
      {"AMD64", HKEY_CURRENT_USER, "", "Software\\Classes\\CLSID\\{X}", 0, "HKEY_CURRENT_USER\\Software\\Classes\\Wow6432Node\\CLSID\\{X}"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.architecture) + " " + c.parent + " " + c.path);
    sim::Machine m = MachineFromText(RegText(Architecture(c.architecture)));
    const sim::RegistryTree before = m.registry;
    sim::SimPlatform p(m, nullptr);
    BOOL wow64 = 2;
    ASSERT_TRUE(p.IsWow64Process(p.GetCurrentProcess(), &wow64));
    EXPECT_EQ(wow64, std::string(c.architecture) == "AMD64" ? TRUE : FALSE);
    HKEY parent = c.root;
    if (*c.parent) { ASSERT_EQ(p.RegOpenKeyExA(c.root, c.parent, 0, KEY_READ, &parent), 0); }
    HKEY key = HKEY(0);
    ASSERT_EQ(p.RegCreateKeyExA(parent, c.path, 0, 0, KEY_ALL_ACCESS | c.view, &key, nullptr), 0);
    EXPECT_EQ(p.OpenKeyPaths().back(), c.real);
    // Keys every Windows has are there even when the file lacks them: an undo never deletes one.
    const std::string undo = sim::WriteRegUndo(before, m.registry, sim::RegFileFormat::Utf8v5);
    EXPECT_EQ(undo.find("[-HKEY_LOCAL_MACHINE\\SOFTWARE]"), std::string::npos) << undo;
    EXPECT_EQ(undo.find("[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Wow6432Node]"), std::string::npos) << undo;
  }
}

// The driver's component is found in the 32-bit view only.
TEST(SimRegistry, TheComponentIsFoundInTheProgramsOwnView) {
  // The architecture, where the registration lies, what creating it gives.
  const struct { const char *architecture, *classes; HRESULT created; } cases[] = {
      {"AMD64", "HKEY_LOCAL_MACHINE\\SOFTWARE\\Wow6432Node\\Classes", S_OK},
      {"AMD64", "HKEY_CLASSES_ROOT\\Wow6432Node", S_OK},
      {"AMD64", "HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes", REGDB_E_CLASSNOTREG},
      {"x86", "HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes", S_OK}};
  const char* component = "{B8A9279E-C453-11D4-AD45-0060080BA634}";  // CLSID_VampDeviceList
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.architecture) + " " + c.classes);
    sim::Machine m = MachineFromText(RegText(
        Architecture(c.architecture) + "[" + c.classes + "\\CLSID\\" + component +
        "\\InprocServer32]\r\n@=\"34com.dll\"\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Chanwiz "
        "Simulation\\Vamp]\r\n" + Dword("Registered", 0)));
    sim::SimPlatform p(m, nullptr);
    p.CoInitialize();
    void* object = nullptr;
    EXPECT_EQ(p.CoCreateInstance(CLSID_VampDeviceList, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER,
                                 IID_VampDeviceList, &object), c.created);
  }
}

// A page that records the commands it is sent.
class ProbePage : public CDialog {
 public:
  explicit ProbePage(Platform& p) : CDialog(p, 130) {}
  std::vector<std::pair<int, int>> commands;
  std::function<void(ProbePage&)> onInit;

 protected:
  BOOL OnInitDialog() override { onInit(*this); return TRUE; }
  bool OnCommand(int id, int code) override { commands.emplace_back(id, code); return false; }
};

// The list box keeps the order, the combo box sorts, and a selection out of
// range leaves none; script steps reach the page as Windows sends them.
TEST(SimWindows, ControlsAndScriptSteps) {
  sim::Machine m = MachineFromText(RegText(""));
  std::vector<sim::ScriptStep> steps;
  std::string error;
  ASSERT_TRUE(sim::ParseScript("select 1021 1; select 1019 0; click 1", &steps, &error));
  sim::ScriptAnswers answers(steps);
  sim::SimPlatform p(m, &answers, nullptr, WizardDialogs());
  ProbePage page(p);
  std::vector<LRESULT> results;
  page.onInit = [&](ProbePage& self) {
    const HWND list = p.GetDlgItem(self.hwnd(), 1019), combo = p.GetDlgItem(self.hwnd(), 1021);
    char text[8] = {};
    const struct { HWND window; UINT msg; WPARAM w; const char* l; } calls[] = {
        {list, LB_ADDSTRING, 0, "b"},  {list, LB_ADDSTRING, 0, "a"},  {list, LB_ADDSTRING, 0, "c"},
        {combo, CB_ADDSTRING, 0, "Q"}, {combo, CB_ADDSTRING, 0, "B"}, {combo, CB_ADDSTRING, 0, "a"},
        {list, LB_GETCURSEL, 0, nullptr},  {combo, CB_GETCURSEL, 0, nullptr},  // none yet
        {list, LB_SETCURSEL, 1, nullptr},  {list, LB_SETCURSEL, 3, nullptr},  // out of range ...
        {list, LB_GETCURSEL, 0, nullptr},                                     // ... leaves none
        {combo, CB_SETCURSEL, static_cast<WPARAM>(-1), nullptr}, {combo, CB_SETCURSEL, 2, nullptr},
        {combo, CB_GETLBTEXT, 0, text},    {list, LB_GETCOUNT, 0, nullptr}};
    for (const auto& s : calls)
      results.push_back(p.SendMessageA(s.window, s.msg, s.w, reinterpret_cast<LPARAM>(s.l)));
    results.push_back(text[0]);
  };
  EXPECT_EQ(page.DoModal(), IDOK);
  EXPECT_EQ(page.commands, (std::vector<std::pair<int, int>>{{1021, 1}, {1019, 1}, {1, 0}}));
  EXPECT_EQ(results, std::vector<LRESULT>({0, 1, 2, 0, 0, 0, -1, -1, 1, -1, -1, -1, 2, 1, 3, 'a'}));
}

}  // namespace
}  // namespace cw::test
