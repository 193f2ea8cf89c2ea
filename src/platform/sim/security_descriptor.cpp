// Security descriptors as bytes: checking and reading them, laying them out
// from the model, and the parts RegGetKeySecurity hands out and
// RegSetKeySecurity takes in.
#include "platform/sim/security.h"

#include <algorithm>
#include <string>

#include "platform/sim/security_layout.h"

namespace cw::sim {
namespace layout {

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

DWORD ReadDescriptor(const BYTE* sd, size_t size, SECURITY_INFORMATION parts, bool selfRelativeOnly,
                     RawDescriptor* out, std::string* why) {
  if (!sd) return Reject(why, "no descriptor", ERROR_NOACCESS);
  if (size < kControlAt + sizeof(WORD))
    return Reject(why, "shorter than a descriptor header", ERROR_INVALID_SECURITY_DESCR);
  if (sd[0] != SECURITY_DESCRIPTOR_REVISION)
    return Reject(why, "revision " + std::to_string(sd[0]), ERROR_UNKNOWN_REVISION);
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

std::vector<BYTE> Bytes(const Part& p) { return std::vector<BYTE>(p.data, p.data + p.size); }

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

}  // namespace layout

using namespace layout;

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
  if ((parts & OWNER_SECURITY_INFORMATION) && !in.owner.data) return ERROR_INVALID_OWNER;
  if ((parts & GROUP_SECURITY_INFORMATION) && !in.group.data) return ERROR_INVALID_PRIMARY_GROUP;

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

}  // namespace cw::sim
