// The access check made when a key is opened.
#include "platform/sim/security.h"

#include <cstring>

#include "platform/sim/security_layout.h"

namespace cw::sim {

using namespace layout;

namespace {

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

}  // namespace

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
