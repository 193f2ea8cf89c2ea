#include "platform/sim/security.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "platform/win_constants.h"

namespace cw::sim {
namespace {

// winerror.h codes the simulation reports that win_constants.h does not carry.
constexpr DWORD kNoAccess = 998;
constexpr DWORD kUnknownRevision = 1305;
constexpr DWORD kRevisionMismatch = 1306;
constexpr DWORD kInvalidOwner = 1307;
constexpr DWORD kInvalidPrimaryGroup = 1308;
constexpr DWORD kAllottedSpaceExceeded = 1344;

constexpr WORD kDaclProtected = 0x1000;  // SE_DACL_PROTECTED
constexpr DWORD kUntouched = 0xDEADBEEF;
constexpr BYTE kFill = 0xCC;
constexpr const char* kUser = "S-1-5-21-1004336348-1177238915-682003330-1000";

// Stands in for the simulated thread's last error.
struct LastError {
  DWORD value = kUntouched;
  int calls = 0;
  LastErrorSink sink() { return {&Record, this}; }
  static void Record(void* context, DWORD e) {
    auto* self = static_cast<LastError*>(context);
    self->value = e;
    ++self->calls;
  }
};

// A heap block of exactly this many bytes, so AddressSanitizer reports any
// read or write past it.
class Block {
 public:
  explicit Block(const std::vector<BYTE>& bytes) : size_(bytes.size()), data_(new BYTE[size_]) {
    std::copy(bytes.begin(), bytes.end(), data_.get());
  }
  Block(size_t size, BYTE fill) : size_(size), data_(new BYTE[size]) {
    std::fill(data_.get(), data_.get() + size, fill);
  }
  BYTE* get() const { return data_.get(); }
  size_t size() const { return size_; }
  ACL* acl() const { return reinterpret_cast<ACL*>(data_.get()); }
  std::vector<BYTE> bytes() const { return std::vector<BYTE>(data_.get(), data_.get() + size_); }

 private:
  size_t size_;
  std::unique_ptr<BYTE[]> data_;
};

WORD Word(const BYTE* p) {
  WORD v;
  std::memcpy(&v, p, sizeof v);
  return v;
}
DWORD Dword(const BYTE* p) {
  DWORD v;
  std::memcpy(&v, p, sizeof v);
  return v;
}
void PutWord(BYTE* p, WORD v) { std::memcpy(p, &v, sizeof v); }
void PutDword(BYTE* p, DWORD v) { std::memcpy(p, &v, sizeof v); }

std::vector<BYTE> SidOf(const std::string& text) {
  std::vector<BYTE> sid;
  EXPECT_TRUE(ParseSidString(text, &sid)) << text;
  return sid;
}

SecurityModel ModelOf(const std::string& sddl) {
  SecurityModel m;
  std::string why;
  EXPECT_TRUE(ParseSddl(sddl, &m, &why)) << sddl << ": " << why;
  return m;
}

std::vector<BYTE> DescriptorOf(const std::string& sddl) { return BuildSelfRelative(ModelOf(sddl)); }

std::vector<BYTE> DaclOf(const std::vector<BYTE>& sd) {
  std::vector<BYTE> acl;
  EXPECT_TRUE(DaclBytes(sd.data(), sd.size(), &acl));
  return acl;
}

// Offsets of the self-relative header fields.
constexpr size_t kOwnerAt = offsetof(SECURITY_DESCRIPTOR_RELATIVE, Owner);
constexpr size_t kGroupAt = offsetof(SECURITY_DESCRIPTOR_RELATIVE, Group);
constexpr size_t kSaclAt = offsetof(SECURITY_DESCRIPTOR_RELATIVE, Sacl);
constexpr size_t kDaclAt = offsetof(SECURITY_DESCRIPTOR_RELATIVE, Dacl);

// ---- SIDs ----

TEST(SidString, ParsesNumbersAndAliases) {
  const struct {
    const char* text;
    const char* back;
  } cases[] = {
      {"S-1-5-18", "S-1-5-18"},
      {"BA", "S-1-5-32-544"},
      {"SY", "S-1-5-18"},
      {"WD", "S-1-1-0"},
      {"AU", "S-1-5-11"},
      {"BU", "S-1-5-32-545"},
      {"CO", "S-1-3-0"},
      {"CG", "S-1-3-1"},
      {"PU", "S-1-5-32-547"},
      {"LS", "S-1-5-19"},
      {"NS", "S-1-5-20"},
      {kUser, kUser},
      {"S-1-5", "S-1-5"},
      {"S-1-4294967295-1", "S-1-4294967295-1"},
      {"S-1-0x123456789ABC-7", "S-1-0x123456789ABC-7"},
      {"S-1-0x000000000005-18", "S-1-5-18"},
      {"S-1-5-4294967295", "S-1-5-4294967295"},
      {"S-1-5-1-2-3-4-5-6-7-8-9-10-11-12-13-14-15", "S-1-5-1-2-3-4-5-6-7-8-9-10-11-12-13-14-15"},
  };
  for (const auto& c : cases) {
    std::vector<BYTE> sid;
    ASSERT_TRUE(ParseSidString(c.text, &sid)) << c.text;
    EXPECT_EQ(SidToString(sid.data(), sid.size()), c.back) << c.text;
    EXPECT_EQ(sid.size(), SimGetLengthSid(sid.data())) << c.text;
  }
}

TEST(SidString, BytesAreWindowsLayout) {
  const std::vector<BYTE> ba = {1, 2, 0, 0, 0, 0, 0, 5, 32, 0, 0, 0, 0x20, 2, 0, 0};
  EXPECT_EQ(SidOf("BA"), ba);
  Sid sid;
  sid.authority[5] = 5;
  sid.subAuthorities = {32, 544};
  EXPECT_EQ(sid.Bytes(), ba);
}

TEST(SidString, RejectsMalformedText) {
  const char* cases[] = {"",
                         "S",
                         "S-",
                         "S-1",
                         "S-1-",
                         "S-2-5-18",
                         "S-1-5-",
                         "S-1-5--1",
                         "S-1-5-4294967296",
                         "S-1-281474976710656",
                         "S-1-0x",
                         "S-1-0x-5",
                         "S-1-0x1234567890ABC",
                         "s-1-5-18",
                         "S-1-5-18 ",
                         " S-1-5-18",
                         "S-1-5-x",
                         "ba",
                         "XX",
                         "BAD",
                         "S-1-5-1-2-3-4-5-6-7-8-9-10-11-12-13-14-15-16"};
  for (const char* text : cases) {
    std::vector<BYTE> sid = {42};
    EXPECT_FALSE(ParseSidString(text, &sid)) << text;
    EXPECT_EQ(sid, std::vector<BYTE>{42}) << text;
  }
}

TEST(SidString, InvalidBytesGiveNoText) {
  std::vector<BYTE> sy = SidOf("SY");
  EXPECT_EQ(SidToString(nullptr, 12), "");
  EXPECT_EQ(SidToString(sy.data(), 7), "");
  EXPECT_EQ(SidToString(sy.data(), 11), "");  // shorter than the count says
  std::vector<BYTE> bad = sy;
  bad[0] = 2;
  EXPECT_EQ(SidToString(bad.data(), bad.size()), "");
  bad = sy;
  bad[1] = 16;
  EXPECT_EQ(SidToString(bad.data(), bad.size()), "");
}

TEST(GetLengthSid, CountsSubAuthoritiesWithoutChecking) {
  for (BYTE count : {0, 1, 2, 15, 200}) {
    BYTE header[8] = {1, count, 0, 0, 0, 0, 0, 5};
    EXPECT_EQ(SimGetLengthSid(header), 8u + 4u * count) << int(count);
  }
  EXPECT_EQ(SimGetLengthSid(nullptr), 0u);
}

// ---- InitializeAcl ----

TEST(InitializeAcl, ChecksSizeThenRevisionAndRoundsDown) {
  const struct {
    DWORD size;
    DWORD revision;
    DWORD error;  // 0: succeeds
    WORD aclSize;
  } cases[] = {
      {8, ACL_REVISION, 0, 8},
      {11, ACL_REVISION, 0, 8},
      {12, ACL_REVISION, 0, 12},
      {1027, ACL_REVISION, 0, 1024},
      {65535, ACL_REVISION, 0, 65532},
      {16, ACL_REVISION_DS, 0, 16},
      {16, 3, 0, 16},
      {7, ACL_REVISION, ERROR_INSUFFICIENT_BUFFER, 0},
      {0, ACL_REVISION, ERROR_INSUFFICIENT_BUFFER, 0},
      {7, 9, ERROR_INSUFFICIENT_BUFFER, 0},  // the size is checked first
      {16, 0, ERROR_INVALID_PARAMETER, 0},
      {16, 1, ERROR_INVALID_PARAMETER, 0},
      {16, 5, ERROR_INVALID_PARAMETER, 0},
      {65536, ACL_REVISION, ERROR_INVALID_PARAMETER, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE("size " + std::to_string(c.size) + " revision " + std::to_string(c.revision));
    Block block(16, kFill);
    LastError le;
    const BOOL ok = SimInitializeAcl(le.sink(), block.acl(), c.size, c.revision);
    if (c.error == 0) {
      ASSERT_TRUE(ok);
      EXPECT_EQ(le.calls, 0);
      const std::vector<BYTE> header = {static_cast<BYTE>(c.revision),
                                        0,
                                        static_cast<BYTE>(c.aclSize & 0xFF),
                                        static_cast<BYTE>(c.aclSize >> 8),
                                        0,
                                        0,
                                        0,
                                        0};
      EXPECT_EQ(std::vector<BYTE>(block.get(), block.get() + 8), header);
      EXPECT_EQ(block.get()[8], kFill);  // only the header is written
    } else {
      EXPECT_FALSE(ok);
      EXPECT_EQ(le.value, c.error);
      EXPECT_EQ(block.bytes(), std::vector<BYTE>(16, kFill));
    }
  }
}

TEST(InitializeAcl, NullBlockFaultsOnlyOnceArgumentsPass) {
  LastError le;
  EXPECT_FALSE(SimInitializeAcl(le.sink(), nullptr, 4, ACL_REVISION));
  EXPECT_EQ(le.value, DWORD(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_FALSE(SimInitializeAcl(le.sink(), nullptr, 16, ACL_REVISION));
  EXPECT_EQ(le.value, kNoAccess);
}

// ---- AddAccessAllowedAce ----

const std::vector<BYTE> kBaEntry = {0, 0, 24, 0, 0x19, 0, 2, 0};

TEST(AddAccessAllowedAce, AppendsAllowedEntriesUntilFull) {
  const std::vector<BYTE> sy = SidOf("SY"), ba = SidOf("BA"), bu = SidOf("BU");
  const DWORD size = 8 + (8 + 12) + (8 + 16);
  Block block(size, kFill);
  LastError le;
  ASSERT_TRUE(SimInitializeAcl(le.sink(), block.acl(), size, ACL_REVISION));
  ASSERT_TRUE(SimAddAccessAllowedAce(le.sink(), block.acl(), ACL_REVISION, 0xFFFFFFFF,
                                     const_cast<BYTE*>(sy.data())));
  ASSERT_TRUE(SimAddAccessAllowedAce(le.sink(), block.acl(), ACL_REVISION, KEY_READ,
                                     const_cast<BYTE*>(ba.data())));
  EXPECT_EQ(le.calls, 0);

  std::vector<BYTE> expected = {2, 0, size, 0, 2,    0,    0,    0,      // header
                                0, 0, 20,   0, 0xFF, 0xFF, 0xFF, 0xFF};  // SY entry
  // (Byte by byte: GCC 12 at -O3 takes vector::insert here for an overflow.)
  for (const std::vector<BYTE>* part : {&sy, &kBaEntry, &ba})
    for (BYTE b : *part) expected.push_back(b);
  EXPECT_EQ(block.bytes(), expected);

  // Full: the next entry fails and leaves the list as it was.
  EXPECT_FALSE(SimAddAccessAllowedAce(le.sink(), block.acl(), ACL_REVISION, KEY_READ,
                                      const_cast<BYTE*>(bu.data())));
  EXPECT_EQ(le.value, kAllottedSpaceExceeded);
  EXPECT_EQ(block.bytes(), expected);
}

TEST(AddAccessAllowedAce, FitsExactlyButNotOneWordLess) {
  std::vector<BYTE> sy = SidOf("SY");
  for (DWORD size : {28u, 27u, 24u}) {
    Block block(size, 0);
    LastError le;
    ASSERT_TRUE(SimInitializeAcl(le.sink(), block.acl(), size, ACL_REVISION));
    const BOOL ok = SimAddAccessAllowedAce(le.sink(), block.acl(), ACL_REVISION, 1, sy.data());
    EXPECT_EQ(ok, size == 28 ? TRUE : FALSE) << size;  // 27 rounds down to 24
    if (!ok) {
      EXPECT_EQ(le.value, kAllottedSpaceExceeded);
    }
  }
}

// A fresh 64-byte list with room to spare, changed by `poke`.
struct AddCase {
  const char* name;
  std::vector<BYTE> sid;
  DWORD revision;
  void (*poke)(BYTE* acl);
  bool nullAcl;
  DWORD error;
};

TEST(AddAccessAllowedAce, ChecksArgumentsInWindowsOrder) {
  std::vector<BYTE> good = SidOf("WD");
  std::vector<BYTE> revision2 = good;
  revision2[0] = 2;
  std::vector<BYTE> tooMany = SidOf("S-1-5-1-2-3-4-5-6-7-8-9-10-11-12-13-14-15");
  tooMany[1] = 16;
  tooMany.resize(8 + 4 * 16, 0);
  auto none = [](BYTE*) {};
  const AddCase cases[] = {
      {"SID revision 2", revision2, ACL_REVISION, none, false, ERROR_INVALID_SID},
      {"SID with 16 sub-authorities", tooMany, ACL_REVISION, none, false, ERROR_INVALID_SID},
      {"no SID", {}, ACL_REVISION, none, false, ERROR_INVALID_SID},
      {"bad SID before bad revision", revision2, 9, none, false, ERROR_INVALID_SID},
      {"bad SID before null list", revision2, ACL_REVISION, none, true, ERROR_INVALID_SID},
      {"null list", good, ACL_REVISION, none, true, kNoAccess},
      {"entry revision 5", good, 5, none, false, kRevisionMismatch},
      {"list revision 5", good, ACL_REVISION, [](BYTE* a) { a[0] = 5; }, false, kRevisionMismatch},
      {"list revision 1", good, ACL_REVISION, [](BYTE* a) { a[0] = 1; }, false, ERROR_INVALID_ACL},
      {"count without entries", good, ACL_REVISION,
       [](BYTE* a) {
         a[4] = 1;
         PutWord(a + 2, 8);
       },
       false, ERROR_INVALID_ACL},
      {"entry past AclSize", good, ACL_REVISION,
       [](BYTE* a) {
         a[4] = 1;
         PutWord(a + 8 + 2, 60);
       },
       false, ERROR_INVALID_ACL},
      {"entry of size 0", good, ACL_REVISION,
       [](BYTE* a) {
         a[4] = 1;
         PutWord(a + 8 + 2, 0);
       },
       false, ERROR_INVALID_ACL},
  };
  for (const AddCase& c : cases) {
    SCOPED_TRACE(c.name);
    Block block(64, 0);
    LastError le;
    ASSERT_TRUE(SimInitializeAcl(le.sink(), block.acl(), 64, ACL_REVISION));
    c.poke(block.get());
    const std::vector<BYTE> before = block.bytes();
    std::vector<BYTE> sid = c.sid;
    EXPECT_FALSE(SimAddAccessAllowedAce(le.sink(), c.nullAcl ? nullptr : block.acl(), c.revision,
                                        KEY_READ, sid.empty() ? nullptr : sid.data()));
    EXPECT_EQ(le.value, c.error);
    EXPECT_EQ(block.bytes(), before);
  }
}

// The list is checked as RtlValidAcl checks it before anything is added.
TEST(AddAccessAllowedAce, ChecksTheListAsWindowsDoes) {
  const std::vector<BYTE> wd = SidOf("WD");
  // An entry of another type (0x11) with the given size, then room for one more.
  auto listWith = [](BYTE type, WORD entrySize, WORD aclSize) {
    std::vector<BYTE> acl(aclSize, 0);
    acl[0] = 2;
    PutWord(&acl[2], aclSize);
    acl[4] = 1;
    acl[8] = type;
    PutWord(&acl[8 + 2], entrySize);
    if (type == ACCESS_ALLOWED_ACE_TYPE) {
      const std::vector<BYTE> sid = SidOf("SY");
      std::copy(sid.begin(), sid.end(), acl.begin() + 16);
    }
    return acl;
  };
  std::vector<BYTE> odd(33, 0);
  odd[0] = 2;
  PutWord(&odd[2], 33);
  const struct {
    const char* name;
    std::vector<BYTE> acl;  // exactly AclSize bytes
    DWORD error;            // 0: the entry is added
  } cases[] = {
      {"odd AclSize", odd, ERROR_INVALID_ACL},
      {"other type, size 0", listWith(0x11, 0, 48), ERROR_INVALID_ACL},
      {"other type, odd size", listWith(0x11, 5, 48), ERROR_INVALID_ACL},
      {"other type, size 6", listWith(0x11, 6, 48), 0},
      {"allowed entry, size not whole words", listWith(ACCESS_ALLOWED_ACE_TYPE, 22, 56),
       ERROR_INVALID_ACL},
      {"allowed entry, size 20", listWith(ACCESS_ALLOWED_ACE_TYPE, 20, 56), 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Block block(c.acl);
    LastError le;
    const BOOL ok = SimAddAccessAllowedAce(le.sink(), block.acl(), ACL_REVISION, 1,
                                           const_cast<BYTE*>(wd.data()));
    EXPECT_EQ(ok, c.error == 0 ? TRUE : FALSE);
    if (c.error != 0) {
      EXPECT_EQ(le.value, c.error);
      EXPECT_EQ(block.bytes(), c.acl);
    } else {
      EXPECT_EQ(Word(block.get() + 4), 2);
    }
  }
}

TEST(AddAccessAllowedAce, ListKeepsTheHigherRevision) {
  std::vector<BYTE> wd = SidOf("WD");
  const struct {
    DWORD listRevision, entryRevision, after;
  } cases[] = {{ACL_REVISION, ACL_REVISION, 2},
               {ACL_REVISION, ACL_REVISION_DS, 4},
               {ACL_REVISION_DS, ACL_REVISION, 4},
               {ACL_REVISION, 0, 2}};
  for (const auto& c : cases) {
    Block block(32, 0);
    LastError le;
    ASSERT_TRUE(SimInitializeAcl(le.sink(), block.acl(), 32, c.listRevision));
    EXPECT_TRUE(SimAddAccessAllowedAce(le.sink(), block.acl(), c.entryRevision, 1, wd.data()));
    EXPECT_EQ(block.get()[0], c.after);
    EXPECT_EQ(le.calls, 0);
  }
}

// ---- GetAce ----

TEST(GetAce, WalksEntrySizes) {
  const std::vector<BYTE> sd =
      DescriptorOf("D:(A;;KA;;;SY)(D;;KW;;;BA)(A;CI;KR;;;" + std::string(kUser) + ")");
  const std::vector<BYTE> dacl = DaclOf(sd);
  Block block(dacl);
  LastError le;
  const size_t offsets[] = {8, 8 + 20, 8 + 20 + 24};
  for (DWORD i = 0; i < 3; ++i) {
    void* ace = nullptr;
    ASSERT_TRUE(SimGetAce(le.sink(), block.acl(), i, &ace));
    EXPECT_EQ(static_cast<BYTE*>(ace), block.get() + offsets[i]);
  }
  EXPECT_EQ(le.calls, 0);
  void* ace = &le;
  EXPECT_FALSE(SimGetAce(le.sink(), block.acl(), 3, &ace));
  EXPECT_EQ(le.value, DWORD(ERROR_INVALID_PARAMETER));
  EXPECT_EQ(ace, &le);
}

TEST(GetAce, RejectsWhatCannotBeWalked) {
  const struct {
    const char* name;
    std::vector<BYTE> acl;  // the whole block: nothing past it may be read
    DWORD index;
    DWORD error;
  } cases[] = {
      {"revision 1", {1, 0, 12, 0, 1, 0, 0, 0, 0, 0, 4, 0}, 0, ERROR_INVALID_PARAMETER},
      {"revision 5", {5, 0, 12, 0, 1, 0, 0, 0, 0, 0, 4, 0}, 0, ERROR_INVALID_PARAMETER},
      {"count without entries", {2, 0, 8, 0, 1, 0, 0, 0}, 0, ERROR_INVALID_PARAMETER},
      {"header crosses AclSize", {2, 0, 10, 0, 2, 0, 0, 0, 0, 0}, 1, ERROR_INVALID_PARAMETER},
      {"entry steps past AclSize",
       {2, 0, 12, 0, 2, 0, 0, 0, 0, 0, 40, 0},
       1,
       ERROR_INVALID_PARAMETER},
      {"AclSize below the header", {2, 0, 4, 0, 1, 0, 0, 0}, 0, ERROR_INVALID_PARAMETER},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Block block(c.acl);
    LastError le;
    void* ace = nullptr;
    EXPECT_FALSE(SimGetAce(le.sink(), block.acl(), c.index, &ace));
    EXPECT_EQ(le.value, c.error);
    EXPECT_EQ(ace, nullptr);
  }
}

TEST(GetAce, ZeroSizedEntryIsReturnedAgainAsOnWindows) {
  Block block(std::vector<BYTE>{2, 0, 12, 0, 2, 0, 0, 0, 0, 0, 0, 0});
  LastError le;
  void* first = nullptr;
  void* second = nullptr;
  ASSERT_TRUE(SimGetAce(le.sink(), block.acl(), 0, &first));
  ASSERT_TRUE(SimGetAce(le.sink(), block.acl(), 1, &second));
  EXPECT_EQ(first, second);
}

TEST(GetAce, NullPointersFault) {
  Block block(std::vector<BYTE>{2, 0, 8, 0, 0, 0, 0, 0});
  LastError le;
  void* ace = nullptr;
  EXPECT_FALSE(SimGetAce(le.sink(), nullptr, 0, &ace));
  EXPECT_EQ(le.value, kNoAccess);
  EXPECT_FALSE(SimGetAce(le.sink(), block.acl(), 0, nullptr));  // index checked first
  EXPECT_EQ(le.value, DWORD(ERROR_INVALID_PARAMETER));
}

// ---- Security descriptors ----

TEST(InitializeSecurityDescriptor, ZeroesTheAbsoluteHeader) {
  Block block(sizeof(SECURITY_DESCRIPTOR) + 8, kFill);
  LastError le;
  ASSERT_TRUE(
      SimInitializeSecurityDescriptor(le.sink(), block.get(), SECURITY_DESCRIPTOR_REVISION));
  EXPECT_EQ(le.calls, 0);
  std::vector<BYTE> expected(sizeof(SECURITY_DESCRIPTOR), 0);
  expected[0] = 1;
  expected.insert(expected.end(), 8, kFill);
  EXPECT_EQ(block.bytes(), expected);
}

TEST(InitializeSecurityDescriptor, OnlyRevisionOne) {
  for (DWORD revision : {0u, 2u, 0x101u}) {
    Block block(sizeof(SECURITY_DESCRIPTOR), kFill);
    LastError le;
    EXPECT_FALSE(SimInitializeSecurityDescriptor(le.sink(), block.get(), revision));
    EXPECT_EQ(le.value, kUnknownRevision);
    EXPECT_EQ(block.bytes(), std::vector<BYTE>(sizeof(SECURITY_DESCRIPTOR), kFill));
  }
  LastError le;
  EXPECT_FALSE(SimInitializeSecurityDescriptor(le.sink(), nullptr, 2));
  EXPECT_EQ(le.value, kUnknownRevision);
  EXPECT_FALSE(SimInitializeSecurityDescriptor(le.sink(), nullptr, 1));
  EXPECT_EQ(le.value, kNoAccess);
}

TEST(SetSecurityDescriptorDacl, SetsPointerAndFlags) {
  SECURITY_DESCRIPTOR sd;
  LastError le;
  ASSERT_TRUE(SimInitializeSecurityDescriptor(le.sink(), &sd, 1));
  Block acl(std::vector<BYTE>{2, 0, 8, 0, 0, 0, 0, 0});

  ASSERT_TRUE(SimSetSecurityDescriptorDacl(le.sink(), &sd, TRUE, acl.acl(), TRUE));
  EXPECT_EQ(sd.Control, SE_DACL_PRESENT | SE_DACL_DEFAULTED);
  EXPECT_EQ(sd.Dacl, acl.acl());

  ASSERT_TRUE(SimSetSecurityDescriptorDacl(le.sink(), &sd, TRUE, acl.acl(), FALSE));
  EXPECT_EQ(sd.Control, SE_DACL_PRESENT);

  ASSERT_TRUE(SimSetSecurityDescriptorDacl(le.sink(), &sd, TRUE, nullptr, TRUE));
  EXPECT_EQ(sd.Control, SE_DACL_PRESENT | SE_DACL_DEFAULTED);
  EXPECT_EQ(sd.Dacl, nullptr);

  // Not present: only SE_DACL_PRESENT goes; the list and the defaulted bit are ignored.
  ASSERT_TRUE(SimSetSecurityDescriptorDacl(le.sink(), &sd, TRUE, acl.acl(), TRUE));
  ASSERT_TRUE(SimSetSecurityDescriptorDacl(le.sink(), &sd, FALSE, nullptr, FALSE));
  EXPECT_EQ(sd.Control, SE_DACL_DEFAULTED);
  EXPECT_EQ(sd.Dacl, acl.acl());
  EXPECT_EQ(le.calls, 0);

  BOOL present = 7;
  ACL* dacl = nullptr;
  BOOL defaulted = 7;
  ASSERT_TRUE(SimGetSecurityDescriptorDacl(le.sink(), &sd, &present, &dacl, &defaulted));
  EXPECT_EQ(present, FALSE);
}

TEST(SetSecurityDescriptorDacl, RefusesOtherRevisionsAndSelfRelative) {
  const struct {
    const char* name;
    BYTE revision;
    WORD control;
    DWORD error;
  } cases[] = {
      {"self-relative", 1, SE_SELF_RELATIVE, ERROR_INVALID_SECURITY_DESCR},
      {"revision 0", 0, 0, kUnknownRevision},
      {"revision 2", 2, 0, kUnknownRevision},
      {"revision before form", 2, SE_SELF_RELATIVE, kUnknownRevision},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Block block(sizeof(SECURITY_DESCRIPTOR), 0);
    block.get()[0] = c.revision;
    PutWord(block.get() + 2, c.control);
    const std::vector<BYTE> before = block.bytes();
    LastError le;
    EXPECT_FALSE(SimSetSecurityDescriptorDacl(le.sink(), block.get(), TRUE, nullptr, FALSE));
    EXPECT_EQ(le.value, c.error);
    EXPECT_EQ(block.bytes(), before);
  }
  LastError le;
  EXPECT_FALSE(SimSetSecurityDescriptorDacl(le.sink(), nullptr, TRUE, nullptr, FALSE));
  EXPECT_EQ(le.value, kNoAccess);
}

TEST(GetSecurityDescriptorDacl, ReadsBothForms) {
  SecurityModel m = ModelOf("O:BAD:(A;;KA;;;WD)");
  m.daclDefaulted = true;
  Block rel(BuildSelfRelative(m));
  LastError le;
  BOOL present = FALSE, defaulted = FALSE;
  ACL* dacl = nullptr;
  ASSERT_TRUE(SimGetSecurityDescriptorDacl(le.sink(), rel.get(), &present, &dacl, &defaulted));
  EXPECT_TRUE(present);
  EXPECT_TRUE(defaulted);
  EXPECT_EQ(reinterpret_cast<BYTE*>(dacl), rel.get() + Dword(rel.get() + kDaclAt));

  SECURITY_DESCRIPTOR abs;
  ASSERT_TRUE(SimInitializeSecurityDescriptor(le.sink(), &abs, 1));
  ASSERT_TRUE(SimSetSecurityDescriptorDacl(le.sink(), &abs, TRUE, dacl, FALSE));
  ACL* back = nullptr;
  ASSERT_TRUE(SimGetSecurityDescriptorDacl(le.sink(), &abs, &present, &back, &defaulted));
  EXPECT_TRUE(present);
  EXPECT_FALSE(defaulted);
  EXPECT_EQ(back, dacl);
  EXPECT_EQ(le.calls, 0);
}

TEST(GetSecurityDescriptorDacl, NullDaclAndNoDacl) {
  LastError le;
  Block nullDacl(DescriptorOf("D:NO_ACCESS_CONTROL"));
  BOOL present = FALSE, defaulted = TRUE;
  ACL* dacl = reinterpret_cast<ACL*>(&le);
  ASSERT_TRUE(SimGetSecurityDescriptorDacl(le.sink(), nullDacl.get(), &present, &dacl, &defaulted));
  EXPECT_TRUE(present);
  EXPECT_EQ(dacl, nullptr);
  EXPECT_FALSE(defaulted);

  // No DACL: the list and the defaulted flag get no value.
  Block noDacl(DescriptorOf("O:BA"));
  present = TRUE;
  defaulted = 7;
  dacl = reinterpret_cast<ACL*>(&le);
  ASSERT_TRUE(SimGetSecurityDescriptorDacl(le.sink(), noDacl.get(), &present, &dacl, &defaulted));
  EXPECT_FALSE(present);
  EXPECT_EQ(dacl, reinterpret_cast<ACL*>(&le));
  EXPECT_EQ(defaulted, 7);
  // ... so they need not be there at all.
  ASSERT_TRUE(SimGetSecurityDescriptorDacl(le.sink(), noDacl.get(), &present, nullptr, nullptr));
  EXPECT_EQ(le.calls, 0);
}

TEST(GetSecurityDescriptorDacl, Errors) {
  Block good(DescriptorOf("D:"));
  Block revision2(DescriptorOf("D:"));
  revision2.get()[0] = 2;
  BOOL present = 5, defaulted = 5;
  ACL* dacl = nullptr;
  const struct {
    const char* name;
    void* sd;
    BOOL* present;
    ACL** dacl;
    BOOL* defaulted;
    DWORD error;
  } cases[] = {
      {"null descriptor", nullptr, &present, &dacl, &defaulted, kNoAccess},
      {"revision 2", revision2.get(), &present, &dacl, &defaulted, kUnknownRevision},
      {"revision before outputs", revision2.get(), nullptr, nullptr, nullptr, kUnknownRevision},
      {"no present flag", good.get(), nullptr, &dacl, &defaulted, kNoAccess},
      {"no list", good.get(), &present, nullptr, &defaulted, kNoAccess},
      {"no defaulted flag", good.get(), &present, &dacl, nullptr, kNoAccess},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    LastError le;
    EXPECT_FALSE(SimGetSecurityDescriptorDacl(le.sink(), c.sd, c.present, c.dacl, c.defaulted));
    EXPECT_EQ(le.value, c.error);
    EXPECT_EQ(present, 5);
    EXPECT_EQ(defaulted, 5);
    EXPECT_EQ(dacl, nullptr);
  }
}

TEST(GetSecurityDescriptorLength, SelfRelativeIsTheSumOfItsParts) {
  const std::vector<BYTE> full = BuildSelfRelative(DefaultKeySecurity());
  EXPECT_EQ(SimGetSecurityDescriptorLength(const_cast<BYTE*>(full.data())), full.size());

  std::vector<BYTE> daclOnly = SelectSecurityParts(full, DACL_SECURITY_INFORMATION);
  EXPECT_EQ(SimGetSecurityDescriptorLength(daclOnly.data()), 20 + DaclOf(full).size());

  std::vector<BYTE> headerOnly = SelectSecurityParts(full, 0);
  EXPECT_EQ(SimGetSecurityDescriptorLength(headerOnly.data()), 20u);

  // Windows adds up the parts: a gap before the DACL is not counted.
  std::vector<BYTE> gapped(20 + 12, 0);
  gapped[0] = 1;
  PutWord(&gapped[2], SE_SELF_RELATIVE | SE_DACL_PRESENT);
  PutDword(&gapped[kDaclAt], 32);
  const std::vector<BYTE> empty = {2, 0, 8, 0, 0, 0, 0, 0};
  gapped.insert(gapped.end(), empty.begin(), empty.end());
  EXPECT_EQ(SimGetSecurityDescriptorLength(gapped.data()), 28u);

  // A DACL offset is not counted while SE_DACL_PRESENT is clear.
  PutWord(&gapped[2], SE_SELF_RELATIVE);
  EXPECT_EQ(SimGetSecurityDescriptorLength(gapped.data()), 20u);
  EXPECT_EQ(SimGetSecurityDescriptorLength(nullptr), 0u);
}

TEST(GetSecurityDescriptorLength, AbsoluteAddsPointedParts) {
  std::vector<BYTE> owner = SidOf("BA"), group = SidOf("SY");
  std::vector<BYTE> acl = DaclOf(DescriptorOf("D:(A;;KA;;;WD)"));
  SECURITY_DESCRIPTOR sd;
  LastError le;
  ASSERT_TRUE(SimInitializeSecurityDescriptor(le.sink(), &sd, 1));
  EXPECT_EQ(SimGetSecurityDescriptorLength(&sd), sizeof(SECURITY_DESCRIPTOR));
  sd.Owner = owner.data();
  sd.Group = group.data();
  sd.Dacl = reinterpret_cast<ACL*>(acl.data());
  EXPECT_EQ(SimGetSecurityDescriptorLength(&sd), sizeof(SECURITY_DESCRIPTOR) + 16 + 12);
  ASSERT_TRUE(SimSetSecurityDescriptorDacl(le.sink(), &sd, TRUE, sd.Dacl, FALSE));
  EXPECT_EQ(SimGetSecurityDescriptorLength(&sd), sizeof(SECURITY_DESCRIPTOR) + 16 + 12 + 28);
}

// ---- Model ----

TEST(SelfRelative, LayoutIsWindows) {
  const std::vector<BYTE> expected = {
      1, 0, 0x04, 0x80, 48,   0, 0,    0, 0,  0, 0, 0, 0, 0, 0, 0, 20, 0, 0, 0,  // header
      2, 0, 28,   0,    1,    0, 0,    0,                                        // DACL
      0, 0, 20,   0,    0x3F, 0, 0x0F, 0, 1,  1, 0, 0, 0, 0, 0, 1, 0,  0, 0, 0,  // (A;;KA;;;WD)
      1, 1, 0,    0,    0,    0, 0,    5, 18, 0, 0, 0};                          // owner SY
  EXPECT_EQ(DescriptorOf("O:SYD:(A;;KA;;;WD)"), expected);
}

TEST(SelfRelative, RoundTripsTheModel) {
  std::vector<SecurityModel> models = {
      DefaultKeySecurity(),
      ModelOf("D:(A;;KA;;;BA)(D;;0x1;;;WD)"),
      ModelOf("O:BAG:SYD:"),
      ModelOf("O:BAD:NO_ACCESS_CONTROL"),
      ModelOf("G:SY"),
      ModelOf(""),
      ModelOf("D:PAI(A;OICIIO;GA;;;CO)(AU;SAFA;KA;;;WD)(A;ID;0x12345678;;;" + std::string(kUser) +
              ")"),
  };
  SecurityModel defaulted = DefaultKeySecurity();
  defaulted.daclDefaulted = true;
  defaulted.extraControl = SE_OWNER_DEFAULTED | SE_GROUP_DEFAULTED;
  models.push_back(defaulted);
  for (const SecurityModel& m : models) {
    SCOPED_TRACE(ToSddl(m));
    Block sd(BuildSelfRelative(m));
    EXPECT_EQ(sd.size() % 4, 0u);
    EXPECT_EQ(Word(sd.get() + 2) & SE_SELF_RELATIVE, SE_SELF_RELATIVE);
    SecurityModel back;
    std::string why;
    ASSERT_TRUE(ParseDescriptor(sd.get(), sd.size(), &back, &why)) << why;
    EXPECT_EQ(back, m);
  }
}

TEST(SelfRelative, ParseAllowsTrailingBytesAndSkipsTheSacl) {
  std::vector<BYTE> sd = DescriptorOf("O:BAD:(A;;KA;;;WD)");
  const size_t saclAt = sd.size();
  const std::vector<BYTE> sacl = {2, 0, 8, 0, 0, 0, 0, 0};
  sd.insert(sd.end(), sacl.begin(), sacl.end());
  sd.insert(sd.end(), 16, 0xEE);
  PutDword(&sd[kSaclAt], static_cast<DWORD>(saclAt));
  PutWord(&sd[2], Word(&sd[2]) | SE_SACL_PRESENT);
  Block block(sd);
  SecurityModel m;
  std::string why;
  ASSERT_TRUE(ParseDescriptor(block.get(), block.size(), &m, &why)) << why;
  EXPECT_EQ(m, ModelOf("O:BAD:(A;;KA;;;WD)"));
}

TEST(SelfRelative, ModelHoldsOnlyEntriesWithASid) {
  // An object entry (type 5) is a valid ACL entry the model cannot hold.
  std::vector<BYTE> sd = DescriptorOf("D:(A;;KA;;;WD)");
  sd[20 + 8] = 5;
  Block block(sd);
  SecurityModel m = ModelOf("O:BA");
  std::string why;
  EXPECT_FALSE(ParseDescriptor(block.get(), block.size(), &m, &why));
  EXPECT_NE(why.find("type 5"), std::string::npos) << why;
  EXPECT_EQ(m, ModelOf("O:BA"));
  std::vector<BYTE> acl;
  EXPECT_TRUE(DaclBytes(block.get(), block.size(), &acl));  // still a well-formed list
}

TEST(DaclBytes, EmptyNullAndAbsent) {
  EXPECT_EQ(DaclOf(DescriptorOf("O:BAD:")), (std::vector<BYTE>{2, 0, 8, 0, 0, 0, 0, 0}));
  std::vector<BYTE> acl = {9};
  const std::vector<BYTE> nullDacl = DescriptorOf("D:NO_ACCESS_CONTROL");
  EXPECT_FALSE(DaclBytes(nullDacl.data(), nullDacl.size(), &acl));
  const std::vector<BYTE> noDacl = DescriptorOf("O:BA");
  EXPECT_FALSE(DaclBytes(noDacl.data(), noDacl.size(), &acl));
  EXPECT_EQ(acl, std::vector<BYTE>{9});
}

TEST(DefaultKeySecurity, IsWhatXpGivesDriverKeys) {
  EXPECT_EQ(ToSddl(DefaultKeySecurity()), "O:BAG:SYD:(A;CI;KA;;;SY)(A;CI;KA;;;BA)(A;CI;KR;;;BU)");
}

// ---- Malformed descriptors ----

// O:BA G:SY D:(A;;KA;;;SY)(D;;KW;;;WD): header 0..19, DACL 20..67 (entries at
// 28 and 48), owner 68..83, group 84..95.
std::vector<BYTE> MalformBase() { return DescriptorOf("O:BAG:SYD:(A;;KA;;;SY)(D;;KW;;;WD)"); }

struct MalformedCase {
  const char* name;
  void (*poke)(std::vector<BYTE>* sd);
  DWORD mergeError;  // what RegSetKeySecurity says when handed it with its size
};

void SetControl(std::vector<BYTE>* sd, WORD c) { PutWord(&(*sd)[2], c); }

const MalformedCase kMalformed[] = {
    {"shorter than the header", [](std::vector<BYTE>* sd) { sd->resize(19); },
     ERROR_INVALID_SECURITY_DESCR},
    {"three bytes", [](std::vector<BYTE>* sd) { sd->resize(3); }, ERROR_INVALID_SECURITY_DESCR},
    {"empty", [](std::vector<BYTE>* sd) { sd->clear(); }, ERROR_INVALID_SECURITY_DESCR},
    {"revision 2", [](std::vector<BYTE>* sd) { (*sd)[0] = 2; }, kUnknownRevision},
    {"owner offset past the end", [](std::vector<BYTE>* sd) { PutDword(&(*sd)[kOwnerAt], 200); },
     ERROR_INVALID_SECURITY_DESCR},
    {"owner offset at the end", [](std::vector<BYTE>* sd) { PutDword(&(*sd)[kOwnerAt], 96); },
     ERROR_INVALID_SECURITY_DESCR},
    {"owner offset in the header", [](std::vector<BYTE>* sd) { PutDword(&(*sd)[kOwnerAt], 8); },
     ERROR_INVALID_SECURITY_DESCR},
    {"owner header cut off", [](std::vector<BYTE>* sd) { PutDword(&(*sd)[kOwnerAt], 92); },
     ERROR_INVALID_SECURITY_DESCR},
    {"owner body past the end", [](std::vector<BYTE>* sd) { (*sd)[68 + 1] = 15; },
     ERROR_INVALID_SECURITY_DESCR},
    {"owner revision 2", [](std::vector<BYTE>* sd) { (*sd)[68] = 2; }, ERROR_INVALID_SID},
    {"owner with 16 sub-authorities", [](std::vector<BYTE>* sd) { (*sd)[68 + 1] = 16; },
     ERROR_INVALID_SID},
    {"group offset past the end",
     [](std::vector<BYTE>* sd) { PutDword(&(*sd)[kGroupAt], 0xFFFFFFF0); },
     ERROR_INVALID_SECURITY_DESCR},
    {"group body past the end", [](std::vector<BYTE>* sd) { (*sd)[84 + 1] = 2; },
     ERROR_INVALID_SECURITY_DESCR},
    {"DACL offset at the end", [](std::vector<BYTE>* sd) { PutDword(&(*sd)[kDaclAt], 96); },
     ERROR_INVALID_SECURITY_DESCR},
    {"DACL header cut off", [](std::vector<BYTE>* sd) { PutDword(&(*sd)[kDaclAt], 92); },
     ERROR_INVALID_ACL},
    {"AclSize past the end", [](std::vector<BYTE>* sd) { PutWord(&(*sd)[20 + 2], 200); },
     ERROR_INVALID_ACL},
    {"AclSize below the header", [](std::vector<BYTE>* sd) { PutWord(&(*sd)[20 + 2], 4); },
     ERROR_INVALID_ACL},
    {"ACL revision 1", [](std::vector<BYTE>* sd) { (*sd)[20] = 1; }, ERROR_INVALID_ACL},
    {"ACL revision 5", [](std::vector<BYTE>* sd) { (*sd)[20] = 5; }, ERROR_INVALID_ACL},
    {"more entries than the list holds", [](std::vector<BYTE>* sd) { PutWord(&(*sd)[20 + 4], 3); },
     ERROR_INVALID_ACL},
    {"entry of size 0", [](std::vector<BYTE>* sd) { PutWord(&(*sd)[28 + 2], 0); },
     ERROR_INVALID_ACL},
    {"entry of size 2", [](std::vector<BYTE>* sd) { PutWord(&(*sd)[28 + 2], 2); },
     ERROR_INVALID_ACL},
    {"entry of another type, size 0",
     [](std::vector<BYTE>* sd) {
       (*sd)[28] = 0x11;
       PutWord(&(*sd)[28 + 2], 0);
     },
     ERROR_INVALID_ACL},
    {"entry smaller than a SID needs", [](std::vector<BYTE>* sd) { PutWord(&(*sd)[28 + 2], 12); },
     ERROR_INVALID_ACL},
    {"entry size not a multiple of 4", [](std::vector<BYTE>* sd) { PutWord(&(*sd)[28 + 2], 18); },
     ERROR_INVALID_ACL},
    {"last entry past the list", [](std::vector<BYTE>* sd) { PutWord(&(*sd)[48 + 2], 24); },
     ERROR_INVALID_ACL},
    {"entry SID past the entry", [](std::vector<BYTE>* sd) { (*sd)[28 + 8 + 1] = 5; },
     ERROR_INVALID_ACL},
    {"entry SID revision 0", [](std::vector<BYTE>* sd) { (*sd)[48 + 8] = 0; }, ERROR_INVALID_ACL},
    // RegSetKeySecurity does not read a SACL it is not asked to set.
    {"SACL offset past the end",
     [](std::vector<BYTE>* sd) {
       SetControl(sd, Word(&(*sd)[2]) | SE_SACL_PRESENT);
       PutDword(&(*sd)[kSaclAt], 1000);
     },
     ERROR_SUCCESS},
};

TEST(MalformedDescriptor, RejectedWithoutReadingPastTheBlock) {
  for (const MalformedCase& c : kMalformed) {
    SCOPED_TRACE(c.name);
    std::vector<BYTE> bytes = MalformBase();
    c.poke(&bytes);
    Block block(bytes);

    SecurityModel m = ModelOf("O:SY");
    std::string why;
    EXPECT_FALSE(ParseDescriptor(block.get(), block.size(), &m, &why));
    EXPECT_FALSE(why.empty());
    EXPECT_EQ(m, ModelOf("O:SY"));

    std::vector<BYTE> acl = {7};
    EXPECT_FALSE(DaclBytes(block.get(), block.size(), &acl));
    EXPECT_EQ(acl, std::vector<BYTE>{7});

    EXPECT_TRUE(SelectSecurityParts(bytes, DACL_SECURITY_INFORMATION).empty());

    ACCESS_MASK granted = 1;
    EXPECT_EQ(AccessCheck(bytes, {SidOf("WD"), SidOf("SY")}, KEY_READ, &granted),
              ERROR_INVALID_SECURITY_DESCR);
    EXPECT_EQ(granted, 0u);

    const std::vector<BYTE> original = DescriptorOf("O:SYG:SYD:(A;;KR;;;WD)");
    std::vector<BYTE> stored = original;
    if (!bytes.empty()) {  // a size of 0 means "not known"
      EXPECT_EQ(MergeSecurityParts(&stored,
                                   OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION |
                                       DACL_SECURITY_INFORMATION,
                                   block.get(), block.size()),
                LONG(c.mergeError));
      if (c.mergeError != ERROR_SUCCESS) {
        EXPECT_EQ(stored, original);
      }
    }

    // A key whose stored descriptor is broken fails the same way.
    stored = bytes;
    EXPECT_EQ(MergeSecurityParts(&stored, DACL_SECURITY_INFORMATION,
                                 const_cast<BYTE*>(original.data()), original.size()),
              ERROR_INVALID_SECURITY_DESCR);
    EXPECT_EQ(stored, bytes);
  }
}

TEST(MalformedDescriptor, NotSelfRelativeIsNoModel) {
  std::vector<BYTE> bytes = MalformBase();
  SetControl(&bytes, Word(&bytes[2]) & ~SE_SELF_RELATIVE);
  std::string why;
  EXPECT_FALSE(ParseDescriptor(bytes.data(), bytes.size(), nullptr, &why));
  EXPECT_EQ(why, "not self-relative");
  EXPECT_TRUE(SelectSecurityParts(bytes, DACL_SECURITY_INFORMATION).empty());
  EXPECT_FALSE(ParseDescriptor(nullptr, 0, nullptr, &why));
}

TEST(MalformedDescriptor, EveryTruncationIsRejected) {
  const std::vector<BYTE> base = MalformBase();
  for (size_t len = 0; len < base.size(); ++len) {
    SCOPED_TRACE(len);
    Block block(std::vector<BYTE>(base.begin(), base.begin() + static_cast<long>(len)));
    EXPECT_FALSE(ParseDescriptor(block.get(), block.size(), nullptr, nullptr));
    EXPECT_FALSE(DaclBytes(block.get(), block.size(), nullptr));
    if (len == 0) continue;  // a size of 0 means "not known"
    const std::vector<BYTE> original = BuildSelfRelative(DefaultKeySecurity());
    std::vector<BYTE> stored = original;
    EXPECT_NE(MergeSecurityParts(&stored,
                                 OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION |
                                     DACL_SECURITY_INFORMATION,
                                 block.get(), block.size()),
              ERROR_SUCCESS);
    EXPECT_EQ(stored, original);
  }
}

// Random damage to a good descriptor: whatever the bytes, the bounded calls
// stay inside the block, and what parses builds back to the same model.
TEST(MalformedDescriptor, RandomDamageStaysInBounds) {
  const std::vector<BYTE> base = MalformBase();
  std::mt19937 rng(20261206);
  std::uniform_int_distribution<size_t> pos(0, base.size() - 1);
  std::uniform_int_distribution<int> byte(0, 255);
  std::uniform_int_distribution<int> hits(1, 4);
  const std::vector<std::vector<BYTE>> caller = {SidOf("WD"), SidOf("BA"), SidOf("SY")};
  int parsed = 0;
  for (int round = 0; round < 4000; ++round) {
    std::vector<BYTE> bytes = base;
    for (int n = hits(rng); n > 0; --n) bytes[pos(rng)] = static_cast<BYTE>(byte(rng));
    if (round % 7 == 0) bytes.resize(pos(rng));
    Block block(bytes);
    SecurityModel m;
    if (ParseDescriptor(block.get(), block.size(), &m, nullptr)) {
      ++parsed;
      const std::vector<BYTE> rebuilt = BuildSelfRelative(m);
      SecurityModel again;
      ASSERT_TRUE(ParseDescriptor(rebuilt.data(), rebuilt.size(), &again, nullptr));
      EXPECT_EQ(again, m);
    }
    std::vector<BYTE> acl;
    if (DaclBytes(block.get(), block.size(), &acl)) {
      Block list(acl);
      LastError le;
      for (DWORD i = 0; i < Word(list.get() + 4); ++i) {
        void* ace = nullptr;
        EXPECT_TRUE(SimGetAce(le.sink(), list.acl(), i, &ace));
      }
    }
    SelectSecurityParts(bytes, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION);
    ACCESS_MASK granted;
    AccessCheck(bytes, caller, MAXIMUM_ALLOWED, &granted);
    // Only a self-relative block is bounded by its size; an absolute one holds pointers.
    if (bytes.size() < 4 || !(Word(&bytes[2]) & SE_SELF_RELATIVE)) continue;
    std::vector<BYTE> stored = base;
    MergeSecurityParts(
        &stored,
        OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
        block.get(), block.size());
  }
  EXPECT_GT(parsed, 0);
}

// Random ACL bytes in a block of exactly AclSize: the raw calls stay inside it.
TEST(MalformedDescriptor, RandomAclsStayInBounds) {
  std::mt19937 rng(6122026);
  std::uniform_int_distribution<int> byte(0, 255);
  std::uniform_int_distribution<size_t> size(8, 64);
  std::vector<BYTE> wd = SidOf("WD");
  for (int round = 0; round < 4000; ++round) {
    const size_t n = size(rng);
    std::vector<BYTE> bytes(n);
    for (BYTE& b : bytes) b = static_cast<BYTE>(byte(rng));
    bytes[0] = static_cast<BYTE>(2 + round % 3);
    PutWord(&bytes[2], static_cast<WORD>(n));
    PutWord(&bytes[4], static_cast<WORD>(round % 5));
    if (round % 2) {
      for (size_t off = 8; off + 4 <= n; off += 4) {  // plausible entry sizes
        bytes[off + 2] = static_cast<BYTE>(4 * (1 + byte(rng) % 6));
        bytes[off + 3] = 0;
      }
    }
    Block block(bytes);
    LastError le;
    for (DWORD i = 0; i < 6; ++i) {
      void* ace = nullptr;
      if (SimGetAce(le.sink(), block.acl(), i, &ace)) {
        EXPECT_GE(static_cast<BYTE*>(ace), block.get() + 8);
        EXPECT_LT(static_cast<BYTE*>(ace), block.get() + n);
      }
    }
    SimAddAccessAllowedAce(le.sink(), block.acl(), ACL_REVISION, 1, wd.data());
  }
}

// ---- What RegGetKeySecurity hands out ----

TEST(SelectSecurityParts, OnlyTheRequestedParts) {
  SecurityModel m = DefaultKeySecurity();
  m.daclDefaulted = true;
  m.extraControl = kDaclProtected;
  const std::vector<BYTE> stored = BuildSelfRelative(m);

  const std::vector<BYTE> dacl = SelectSecurityParts(stored, DACL_SECURITY_INFORMATION);
  ASSERT_EQ(dacl.size(), 20 + DaclOf(stored).size());
  EXPECT_EQ(Word(&dacl[2]), SE_SELF_RELATIVE | SE_DACL_PRESENT | SE_DACL_DEFAULTED | 0x1000);
  EXPECT_EQ(Dword(&dacl[kOwnerAt]), 0u);
  EXPECT_EQ(Dword(&dacl[kGroupAt]), 0u);
  EXPECT_EQ(Dword(&dacl[kSaclAt]), 0u);
  EXPECT_EQ(Dword(&dacl[kDaclAt]), 20u);
  EXPECT_EQ(DaclOf(dacl), DaclOf(stored));

  EXPECT_EQ(SelectSecurityParts(stored, OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION |
                                            DACL_SECURITY_INFORMATION),
            stored);

  SecurityModel owner;
  const std::vector<BYTE> ownerOnly = SelectSecurityParts(stored, OWNER_SECURITY_INFORMATION);
  ASSERT_TRUE(ParseDescriptor(ownerOnly.data(), ownerOnly.size(), &owner, nullptr));
  EXPECT_EQ(ToSddl(owner), "O:BA");

  const std::vector<BYTE> none = SelectSecurityParts(stored, 0);
  const std::vector<BYTE> header = {1, 0, 0, 0x80, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  EXPECT_EQ(none, header);

  EXPECT_TRUE(SelectSecurityParts({}, DACL_SECURITY_INFORMATION).empty());
}

TEST(SelectSecurityParts, DefaultedBitsGoWithTheirParts) {
  SecurityModel m = DefaultKeySecurity();
  m.extraControl = SE_OWNER_DEFAULTED | SE_GROUP_DEFAULTED;
  const std::vector<BYTE> stored = BuildSelfRelative(m);
  const struct {
    SECURITY_INFORMATION info;
    WORD control;
  } cases[] = {
      {DACL_SECURITY_INFORMATION, SE_SELF_RELATIVE | SE_DACL_PRESENT},
      {OWNER_SECURITY_INFORMATION, SE_SELF_RELATIVE | SE_OWNER_DEFAULTED},
      {GROUP_SECURITY_INFORMATION, SE_SELF_RELATIVE | SE_GROUP_DEFAULTED},
  };
  for (const auto& c : cases) {
    const std::vector<BYTE> part = SelectSecurityParts(stored, c.info);
    ASSERT_GE(part.size(), 20u);
    EXPECT_EQ(Word(&part[2]), c.control) << c.info;
  }

  // Setting the owner takes the incoming defaulted bit; the group's stays.
  std::vector<BYTE> key = stored;
  const std::vector<BYTE> owner = DescriptorOf("O:SY");
  ASSERT_EQ(MergeSecurityParts(&key, OWNER_SECURITY_INFORMATION, const_cast<BYTE*>(owner.data()),
                               owner.size()),
            ERROR_SUCCESS);
  EXPECT_EQ(Word(&key[2]), SE_SELF_RELATIVE | SE_DACL_PRESENT | SE_GROUP_DEFAULTED);
}

// ---- What RegSetKeySecurity takes in ----

TEST(MergeSecurityParts, ReplacesOnlyTheNamedParts) {
  const std::vector<BYTE> original = BuildSelfRelative(DefaultKeySecurity());

  // DACL from an absolute descriptor: owner and group stay.
  std::vector<BYTE> acl = DaclOf(DescriptorOf("D:(A;;KR;;;WD)"));
  std::vector<BYTE> owner = SidOf("SY");
  SECURITY_DESCRIPTOR abs;
  LastError le;
  ASSERT_TRUE(SimInitializeSecurityDescriptor(le.sink(), &abs, 1));
  ASSERT_TRUE(SimSetSecurityDescriptorDacl(le.sink(), &abs, TRUE,
                                           reinterpret_cast<ACL*>(acl.data()), TRUE));
  abs.Owner = owner.data();
  std::vector<BYTE> stored = original;
  ASSERT_EQ(MergeSecurityParts(&stored, DACL_SECURITY_INFORMATION, &abs, 0), ERROR_SUCCESS);
  SecurityModel m;
  ASSERT_TRUE(ParseDescriptor(stored.data(), stored.size(), &m, nullptr));
  EXPECT_EQ(ToSddl(m), "O:BAG:SYD:(A;;KR;;;WD)");
  EXPECT_TRUE(m.daclDefaulted);

  // Owner alone.
  ASSERT_EQ(MergeSecurityParts(&stored, OWNER_SECURITY_INFORMATION, &abs, sizeof abs),
            ERROR_SUCCESS);
  ASSERT_TRUE(ParseDescriptor(stored.data(), stored.size(), &m, nullptr));
  EXPECT_EQ(ToSddl(m), "O:SYG:SYD:(A;;KR;;;WD)");

  // Self-relative, DACL not present: the key is left without a DACL.
  const std::vector<BYTE> noDacl = DescriptorOf("O:BA");
  ASSERT_EQ(
      MergeSecurityParts(&stored, DACL_SECURITY_INFORMATION, const_cast<BYTE*>(noDacl.data()), 0),
      ERROR_SUCCESS);
  ASSERT_TRUE(ParseDescriptor(stored.data(), stored.size(), &m, nullptr));
  EXPECT_EQ(ToSddl(m), "O:SYG:SY");
  EXPECT_FALSE(m.daclPresent);

  // A NULL DACL.
  ASSERT_TRUE(SimSetSecurityDescriptorDacl(le.sink(), &abs, TRUE, nullptr, FALSE));
  ASSERT_EQ(MergeSecurityParts(&stored, DACL_SECURITY_INFORMATION, &abs, 0), ERROR_SUCCESS);
  ASSERT_TRUE(ParseDescriptor(stored.data(), stored.size(), &m, nullptr));
  EXPECT_EQ(ToSddl(m), "O:SYG:SYD:NO_ACCESS_CONTROL");
  EXPECT_EQ(le.calls, 0);
}

TEST(MergeSecurityParts, KeepsTheListAsGivenSpareRoomIncluded) {
  // A list with room to spare, as InitializeAcl leaves it.
  Block acl(64, 0);
  LastError le;
  ASSERT_TRUE(SimInitializeAcl(le.sink(), acl.acl(), 64, ACL_REVISION));
  std::vector<BYTE> wd = SidOf("WD");
  ASSERT_TRUE(SimAddAccessAllowedAce(le.sink(), acl.acl(), ACL_REVISION, KEY_READ, wd.data()));
  SECURITY_DESCRIPTOR abs;
  ASSERT_TRUE(SimInitializeSecurityDescriptor(le.sink(), &abs, 1));
  ASSERT_TRUE(SimSetSecurityDescriptorDacl(le.sink(), &abs, TRUE, acl.acl(), FALSE));
  std::vector<BYTE> stored = BuildSelfRelative(DefaultKeySecurity());
  ASSERT_EQ(MergeSecurityParts(&stored, DACL_SECURITY_INFORMATION, &abs, 0), ERROR_SUCCESS);
  EXPECT_EQ(DaclOf(stored), acl.bytes());
}

TEST(MergeSecurityParts, RefusesBadInputAndKeepsTheKey) {
  std::vector<BYTE> badAcl = {2, 0, 28, 0, 1, 0, 0, 0, 0, 0, 40, 0};  // entry past the list
  badAcl.resize(28, 0);
  std::vector<BYTE> wd = SidOf("WD");
  std::vector<BYTE> badSid = wd;
  badSid[0] = 3;

  auto absolute = [](void* owner, void* group, ACL* dacl, BYTE revision) {
    SECURITY_DESCRIPTOR sd{};
    sd.Revision = revision;
    sd.Owner = owner;
    sd.Group = group;
    sd.Dacl = dacl;
    sd.Control = dacl ? SE_DACL_PRESENT : 0;
    return sd;
  };
  SECURITY_DESCRIPTOR withBadAcl =
      absolute(wd.data(), wd.data(), reinterpret_cast<ACL*>(badAcl.data()), 1);
  SECURITY_DESCRIPTOR revision0 = absolute(wd.data(), wd.data(), nullptr, 0);
  SECURITY_DESCRIPTOR noOwner = absolute(nullptr, wd.data(), nullptr, 1);
  SECURITY_DESCRIPTOR badOwner = absolute(badSid.data(), wd.data(), nullptr, 1);
  std::vector<BYTE> rel2 = DescriptorOf("O:BAD:");
  rel2[0] = 2;
  std::vector<BYTE> relDaclOut = DescriptorOf("O:BAD:");
  PutDword(&relDaclOut[kDaclAt], 400);

  const struct {
    const char* name;
    void* sd;
    size_t size;
    SECURITY_INFORMATION info;
    LONG error;
  } cases[] = {
      {"no descriptor", nullptr, 0, DACL_SECURITY_INFORMATION, LONG(kNoAccess)},
      {"self-relative revision 2", rel2.data(), 0, DACL_SECURITY_INFORMATION, kUnknownRevision},
      {"absolute revision 0", &revision0, 0, DACL_SECURITY_INFORMATION, kUnknownRevision},
      {"malformed list", &withBadAcl, 0, DACL_SECURITY_INFORMATION, ERROR_INVALID_ACL},
      {"list not asked for", &withBadAcl, 0, OWNER_SECURITY_INFORMATION, ERROR_SUCCESS},
      {"block smaller than a header", rel2.data(), 3, DACL_SECURITY_INFORMATION,
       ERROR_INVALID_SECURITY_DESCR},
      {"absolute block too short", &noOwner, 20 - 1, DACL_SECURITY_INFORMATION,
       ERROR_INVALID_SECURITY_DESCR},
      {"DACL outside the known block", relDaclOut.data(), relDaclOut.size(),
       DACL_SECURITY_INFORMATION, ERROR_INVALID_SECURITY_DESCR},
      {"owner asked for, none given", &noOwner, 0, OWNER_SECURITY_INFORMATION, kInvalidOwner},
      {"owner missing but not asked for", &noOwner, 0,
       GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, ERROR_SUCCESS},
      {"bad owner SID", &badOwner, 0, OWNER_SECURITY_INFORMATION, ERROR_INVALID_SID},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::vector<BYTE> original = BuildSelfRelative(DefaultKeySecurity());
    std::vector<BYTE> stored = original;
    EXPECT_EQ(MergeSecurityParts(&stored, c.info, c.sd, c.size), c.error);
    if (c.error != ERROR_SUCCESS) {
      EXPECT_EQ(stored, original);
    }
  }

  std::vector<BYTE> groupless = DescriptorOf("O:BAD:");
  std::vector<BYTE> stored = BuildSelfRelative(DefaultKeySecurity());
  EXPECT_EQ(
      MergeSecurityParts(&stored, GROUP_SECURITY_INFORMATION, groupless.data(), groupless.size()),
      LONG(kInvalidPrimaryGroup));
  EXPECT_EQ(MergeSecurityParts(nullptr, DACL_SECURITY_INFORMATION, groupless.data(), 0),
            ERROR_INVALID_PARAMETER);
}

// ---- Access check ----

TEST(AccessCheck, FollowsWindowsOrder) {
  const std::string user = kUser;
  const std::vector<std::string> admin = {user, "WD", "AU", "BA", "BU"};
  const std::vector<std::string> plain = {user, "WD", "AU", "BU"};
  const std::string standard = "O:BAG:SYD:(A;CI;KA;;;SY)(A;CI;KA;;;BA)(A;CI;KR;;;BU)";
  const struct {
    const char* name;
    std::string sddl;
    std::vector<std::string> caller;
    ACCESS_MASK desired;
    LONG result;
    ACCESS_MASK granted;
  } cases[] = {
      {"admin, all access", standard, admin, KEY_ALL_ACCESS, ERROR_SUCCESS, KEY_ALL_ACCESS},
      {"user, read", standard, plain, KEY_READ, ERROR_SUCCESS, KEY_READ},
      {"user, set value", standard, plain, KEY_SET_VALUE, ERROR_ACCESS_DENIED, 0},
      {"user, maximum", standard, plain, MAXIMUM_ALLOWED, ERROR_SUCCESS, KEY_READ},
      {"admin, maximum", standard, admin, MAXIMUM_ALLOWED, ERROR_SUCCESS, KEY_ALL_ACCESS},
      {"user, maximum plus a missing bit", standard, plain, MAXIMUM_ALLOWED | KEY_SET_VALUE,
       ERROR_ACCESS_DENIED, 0},
      {"deny before allow",
       "D:(D;;KW;;;WD)(A;;KA;;;WD)",
       {"WD"},
       KEY_SET_VALUE,
       ERROR_ACCESS_DENIED,
       0},
      {"deny before allow, other bits",
       "D:(D;;KW;;;WD)(A;;KA;;;WD)",
       {"WD"},
       KEY_QUERY_VALUE,
       ERROR_SUCCESS,
       KEY_QUERY_VALUE},
      {"deny before allow, maximum",
       "D:(D;;KW;;;WD)(A;;KA;;;WD)",
       {"WD"},
       MAXIMUM_ALLOWED,
       ERROR_SUCCESS,
       KEY_ALL_ACCESS & ~KEY_WRITE},
      {"allow then deny",
       "D:(A;;KA;;;WD)(D;;KW;;;WD)",
       {"WD"},
       KEY_SET_VALUE,
       ERROR_SUCCESS,
       KEY_SET_VALUE},
      {"allow then deny, maximum",
       "D:(A;;KA;;;WD)(D;;KW;;;WD)",
       {"WD"},
       MAXIMUM_ALLOWED,
       ERROR_SUCCESS,
       KEY_ALL_ACCESS},
      {"deny for a SID not held",
       "D:(D;;KA;;;BU)(A;;KA;;;WD)",
       {"WD"},
       KEY_ALL_ACCESS,
       ERROR_SUCCESS,
       KEY_ALL_ACCESS},
      {"rights from two entries",
       "D:(A;;KR;;;WD)(A;;KW;;;AU)",
       {"WD", "AU"},
       KEY_READ | KEY_WRITE,
       ERROR_SUCCESS,
       KEY_READ | KEY_WRITE},
      {"NULL DACL",
       "D:NO_ACCESS_CONTROL",
       {},
       KEY_ALL_ACCESS | WRITE_OWNER,
       ERROR_SUCCESS,
       KEY_ALL_ACCESS},
      {"NULL DACL, maximum",
       "D:NO_ACCESS_CONTROL",
       {"WD"},
       MAXIMUM_ALLOWED,
       ERROR_SUCCESS,
       KEY_ALL_ACCESS},
      {"no DACL", "O:BA", {}, KEY_READ, ERROR_SUCCESS, KEY_READ},
      {"empty DACL", "D:", {"WD"}, KEY_READ, ERROR_ACCESS_DENIED, 0},
      {"empty DACL, maximum", "D:", {"WD"}, MAXIMUM_ALLOWED, ERROR_ACCESS_DENIED, 0},
      {"owner, empty DACL",
       "O:BAD:",
       {"BA"},
       READ_CONTROL | WRITE_DAC,
       ERROR_SUCCESS,
       READ_CONTROL | WRITE_DAC},
      {"owner, empty DACL, other rights",
       "O:BAD:",
       {"BA"},
       KEY_QUERY_VALUE,
       ERROR_ACCESS_DENIED,
       0},
      {"owner, empty DACL, maximum",
       "O:BAD:",
       {"BA"},
       MAXIMUM_ALLOWED,
       ERROR_SUCCESS,
       READ_CONTROL | WRITE_DAC},
      {"owner's rights are not denied",
       "O:BAD:(D;;KA;;;BA)",
       {"BA"},
       WRITE_DAC,
       ERROR_SUCCESS,
       WRITE_DAC},
      {"not the owner", "O:SYD:", {"BA"}, READ_CONTROL, ERROR_ACCESS_DENIED, 0},
      {"inherit-only entry is skipped",
       "D:(A;IO;KA;;;WD)",
       {"WD"},
       KEY_READ,
       ERROR_ACCESS_DENIED,
       0},
      {"inherit-only deny is skipped",
       "D:(D;CIIO;KA;;;WD)(A;;KA;;;WD)",
       {"WD"},
       KEY_READ,
       ERROR_SUCCESS,
       KEY_READ},
      {"audit entry is skipped", "D:(AU;SA;KA;;;WD)", {"WD"}, KEY_READ, ERROR_ACCESS_DENIED, 0},
      {"generic entry", "D:(A;;GA;;;WD)", {"WD"}, KEY_ALL_ACCESS, ERROR_SUCCESS, KEY_ALL_ACCESS},
      {"generic request", "D:(A;;KR;;;WD)", {"WD"}, 0x80000000u, ERROR_SUCCESS, KEY_READ},
      {"every bit, maximum",
       "D:(A;;0xffffffff;;;WD)",
       {"WD"},
       MAXIMUM_ALLOWED,
       ERROR_SUCCESS,
       0x001FFFFF},
      {"nothing asked", "D:(A;;KA;;;WD)", {"WD"}, 0, ERROR_ACCESS_DENIED, 0},
      {"system security needs a privilege",
       "D:NO_ACCESS_CONTROL",
       {"WD"},
       0x01000000,
       ERROR_ACCESS_DENIED,
       0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::vector<BYTE>> sids;
    for (const std::string& s : c.caller) sids.push_back(SidOf(s));
    ACCESS_MASK granted = 0xABCD;
    EXPECT_EQ(AccessCheck(DescriptorOf(c.sddl), sids, c.desired, &granted), c.result);
    EXPECT_EQ(granted, c.granted);
  }
  EXPECT_EQ(AccessCheck(DescriptorOf(standard), {SidOf("BA")}, KEY_READ, nullptr), ERROR_SUCCESS);
}

// ---- SDDL ----

TEST(Sddl, RoundTrips) {
  const std::string user = kUser;
  const std::string same[] = {
      "O:BAG:SYD:(A;CI;KA;;;SY)(A;CI;KA;;;BA)(A;CI;KR;;;BU)",
      "D:(A;;KA;;;BA)(D;;0x1;;;WD)",
      "D:",
      "",
      "D:NO_ACCESS_CONTROL",
      "G:LS",
      "O:" + user + "G:SYD:P(A;OICIIO;GA;;;CO)(A;ID;KW;;;AU)",
      "D:PARAI(AU;SAFA;KA;;;WD)(AL;NP;0x0;;;CG)",
      "D:(A;;0x12345678;;;NS)(A;;GW;;;PU)(A;;GR;;;CG)(A;;GX;;;LS)",
  };
  for (const std::string& text : same) {
    SCOPED_TRACE(text);
    const SecurityModel m = ModelOf(text);
    EXPECT_EQ(ToSddl(m), text);
    SecurityModel back;
    const std::vector<BYTE> sd = BuildSelfRelative(m);
    ASSERT_TRUE(ParseDescriptor(sd.data(), sd.size(), &back, nullptr));
    EXPECT_EQ(ToSddl(back), text);
  }
  const struct {
    const char* in;
    const char* out;
  } normalized[] = {
      {"D:(A;;KX;;;BU)", "D:(A;;KR;;;BU)"},
      {"D:(A;;KRKW;;;BU)", "D:(A;;0x2001f;;;BU)"},
      {"D:(A;CIOI;0X1F;;;S-1-5-18)", "D:(A;OICI;0x1f;;;SY)"},
      {"D:(A;;KA;;;S-1-5-32-544)O:SY", "O:SYD:(A;;KA;;;BA)"},
      {"D:AIP", "D:PAI"},
  };
  for (const auto& n : normalized) EXPECT_EQ(ToSddl(ModelOf(n.in)), n.out) << n.in;
  EXPECT_FALSE(ModelOf("O:BA").daclPresent);
  EXPECT_TRUE(ModelOf("D:NO_ACCESS_CONTROL").daclNull);
}

TEST(Sddl, RejectsWhatItDoesNotKnow) {
  const char* cases[] = {
      "X:BA",
      "O:",
      "O:ZZ",
      "O:BAO:SY",
      "D:D:",
      "D:(A;;KA;;BA)",
      "D:(A;;KA;;;;BA)",
      "D:(Q;;KA;;;BA)",
      "D:(A;XX;KA;;;BA)",
      "D:(A;C;KA;;;BA)",
      "D:(A;;ZZ;;;BA)",
      "D:(A;;;;;BA)",
      "D:(A;;0x;;;BA)",
      "D:(A;;0x123456789;;;BA)",
      "D:(A;;KA;guid;;BA)",
      "D:(A;;KA;;;BA",
      "D:(A;;KA;;;S-1-5-)",
      "D:NO_ACCESS_CONTROL(A;;KA;;;BA)",
      "S:(AU;SA;KA;;;WD)",
      "D:(A;;KA;;;BA) ",
      "O:BA:",
  };
  for (const char* text : cases) {
    SecurityModel m = ModelOf("O:SY");
    std::string why;
    EXPECT_FALSE(ParseSddl(text, &m, &why)) << text;
    EXPECT_FALSE(why.empty()) << text;
    EXPECT_EQ(m, ModelOf("O:SY")) << text;
  }
}

}  // namespace
}  // namespace cw::sim
