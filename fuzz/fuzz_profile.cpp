// The profile (INI) reader over arbitrary bytes: ProfileTextFromBytes,
// ProfileLookup and ProfileInt directly, then the wizard's LoadTexts with
// the input as its Chanwiz.ini. Every text must end inside its buffer and
// hold what the reader finds for its key (cut) or its default.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "app/wizard_app.h"
#include "fuzz_check.h"
#include "platform/sim/machine.h"
#include "platform/sim/profile.h"
#include "platform/sim/sim_platform.h"

namespace {

using namespace cw;

constexpr const char* kIniWindowsPath = "C:\\Program Files\\Morvex\\Chanwiz\\Chanwiz.ini";

sim::Machine& BaseMachine() {
  static sim::Machine* machine = [] {
    auto* m = new sim::Machine;
    sim::RegFileError error;
    const std::string text =
        "Windows Registry Editor Version 5.00\r\n\r\n"
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Chanwiz Simulation]\r\n"
        "\"ModuleFileName\"=\"C:\\\\Program Files\\\\Morvex\\\\Chanwiz\\\\Chanwiz.exe\"\r\n";
    if (!sim::LoadMachineBytes(text, "fuzz.reg", m, &error)) {
      std::fprintf(stderr, "%s\n", error.ToString().c_str());
      std::abort();
    }
    return m;
  }();
  return *machine;
}

// One in-memory file per process, rewritten for every input; the platform
// reads it by its /proc path and it goes with the process.
int IniFd() {
  static const int fd = [] {
    const int f = memfd_create("chanwiz-fuzz-ini", 0);
    if (f < 0) std::abort();
    return f;
  }();
  return fd;
}

std::string IniHostPath() { return "/proc/self/fd/" + std::to_string(IniFd()); }

void WriteIni(const std::string& bytes) {
  if (ftruncate(IniFd(), 0) != 0) std::abort();
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = pwrite(IniFd(), bytes.data() + done, bytes.size() - done,
                             static_cast<off_t>(done));
    if (n <= 0) std::abort();
    done += static_cast<size_t>(n);
  }
}

// What a text of `capacity` bytes must hold: the value found in `section`,
// else the default less its trailing blanks; cut to the capacity less one.
std::string Expected(const std::string& text, const char* section, const char* key,
                     const char* defaultText, size_t capacity) {
  std::string value;
  if (!sim::ProfileLookup(text, section, key, &value)) {
    value = defaultText;
    while (!value.empty() && value.back() == ' ') value.pop_back();
  }
  // The reader hands the value over as a C string.
  value = value.substr(0, std::strlen(value.c_str()));
  if (value.size() > capacity - 1) value.resize(capacity - 1);
  return value;
}

template <size_t N>
std::string Field(const char (&field)[N]) {
  CHECK(std::memchr(field, '\0', N) != nullptr);
  return std::string(field);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);

  // The reader alone, with a few sections and keys.
  const std::string text = sim::ProfileTextFromBytes(bytes);
  static const char* const kSections[] = {"1", "39", "intl", "", " 1 ", "[", "a]b"};
  static const char* const kKeys[] = {"AppTitleName", "OKText", "iCountry", "", "=", ";x"};
  for (const char* section : kSections) {
    for (const char* key : kKeys) {
      std::string value = "untouched";
      if (sim::ProfileLookup(text, section, key, &value)) {
        CHECK(value.find('\0') == std::string::npos);
        CHECK(value.find('\n') == std::string::npos);
        (void)sim::ProfileInt(value);
      } else {
        CHECK(value == "untouched");
      }
    }
  }
  (void)sim::ProfileInt(text.substr(0, 64));

  // The whole LoadTexts path, the input being Chanwiz.ini.
  WriteIni(bytes);
  sim::SimPlatform platform(BaseMachine(), nullptr);
  platform.MapFile(kIniWindowsPath, IniHostPath());
  WizardApp app(platform, {});
  CHECK(app.LoadTexts() == 1);
  CHECK(std::string(app.TextSection) == "1");

  // No Windows country is set, so section "1" is read; AppTitleName falls
  // back to the built-in title when that section gives it empty.
  std::string title = Expected(text, "1", "AppTitleName", "", sizeof(app.AppTitleName));
  if (title.empty())
    title = Expected(text, "1", "AppTitleName", "QL750 Chanwiz Wizard", sizeof(app.AppTitleName));
  CHECK(Field(app.AppTitleName) == title);
  CHECK(Field(app.OKText) == Expected(text, "1", "OKText", "OK", sizeof(app.OKText)));
  CHECK(Field(app.CANCELText) == Expected(text, "1", "CANCELText", "Cancel", sizeof(app.CANCELText)));
  CHECK(Field(app.ChanwizTextTip) ==
        Expected(text, "1", "ChanwizTextTip",
                 "Now the Chanwiz Wizard will take you to re-initialize your QL750 settings step "
                 "by step so that the QL750 Device can work well.",
                 sizeof(app.ChanwizTextTip)));
  CHECK(Field(app.NoDeviceMsg1) ==
        Expected(text, "1", "NoDeviceMsg1", "Sorry, we can't find any QL750 Device on your computer.",
                 sizeof(app.NoDeviceMsg1)));
  Field(app.USBUpdateRegFail2);
  Field(app.MessageBuffer);
  CHECK(platform.OpenKeyPaths().empty());
  return 0;
}
