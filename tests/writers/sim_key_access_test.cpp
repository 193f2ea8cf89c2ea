// The simulated registry checks key access as Windows does, so the security
// bracket is tested against keys that really keep the administrator out.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "regtree/reg_file.h"
#include "platform/sim/security.h"
#include "platform/win_constants.h"
#include "support/sim_harness.h"

namespace cw::test {
namespace {

using sim::RegRoot;

constexpr const char* kGuarded = "SOFTWARE\\Guarded";

std::string GuardedMachine(const std::string& sddl) {
  std::string text = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Guarded]\r\n\"V\"=dword:00000001\r\n\r\n";
  if (!sddl.empty())
    text +=
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Chanwiz Simulation\\Security]\r\n"
        "\"HKEY_LOCAL_MACHINE\\\\SOFTWARE\\\\Guarded\"=\"" +
        sddl + "\"\r\n\r\n";
  return RegText(text);
}

TEST(SimKeySecurity, ABadSecurityEntryFailsTheLoadNamingTheFile) {
  const std::pair<const char*, const char*> cases[] = {
      {"bad SDDL", "\"HKEY_LOCAL_MACHINE\\\\SOFTWARE\\\\Guarded\"=\"D:(A;;KA;;;XX)\""},
      {"no such key", "\"HKEY_LOCAL_MACHINE\\\\SOFTWARE\\\\Nope\"=\"D:\""},
      {"no root", "\"SOFTWARE\\\\Guarded\"=\"D:\""},
      {"not text", "\"HKEY_LOCAL_MACHINE\\\\SOFTWARE\\\\Guarded\"=dword:00000001"},
  };
  for (const auto& [why, entry] : cases) {
    SCOPED_TRACE(why);
    sim::Machine m;
    sim::RegFileError error;
    const std::string body = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Guarded]\r\n\r\n"
                             "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Chanwiz Simulation\\Security]\r\n" + std::string(entry) + "\r\n";
    EXPECT_FALSE(sim::LoadMachineBytes(RegText(body), "bad-security.reg", &m, &error));
    EXPECT_EQ(error.ToString().rfind("bad-security.reg: ", 0), 0u) << error.ToString();
    EXPECT_NE(error.message.find("SOFTWARE\\"), std::string::npos) << error.message;
  }
}

// The wizard runs as an elevated administrator: BA, WD, AU and BU.
TEST(SimKeySecurity, OpensAndSecurityCallsAreCheckedAgainstTheDacl) {
  constexpr LONG ok = ERROR_SUCCESS;
  constexpr LONG denied = ERROR_ACCESS_DENIED;
  // RegOpenKeyExA for all access and for reading, RegOpenKeyA (the calls
  // after it use its handle), query, set, get and set the security.
  struct Case {
    const char* sddl;
    LONG openAll, openRead, openMaximum, query, set, getSecurity, setSecurity;
  };
  const Case cases[] = {
      {"", ok, ok, ok, ok, ok, ok, ok},  // the default descriptor
      {"O:SYG:SYD:(A;;KR;;;BA)", denied, ok, ok, ok, denied, ok, denied},
      // The owner may always read and replace the DACL, nothing more.
      {"O:BAG:SYD:(D;;KA;;;BA)", denied, denied, ok, denied, denied, ok, ok},
      {"O:SYG:SYD:(D;;KA;;;WD)(A;;KA;;;BA)", denied, denied, denied, 0, 0, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.sddl);
    sim::Machine m = MachineFromText(GuardedMachine(c.sddl));
    sim::SimPlatform p(m, nullptr);
    HKEY key = HKEY(0);
    const std::pair<REGSAM, LONG> opens[] = {{KEY_ALL_ACCESS, c.openAll}, {KEY_READ, c.openRead}};
    for (const auto& [access, want] : opens) {
      EXPECT_EQ(p.RegOpenKeyExA(HKEY_LOCAL_MACHINE, kGuarded, 0, access, &key), want);
      if (key != HKEY(0)) p.RegCloseKey(key);
      key = HKEY(0);
    }
    ASSERT_EQ(p.RegOpenKeyA(HKEY_LOCAL_MACHINE, kGuarded, &key), c.openMaximum);
    if (c.openMaximum != ok) continue;

    DWORD value = 0, size = sizeof(value);
    EXPECT_EQ(p.RegQueryValueExA(key, "V", nullptr, reinterpret_cast<BYTE*>(&value), &size),
              c.query);
    EXPECT_EQ(p.RegSetValueExA(key, "V", 0, REG_DWORD, reinterpret_cast<BYTE*>(&value), 4), c.set);
    BYTE descriptor[512] = {};
    size = sizeof(descriptor);
    EXPECT_EQ(p.RegGetKeySecurity(key, DACL_SECURITY_INFORMATION, descriptor, &size),
              c.getSecurity);
    std::vector<BYTE> same = m.registry.Find(RegRoot::LocalMachine, kGuarded)->security();
    EXPECT_EQ(p.RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, same.data()), c.setSecurity);
    p.RegCloseKey(key);
  }
}

// A new key needs the right to create subkeys on its parent; an existing key
// is checked for what is asked of it; below a key with the default descriptor
// new keys are the administrator's.
TEST(SimKeySecurity, CreatingAKeyNeedsCreateSubkeyOnItsParent) {
  sim::Machine m = MachineFromText(GuardedMachine("O:SYG:SYD:(A;;KR;;;BA)"));
  sim::SimPlatform p(m, nullptr);
  const struct {
    const char* path;
    REGSAM access;
    LONG result;
  } cases[] = {{"SOFTWARE\\Guarded\\New", KEY_ALL_ACCESS, ERROR_ACCESS_DENIED},
               {"SOFTWARE\\Guarded\\New\\Deeper", KEY_ALL_ACCESS, ERROR_ACCESS_DENIED},
               {kGuarded, KEY_ALL_ACCESS, ERROR_ACCESS_DENIED},
               {kGuarded, KEY_READ, ERROR_SUCCESS},
               {"SOFTWARE\\Free\\New", KEY_ALL_ACCESS, ERROR_SUCCESS}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    HKEY key = HKEY(0);
    EXPECT_EQ(p.RegCreateKeyExA(HKEY_LOCAL_MACHINE, c.path, 0, 0, c.access, &key, nullptr), c.result);
    EXPECT_EQ(m.registry.Find(RegRoot::LocalMachine, c.path) != nullptr, c.result == 0 || c.path == kGuarded);
    if (c.result == ERROR_SUCCESS) p.RegCloseKey(key);
  }
  EXPECT_TRUE(p.OpenKeyPaths().empty());
}

}  // namespace
}  // namespace cw::test
