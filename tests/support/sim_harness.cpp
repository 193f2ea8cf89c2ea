#include "support/sim_harness.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "app/dialog_templates.h"
#include "app/text_keys.h"
#include "regtree/reg_file.h"
#include "scripting/script.h"
#include "system/windows_settings.h"

namespace cw::test {

std::string SourcePath(const std::string& relative) {
  return std::string(CHANWIZ_SOURCE_DIR) + "/" + relative;
}

std::string SourceBytes(const std::string& relative) {
  std::ifstream in(SourcePath(relative), std::ios::binary);
  EXPECT_TRUE(in) << relative;
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

sim::Machine MachineFromText(const std::string& text) {
  sim::Machine machine;
  sim::RegFileError error;
  EXPECT_TRUE(sim::LoadMachineBytes(text, "test.reg", &machine, &error)) << error.ToString();
  return machine;
}

sim::Machine MachineFromSample(const std::string& sampleName) {
  sim::Machine machine;
  sim::RegFileError error;
  EXPECT_TRUE(sim::LoadMachineFile(SourcePath("samples/" + sampleName), &machine, &error))
      << error.ToString();
  return machine;
}

namespace {

// The files WriteTempFile made, removed when the test program ends: the
// runs that read them may outlive any one test's scope.
struct TempFiles {
  std::vector<std::string> paths;
  ~TempFiles() { for (const std::string& path : paths) unlink(path.c_str()); }
} madeTempFiles;

}  // namespace

std::string WriteTempFile(const std::string& content) {
  char path[] = "/tmp/chanwiz-test-XXXXXX";
  int fd = mkstemp(path);
  EXPECT_GE(fd, 0);
  if (fd >= 0) {
    madeTempFiles.paths.push_back(path);
    ssize_t written = write(fd, content.data(), content.size());
    EXPECT_EQ(written, static_cast<ssize_t>(content.size()));
    close(fd);
  }
  return path;
}

std::string RegText(const std::string& body) {
  return "Windows Registry Editor Version 5.00\r\n\r\n" + body;
}

std::string MachineText(const std::string& version, const std::string& iCountry,
                        const std::string& more) {
  std::string body;
  if (std::count(version.begin(), version.end(), '.') == 2)
    body += "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion]\r\n"
            "\"VersionNumber\"=\"" + version + "\"\r\n\r\n";
  else if (!version.empty())
    body += "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion]\r\n"
            "\"CurrentVersion\"=\"" + version + "\"\r\n\r\n";
  if (!iCountry.empty())
    body += "[HKEY_CURRENT_USER\\Control Panel\\International]\r\n\"iCountry\"=" + iCountry +
            "\r\n\r\n";
  return RegText(body + more);
}

std::string Sz(const std::string& name, const std::string& text) {
  std::string escaped;
  for (char c : text) escaped += (c == '\\' || c == '"') ? std::string("\\") + c : std::string(1, c);
  return "\"" + name + "\"=\"" + escaped + "\"\r\n";
}

std::string Dword(const std::string& name, DWORD value) {
  char text[16];
  std::snprintf(text, sizeof(text), "%08x", value);
  return "\"" + name + "\"=dword:" + text + "\r\n";
}

std::string MultiSz(const std::string& name, const std::vector<std::string>& texts) {
  std::string joined;
  for (const std::string& t : texts) joined += t + '\0';
  joined += '\0';
  std::string hex;
  char byte[8];
  for (size_t i = 0; i < joined.size(); ++i) {
    std::snprintf(byte, sizeof(byte), "%s%02x,00", i ? "," : "",
                  static_cast<unsigned char>(joined[i]));
    hex += byte;
  }
  return "\"" + name + "\"=hex(7):" + hex + "\r\n";
}

std::string DeviceKey(const std::string& enumPath, const std::vector<std::string>& ids,
                      const std::string& driver) {
  return "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Enum\\" + enumPath + "]\r\n" +
         MultiSz("HardwareID", ids) + Sz("ClassGUID", "{4d36e96c-e325-11ce-bfc1-08002be10318}") +
         (driver.empty() ? "" : Sz("Driver", driver)) + "\r\n";
}

SimRun::SimRun(sim::Machine m, const std::string& script, std::vector<std::string> args)
    : machine(std::move(m)), before(machine.registry) {
  std::vector<sim::ScriptStep> steps;
  std::string error;
  EXPECT_TRUE(sim::ParseScript(script, &steps, &error)) << error;
  answers = std::make_unique<sim::ScriptAnswers>(std::move(steps));
  platform = std::make_unique<sim::SimPlatform>(machine, answers.get(), nullptr, WizardDialogs());
  app = std::make_unique<WizardApp>(*platform, std::move(args));
}

void SimRun::Run() { app->Run(); }

void SimRun::LoadTexts(const std::string& iniFile) {
  if (!iniFile.empty())
    platform->MapFile("C:\\Program Files\\Morvex\\Chanwiz\\Chanwiz.ini", iniFile);
  state.IsNtFamily = IsNtFamilyOs(*platform);
  cw::LoadTexts(*platform, state);
}

std::string BoxRecord(const std::string& text, int style, const std::string& caption, int answer) {
  return "{\"event\":\"messagebox\",\"text\":\"" + text + "\",\"caption\":\"" + caption +
         "\",\"style\":" + std::to_string(style) + ",\"answer\":" + std::to_string(answer) + "}";
}

std::vector<std::string> SimRun::Events(const std::string& event) const {
  std::vector<std::string> out;
  const std::string tag = "{\"event\":\"" + event + "\"";
  for (const std::string& line : platform->transcript().lines())
    if (line.compare(0, tag.size(), tag) == 0) out.push_back(line);
  return out;
}

}  // namespace cw::test
