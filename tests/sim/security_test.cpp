// The simulated security as far as the wizard's key security bracket and the
// simulated registry's access checks rest on it.
#include "platform/sim/security.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "platform/sim/security_layout.h"
#include "platform/win_constants.h"

namespace cw::sim {
namespace {

using Bytes = std::vector<BYTE>;
using namespace layout;  // Get16, Put32, ...

const LastErrorSink kSink{nullptr, nullptr};
constexpr size_t kDaclAt = 16;  // in the self-relative header
constexpr SECURITY_INFORMATION kDacl = DACL_SECURITY_INFORMATION;
constexpr SECURITY_INFORMATION kOwner = OWNER_SECURITY_INFORMATION;
constexpr SECURITY_INFORMATION kGroup = GROUP_SECURITY_INFORMATION;
constexpr SECURITY_INFORMATION kAll = kOwner | kGroup | kDacl;

// A heap block of exactly these bytes, so AddressSanitizer reports any access past it.
struct Block : std::unique_ptr<BYTE[]> {
  explicit Block(const Bytes& b) : unique_ptr(new BYTE[b.size()]), size(b.size()) {
    std::copy(b.begin(), b.end(), get());
  }
  ACL* acl() const { return reinterpret_cast<ACL*>(get()); }
  Bytes bytes() const { return Bytes(get(), get() + size); }
  size_t size;
};

// "WD AU": the SIDs a caller holds.
std::vector<Bytes> SidsOf(const std::string& aliases) {
  std::vector<Bytes> sids;
  std::istringstream in(aliases);
  for (std::string alias; in >> alias;)
    EXPECT_TRUE(ParseSidString(alias, &sids.emplace_back())) << alias;
  return sids;
}
Bytes SidOf(const std::string& text) { return SidsOf(text).at(0); }
SecurityModel ModelOf(const std::string& sddl) {
  SecurityModel m;
  EXPECT_TRUE(ParseSddl(sddl, &m, nullptr)) << sddl;
  return m;
}
Bytes DescriptorOf(const std::string& sddl) { return BuildSelfRelative(ModelOf(sddl)); }
Bytes DaclOf(const Bytes& sd) {
  Bytes acl;
  EXPECT_TRUE(DaclBytes(sd.data(), sd.size(), &acl));
  return acl;
}
std::string SddlOf(const Bytes& sd) {
  SecurityModel m;
  EXPECT_TRUE(ParseDescriptor(sd.data(), sd.size(), &m, nullptr));
  return ToSddl(m);
}

// As the bracket uses them: the DACL saved alone with its control bits, a
// wider list set, and the saved one handed back.
TEST(KeySecurityParts, SaveWidenRestore) {
  SecurityModel m = DefaultKeySecurity(), back;
  m.daclDefaulted = true;
  m.extraControl = SE_OWNER_DEFAULTED | SE_GROUP_DEFAULTED | kDaclProtected;
  const Bytes original = BuildSelfRelative(m);
  ASSERT_TRUE(ParseDescriptor(original.data(), original.size(), &back, nullptr));
  EXPECT_EQ(back, m);  // what SDDL cannot say survives the bytes
  EXPECT_EQ(SelectSecurityParts(original, kAll), original);

  Block saved(SelectSecurityParts(original, kDacl));
  ASSERT_EQ(saved.size, 20 + DaclOf(original).size());
  EXPECT_EQ(Get16(saved.get() + 2),
            SE_SELF_RELATIVE | SE_DACL_PRESENT | SE_DACL_DEFAULTED | kDaclProtected);
  EXPECT_EQ(Bytes(saved.get() + 4, saved.get() + kDaclAt), Bytes(12, 0));  // no owner, group
  EXPECT_EQ(DaclOf(saved.bytes()), DaclOf(original));

  // A list with room to spare, as InitializeAcl leaves it; an owner not named is not taken.
  Bytes room = DaclOf(DescriptorOf("D:(A;;KR;;;WD)")), sy = SidOf("SY"), stored = original;
  room.resize(64, 0);
  Put16(&room[2], 64);
  Block acl(room);
  SECURITY_DESCRIPTOR abs{1, 0, SE_DACL_PRESENT, sy.data(), nullptr, nullptr, acl.acl()};
  ASSERT_EQ(MergeSecurityParts(&stored, kDacl, &abs, 0), ERROR_SUCCESS);
  EXPECT_EQ(DaclOf(stored), acl.bytes());
  EXPECT_EQ(SddlOf(stored), "O:BAG:SYD:(A;;KR;;;WD)");
  // The DACL's control bits go with it; the owner's and the group's stay.
  EXPECT_EQ(Get16(&stored[2]),
            SE_SELF_RELATIVE | SE_DACL_PRESENT | SE_OWNER_DEFAULTED | SE_GROUP_DEFAULTED);
  ASSERT_EQ(MergeSecurityParts(&stored, kDacl, saved.get(), 0), ERROR_SUCCESS);
  EXPECT_EQ(stored, original);
}

TEST(MergeSecurityParts, RefusesBadInputAndKeepsTheKey) {
  // Damaged self-relative blocks are MalformedDescriptor's; here the rest.
  Bytes badAcl = {2, 0, 28, 0, 1, 0, 0, 0, 0, 0, 40, 0};  // entry past the list
  badAcl.resize(28, 0);
  Bytes wd = SidOf("WD");
  ACL* bad = reinterpret_cast<ACL*>(badAcl.data());
  SECURITY_DESCRIPTOR withBadAcl{1, 0, SE_DACL_PRESENT, wd.data(), wd.data(), nullptr, bad};
  SECURITY_DESCRIPTOR revision0{0, 0, 0, wd.data(), wd.data(), nullptr, nullptr};
  SECURITY_DESCRIPTOR noOwner{1, 0, 0, nullptr, wd.data(), nullptr, nullptr};
  const std::tuple<void*, size_t, SECURITY_INFORMATION> cases[] = {
      {nullptr, 0, kDacl},         // no descriptor
      {&revision0, 0, kDacl},      // absolute revision 0
      {&withBadAcl, 0, kDacl},     // malformed list
      {&noOwner, 0, kOwner}};      // owner asked for, none given
  const Bytes original = BuildSelfRelative(DefaultKeySecurity());
  for (const auto& [sd, size, info] : cases) {
    Bytes stored = original;
    EXPECT_NE(MergeSecurityParts(&stored, info, sd, size), 0) << sd << " " << size;
    EXPECT_EQ(stored, original) << sd << " " << size;
  }
  Bytes stored = original;  // what is not asked for is not read
  EXPECT_EQ(MergeSecurityParts(&stored, kOwner | kGroup, &withBadAcl, 0), ERROR_SUCCESS);
  EXPECT_EQ(MergeSecurityParts(&stored, kDacl | kGroup, &noOwner, 0), ERROR_SUCCESS);
}

// The check every simulated open goes through; denied exactly when nothing is granted.
TEST(AccessCheck, FollowsWindowsOrder) {
  const char* standard = "O:BAG:SYD:(A;CI;KA;;;SY)(A;CI;KA;;;BA)(A;CI;KR;;;BU)";
  EXPECT_EQ(ToSddl(DefaultKeySecurity()), standard);  // what XP gives driver keys
  const char *user = "WD AU BU", *denyFirst = "D:(D;;KW;;;WD)(A;;KA;;;WD)";
  const ACCESS_MASK all = KEY_ALL_ACCESS, max = MAXIMUM_ALLOWED, owners = READ_CONTROL | WRITE_DAC;
  const struct {
    const char *sddl, *caller;
    ACCESS_MASK desired, granted;
  } cases[] = {
      {standard, user, max, KEY_READ},
      {standard, user, max | KEY_SET_VALUE, 0},  // maximum, and a bit not held
      {denyFirst, "WD", KEY_QUERY_VALUE, KEY_QUERY_VALUE},
      {denyFirst, "WD", max, all & ~KEY_WRITE},
      {"D:(D;;KA;;;BU)(A;;KA;;;WD)", "WD", all, all},  // deny for a SID not held
      {"D:(A;;KR;;;WD)(A;;KW;;;AU)", "WD AU", max, KEY_READ | KEY_WRITE},
      {"D:NO_ACCESS_CONTROL", "", all | WRITE_OWNER, all},
      {"D:", "WD", max, 0},
      {"O:BAD:", "BA", max, owners},
      {"D:(D;CIIO;KA;;;WD)(A;IO;KW;;;WD)(A;;KR;;;WD)", "WD", max, KEY_READ},  // inherit-only
      {"D:(AU;SA;KA;;;WD)", "WD", KEY_READ, 0},
      {"D:(A;;GA;;;WD)", "WD", 0x80000000u, KEY_READ},  // generic entry and request
      {"D:(A;;0xffffffff;;;WD)", "WD", max, 0x001FFFFF},
      {"D:(A;;KA;;;WD)", "WD", 0, 0},
      {"D:NO_ACCESS_CONTROL", "WD", 0x01000000, 0},  // system security needs a privilege
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.sddl) + " for " + c.caller + ", " + std::to_string(c.desired));
    ACCESS_MASK granted = 0xABCD;
    EXPECT_EQ(AccessCheck(DescriptorOf(c.sddl), SidsOf(c.caller), c.desired, &granted),
              c.granted ? ERROR_SUCCESS : ERROR_ACCESS_DENIED);
    EXPECT_EQ(granted, c.granted);
  }
}

// Machine files give keys their descriptors in SDDL.
TEST(Sddl, RoundTripsThroughTheBytesAndRefusesTheUnknown) {
  for (const char* text :
       {"", "D:", "O:BA", "G:LS", "D:NO_ACCESS_CONTROL", "D:PARAI(AU;SAFA;KA;;;WD)(AL;NP;0x0;;;CG)",
        "O:BAG:SYD:(A;CI;KA;;;SY)(A;CI;KA;;;BA)(A;CI;KR;;;BU)",
        "O:S-1-5-21-1004336348-1177238915-682003330-1000G:SYD:P(A;OICIIO;GA;;;CO)(D;ID;KW;;;AU)",
        "D:(A;;0x12345678;;;NS)(A;;GW;;;PU)(A;;GR;;;CG)(A;;GX;;;LS)",
        "G:S-1-1-1-1-1-1-1-1-1-1-1-1-1-1-1-1-1"}) {  // 15 sub-authorities, the most
    EXPECT_EQ(ToSddl(ModelOf(text)), text);
    EXPECT_EQ(SddlOf(DescriptorOf(text)), text);
  }
  EXPECT_EQ(ToSddl(ModelOf("D:(A;CIOI;0X1F;;;S-1-5-18)O:SY")), "O:SYD:(A;OICI;0x1f;;;SY)");
  for (const char* text : {"X:BA", "O:", "O:ba", "O:S-2-5-18", "O:S-1-5-4294967296", "O:BAO:SY",
                           "D:D:", "D:(A;;KA;;BA)", "D:(Q;;KA;;;BA)", "D:(A;XX;KA;;;BA)",
                           "D:(A;;ZZ;;;BA)", "D:(A;;0x123456789;;;BA)", "D:(A;;KA;guid;;BA)",
                           "D:(A;;KA;;;BA", "D:NO_ACCESS_CONTROL(A;;KA;;;BA)", "S:(AU;SA;KA;;;WD)",
                           "G:S-1-1-1-1-1-1-1-1-1-1-1-1-1-1-1-1-1-1"}) {
    SecurityModel m = ModelOf("O:SY");
    std::string why;
    EXPECT_FALSE(ParseSddl(text, &m, &why) || why.empty() || m != ModelOf("O:SY")) << text;
  }
}

// O:BA G:SY D:(A;;KA;;;SY)(D;;KW;;;WD): header 0..19, DACL 20..67 (entries at
// 28 and 48), owner 68..83, group 84..95.
Bytes MalformBase() { return DescriptorOf("O:BAG:SYD:(A;;KA;;;SY)(D;;KW;;;WD)"); }

// Damaged forms and every truncation: refused by every reader, and by RegSetKeySecurity.
TEST(MalformedDescriptor, RejectedWithoutReadingPastTheBlock) {
  using Poke = void (*)(Bytes&);
  const Poke pokes[] = {
      [](Bytes& sd) { sd[0] = 2; },                  // revision
      [](Bytes& sd) { Put32(&sd[4], 8); },           // owner in the header
      [](Bytes& sd) { Put32(&sd[4], 92); },          // owner cut off
      [](Bytes& sd) { sd[68 + 1] = 16; },            // owner with 16 sub-authorities
      [](Bytes& sd) { Put32(&sd[8], 0xFFFFFFF0); },  // group offset wraps around
      [](Bytes& sd) { Put32(&sd[kDaclAt], 92); },    // DACL header cut off
      [](Bytes& sd) { Put16(&sd[20 + 2], 200); },    // AclSize past the end
      [](Bytes& sd) { sd[20] = 1; },                 // ACL revision
      [](Bytes& sd) { Put16(&sd[20 + 4], 3); },      // more entries than the list holds
      [](Bytes& sd) { Put16(&sd[28 + 2], 0); },      // entry of size 0
      [](Bytes& sd) { Put16(&sd[28 + 2], 12); },     // entry smaller than a SID needs
      [](Bytes& sd) { sd[28 + 8 + 1] = 5; },         // entry SID past the entry
      [](Bytes& sd) { Put16(&sd[2], Get16(&sd[2]) & ~SE_SELF_RELATIVE); },  // not self-relative
  };
  const Bytes base = MalformBase(), original = DescriptorOf("O:SYG:SYD:(A;;KR;;;WD)");
  Block sd(original);
  std::vector<Bytes> cases;
  for (Poke poke : pokes) poke(cases.emplace_back(base));
  for (size_t len = 0; len < base.size(); ++len)
    cases.emplace_back(base.begin(), base.begin() + len);
  for (size_t i = 0; i < cases.size(); ++i) {
    SCOPED_TRACE(i);  // the pokes first, then the cuts
    const Bytes& bytes = cases[i];
    Block block(bytes);
    SecurityModel m = ModelOf("O:SY");
    std::string why;
    EXPECT_FALSE(ParseDescriptor(block.get(), block.size, &m, &why) || why.empty());
    EXPECT_EQ(m, ModelOf("O:SY"));
    Bytes acl = {7};
    EXPECT_FALSE(DaclBytes(block.get(), block.size, &acl) || acl != Bytes{7});
    EXPECT_TRUE(SelectSecurityParts(bytes, kDacl).empty());
    ACCESS_MASK granted = 1;
    EXPECT_EQ(AccessCheck(bytes, SidsOf("WD SY"), KEY_READ, &granted),
              ERROR_INVALID_SECURITY_DESCR);
    EXPECT_EQ(granted, 0u);
    Bytes stored = original;
    // A size of 0 means "not known"; an absolute descriptor holds pointers.
    if (!bytes.empty() && (bytes.size() < 4 || (Get16(&bytes[2]) & SE_SELF_RELATIVE))) {
      EXPECT_NE(MergeSecurityParts(&stored, kAll, block.get(), block.size), 0);
      EXPECT_EQ(stored, original);
    }
    stored = bytes;
    EXPECT_NE(MergeSecurityParts(&stored, kDacl, sd.get(), sd.size), 0);
    EXPECT_EQ(stored, bytes);
  }
}

// Random damage to a good descriptor: whatever the bytes, the bounded calls
// stay inside the block, and what parses builds back to the same model.
TEST(MalformedDescriptor, RandomDamageStaysInBounds) {
  const Bytes base = MalformBase();
  std::mt19937 rng(20261206);
  std::uniform_int_distribution<size_t> pos(0, base.size() - 1);
  std::uniform_int_distribution<int> byte(0, 255);
  std::uniform_int_distribution<int> hits(1, 4);
  const std::vector<Bytes> caller = SidsOf("WD BA SY");
  int parsed = 0;
  for (int round = 0; round < 4000; ++round) {
    Bytes bytes = base;
    for (int n = hits(rng); n > 0; --n) bytes[pos(rng)] = static_cast<BYTE>(byte(rng));
    if (round % 7 == 0) bytes.resize(pos(rng));
    Block block(bytes);
    SecurityModel m, again;
    if (ParseDescriptor(block.get(), block.size, &m, nullptr)) {
      ++parsed;
      const Bytes rebuilt = BuildSelfRelative(m);
      ASSERT_TRUE(ParseDescriptor(rebuilt.data(), rebuilt.size(), &again, nullptr));
      EXPECT_EQ(again, m);
    }
    Bytes acl;
    if (DaclBytes(block.get(), block.size, &acl)) {
      Block list(acl);
      for (DWORD i = 0; i < Get16(list.get() + 4); ++i) {
        void* ace = nullptr;
        EXPECT_TRUE(SimGetAce(kSink, list.acl(), i, &ace));
      }
    }
    SelectSecurityParts(bytes, kOwner | kDacl);
    ACCESS_MASK granted;
    AccessCheck(bytes, caller, MAXIMUM_ALLOWED, &granted);
    // Only a self-relative block is bounded by its size; an absolute one holds pointers.
    if (bytes.size() < 4 || !(Get16(&bytes[2]) & SE_SELF_RELATIVE)) continue;
    Bytes stored = base;
    MergeSecurityParts(&stored, kAll, block.get(), block.size);
  }
  EXPECT_GT(parsed, 0);
}

// Random ACL bytes in a block of exactly AclSize: the raw calls stay inside it.
TEST(MalformedDescriptor, RandomAclsStayInBounds) {
  std::mt19937 rng(6122026);
  std::uniform_int_distribution<int> byte(0, 255);
  std::uniform_int_distribution<size_t> size(8, 64);
  Bytes wd = SidOf("WD");
  for (int round = 0; round < 4000; ++round) {
    const size_t n = size(rng);
    Bytes bytes(n);
    for (BYTE& b : bytes) b = static_cast<BYTE>(byte(rng));
    bytes[0] = static_cast<BYTE>(2 + round % 3);
    Put16(&bytes[2], static_cast<WORD>(n));
    Put16(&bytes[4], static_cast<WORD>(round % 5));
    for (size_t off = 8; round % 2 && off + 4 <= n; off += 4)  // plausible entry sizes
      Put16(&bytes[off + 2], static_cast<WORD>(4 * (1 + byte(rng) % 6)));
    Block block(bytes);
    for (DWORD i = 0; i < 6; ++i) {
      void* ace = nullptr;
      const bool got = SimGetAce(kSink, block.acl(), i, &ace);
      EXPECT_TRUE(!got || (ace >= block.get() + 8 && ace < block.get() + n)) << i;
    }
    SimAddAccessAllowedAce(kSink, block.acl(), ACL_REVISION, 1, wd.data());
  }
}

}  // namespace
}  // namespace cw::sim
