// The writers' registry access: key paths, the value writes, and the bracket
// that opens a driver key's security for the writes and puts it back.
#include "writers/registry_access.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "regtree/reg_file.h"
#include "platform/sim/security.h"
#include "platform/win_constants.h"
#include "support/sim_harness.h"
#include "support/tree_compare.h"
#include "support/unattended_run.h"
#include "unattended/deployment.h"
#include "writers/security_record.h"

namespace cw::test {
namespace {

using sim::RegRoot;

const std::string kDriverKey = "{4d36e96c-e325-11ce-bfc1-08002be10318}\\0001";
const std::string kClassKey = std::string(NtClassRoot) + kDriverKey;

std::string Doubled(const std::string& path) {
  std::string out;
  for (char c : path) out += c == '\\' ? std::string("\\\\") : std::string(1, c);
  return out;
}

// A driver key with a DriverData subkey holding `values` (.reg lines), the
// driver key's security given as SDDL ("" leaves it to the default).
std::string DriverKeyMachine(const std::string& sddl, const std::string& values = "",
                             bool zeroSecuritySize = false) {
  std::string text = "[HKEY_LOCAL_MACHINE\\" + kClassKey + "]\r\n\"DriverDesc\"=\"Board\"\r\n\r\n" +
                     "[HKEY_LOCAL_MACHINE\\" + kClassKey + "\\DriverData]\r\n" + values + "\r\n";
  if (zeroSecuritySize)
    text +=
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Chanwiz Simulation]\r\n"
        "\"ZeroSecurityDescriptorSize\"=dword:00000001\r\n\r\n";
  if (!sddl.empty())
    text += "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Chanwiz Simulation\\Security]\r\n\"" +
            Doubled("HKEY_LOCAL_MACHINE\\" + kClassKey) + "\"=\"" + sddl + "\"\r\n\r\n";
  return RegText(text);
}

std::string Box(const std::string& text) { return BoxRecord(text, 0, "Message"); }

std::vector<std::string> Boxes(std::initializer_list<const char*> texts) {
  std::vector<std::string> out;
  for (const char* t : texts) out.push_back(Box(t));
  return out;
}

const sim::RegKey* ClassKey(const SimRun& run, const std::string& path = kClassKey) {
  return run.machine.registry.Find(RegRoot::LocalMachine, path);
}

sim::SecurityModel ModelOf(const std::vector<BYTE>& descriptor) {
  sim::SecurityModel model;
  std::string why;
  EXPECT_TRUE(sim::ParseDescriptor(descriptor.data(), descriptor.size(), &model, &why)) << why;
  return model;
}

std::vector<BYTE> DaclOf(const std::vector<BYTE>& descriptor) {
  std::vector<BYTE> acl;
  EXPECT_TRUE(sim::DaclBytes(descriptor.data(), descriptor.size(), &acl));
  return acl;
}

// What one bracket saw and did.
struct Bracketed {
  BracketResult result = BracketResult::Skipped;
  bool wrote = false;
  std::string securedPath;
  std::vector<BYTE> during;  // the key's descriptor while the writes ran
};

// With `writeFails` the writes report a failure, which must wait for the restore.
constexpr const char* kWriteFailure = "Can't Write";

Bracketed RunBracket(SimRun& run, const std::string& driverKey = kDriverKey,
                     BracketPolicy policy = BracketPolicy::GoOnWithoutDescriptor,
                     bool writeFails = false) {
  Bracketed b;
  const ShowWriteFailure show = [&](const char* text) {
    run.platform->MessageBoxA(HWND(0), text, "Message", MB_OK);
  };
  b.result = KeySecurityBracket(*run.platform, NtClassRoot, driverKey, "", policy, show,
                                [&](const char* securedPath, const ShowWriteFailure& later) {
                                  b.wrote = true;
                                  b.securedPath = securedPath;
                                  if (const sim::RegKey* key = ClassKey(run))
                                    b.during = key->security();
                                  const size_t shown = run.Events("messagebox").size();
                                  if (writeFails) later(kWriteFailure);
                                  EXPECT_EQ(run.Events("messagebox").size(), shown);
                                });
  EXPECT_TRUE(run.platform->OpenKeyPaths().empty());
  return b;
}

// A bracket's boxes: the save's and grant's (`before`), the write's, the restore's (`after`).
std::vector<std::string> BoxesAround(std::initializer_list<const char*> before,
                                     std::initializer_list<const char*> after = {}) {
  std::vector<std::string> out = Boxes(before);
  out.push_back(Box(kWriteFailure));
  for (const std::string& box : Boxes(after)) out.push_back(box);
  return out;
}

// The saved DACL widened: each entry, in order, allows what it gave the key and what writes need.
std::vector<sim::AceModel> Widened(const sim::SecurityModel& saved) {
  constexpr DWORD kWrites = KEY_READ | KEY_SET_VALUE | KEY_CREATE_SUB_KEY;
  std::vector<sim::AceModel> out;
  for (const sim::AceModel& ace : saved.dacl) {
    const bool gave = ace.type == ACCESS_ALLOWED_ACE_TYPE && !(ace.flags & 0x08);
    out.push_back({ACCESS_ALLOWED_ACE_TYPE, 0, gave ? ace.mask | kWrites : kWrites, ace.sid});
  }
  return out;
}

TEST(KeySecurityBracket, EachSavedEntryGetsTheWritesRightsAndNoMoreThenIsRestored) {
  struct Case {
    const char* saved;
    const char* widened;  // the DACL while the writes run; 0x2001f: read, set and create only
  };
  const Case cases[] = {
      // Denied Users set values: they may now, but never own or re-list the key.
      {"O:SYG:SYD:(A;;KA;;;BA)(A;;KA;;;SY)(D;;KA;;;BU)", "D:(A;;KA;;;BA)(A;;KA;;;SY)(A;;0x2001f;;;BU)"},
      {"O:BAG:SYD:(D;CI;KA;;;WD)(A;CI;KR;;;AU)(A;OICI;GA;;;BA)(D;;0x1;;;SY)",
       "D:(A;;0x2001f;;;WD)(A;;0x2001f;;;AU)(A;;0x1002001f;;;BA)(A;;0x2001f;;;SY)"},
      // An entry that only passes rights on gives the key itself nothing.
      {"O:SYG:SYD:(A;IO;KA;;;BU)(A;;KA;;;BA)", "D:(A;;0x2001f;;;BU)(A;;KA;;;BA)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.saved);
    SimRun run(MachineFromText(DriverKeyMachine(c.saved)));
    const std::vector<BYTE> before = ClassKey(run)->security();

    Bracketed b = RunBracket(run, kDriverKey, BracketPolicy::GoOnWithoutDescriptor, true);
    EXPECT_EQ(b.result, BracketResult::Ran);
    ASSERT_TRUE(b.wrote);
    EXPECT_EQ(b.securedPath, kClassKey);
    sim::SecurityModel during = ModelOf(b.during);
    EXPECT_EQ(during.owner, ModelOf(before).owner);
    during.owner.clear();
    during.group.clear();
    EXPECT_EQ(sim::ToSddl(during), c.widened);

    EXPECT_EQ(ClassKey(run)->security(), before);
    EXPECT_EQ(run.Events("messagebox"), BoxesAround({}));
  }
}

// Lists with nothing to widen stay as they are; others are widened, also
// when Windows reports their size as 0 or their DACL as defaulted.
TEST(KeySecurityBracket, OddSavedListsAreWidenedOrLeftAndAlwaysRestored) {
  struct Case {
    const char* sddl;
    bool zeroSizeReport;
    bool defaulted;
    enum { kLeft, kWidened, kEmpty } during;
  };
  const Case cases[] = {
      {"O:BAG:SY", false, false, Case::kLeft},  // no DACL
      {"O:BAG:SYD:NO_ACCESS_CONTROL", false, false, Case::kLeft},
      {"O:BAG:SYD:", false, false, Case::kEmpty},
      {"O:BAG:SYD:(A;;KA;;;SY)(D;;KA;;;BU)", true, false, Case::kWidened},
      {"O:BAG:SYD:(A;;KR;;;S-1-5)", false, false, Case::kWidened},  // the smallest entry: no sub-authority
      {"", false, true, Case::kWidened},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.sddl);
    SimRun run(MachineFromText(DriverKeyMachine(c.sddl, "", c.zeroSizeReport)));
    ASSERT_EQ(run.machine.config.zeroSecurityDescriptorSize, c.zeroSizeReport);
    if (c.defaulted) {
      sim::SecurityModel model = sim::DefaultKeySecurity();
      model.daclDefaulted = true;
      run.machine.registry.Find(RegRoot::LocalMachine, kClassKey)->set_security(sim::BuildSelfRelative(model));
    }
    const std::vector<BYTE> before = ClassKey(run)->security();
    Bracketed b = RunBracket(run);
    EXPECT_TRUE(b.wrote);
    if (c.during == Case::kLeft) { EXPECT_EQ(b.during, before); }
    if (c.during == Case::kEmpty) { EXPECT_EQ(DaclOf(b.during), (std::vector<BYTE>{2, 0, 8, 0, 0, 0, 0, 0})); }
    if (c.during == Case::kWidened) { EXPECT_EQ(ModelOf(b.during).dacl, Widened(ModelOf(before))); }
    EXPECT_EQ(ModelOf(b.during).daclDefaulted, c.defaulted);
    EXPECT_EQ(ClassKey(run)->security(), before);
    EXPECT_TRUE(run.Events("messagebox").empty());
  }
}

// Each security call failing: its message, the writes still made, the DACL during and after.
TEST(KeySecurityBracket, EachFailingCallShowsItsMessageAndTheSavedDaclComesBack) {
  static constexpr const char* kSddl = "O:BAG:SYD:(A;;KA;;;SY)(D;;KA;;;BU)";
  // Plain fields: GCC 12 at -O3 takes an array of sim::Fault's strings for uninitialised.
  struct FaultSpec {
    const char* operation;
    int nth;
    DWORD error;
  };
  struct Case {
    FaultSpec fault;
    std::vector<std::string> boxes;  // the write's failure comes after the restore
    bool widenedDuring;
    const char* sddl = kSddl;
  };
  // The saved-access record is closed to others first, by #1 of InitializeAcl,
  // InitializeSecurityDescriptor, SetSecurityDescriptorDacl and RegSetKeySecurity and #1-#2 of
  // AddAccessAllowedAce; where that fails, the key is not widened at all.
  const Case cases[] = {
      {{"RegOpenKeyA", 1, 5}, BoxesAround({"Error: Registry Open"}), false},  // save
      {{"RegOpenKeyA", 2, 5}, BoxesAround({"Error: Registry Open"}), false},  // grant
      {{"RegOpenKeyA", 3, 5}, BoxesAround({}, {"Error: Registry Open"}), true},  // restore, again
      {{"RegQueryInfoKeyA", 1, 5}, BoxesAround({}), true},  // the size is only a first guess
      {{"RegGetKeySecurity", 1, 5}, BoxesAround({"ERROR: Get Security Descriptor"}), false},
      {{"GetSecurityDescriptorDacl", 1, 87},
       BoxesAround({"ERROR: Get DACL Of Security Descriptor"}),
       false},
      {{"GetAce", 1, 87}, BoxesAround({"ERROR: Get DACL Of Security Descriptor"}), false},
      {{"InitializeAcl", 2, 87},
       BoxesAround({"ERROR: Initialize New ACL", "ERROR: Access ACE Data to new ACL",
                    "ERROR: Access ACE Data to new ACL"}),
       false},
      // With no entry to copy, only the failed list itself keeps it unwritten.
      {{"InitializeAcl", 2, 87}, BoxesAround({"ERROR: Initialize New ACL"}), false, "O:BAG:SYD:"},
      {{"AddAccessAllowedAce", 4, 87}, BoxesAround({"ERROR: Access ACE Data to new ACL"}), false},
      {{"AddAccessAllowedAce", 0, 87}, BoxesAround({}), false},  // no record, no widening
      {{"InitializeSecurityDescriptor", 2, 1305},
       BoxesAround({"ERROR: Initialize New Security Descriptor",
                    "ERROR: Access ACL to Security Descriptor"}),
       false},
      {{"SetSecurityDescriptorDacl", 2, 87},
       BoxesAround({"ERROR: Access ACL to Security Descriptor"}),
       false},
      {{"RegSetKeySecurity", 2, 5}, BoxesAround({"Error: Set Security Data"}), false},  // grant
      {{"RegSetKeySecurity", 3, 5}, BoxesAround({}, {"Error: Set Security Data"}), true},
      {{"RegSetKeySecurity", 0, 5}, BoxesAround({}, {"Error: Set Security Data"}), false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.fault.operation) + " #" + std::to_string(c.fault.nth));
    SimRun run(MachineFromText(DriverKeyMachine(c.sddl)));
    run.platform->AddFault(sim::Fault{c.fault.operation, c.fault.nth, c.fault.error});
    const std::vector<BYTE> before = ClassKey(run)->security();
    Bracketed b = RunBracket(run, kDriverKey, BracketPolicy::GoOnWithoutDescriptor, true);
    EXPECT_TRUE(b.wrote);
    EXPECT_EQ(run.Events("messagebox"), c.boxes);
    if (c.widenedDuring)
      EXPECT_EQ(ModelOf(b.during).dacl, Widened(ModelOf(before)));
    else
      EXPECT_EQ(b.during, before);
    EXPECT_EQ(ClassKey(run)->security(), before);
  }
}

TEST(KeySecurityBracket, TheNextRunPutsBackTheListOfAKeyAKilledRunLeftWidened) {
  const char* kScript = "click 1016; click 1; click 1023; click 1";
  SimRun left(MachineFromSample("cx2388x-xp-germany-left-open.reg"), kScript);
  SimRun usual(MachineFromSample("cx2388x-xp-germany.reg"), kScript);
  left.Run();
  usual.Run();
  const std::string tuner = std::string(NtClassRoot) + "{4d36e96c-e325-11ce-bfc1-08002be10318}\\0004";
  EXPECT_EQ(left.platform->FinalRegistry().Find(RegRoot::LocalMachine, tuner)->security(),
            usual.platform->FinalRegistry().Find(RegRoot::LocalMachine, tuner)->security());
  EXPECT_TRUE(TreesEqual(left.platform->FinalRegistry(), usual.platform->FinalRegistry()));  // no record
  const std::vector<std::string> boxes = left.Events("messagebox");
  ASSERT_EQ(boxes.size(), usual.Events("messagebox").size() + 1);
  EXPECT_NE(boxes[0].find("They have been put back now"), std::string::npos) << boxes[0];
  // A list cut short is not handed to Windows; only the record goes.
  sim::Machine cut = MachineFromSample("cx2388x-xp-germany-left-open.reg");
  sim::RegKey* record = cut.registry.Find(RegRoot::LocalMachine, kSecurityRecordKey);
  record->SetValue("Access List", REG_BINARY, std::vector<BYTE>(record->FindValue("Access List")->data.begin(),
                                                                 record->FindValue("Access List")->data.begin() + 60));
  SimRun broken(std::move(cut), kScript);
  broken.Run();
  EXPECT_EQ(broken.platform->FinalRegistry().Find(RegRoot::LocalMachine, kSecurityRecordKey), nullptr);
  EXPECT_NE(broken.Events("messagebox")[0].find("could not be read"), std::string::npos);
  // Nor is a key that has gone since touched or counted as a failed write.
  UnattendedSimRun gone("cx2388x-xp-germany-left-open.reg", {"--country-code", "49"},
                        sim::Fault{"RegOpenKeyExA", 2, ERROR_FILE_NOT_FOUND});
  EXPECT_EQ(gone.outcome.exitCode, kExitWritten) << gone.outcome.message;
  EXPECT_NE(gone.platform->transcript().Text().find("no longer there"), std::string::npos);
  EXPECT_EQ(gone.platform->FinalRegistry().Find(RegRoot::LocalMachine, kSecurityRecordKey), nullptr);
}

// An absolute descriptor's DACL pointer past the saved block is not followed, even to valid
// memory: here the rest of the block's own allocation, holding a well-formed list.
TEST(KeySecurity, ADaclOutsideTheSavedBlockIsNotRead) {
  SimRun run(MachineFromText(DriverKeyMachine("O:BAG:SYD:(A;;KA;;;SY)")));
  sim::SimPlatform& p = *run.platform;
  const std::vector<BYTE> before = ClassKey(run)->security();
  constexpr size_t kAclAt = sizeof(SECURITY_DESCRIPTOR) + 16;
  std::vector<BYTE> block(kAclAt + 64, 0);
  ACL* acl = reinterpret_cast<ACL*>(block.data() + kAclAt);
  std::vector<BYTE> users;
  ASSERT_TRUE(sim::ParseSidString("BU", &users));
  ASSERT_TRUE(p.InitializeAcl(acl, 64, ACL_REVISION));
  ASSERT_TRUE(p.AddAccessAllowedAce(acl, ACL_REVISION, KEY_READ, users.data()));
  ASSERT_TRUE(p.InitializeSecurityDescriptor(block.data(), SECURITY_DESCRIPTOR_REVISION));
  ASSERT_TRUE(p.SetSecurityDescriptorDacl(block.data(), TRUE, acl, FALSE));
  block.resize(sizeof(SECURITY_DESCRIPTOR));  // the list stays where it was, past the end

  EXPECT_EQ(GrantWriteAccess(p, kClassKey.c_str(), SavedDescriptor(std::move(block))), ERROR_SUCCESS);
  EXPECT_EQ(run.Events("messagebox"), Boxes({"ERROR: Get DACL Of Security Descriptor"}));
  EXPECT_EQ(ClassKey(run)->security(), before);
  EXPECT_TRUE(p.OpenKeyPaths().empty());
}

TEST(KeyPath, APathThatDoesNotFitIsRefusedNeverCut) {
  const size_t rootLength = std::strlen(NtClassRoot);
  struct Case {
    size_t driverKeyLength;
    const char* subkey;
    bool fits;
  };
  const Case cases[] = {
      {259 - rootLength, "", true},
      {260 - rootLength, "", false},
      {259 - rootLength - 11, "\\DriverData", true},
      {260 - rootLength - 11, "\\DriverData", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.driverKeyLength) + c.subkey);
    const std::string driverKey = "{guid}\\" + std::string(c.driverKeyLength - 7, 'x');
    char path[kKeyPathSize];
    std::fill(path, path + kKeyPathSize, 'Z');
    EXPECT_EQ(BuildKeyPath(path, NtClassRoot, driverKey, c.subkey), c.fits);
    EXPECT_EQ(std::string(path), c.fits ? NtClassRoot + driverKey + c.subkey : "");
  }
  char path[kKeyPathSize];
  EXPECT_FALSE(BuildKeyPath(path, NtClassRoot, std::string("{guid}\0\\0001", 12), ""));
}

// An empty driver key, or one a character too long (with a key at the path it would be cut
// to): the class root or that key is neither opened, written nor has its security touched.
TEST(KeyPath, AnEmptyOrTooLongDriverKeyIsSkipped) {
  const std::string tooLong = "{guid}\\" + std::string(260 - std::strlen(NtClassRoot) - 7, 'x');
  const std::string cut = (NtClassRoot + tooLong).substr(0, kKeyPathSize - 1);
  for (const std::string& driverKey : {std::string(), tooLong}) {
    SCOPED_TRACE(driverKey.size());
    SimRun run(MachineFromText(DriverKeyMachine("O:BAG:SYD:(A;;KA;;;SY)(D;;KA;;;BU)") +
                               "[HKEY_LOCAL_MACHINE\\" + cut + "]\r\n\"Value\"=dword:00000001\r\n\r\n" +
                               "[HKEY_LOCAL_MACHINE\\" + NtClassRoot + tooLong +
                               "]\r\n\"Value\"=dword:00000001\r\n\r\n"));
    const size_t callsBefore = run.platform->calls().size();
    for (BracketPolicy policy : {BracketPolicy::GoOnWithoutDescriptor, BracketPolicy::StopWithoutDescriptor}) {
      Bracketed b = RunBracket(run, driverKey, policy);
      EXPECT_EQ(b.result, BracketResult::Skipped);
      EXPECT_FALSE(b.wrote);
    }
    RegKeyHandle key(*run.platform);
    EXPECT_FALSE(OpenDriverKeyForWrites(NtClassRoot, driverKey, "", &key));
    EXPECT_EQ(run.platform->calls().size(), callsBefore);
    EXPECT_TRUE(run.Events("messagebox").empty());
    const std::string root(NtClassRoot, std::strlen(NtClassRoot) - 1);
    EXPECT_TRUE(ClassKey(run, root) == nullptr || ClassKey(run, root)->security().empty());
  }
}

// Each write on a fresh key: its result, the message it showed, the value after it.
TEST(ValueWrites, UpdateIfPresentAndSetOrCreate) {
  const std::string values = "\"Dword\"=dword:00000007\r\n\"Text\"=\"abc\"\r\n"
                             "\"Five\"=hex:01,02,03,04,05\r\n\"At255\"=\"" + std::string(254, 'a') +
                             "\"\r\n\"Over255\"=\"" + std::string(255, 'b') + "\"\r\n";
  enum Write { kUpdateDword, kSetOrCreate, kUpdateString };
  struct Case {
    Write write;
    const char* name;
    bool setFails;
    ValueWrite expected;
    const char* shown;  // null: none
  };
  const Case cases[] = {
      {kUpdateDword, "Dword", false, ValueWrite::Updated, nullptr},
      {kUpdateDword, "Text", false, ValueWrite::Updated, nullptr},  // "abc" and its NUL fit; the type is replaced
      {kUpdateDword, "Five", false, ValueWrite::Skipped, nullptr},  // longer than the query: left alone
      {kUpdateDword, "Missing", false, ValueWrite::Skipped, nullptr},
      {kUpdateDword, "Dword", true, ValueWrite::UpdateFailed, "write"},
      {kSetOrCreate, "Dword", false, ValueWrite::Updated, nullptr},
      {kSetOrCreate, "Missing", false, ValueWrite::Created, nullptr},
      {kSetOrCreate, "Five", false, ValueWrite::Created, nullptr},  // too long for the query: counts as missing
      {kSetOrCreate, "Dword", true, ValueWrite::UpdateFailed, "write"},
      {kSetOrCreate, "Missing", true, ValueWrite::CreateFailed, "create"},
      {kUpdateString, "At255", false, ValueWrite::Updated, nullptr},    // 254 characters and the NUL
      {kUpdateString, "Over255", false, ValueWrite::Skipped, nullptr},  // 256 bytes
      {kUpdateString, "Dword", false, ValueWrite::Updated, nullptr},    // another type is replaced
      {kUpdateString, "Missing", false, ValueWrite::Skipped, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.write) + " " + c.name + (c.setFails ? " failing" : ""));
    SimRun run(MachineFromText(DriverKeyMachine("", values)));
    if (c.setFails) run.platform->AddFault({"RegSetValueExA", 0, 5});
    RegKeyHandle key(*run.platform);
    ASSERT_TRUE(OpenDriverKeyForWrites(NtClassRoot, kDriverKey, "\\DriverData", &key));
    std::vector<std::string> shown;
    const ShowWriteFailure show = [&](const char* text) { shown.push_back(text); };
    Platform& p = *run.platform;
    const ValueWrite result =
        c.write == kUpdateDword  ? UpdateDwordIfPresent(p, key.get(), c.name, 0x12345678, "write", show)
        : c.write == kSetOrCreate ? SetOrCreateDword(p, key.get(), c.name, 0x12345678, "write", "create", show)
                                  : UpdateStringIfPresent(p, key.get(), c.name, "FQ1216TN", 255, "write", show);
    key.Close();
    EXPECT_EQ(result, c.expected);
    EXPECT_EQ(shown, c.shown ? std::vector<std::string>{c.shown} : std::vector<std::string>{});
    const std::string path = kClassKey + "\\DriverData";
    const sim::RegValue* after = run.machine.registry.Find(RegRoot::LocalMachine, path)->FindValue(c.name);
    const sim::RegValue* before = run.before.Find(RegRoot::LocalMachine, path)->FindValue(c.name);
    if (c.expected == ValueWrite::Updated || c.expected == ValueWrite::Created) {
      ASSERT_NE(after, nullptr);
      EXPECT_EQ(after->type, c.write == kUpdateString ? REG_SZ : REG_DWORD);
      EXPECT_EQ(after->data, c.write == kUpdateString ? sim::StringData("FQ1216TN")  // with its terminator
                                                      : sim::DwordData(0x12345678));
    } else if (before == nullptr) {
      EXPECT_EQ(after, nullptr);
    } else {
      ASSERT_NE(after, nullptr);
      EXPECT_EQ(after->type, before->type);
      EXPECT_EQ(after->data, before->data);
    }
  }
}

}  // namespace
}  // namespace cw::test
