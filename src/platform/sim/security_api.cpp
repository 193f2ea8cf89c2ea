// The advapi32 calls on descriptors, ACLs and SIDs, with Windows' argument
// checks, their order and their error codes.
#include "platform/sim/security.h"

#include <algorithm>
#include <cstring>

#include "platform/sim/security_layout.h"

namespace cw::sim {

using namespace layout;

// ---- advapi32 ----

BOOL SimGetSecurityDescriptorDacl(const LastErrorSink& sink, PSECURITY_DESCRIPTOR sd, BOOL* present,
                                  ACL** dacl, BOOL* defaulted) {
  BYTE* p = static_cast<BYTE*>(sd);
  if (!p) return Refuse(sink, ERROR_NOACCESS);
  if (p[0] != SECURITY_DESCRIPTOR_REVISION) return Refuse(sink, ERROR_UNKNOWN_REVISION);
  const WORD control = Get16(p + kControlAt);
  const bool isPresent = (control & SE_DACL_PRESENT) != 0;
  // The outputs Windows writes, and faults on when they are null.
  if (!present || (isPresent && (!dacl || !defaulted))) return Refuse(sink, ERROR_NOACCESS);
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
  if (!a) return Refuse(sink, ERROR_NOACCESS);
  const BYTE revision = a[kAclRevisionAt];
  if (revision < kMinAclRevision || revision > kMaxAclRevision || index >= Get16(a + kAceCountAt))
    return Refuse(sink, ERROR_INVALID_PARAMETER);
  if (!ace) return Refuse(sink, ERROR_NOACCESS);
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
  if (!a) return Refuse(sink, ERROR_NOACCESS);
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
  if (!a) return Refuse(sink, ERROR_NOACCESS);
  if (a[kAclRevisionAt] > kMaxAclRevision || revision > kMaxAclRevision)
    return Refuse(sink, ERROR_REVISION_MISMATCH);
  if (!CheckAcl(a, kUnknownSize, nullptr)) return Refuse(sink, ERROR_INVALID_ACL);
  size_t firstFree = sizeof(ACL);
  for (size_t i = 0, n = Get16(a + kAceCountAt); i < n; ++i)
    firstFree += Get16(a + firstFree + kAceSizeAt);
  const size_t aceSize = kAceSidOffset + SidLength(s);
  if (firstFree + aceSize > Get16(a + kAclSizeAt)) return Refuse(sink, ERROR_ALLOTTED_SPACE_EXCEEDED);
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
  if (revision != SECURITY_DESCRIPTOR_REVISION) return Refuse(sink, ERROR_UNKNOWN_REVISION);
  BYTE* p = static_cast<BYTE*>(sd);
  if (!p) return Refuse(sink, ERROR_NOACCESS);
  std::memset(p, 0, kAbsHeader);
  p[0] = SECURITY_DESCRIPTOR_REVISION;
  return TRUE;
}

BOOL SimSetSecurityDescriptorDacl(const LastErrorSink& sink, PSECURITY_DESCRIPTOR sd, BOOL present,
                                  ACL* dacl, BOOL defaulted) {
  BYTE* p = static_cast<BYTE*>(sd);
  if (!p) return Refuse(sink, ERROR_NOACCESS);
  if (p[0] != SECURITY_DESCRIPTOR_REVISION) return Refuse(sink, ERROR_UNKNOWN_REVISION);
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

}  // namespace cw::sim
