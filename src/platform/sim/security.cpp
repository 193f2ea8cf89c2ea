#include "platform/sim/security.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <limits>

#include "platform/win_constants.h"

namespace cw::sim {
namespace {

// winerror.h codes this file reports that win_constants.h does not carry.
constexpr DWORD kErrorNoAccess = 998;                // ERROR_NOACCESS
constexpr DWORD kErrorUnknownRevision = 1305;        // ERROR_UNKNOWN_REVISION
constexpr DWORD kErrorRevisionMismatch = 1306;       // ERROR_REVISION_MISMATCH
constexpr DWORD kErrorInvalidOwner = 1307;           // ERROR_INVALID_OWNER
constexpr DWORD kErrorInvalidPrimaryGroup = 1308;    // ERROR_INVALID_PRIMARY_GROUP
constexpr DWORD kErrorAllottedSpaceExceeded = 1344;  // ERROR_ALLOTTED_SPACE_EXCEEDED

// winnt.h values used only here.
constexpr BYTE kSidRevision = 1;
constexpr BYTE kSidMaxSubAuthorities = 15;
constexpr size_t kSidHeader = 8;      // revision, count, 6-byte authority
constexpr DWORD kMinAclRevision = 2;  // ACL_REVISION2
constexpr DWORD kMaxAclRevision = 4;  // ACL_REVISION4, the same as ACL_REVISION_DS
constexpr DWORD kMaxAclSize = 0xFFFF;
constexpr BYTE kSystemAlarmAceType = 3;
constexpr BYTE kInheritOnlyAce = 0x08;
constexpr WORD kDaclAutoInheritReq = 0x0100;
constexpr WORD kDaclAutoInherited = 0x0400;
constexpr WORD kDaclProtected = 0x1000;
// The control bits that travel with the DACL when it is read or replaced.
constexpr WORD kDaclControl =
    SE_DACL_PRESENT | SE_DACL_DEFAULTED | kDaclAutoInheritReq | kDaclAutoInherited | kDaclProtected;
constexpr WORD kModelControlMask =
    static_cast<WORD>(~(SE_DACL_PRESENT | SE_DACL_DEFAULTED | SE_SACL_PRESENT | SE_SELF_RELATIVE));
constexpr ACCESS_MASK kGenericRead = 0x80000000u;
constexpr ACCESS_MASK kGenericWrite = 0x40000000u;
constexpr ACCESS_MASK kGenericExecute = 0x20000000u;
constexpr ACCESS_MASK kKeyExecute = 0x20019;
// Standard and specific rights: all that an entry can grant. ACCESS_SYSTEM_SECURITY
// needs a privilege, which the caller's SIDs do not carry.
constexpr ACCESS_MASK kGrantable = 0x001FFFFF;

constexpr size_t kRelHeader = sizeof(SECURITY_DESCRIPTOR_RELATIVE);
constexpr size_t kAbsHeader = sizeof(SECURITY_DESCRIPTOR);
constexpr size_t kAceSidOffset = offsetof(ACCESS_ALLOWED_ACE, SidStart);
constexpr size_t kUnknownSize = std::numeric_limits<size_t>::max();

constexpr size_t kAclRevisionAt = offsetof(ACL, AclRevision);
constexpr size_t kAclSizeAt = offsetof(ACL, AclSize);
constexpr size_t kAceCountAt = offsetof(ACL, AceCount);
constexpr size_t kAceSizeAt = offsetof(ACE_HEADER, AceSize);
constexpr size_t kAceMaskAt = offsetof(ACCESS_ALLOWED_ACE, Mask);
constexpr size_t kControlAt = offsetof(SECURITY_DESCRIPTOR, Control);

// Fields are read and written byte-wise: descriptors handed in from outside
// need not be aligned.
WORD Get16(const BYTE* p) {
  WORD v;
  std::memcpy(&v, p, sizeof v);
  return v;
}
DWORD Get32(const BYTE* p) {
  DWORD v;
  std::memcpy(&v, p, sizeof v);
  return v;
}
BYTE* GetPtr(const BYTE* p) {
  void* v;
  std::memcpy(&v, p, sizeof v);
  return static_cast<BYTE*>(v);
}
void Put16(BYTE* p, WORD v) { std::memcpy(p, &v, sizeof v); }
void Put32(BYTE* p, DWORD v) { std::memcpy(p, &v, sizeof v); }
void PutPtr(BYTE* p, const void* v) { std::memcpy(p, &v, sizeof v); }

size_t Align4(size_t n) { return (n + 3) & ~size_t{3}; }

bool Fail(std::string* why, const std::string& reason) {
  if (why) *why = reason;
  return false;
}
DWORD Reject(std::string* why, const std::string& reason, DWORD code) {
  if (why) *why = reason;
  return code;
}
BOOL Refuse(const LastErrorSink& sink, DWORD code) {
  sink.Set(code);
  return FALSE;
}

// RtlValidSid on the header; the body is taken to be as long as the count says.
bool ValidSidHeader(const BYTE* sid) {
  return sid[0] == kSidRevision && sid[1] <= kSidMaxSubAuthorities;
}
size_t SidLength(const BYTE* sid) { return kSidHeader + 4u * sid[1]; }

// Entries laid out as header, mask, SID (allowed, denied, audit, alarm).
bool IsKnownAceType(BYTE type) { return type <= kSystemAlarmAceType; }

// RtlValidAcl's rules, with the list bounded by `avail` readable bytes
// (kUnknownSize: by its own AclSize).
bool CheckAcl(const BYTE* acl, size_t avail, std::string* why) {
  if (avail < sizeof(ACL)) return Fail(why, "ACL header runs past the end");
  const BYTE revision = acl[kAclRevisionAt];
  if (revision < kMinAclRevision || revision > kMaxAclRevision)
    return Fail(why, "ACL revision " + std::to_string(revision));
  const size_t aclSize = Get16(acl + kAclSizeAt);
  if (aclSize < sizeof(ACL) || aclSize % 2 != 0)
    return Fail(why, "ACL size " + std::to_string(aclSize));
  if (aclSize > avail)
    return Fail(why, "ACL size " + std::to_string(aclSize) + " runs past the end");
  const size_t count = Get16(acl + kAceCountAt);
  size_t off = sizeof(ACL);
  for (size_t i = 0; i < count; ++i) {
    auto bad = [&](const std::string& what) {
      return Fail(why, "entry " + std::to_string(i) + what);
    };
    if (aclSize - off < sizeof(ACE_HEADER)) return bad(" starts past the ACL");
    const BYTE* ace = acl + off;
    const size_t aceSize = Get16(ace + kAceSizeAt);
    // A size below the header's would never move on to the next entry.
    if (aceSize < sizeof(ACE_HEADER) || aceSize % 2 != 0)
      return bad(" has size " + std::to_string(aceSize));
    if (aceSize > aclSize - off) return bad(" runs past the ACL");
    if (IsKnownAceType(ace[0])) {
      if (aceSize % 4 != 0 || aceSize < kAceSidOffset + kSidHeader)
        return bad(" has size " + std::to_string(aceSize));
      const BYTE* sid = ace + kAceSidOffset;
      if (!ValidSidHeader(sid)) return bad(" has an invalid SID");
      if (aceSize < kAceSidOffset + SidLength(sid)) return bad(": SID runs past the entry");
    }
    off += aceSize;
  }
  return true;
}

// The parts of a descriptor, where they are. data null: the part is absent
// (for the DACL with SE_DACL_PRESENT set: a NULL DACL).
struct Part {
  const BYTE* data = nullptr;
  size_t size = 0;
};
struct RawDescriptor {
  WORD control = 0;
  Part owner, group, sacl, dacl;
};

// Reads a descriptor's header and checks the parts `parts` names (OWNER,
// GROUP, DACL, SACL bits). `size` is what may be read at `sd`, or kUnknownSize
// when the caller does not know; the parts of an absolute descriptor lie
// elsewhere and bound themselves. Returns 0 or the Windows error.
DWORD ReadDescriptor(const BYTE* sd, size_t size, SECURITY_INFORMATION parts, bool selfRelativeOnly,
                     RawDescriptor* out, std::string* why) {
  if (!sd) return Reject(why, "no descriptor", kErrorNoAccess);
  if (size < kControlAt + sizeof(WORD))
    return Reject(why, "shorter than a descriptor header", ERROR_INVALID_SECURITY_DESCR);
  if (sd[0] != SECURITY_DESCRIPTOR_REVISION)
    return Reject(why, "revision " + std::to_string(sd[0]), kErrorUnknownRevision);
  RawDescriptor d;
  d.control = Get16(sd + kControlAt);
  const bool relative = (d.control & SE_SELF_RELATIVE) != 0;
  if (!relative && selfRelativeOnly)
    return Reject(why, "not self-relative", ERROR_INVALID_SECURITY_DESCR);
  if (size < (relative ? kRelHeader : kAbsHeader))
    return Reject(why, "shorter than a descriptor header", ERROR_INVALID_SECURITY_DESCR);

  // Start of a part and the bytes readable there; false when a self-relative
  // offset points into the header or past the end.
  auto locate = [&](size_t relField, size_t absField, const BYTE** at, size_t* avail) {
    *at = nullptr;
    *avail = kUnknownSize;
    if (!relative) {
      *at = GetPtr(sd + absField);
      return true;
    }
    const size_t off = Get32(sd + relField);
    if (off == 0) return true;
    if (off < kRelHeader || (size != kUnknownSize && off >= size)) return false;
    *at = sd + off;
    if (size != kUnknownSize) *avail = size - off;
    return true;
  };
  auto readSid = [&](const char* name, size_t relField, size_t absField, Part* part) -> DWORD {
    const BYTE* at;
    size_t avail;
    if (!locate(relField, absField, &at, &avail))
      return Reject(why, std::string(name) + " offset outside the descriptor",
                    ERROR_INVALID_SECURITY_DESCR);
    if (!at) return 0;
    if (avail < kSidHeader)
      return Reject(why, std::string(name) + " runs past the end", ERROR_INVALID_SECURITY_DESCR);
    if (!ValidSidHeader(at))
      return Reject(why, std::string(name) + " is not a valid SID", ERROR_INVALID_SID);
    if (SidLength(at) > avail)
      return Reject(why, std::string(name) + " runs past the end", ERROR_INVALID_SECURITY_DESCR);
    *part = {at, SidLength(at)};
    return 0;
  };
  auto readAcl = [&](const char* name, size_t relField, size_t absField, Part* part) -> DWORD {
    const BYTE* at;
    size_t avail;
    if (!locate(relField, absField, &at, &avail))
      return Reject(why, std::string(name) + " offset outside the descriptor",
                    ERROR_INVALID_SECURITY_DESCR);
    if (!at) return 0;
    std::string reason;
    if (!CheckAcl(at, avail, &reason))
      return Reject(why, std::string(name) + ": " + reason, ERROR_INVALID_ACL);
    *part = {at, Get16(at + kAclSizeAt)};
    return 0;
  };

  using SDR = SECURITY_DESCRIPTOR_RELATIVE;
  using SDA = SECURITY_DESCRIPTOR;
  DWORD e = 0;
  if ((parts & OWNER_SECURITY_INFORMATION) &&
      (e = readSid("owner", offsetof(SDR, Owner), offsetof(SDA, Owner), &d.owner)))
    return e;
  if ((parts & GROUP_SECURITY_INFORMATION) &&
      (e = readSid("group", offsetof(SDR, Group), offsetof(SDA, Group), &d.group)))
    return e;
  if ((parts & SACL_SECURITY_INFORMATION) && (d.control & SE_SACL_PRESENT) &&
      (e = readAcl("SACL", offsetof(SDR, Sacl), offsetof(SDA, Sacl), &d.sacl)))
    return e;
  if ((parts & DACL_SECURITY_INFORMATION) && (d.control & SE_DACL_PRESENT) &&
      (e = readAcl("DACL", offsetof(SDR, Dacl), offsetof(SDA, Dacl), &d.dacl)))
    return e;
  *out = d;
  return 0;
}

constexpr SECURITY_INFORMATION kAllParts = OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION |
                                           DACL_SECURITY_INFORMATION | SACL_SECURITY_INFORMATION;

std::vector<BYTE> Bytes(const Part& p) { return std::vector<BYTE>(p.data, p.data + p.size); }

// A self-relative descriptor to be laid out. dacl empty with SE_DACL_PRESENT
// set in control: a NULL DACL.
struct DescriptorParts {
  WORD control = 0;
  std::vector<BYTE> owner, group, dacl;
};

// Windows' layout: header, (SACL,) DACL, owner, group, each on a 4-byte boundary.
std::vector<BYTE> Assemble(const DescriptorParts& p) {
  using SDR = SECURITY_DESCRIPTOR_RELATIVE;
  const WORD control = static_cast<WORD>((p.control | SE_SELF_RELATIVE) & ~SE_SACL_PRESENT);
  // Every part's place first, then one buffer of the final size.
  struct Placed {
    const std::vector<BYTE>* part;
    size_t field;  // where the header keeps its offset
    size_t at;
  };
  Placed placed[3];
  size_t count = 0;
  size_t size = kRelHeader;
  auto place = [&](const std::vector<BYTE>& part, size_t field) {
    if (part.empty()) return;
    placed[count++] = Placed{&part, field, size};
    size = Align4(size + part.size());
  };
  if (control & SE_DACL_PRESENT) place(p.dacl, offsetof(SDR, Dacl));
  place(p.owner, offsetof(SDR, Owner));
  place(p.group, offsetof(SDR, Group));

  std::vector<BYTE> out(size, 0);
  out[0] = SECURITY_DESCRIPTOR_REVISION;
  Put16(&out[kControlAt], control);
  for (size_t i = 0; i < count; ++i) {
    Put32(&out[placed[i].field], static_cast<DWORD>(placed[i].at));
    std::memcpy(&out[placed[i].at], placed[i].part->data(), placed[i].part->size());
  }
  return out;
}

std::vector<BYTE> BuildAcl(const std::vector<AceModel>& aces) {
  size_t size = sizeof(ACL);
  for (const AceModel& a : aces) size += Align4(kAceSidOffset + a.sid.size());
  std::vector<BYTE> acl(size, 0);
  acl[kAclRevisionAt] = static_cast<BYTE>(ACL_REVISION);
  Put16(&acl[kAclSizeAt], static_cast<WORD>(size));
  Put16(&acl[kAceCountAt], static_cast<WORD>(aces.size()));
  size_t off = sizeof(ACL);
  for (const AceModel& a : aces) {
    const size_t aceSize = Align4(kAceSidOffset + a.sid.size());
    BYTE* ace = &acl[off];
    ace[0] = a.type;
    ace[1] = a.flags;
    Put16(ace + kAceSizeAt, static_cast<WORD>(aceSize));
    Put32(ace + kAceMaskAt, a.mask);
    std::copy(a.sid.begin(), a.sid.end(), ace + kAceSidOffset);
    off += aceSize;
  }
  return acl;
}

// Windows' generic mapping for registry keys.
ACCESS_MASK MapGeneric(ACCESS_MASK m) {
  ACCESS_MASK mapped = m & ~(kGenericRead | kGenericWrite | kGenericExecute | GENERIC_ALL);
  if (m & kGenericRead) mapped |= KEY_READ;
  if (m & kGenericWrite) mapped |= KEY_WRITE;
  if (m & kGenericExecute) mapped |= kKeyExecute;
  if (m & GENERIC_ALL) mapped |= KEY_ALL_ACCESS;
  return mapped;
}

bool Holds(const std::vector<std::vector<BYTE>>& sids, const BYTE* sid) {
  const size_t len = SidLength(sid);
  for (const auto& s : sids)
    if (s.size() >= len && std::memcmp(s.data(), sid, len) == 0) return true;
  return false;
}

// ---- SID text ----

struct SidAlias {
  const char* name;
  BYTE authority;
  DWORD sub[2];
  size_t count;
};
constexpr SidAlias kAliases[] = {
    {"BA", 5, {32, 544}, 2}, {"SY", 5, {18, 0}, 1}, {"WD", 1, {0, 0}, 1}, {"AU", 5, {11, 0}, 1},
    {"BU", 5, {32, 545}, 2}, {"CO", 3, {0, 0}, 1},  {"CG", 3, {1, 0}, 1}, {"PU", 5, {32, 547}, 2},
    {"LS", 5, {19, 0}, 1},   {"NS", 5, {20, 0}, 1},
};

std::vector<BYTE> AliasBytes(const SidAlias& a) {
  Sid s;
  s.authority[5] = a.authority;
  s.subAuthorities.assign(a.sub, a.sub + a.count);
  return s.Bytes();
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
int HexValue(char c) {
  if (IsDigit(c)) return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Decimal digits at the front of `t` into *value (at most `max`); the count of
// digits taken, 0 on none or overflow.
size_t TakeDecimal(std::string_view t, unsigned long long max, unsigned long long* value) {
  size_t i = 0;
  unsigned long long v = 0;
  while (i < t.size() && IsDigit(t[i])) {
    v = v * 10 + static_cast<unsigned>(t[i] - '0');
    if (v > max) return 0;
    ++i;
  }
  *value = v;
  return i;
}

// Length of the SID at the front of SDDL text: an alias or "S-..." digits.
size_t ScanSidToken(std::string_view t) {
  if (t.size() >= 2 && t[0] == 'S' && t[1] == '-') {
    size_t i = 1;
    while (i < t.size() && t[i] == '-') {
      ++i;
      if (t.size() - i >= 2 && t[i] == '0' && (t[i + 1] == 'x' || t[i + 1] == 'X')) {
        i += 2;
        for (int n = 0; n < 12 && i < t.size() && HexValue(t[i]) >= 0; ++n) ++i;
      } else {
        while (i < t.size() && IsDigit(t[i])) ++i;
      }
    }
    return i;
  }
  if (t.size() >= 2 && t[0] >= 'A' && t[0] <= 'Z' && t[1] >= 'A' && t[1] <= 'Z') return 2;
  return 0;
}

std::string SidText(const std::vector<BYTE>& sid) {
  for (const SidAlias& a : kAliases)
    if (AliasBytes(a) == sid) return a.name;
  return SidToString(sid.data(), sid.size());
}

// ---- SDDL pieces ----

struct Code {
  const char* text;
  DWORD value;
};
constexpr Code kAceTypes[] = {{"A", ACCESS_ALLOWED_ACE_TYPE},
                              {"D", ACCESS_DENIED_ACE_TYPE},
                              {"AU", 2},
                              {"AL", kSystemAlarmAceType}};
// In the order Windows writes them.
constexpr Code kAceFlags[] = {{"OI", 0x01}, {"CI", 0x02}, {"NP", 0x04}, {"IO", 0x08},
                              {"ID", 0x10}, {"SA", 0x40}, {"FA", 0x80}};
constexpr Code kRights[] = {{"KA", KEY_ALL_ACCESS}, {"KR", KEY_READ},       {"KW", KEY_WRITE},
                            {"KX", kKeyExecute},    {"GA", GENERIC_ALL},    {"GR", kGenericRead},
                            {"GW", kGenericWrite},  {"GX", kGenericExecute}};

// Two-letter codes back to back ("OICI", "KRKW"), OR-ed together.
bool ParseCodes(std::string_view t, const Code* codes, size_t n, DWORD* value) {
  DWORD v = 0;
  while (!t.empty()) {
    if (t.size() < 2) return false;
    const Code* found = nullptr;
    for (size_t i = 0; i < n; ++i)
      if (t.substr(0, 2) == codes[i].text) found = &codes[i];
    if (!found) return false;
    v |= found->value;
    t.remove_prefix(2);
  }
  *value = v;
  return true;
}

bool ParseRights(std::string_view t, DWORD* mask) {
  if (t.size() > 2 && t[0] == '0' && (t[1] == 'x' || t[1] == 'X')) {
    t.remove_prefix(2);
    if (t.size() > 8) return false;
    DWORD v = 0;
    for (char c : t) {
      const int h = HexValue(c);
      if (h < 0) return false;
      v = v << 4 | static_cast<DWORD>(h);
    }
    *mask = v;
    return true;
  }
  return !t.empty() && ParseCodes(t, kRights, std::size(kRights), mask);
}

std::string RightsText(DWORD mask) {
  for (const Code& c : kRights)
    if (c.value == mask && std::string_view(c.text) != "KX") return c.text;  // KX is KR's value
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%x", mask);
  return buf;
}

bool ParseAce(std::string_view body, AceModel* ace, std::string* why) {
  std::vector<std::string_view> fields;
  size_t start = 0;
  for (size_t i = 0; i <= body.size(); ++i) {
    if (i == body.size() || body[i] == ';') {
      fields.push_back(body.substr(start, i - start));
      start = i + 1;
    }
  }
  const std::string where = "entry (" + std::string(body) + ")";
  if (fields.size() != 6) return Fail(why, where + ": expected 6 fields");
  AceModel a;
  bool typeFound = false;
  for (const Code& c : kAceTypes)
    if (fields[0] == c.text) {
      a.type = static_cast<BYTE>(c.value);
      typeFound = true;
    }
  if (!typeFound) return Fail(why, where + ": unknown type");
  DWORD flags = 0;
  if (!ParseCodes(fields[1], kAceFlags, std::size(kAceFlags), &flags))
    return Fail(why, where + ": unknown flags");
  a.flags = static_cast<BYTE>(flags);
  if (!ParseRights(fields[2], &a.mask)) return Fail(why, where + ": unknown rights");
  if (!fields[3].empty() || !fields[4].empty())
    return Fail(why, where + ": object entries are not supported");
  if (!ParseSidString(fields[5], &a.sid)) return Fail(why, where + ": unknown SID");
  *ace = std::move(a);
  return true;
}

}  // namespace

// ---- advapi32 ----

BOOL SimGetSecurityDescriptorDacl(const LastErrorSink& sink, PSECURITY_DESCRIPTOR sd, BOOL* present,
                                  ACL** dacl, BOOL* defaulted) {
  BYTE* p = static_cast<BYTE*>(sd);
  if (!p) return Refuse(sink, kErrorNoAccess);
  if (p[0] != SECURITY_DESCRIPTOR_REVISION) return Refuse(sink, kErrorUnknownRevision);
  const WORD control = Get16(p + kControlAt);
  const bool isPresent = (control & SE_DACL_PRESENT) != 0;
  // The outputs Windows writes, and faults on when they are null.
  if (!present || (isPresent && (!dacl || !defaulted))) return Refuse(sink, kErrorNoAccess);
  *present = isPresent ? TRUE : FALSE;
  if (!isPresent) return TRUE;
  if (control & SE_SELF_RELATIVE) {
    // No size comes with the pointer: the offset is taken as Windows takes it.
    const DWORD off = Get32(p + offsetof(SECURITY_DESCRIPTOR_RELATIVE, Dacl));
    *dacl = off ? reinterpret_cast<ACL*>(p + off) : nullptr;
  } else {
    *dacl = reinterpret_cast<ACL*>(GetPtr(p + offsetof(SECURITY_DESCRIPTOR, Dacl)));
  }
  *defaulted = (control & SE_DACL_DEFAULTED) ? TRUE : FALSE;
  return TRUE;
}

BOOL SimGetAce(const LastErrorSink& sink, ACL* acl, DWORD index, void** ace) {
  BYTE* a = reinterpret_cast<BYTE*>(acl);
  if (!a) return Refuse(sink, kErrorNoAccess);
  const BYTE revision = a[kAclRevisionAt];
  if (revision < kMinAclRevision || revision > kMaxAclRevision || index >= Get16(a + kAceCountAt))
    return Refuse(sink, ERROR_INVALID_PARAMETER);
  if (!ace) return Refuse(sink, kErrorNoAccess);
  // Windows walks the sizes of the entries before the one asked for and stops
  // when it reaches AclSize; it does not check the entries further.
  const size_t aclSize = Get16(a + kAclSizeAt);
  size_t off = sizeof(ACL);
  for (DWORD i = 0; i < index; ++i) {
    // An entry whose header would cross AclSize cannot be stepped over safely.
    if (off >= aclSize || aclSize - off < sizeof(ACE_HEADER))
      return Refuse(sink, ERROR_INVALID_PARAMETER);
    off += Get16(a + off + kAceSizeAt);
  }
  if (off >= aclSize) return Refuse(sink, ERROR_INVALID_PARAMETER);
  *ace = a + off;
  return TRUE;
}

DWORD SimGetLengthSid(PSID sid) {
  const BYTE* s = static_cast<const BYTE*>(sid);
  return s ? static_cast<DWORD>(SidLength(s)) : 0;
}

BOOL SimInitializeAcl(const LastErrorSink& sink, ACL* acl, DWORD size, DWORD revision) {
  if (size < sizeof(ACL)) return Refuse(sink, ERROR_INSUFFICIENT_BUFFER);
  if (revision < kMinAclRevision || revision > kMaxAclRevision || size > kMaxAclSize)
    return Refuse(sink, ERROR_INVALID_PARAMETER);
  BYTE* a = reinterpret_cast<BYTE*>(acl);
  if (!a) return Refuse(sink, kErrorNoAccess);
  std::memset(a, 0, sizeof(ACL));
  a[kAclRevisionAt] = static_cast<BYTE>(revision);
  Put16(a + kAclSizeAt, static_cast<WORD>(size & ~DWORD{3}));  // Windows rounds down to 4
  return TRUE;
}

BOOL SimAddAccessAllowedAce(const LastErrorSink& sink, ACL* acl, DWORD revision, DWORD mask,
                            PSID sid) {
  const BYTE* s = static_cast<const BYTE*>(sid);
  if (!s || !ValidSidHeader(s)) return Refuse(sink, ERROR_INVALID_SID);
  BYTE* a = reinterpret_cast<BYTE*>(acl);
  if (!a) return Refuse(sink, kErrorNoAccess);
  if (a[kAclRevisionAt] > kMaxAclRevision || revision > kMaxAclRevision)
    return Refuse(sink, kErrorRevisionMismatch);
  if (!CheckAcl(a, kUnknownSize, nullptr)) return Refuse(sink, ERROR_INVALID_ACL);
  size_t firstFree = sizeof(ACL);
  for (size_t i = 0, n = Get16(a + kAceCountAt); i < n; ++i)
    firstFree += Get16(a + firstFree + kAceSizeAt);
  const size_t aceSize = kAceSidOffset + SidLength(s);
  if (firstFree + aceSize > Get16(a + kAclSizeAt)) return Refuse(sink, kErrorAllottedSpaceExceeded);
  BYTE* ace = a + firstFree;
  ace[0] = ACCESS_ALLOWED_ACE_TYPE;
  ace[1] = 0;
  Put16(ace + kAceSizeAt, static_cast<WORD>(aceSize));
  Put32(ace + kAceMaskAt, mask);
  std::memmove(ace + kAceSidOffset, s, SidLength(s));
  Put16(a + kAceCountAt, static_cast<WORD>(Get16(a + kAceCountAt) + 1));
  // Entry formats did not change between revisions, so a lower revision is
  // accepted and the list keeps the higher one.
  a[kAclRevisionAt] = static_cast<BYTE>(std::max<DWORD>(a[kAclRevisionAt], revision));
  return TRUE;
}

DWORD SimGetSecurityDescriptorLength(PSECURITY_DESCRIPTOR sd) {
  const BYTE* p = static_cast<const BYTE*>(sd);
  if (!p) return 0;
  const WORD control = Get16(p + kControlAt);
  const bool relative = (control & SE_SELF_RELATIVE) != 0;
  auto part = [&](size_t relField, size_t absField) -> const BYTE* {
    if (!relative) return GetPtr(p + absField);
    const DWORD off = Get32(p + relField);
    return off ? p + off : nullptr;
  };
  using SDR = SECURITY_DESCRIPTOR_RELATIVE;
  using SDA = SECURITY_DESCRIPTOR;
  // The sum of the parts, as Windows counts it, not the end of the last one.
  size_t sum = relative ? kRelHeader : kAbsHeader;
  if (const BYTE* o = part(offsetof(SDR, Owner), offsetof(SDA, Owner))) sum += Align4(SidLength(o));
  if (const BYTE* g = part(offsetof(SDR, Group), offsetof(SDA, Group))) sum += Align4(SidLength(g));
  if (control & SE_DACL_PRESENT)
    if (const BYTE* d = part(offsetof(SDR, Dacl), offsetof(SDA, Dacl)))
      sum += Align4(Get16(d + kAclSizeAt));
  if (control & SE_SACL_PRESENT)
    if (const BYTE* s = part(offsetof(SDR, Sacl), offsetof(SDA, Sacl)))
      sum += Align4(Get16(s + kAclSizeAt));
  return static_cast<DWORD>(sum);
}

BOOL SimInitializeSecurityDescriptor(const LastErrorSink& sink, PSECURITY_DESCRIPTOR sd,
                                     DWORD revision) {
  if (revision != SECURITY_DESCRIPTOR_REVISION) return Refuse(sink, kErrorUnknownRevision);
  BYTE* p = static_cast<BYTE*>(sd);
  if (!p) return Refuse(sink, kErrorNoAccess);
  std::memset(p, 0, kAbsHeader);
  p[0] = SECURITY_DESCRIPTOR_REVISION;
  return TRUE;
}

BOOL SimSetSecurityDescriptorDacl(const LastErrorSink& sink, PSECURITY_DESCRIPTOR sd, BOOL present,
                                  ACL* dacl, BOOL defaulted) {
  BYTE* p = static_cast<BYTE*>(sd);
  if (!p) return Refuse(sink, kErrorNoAccess);
  if (p[0] != SECURITY_DESCRIPTOR_REVISION) return Refuse(sink, kErrorUnknownRevision);
  WORD control = Get16(p + kControlAt);
  if (control & SE_SELF_RELATIVE) return Refuse(sink, ERROR_INVALID_SECURITY_DESCR);
  if (!present) {
    // Windows leaves the pointer and the defaulted bit as they were.
    Put16(p + kControlAt, static_cast<WORD>(control & ~SE_DACL_PRESENT));
    return TRUE;
  }
  PutPtr(p + offsetof(SECURITY_DESCRIPTOR, Dacl), dacl);
  control |= SE_DACL_PRESENT;
  control = defaulted ? (control | SE_DACL_DEFAULTED) : (control & ~SE_DACL_DEFAULTED);
  Put16(p + kControlAt, control);
  return TRUE;
}

// ---- Model ----

std::vector<BYTE> Sid::Bytes() const {
  std::vector<BYTE> b(kSidHeader + 4 * subAuthorities.size());
  b[0] = revision;
  b[1] = static_cast<BYTE>(subAuthorities.size());
  std::memcpy(&b[2], authority, sizeof authority);
  for (size_t i = 0; i < subAuthorities.size(); ++i)
    Put32(&b[kSidHeader + 4 * i], subAuthorities[i]);
  return b;
}

bool ParseSidString(std::string_view text, std::vector<BYTE>* sidBytes) {
  for (const SidAlias& a : kAliases) {
    if (text == a.name) {
      *sidBytes = AliasBytes(a);
      return true;
    }
  }
  if (text.substr(0, 2) != "S-") return false;
  text.remove_prefix(2);
  unsigned long long v = 0;
  size_t n = TakeDecimal(text, 0xFF, &v);
  if (n == 0 || v != kSidRevision || n >= text.size() || text[n] != '-') return false;
  text.remove_prefix(n + 1);

  Sid sid;
  unsigned long long authority = 0;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    size_t i = 2;
    while (i < text.size() && HexValue(text[i]) >= 0 && i < 14)
      authority = authority << 4 | static_cast<unsigned>(HexValue(text[i++]));
    n = i > 2 ? i : 0;
  } else {
    n = TakeDecimal(text, 0xFFFFFFFFFFFFull, &authority);
  }
  if (n == 0) return false;
  text.remove_prefix(n);
  for (int i = 5; i >= 0; --i, authority >>= 8) sid.authority[i] = static_cast<BYTE>(authority);

  while (!text.empty()) {
    if (text[0] != '-' || sid.subAuthorities.size() == kSidMaxSubAuthorities) return false;
    text.remove_prefix(1);
    n = TakeDecimal(text, 0xFFFFFFFFull, &v);
    if (n == 0) return false;
    sid.subAuthorities.push_back(static_cast<DWORD>(v));
    text.remove_prefix(n);
  }
  *sidBytes = sid.Bytes();
  return true;
}

std::string SidToString(const BYTE* sid, size_t size) {
  if (!sid || size < kSidHeader || !ValidSidHeader(sid) || size < SidLength(sid)) return "";
  std::string s = "S-" + std::to_string(sid[0]) + "-";
  if (sid[2] || sid[3]) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "0x%02X%02X%02X%02X%02X%02X", sid[2], sid[3], sid[4], sid[5],
                  sid[6], sid[7]);
    s += buf;
  } else {
    s += std::to_string(DWORD{sid[4]} << 24 | DWORD{sid[5]} << 16 | DWORD{sid[6]} << 8 | sid[7]);
  }
  for (size_t i = 0; i < sid[1]; ++i) s += "-" + std::to_string(Get32(sid + kSidHeader + 4 * i));
  return s;
}

bool operator==(const AceModel& a, const AceModel& b) {
  return a.type == b.type && a.flags == b.flags && a.mask == b.mask && a.sid == b.sid;
}

bool operator==(const SecurityModel& a, const SecurityModel& b) {
  return a.daclPresent == b.daclPresent && a.daclDefaulted == b.daclDefaulted &&
         a.daclNull == b.daclNull && a.dacl == b.dacl && a.owner == b.owner && a.group == b.group &&
         a.extraControl == b.extraControl;
}

std::vector<BYTE> BuildSelfRelative(const SecurityModel& model) {
  DescriptorParts p;
  p.control = model.extraControl & kModelControlMask;
  if (model.daclPresent) p.control |= SE_DACL_PRESENT;
  if (model.daclDefaulted) p.control |= SE_DACL_DEFAULTED;
  if (model.daclPresent && !model.daclNull) p.dacl = BuildAcl(model.dacl);
  p.owner = model.owner;
  p.group = model.group;
  return Assemble(p);
}

bool ParseDescriptor(const BYTE* sd, size_t size, SecurityModel* out, std::string* why) {
  RawDescriptor d;
  if (ReadDescriptor(sd, size, kAllParts, true, &d, why) != 0) return false;
  SecurityModel m;
  m.daclPresent = (d.control & SE_DACL_PRESENT) != 0;
  m.daclDefaulted = (d.control & SE_DACL_DEFAULTED) != 0;
  m.daclNull = m.daclPresent && !d.dacl.data;
  m.extraControl = d.control & kModelControlMask;
  if (d.owner.data) m.owner = Bytes(d.owner);
  if (d.group.data) m.group = Bytes(d.group);
  if (d.dacl.data) {
    // ReadDescriptor has checked every entry against the list's bounds.
    size_t off = sizeof(ACL);
    for (size_t i = 0, n = Get16(d.dacl.data + kAceCountAt); i < n; ++i) {
      const BYTE* ace = d.dacl.data + off;
      if (!IsKnownAceType(ace[0]))
        return Fail(why, "DACL: entry " + std::to_string(i) + " has type " +
                             std::to_string(ace[0]) + ", which the model does not hold");
      AceModel a;
      a.type = ace[0];
      a.flags = ace[1];
      a.mask = Get32(ace + kAceMaskAt);
      const BYTE* sid = ace + kAceSidOffset;
      a.sid.assign(sid, sid + SidLength(sid));
      m.dacl.push_back(std::move(a));
      off += Get16(ace + kAceSizeAt);
    }
  }
  if (out) *out = std::move(m);
  return true;
}

bool DaclBytes(const BYTE* selfRelative, size_t size, std::vector<BYTE>* acl) {
  RawDescriptor d;
  if (ReadDescriptor(selfRelative, size, kAllParts, true, &d, nullptr) != 0 || !d.dacl.data)
    return false;
  if (acl) *acl = Bytes(d.dacl);
  return true;
}

bool ParseSddl(std::string_view sddl, SecurityModel* out, std::string* why) {
  SecurityModel m;
  m.daclPresent = false;
  bool seen[3] = {false, false, false};  // O, G, D
  std::string_view t = sddl;
  while (!t.empty()) {
    const size_t pos = sddl.size() - t.size();
    if (t.size() < 2 || t[1] != ':')
      return Fail(why, "expected O:, G: or D: at " + std::to_string(pos));
    const char part = t[0];
    t.remove_prefix(2);
    if (part == 'O' || part == 'G') {
      bool& s = seen[part == 'O' ? 0 : 1];
      if (s) return Fail(why, std::string(1, part) + ": given twice");
      s = true;
      const size_t n = ScanSidToken(t);
      std::vector<BYTE> sid;
      if (n == 0 || !ParseSidString(t.substr(0, n), &sid))
        return Fail(why, "unknown SID at " + std::to_string(pos + 2));
      (part == 'O' ? m.owner : m.group) = std::move(sid);
      t.remove_prefix(n);
    } else if (part == 'D') {
      if (seen[2]) return Fail(why, "D: given twice");
      seen[2] = true;
      m.daclPresent = true;
      for (;;) {
        if (t.substr(0, 17) == "NO_ACCESS_CONTROL") {
          m.daclNull = true;
          t.remove_prefix(17);
        } else if (t.substr(0, 1) == "P") {
          m.extraControl |= kDaclProtected;
          t.remove_prefix(1);
        } else if (t.substr(0, 2) == "AI") {
          m.extraControl |= kDaclAutoInherited;
          t.remove_prefix(2);
        } else if (t.substr(0, 2) == "AR") {
          m.extraControl |= kDaclAutoInheritReq;
          t.remove_prefix(2);
        } else {
          break;
        }
      }
      while (!t.empty() && t[0] == '(') {
        const size_t close = t.find(')');
        if (close == std::string_view::npos) return Fail(why, "unclosed entry");
        if (m.daclNull) return Fail(why, "entries after NO_ACCESS_CONTROL");
        AceModel ace;
        if (!ParseAce(t.substr(1, close - 1), &ace, why)) return false;
        m.dacl.push_back(std::move(ace));
        t.remove_prefix(close + 1);
      }
    } else if (part == 'S') {
      return Fail(why, "SACLs are not supported");
    } else {
      return Fail(why, "expected O:, G: or D: at " + std::to_string(pos));
    }
  }
  if (out) *out = std::move(m);
  return true;
}

std::string ToSddl(const SecurityModel& model) {
  std::string s;
  if (!model.owner.empty()) s += "O:" + SidText(model.owner);
  if (!model.group.empty()) s += "G:" + SidText(model.group);
  if (!model.daclPresent) return s;
  s += "D:";
  if (model.extraControl & kDaclProtected) s += "P";
  if (model.extraControl & kDaclAutoInheritReq) s += "AR";
  if (model.extraControl & kDaclAutoInherited) s += "AI";
  if (model.daclNull) return s + "NO_ACCESS_CONTROL";
  for (const AceModel& a : model.dacl) {
    s += "(";
    for (const Code& c : kAceTypes)
      if (c.value == a.type) s += c.text;
    s += ";";
    for (const Code& c : kAceFlags)
      if (a.flags & c.value) s += c.text;
    s += ";" + RightsText(a.mask) + ";;;" + SidText(a.sid) + ")";
  }
  return s;
}

SecurityModel DefaultKeySecurity() {
  SecurityModel m;
  std::vector<BYTE> sy, ba, bu;
  ParseSidString("SY", &sy);
  ParseSidString("BA", &ba);
  ParseSidString("BU", &bu);
  constexpr BYTE kContainerInherit = 0x02;
  m.owner = ba;
  m.group = sy;
  m.dacl = {{ACCESS_ALLOWED_ACE_TYPE, kContainerInherit, KEY_ALL_ACCESS, sy},
            {ACCESS_ALLOWED_ACE_TYPE, kContainerInherit, KEY_ALL_ACCESS, ba},
            {ACCESS_ALLOWED_ACE_TYPE, kContainerInherit, KEY_READ, bu}};
  return m;
}

std::vector<BYTE> SelectSecurityParts(const std::vector<BYTE>& stored, SECURITY_INFORMATION info) {
  RawDescriptor d;
  if (ReadDescriptor(stored.data(), stored.size(), kAllParts, true, &d, nullptr) != 0) return {};
  DescriptorParts p;
  if (info & OWNER_SECURITY_INFORMATION) {
    p.control |= d.control & SE_OWNER_DEFAULTED;
    if (d.owner.data) p.owner = Bytes(d.owner);
  }
  if (info & GROUP_SECURITY_INFORMATION) {
    p.control |= d.control & SE_GROUP_DEFAULTED;
    if (d.group.data) p.group = Bytes(d.group);
  }
  if (info & DACL_SECURITY_INFORMATION) {
    p.control |= d.control & kDaclControl;
    if (d.dacl.data) p.dacl = Bytes(d.dacl);
  }
  return Assemble(p);
}

LONG MergeSecurityParts(std::vector<BYTE>* stored, SECURITY_INFORMATION info,
                        PSECURITY_DESCRIPTOR incoming, size_t incomingSizeIfKnown) {
  if (!stored) return ERROR_INVALID_PARAMETER;
  const SECURITY_INFORMATION parts =
      info & (OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION);
  RawDescriptor in;
  const DWORD e = ReadDescriptor(static_cast<const BYTE*>(incoming),
                                 incomingSizeIfKnown ? incomingSizeIfKnown : kUnknownSize, parts,
                                 false, &in, nullptr);
  if (e != 0) return static_cast<LONG>(e);
  if ((parts & OWNER_SECURITY_INFORMATION) && !in.owner.data) return kErrorInvalidOwner;
  if ((parts & GROUP_SECURITY_INFORMATION) && !in.group.data) return kErrorInvalidPrimaryGroup;

  RawDescriptor cur;
  if (ReadDescriptor(stored->data(), stored->size(), kAllParts, true, &cur, nullptr) != 0)
    return ERROR_INVALID_SECURITY_DESCR;
  DescriptorParts next;
  next.control = cur.control;
  if (cur.owner.data) next.owner = Bytes(cur.owner);
  if (cur.group.data) next.group = Bytes(cur.group);
  if (cur.dacl.data) next.dacl = Bytes(cur.dacl);
  if (parts & OWNER_SECURITY_INFORMATION) {
    next.owner = Bytes(in.owner);
    next.control =
        static_cast<WORD>((next.control & ~SE_OWNER_DEFAULTED) | (in.control & SE_OWNER_DEFAULTED));
  }
  if (parts & GROUP_SECURITY_INFORMATION) {
    next.group = Bytes(in.group);
    next.control =
        static_cast<WORD>((next.control & ~SE_GROUP_DEFAULTED) | (in.control & SE_GROUP_DEFAULTED));
  }
  if (parts & DACL_SECURITY_INFORMATION) {
    // Without SE_DACL_PRESENT the key ends up with no DACL, as on Windows.
    next.dacl = in.dacl.data ? Bytes(in.dacl) : std::vector<BYTE>();
    next.control = static_cast<WORD>((next.control & ~kDaclControl) | (in.control & kDaclControl));
  }
  *stored = Assemble(next);
  return ERROR_SUCCESS;
}

LONG AccessCheck(const std::vector<BYTE>& selfRelative,
                 const std::vector<std::vector<BYTE>>& callerSids, ACCESS_MASK desired,
                 ACCESS_MASK* granted) {
  if (granted) *granted = 0;
  RawDescriptor d;
  if (ReadDescriptor(selfRelative.data(), selfRelative.size(), kAllParts, true, &d, nullptr) != 0)
    return ERROR_INVALID_SECURITY_DESCR;
  const bool wantMaximum = (desired & MAXIMUM_ALLOWED) != 0;
  const ACCESS_MASK want = MapGeneric(desired & ~MAXIMUM_ALLOWED);
  if ((want & ~kGrantable) || (!wantMaximum && want == 0)) return ERROR_ACCESS_DENIED;

  if (!(d.control & SE_DACL_PRESENT) || !d.dacl.data) {
    if (granted) *granted = wantMaximum ? (want | KEY_ALL_ACCESS) : want;
    return ERROR_SUCCESS;
  }

  ACCESS_MASK allowed = 0;
  ACCESS_MASK denied = 0;
  // The owner's implicit rights come before the DACL: no entry can deny them.
  if (d.owner.data && Holds(callerSids, d.owner.data)) allowed |= READ_CONTROL | WRITE_DAC;
  size_t off = sizeof(ACL);
  for (size_t i = 0, n = Get16(d.dacl.data + kAceCountAt); i < n; ++i) {
    const BYTE* ace = d.dacl.data + off;
    off += Get16(ace + kAceSizeAt);
    const BYTE type = ace[0];
    if (type != ACCESS_ALLOWED_ACE_TYPE && type != ACCESS_DENIED_ACE_TYPE) continue;
    if ((ace[1] & kInheritOnlyAce) || !Holds(callerSids, ace + kAceSidOffset)) continue;
    const ACCESS_MASK m = MapGeneric(Get32(ace + kAceMaskAt)) & kGrantable;
    if (type == ACCESS_ALLOWED_ACE_TYPE)
      allowed |= m & ~denied;
    else
      denied |= m & ~allowed;
  }
  if ((want & ~allowed) || (wantMaximum && allowed == 0)) return ERROR_ACCESS_DENIED;
  if (granted) *granted = wantMaximum ? allowed : want;
  return ERROR_SUCCESS;
}

}  // namespace cw::sim
