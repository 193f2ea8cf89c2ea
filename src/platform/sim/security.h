// The simulated Windows' security descriptors and access lists.
//
// Two layers:
// - the advapi32 calls the wizard makes on descriptors and ACLs (Sim*), with
//   Windows' argument checks, their order and their error codes, reported
//   through the simulated thread's last error;
// - the model the simulated registry keeps per key: a self-relative
//   descriptor, its conversion to and from a small SDDL subset, what
//   RegGetKeySecurity hands out and RegSetKeySecurity takes in, and the access
//   check made when a key is opened.
//
// Memory assumptions. Functions that get a size check every offset and length
// against it and never read outside it. The advapi32 calls get raw pointers, as
// on Windows, and take the blocks to be as long as they declare, as Windows
// does: a descriptor holds its header (20 bytes self-relative, or
// sizeof(SECURITY_DESCRIPTOR) absolute); an ACL holds AclSize bytes (and at
// least its 8-byte header); a SID holds 8 + 4 * SubAuthorityCount bytes.
// Within those bounds every entry is checked before it is read. Where Windows
// would fault on a null pointer, the calls fail with ERROR_NOACCESS (998), the
// code Windows gives an access violation it catches.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "platform/win_types.h"

namespace cw::sim {

// Last-error sink: each BOOL function reports its failure by calling this (the
// simulated thread's SetLastError). A call that succeeds leaves it alone.
using SetLastErrorFn = void (*)(void* context, DWORD error);
struct LastErrorSink {
  SetLastErrorFn set;
  void* context;
  void Set(DWORD e) const {
    if (set) set(context, e);
  }
};

// ---- advapi32 ----

// Both descriptor forms. Not present: *present = FALSE and *dacl, *defaulted
// are left as they were (Windows gives them no value then).
BOOL SimGetSecurityDescriptorDacl(const LastErrorSink& sink, PSECURITY_DESCRIPTOR sd, BOOL* present,
                                  ACL** dacl, BOOL* defaulted);
BOOL SimGetAce(const LastErrorSink& sink, ACL* acl, DWORD index, void** ace);
// 8 + 4 * SubAuthorityCount, unchecked as on Windows (0 for a null pointer).
DWORD SimGetLengthSid(PSID sid);
BOOL SimInitializeAcl(const LastErrorSink& sink, ACL* acl, DWORD size, DWORD revision);
BOOL SimAddAccessAllowedAce(const LastErrorSink& sink, ACL* acl, DWORD revision, DWORD mask,
                            PSID sid);
// Header size (20 self-relative, sizeof(SECURITY_DESCRIPTOR) absolute) plus
// each part that is there, rounded up to 4 bytes. 0 for a null pointer.
DWORD SimGetSecurityDescriptorLength(PSECURITY_DESCRIPTOR sd);
// Zeroes sizeof(SECURITY_DESCRIPTOR) bytes: the block must be at least that big.
BOOL SimInitializeSecurityDescriptor(const LastErrorSink& sink, PSECURITY_DESCRIPTOR sd,
                                     DWORD revision);
// Absolute descriptors only. present FALSE clears SE_DACL_PRESENT and ignores
// dacl and defaulted.
BOOL SimSetSecurityDescriptorDacl(const LastErrorSink& sink, PSECURITY_DESCRIPTOR sd, BOOL present,
                                  ACL* dacl, BOOL defaulted);

// ---- Model used by the simulated registry ----

struct Sid {
  BYTE revision = 1;
  BYTE authority[6] = {};             // big-endian, as in the SID
  std::vector<DWORD> subAuthorities;  // at most 15 make a valid SID
  std::vector<BYTE> Bytes() const;
};

// "S-1-5-32-544" (authority in decimal, or 0x and up to 12 hex digits) and the
// SDDL aliases BA, SY, WD, AU, BU, CO, CG, PU, LS, NS. False on anything else,
// *sidBytes unchanged.
bool ParseSidString(std::string_view text, std::vector<BYTE>* sidBytes);
// "S-1-5-18"; "" when the bytes are not a valid SID.
std::string SidToString(const BYTE* sid, size_t size);

struct AceModel {
  BYTE type = 0;   // ACCESS_ALLOWED_ACE_TYPE, ACCESS_DENIED_ACE_TYPE (audit 2, alarm 3 kept too)
  BYTE flags = 0;  // OI 0x1, CI 0x2, NP 0x4, IO 0x8, ID 0x10
  DWORD mask = 0;
  std::vector<BYTE> sid;
};

struct SecurityModel {
  bool daclPresent = true;     // false: no DACL at all (SE_DACL_PRESENT clear)
  bool daclDefaulted = false;  // SE_DACL_DEFAULTED
  bool daclNull = false;       // present with no list: everyone gets everything
  std::vector<AceModel> dacl;
  std::vector<BYTE> owner;  // empty: none
  std::vector<BYTE> group;  // empty: none
  // Control bits besides SE_DACL_PRESENT, SE_DACL_DEFAULTED, SE_SACL_PRESENT and
  // SE_SELF_RELATIVE (for instance SE_DACL_PROTECTED 0x1000).
  WORD extraControl = 0;
};

bool operator==(const AceModel& a, const AceModel& b);
bool operator==(const SecurityModel& a, const SecurityModel& b);
inline bool operator!=(const AceModel& a, const AceModel& b) { return !(a == b); }
inline bool operator!=(const SecurityModel& a, const SecurityModel& b) { return !(a == b); }

// Self-relative bytes, revision 1, laid out as Windows lays them out: the
// 20-byte header, then the DACL, the owner and the group, each on a 4-byte
// boundary. No SACL. The DACL is an ACL_REVISION list sized to its entries.
// Model SIDs are copied as they are (ParseDescriptor rejects invalid ones).
std::vector<BYTE> BuildSelfRelative(const SecurityModel& model);
// Self-relative only, every offset and length checked against `size`; bytes
// past the parts are allowed. A SACL is checked and left out of the model.
// False with the reason on anything malformed, or on entries the model cannot
// hold (types other than 0..3); *out is then unchanged.
bool ParseDescriptor(const BYTE* sd, size_t size, SecurityModel* out, std::string* why);
// The DACL alone as raw ACL bytes (AclSize of them); false when the descriptor
// is malformed or has no DACL or a NULL one.
bool DaclBytes(const BYTE* selfRelative, size_t size, std::vector<BYTE>* acl);

// SDDL for the descriptor's owner, group and DACL, e.g.
// "O:BAG:SYD:(A;CI;KA;;;SY)(D;;0x1;;;WD)". Subset: ACE types A, D (AU, AL),
// flags OI CI NP IO ID, rights KA KR KW KX GA GR GW GX (concatenated) or 0x
// hex, empty object GUIDs, DACL flags P AI AR and NO_ACCESS_CONTROL (NULL
// DACL); no "D:" means no DACL. SDDL has no place for SE_DACL_DEFAULTED or
// control bits other than the DACL flags: those are not written.
bool ParseSddl(std::string_view sddl, SecurityModel* out, std::string* why);
std::string ToSddl(const SecurityModel& model);

// A new key's descriptor unless the machine says otherwise: owner BA, group SY,
// DACL (A;CI;KA;;;SY)(A;CI;KA;;;BA)(A;CI;KR;;;BU), as Windows XP gives driver keys.
SecurityModel DefaultKeySecurity();

// RegGetKeySecurity: a self-relative descriptor with only the parts `info`
// names (OWNER, GROUP, DACL; other bits are the caller's to check), with their
// control bits. Empty when `stored` is malformed.
std::vector<BYTE> SelectSecurityParts(const std::vector<BYTE>& stored, SECURITY_INFORMATION info);
// RegSetKeySecurity: replaces in *stored the parts `info` names with those of
// `incoming` (absolute or self-relative; incomingSizeIfKnown 0 when the block's
// size is not known). Returns the Windows error, 0 on success; on error
// *stored is unchanged. Windows' codes: ERROR_NOACCESS null descriptor,
// ERROR_INVALID_SECURITY_DESCR header or part outside the known block,
// ERROR_UNKNOWN_REVISION revision not 1, ERROR_INVALID_SID bad owner or group
// SID, ERROR_INVALID_ACL malformed DACL, ERROR_INVALID_OWNER /
// ERROR_INVALID_PRIMARY_GROUP owner or group asked for but missing.
LONG MergeSecurityParts(std::vector<BYTE>* stored, SECURITY_INFORMATION info,
                        PSECURITY_DESCRIPTOR incoming, size_t incomingSizeIfKnown);

// The access check made when a key is opened: would a caller holding
// `callerSids` get `desired` under this descriptor? Windows' order: the owner
// gets READ_CONTROL and WRITE_DAC first; then the DACL in order, where an
// allowing entry grants and a denying one denies the bits it names that are not
// granted yet (entries for SIDs not held, inherit-only entries and other types
// are skipped); no DACL or a NULL one grants everything; an empty one nothing
// but the owner's rights. Generic bits map with the registry's mapping.
// MAXIMUM_ALLOWED grants all that can be granted (denied if that is nothing).
// An empty request is denied, as SeAccessCheck denies it. Returns
// ERROR_SUCCESS or ERROR_ACCESS_DENIED (ERROR_INVALID_SECURITY_DESCR for a
// malformed descriptor); *granted is 0 unless access is granted.
LONG AccessCheck(const std::vector<BYTE>& selfRelative,
                 const std::vector<std::vector<BYTE>>& callerSids, ACCESS_MASK desired,
                 ACCESS_MASK* granted);

}  // namespace cw::sim
