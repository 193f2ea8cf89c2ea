// The binary layout of security descriptors, access lists and SIDs, shared
// by the files of the simulated security: Windows' sizes, offsets and codes,
// byte-wise field access, and the checked reading and the laying out of
// self-relative descriptors.
#pragma once

#include <cstddef>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "platform/sim/security.h"
#include "platform/win_constants.h"

namespace cw::sim::layout {

// winnt.h values used only by these files.
inline constexpr BYTE kSidRevision = 1;
inline constexpr BYTE kSidMaxSubAuthorities = 15;
inline constexpr size_t kSidHeader = 8;      // revision, count, 6-byte authority
inline constexpr DWORD kMinAclRevision = 2;  // ACL_REVISION2
inline constexpr DWORD kMaxAclRevision = 4;  // ACL_REVISION4, the same as ACL_REVISION_DS
inline constexpr DWORD kMaxAclSize = 0xFFFF;
inline constexpr BYTE kSystemAlarmAceType = 3;
inline constexpr BYTE kInheritOnlyAce = 0x08;
inline constexpr WORD kDaclAutoInheritReq = 0x0100;
inline constexpr WORD kDaclAutoInherited = 0x0400;
inline constexpr WORD kDaclProtected = 0x1000;
// The control bits that travel with the DACL when it is read or replaced.
inline constexpr WORD kDaclControl =
    SE_DACL_PRESENT | SE_DACL_DEFAULTED | kDaclAutoInheritReq | kDaclAutoInherited | kDaclProtected;
inline constexpr WORD kModelControlMask =
    static_cast<WORD>(~(SE_DACL_PRESENT | SE_DACL_DEFAULTED | SE_SACL_PRESENT | SE_SELF_RELATIVE));
inline constexpr ACCESS_MASK kGenericRead = 0x80000000u;
inline constexpr ACCESS_MASK kGenericWrite = 0x40000000u;
inline constexpr ACCESS_MASK kGenericExecute = 0x20000000u;
inline constexpr ACCESS_MASK kKeyExecute = 0x20019;
// Standard and specific rights: all that an entry can grant. ACCESS_SYSTEM_SECURITY
// needs a privilege, which the caller's SIDs do not carry.
inline constexpr ACCESS_MASK kGrantable = 0x001FFFFF;

inline constexpr size_t kRelHeader = sizeof(SECURITY_DESCRIPTOR_RELATIVE);
inline constexpr size_t kAbsHeader = sizeof(SECURITY_DESCRIPTOR);
inline constexpr size_t kAceSidOffset = offsetof(ACCESS_ALLOWED_ACE, SidStart);
inline constexpr size_t kUnknownSize = std::numeric_limits<size_t>::max();

inline constexpr size_t kAclRevisionAt = offsetof(ACL, AclRevision);
inline constexpr size_t kAclSizeAt = offsetof(ACL, AclSize);
inline constexpr size_t kAceCountAt = offsetof(ACL, AceCount);
inline constexpr size_t kAceSizeAt = offsetof(ACE_HEADER, AceSize);
inline constexpr size_t kAceMaskAt = offsetof(ACCESS_ALLOWED_ACE, Mask);
inline constexpr size_t kControlAt = offsetof(SECURITY_DESCRIPTOR, Control);

// Fields are read and written byte-wise: descriptors handed in from outside
// need not be aligned.
inline WORD Get16(const BYTE* p) {
  WORD v;
  std::memcpy(&v, p, sizeof v);
  return v;
}
inline DWORD Get32(const BYTE* p) {
  DWORD v;
  std::memcpy(&v, p, sizeof v);
  return v;
}
inline BYTE* GetPtr(const BYTE* p) {
  void* v;
  std::memcpy(&v, p, sizeof v);
  return static_cast<BYTE*>(v);
}
inline void Put16(BYTE* p, WORD v) { std::memcpy(p, &v, sizeof v); }
inline void Put32(BYTE* p, DWORD v) { std::memcpy(p, &v, sizeof v); }
inline void PutPtr(BYTE* p, const void* v) { std::memcpy(p, &v, sizeof v); }

inline size_t Align4(size_t n) { return (n + 3) & ~size_t{3}; }

inline bool Fail(std::string* why, const std::string& reason) {
  if (why) *why = reason;
  return false;
}
inline DWORD Reject(std::string* why, const std::string& reason, DWORD code) {
  if (why) *why = reason;
  return code;
}
inline BOOL Refuse(const LastErrorSink& sink, DWORD code) {
  sink.Set(code);
  return FALSE;
}

// RtlValidSid on the header; the body is taken to be as long as the count says.
inline bool ValidSidHeader(const BYTE* sid) {
  return sid[0] == kSidRevision && sid[1] <= kSidMaxSubAuthorities;
}
inline size_t SidLength(const BYTE* sid) { return kSidHeader + 4u * sid[1]; }

// Entries laid out as header, mask, SID (allowed, denied, audit, alarm).
inline bool IsKnownAceType(BYTE type) { return type <= kSystemAlarmAceType; }

// RtlValidAcl's rules, with the list bounded by `avail` readable bytes
// (kUnknownSize: by its own AclSize).
bool CheckAcl(const BYTE* acl, size_t avail, std::string* why);

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
                     RawDescriptor* out, std::string* why);

inline constexpr SECURITY_INFORMATION kAllParts =
    OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION |
    SACL_SECURITY_INFORMATION;

std::vector<BYTE> Bytes(const Part& p);

// A self-relative descriptor to be laid out. dacl empty with SE_DACL_PRESENT
// set in control: a NULL DACL.
struct DescriptorParts {
  WORD control = 0;
  std::vector<BYTE> owner, group, dacl;
};
// Windows' layout: header, (SACL,) DACL, owner, group, each on a 4-byte boundary.
std::vector<BYTE> Assemble(const DescriptorParts& p);
// An ACL_REVISION list sized to its entries.
std::vector<BYTE> BuildAcl(const std::vector<AceModel>& aces);

}  // namespace cw::sim::layout
