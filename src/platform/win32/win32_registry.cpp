// The real Windows behind the platform seam: the registry and key security,
// descriptors and access lists. Each operation is one call of the API, with
// its result and last error handed back untouched.
#include "platform/win32/win32_platform.h"

#include "platform/win32/win32_convert.h"

namespace cw::win32 {

using namespace convert;

// ---------------------------------------------------------------------------
// Registry

LONG Win32Platform::RegOpenKeyA(HKEY key, const char* subKey, HKEY* result) {
  KeyOut out(result);
  return ::RegOpenKeyA(RealKey(key), subKey, out.get());
}

LONG Win32Platform::RegOpenKeyExA(HKEY key, const char* subKey, DWORD options, REGSAM access,
                                  HKEY* result) {
  KeyOut out(result);
  return ::RegOpenKeyExA(RealKey(key), subKey, options, access, out.get());
}

LONG Win32Platform::RegCreateKeyExA(HKEY key, const char* subKey, DWORD reserved, DWORD options,
                                    REGSAM access, HKEY* result, DWORD* disposition) {
  KeyOut out(result);
  return ::RegCreateKeyExA(RealKey(key), subKey, reserved, nullptr, options, access, nullptr,
                           out.get(), Dw(disposition));
}

LONG Win32Platform::RegQueryValueExA(HKEY key, const char* valueName, DWORD* type, BYTE* data,
                                     DWORD* dataSize) {
  return ::RegQueryValueExA(RealKey(key), valueName, nullptr, Dw(type), data, Dw(dataSize));
}

LONG Win32Platform::RegSetValueExA(HKEY key, const char* valueName, DWORD reserved, DWORD type,
                                   const BYTE* data, DWORD dataSize) {
  return ::RegSetValueExA(RealKey(key), valueName, reserved, type, data, dataSize);
}

LONG Win32Platform::RegFlushKey(HKEY key) { return ::RegFlushKey(RealKey(key)); }

LONG Win32Platform::RegDeleteKeyA(HKEY key, const char* subKey) {
  return ::RegDeleteKeyA(RealKey(key), subKey);
}

LONG Win32Platform::RegCloseKey(HKEY key) { return ::RegCloseKey(RealKey(key)); }

LONG Win32Platform::RegQueryInfoKeyA(HKEY key, char* className, DWORD* classNameSize,
                                     DWORD* subKeys, DWORD* maxSubKeyLen, DWORD* maxClassLen,
                                     DWORD* values, DWORD* maxValueNameLen, DWORD* maxValueLen,
                                     DWORD* securityDescriptorSize, FILETIME* lastWriteTime) {
  return ::RegQueryInfoKeyA(RealKey(key), className, Dw(classNameSize), nullptr, Dw(subKeys),
                            Dw(maxSubKeyLen), Dw(maxClassLen), Dw(values), Dw(maxValueNameLen),
                            Dw(maxValueLen), Dw(securityDescriptorSize),
                            reinterpret_cast<::FILETIME*>(lastWriteTime));
}

// Key security exists on the NT family only, and whether Windows 9x's
// ADVAPI32 exports these two at all (as stubs) is in doubt: they are looked
// up when called, so the program loads either way, and where they are
// missing the answer is the one a 9x stub gives.
namespace {
template <typename Function>
Function Advapi32Export(const char* name) {
  const ::HMODULE advapi32 = ::GetModuleHandleA("advapi32.dll");
  if (advapi32 == nullptr) return nullptr;
  // Through void*: FARPROC's own type is no function's real one.
  return reinterpret_cast<Function>(reinterpret_cast<void*>(::GetProcAddress(advapi32, name)));
}
}  // namespace

LONG Win32Platform::RegGetKeySecurity(HKEY key, SECURITY_INFORMATION info,
                                      PSECURITY_DESCRIPTOR descriptor, DWORD* size) {
  const auto get = Advapi32Export<decltype(&::RegGetKeySecurity)>("RegGetKeySecurity");
  if (get == nullptr) return ERROR_CALL_NOT_IMPLEMENTED;
  return get(RealKey(key), info, descriptor, Dw(size));
}

LONG Win32Platform::RegSetKeySecurity(HKEY key, SECURITY_INFORMATION info,
                                      PSECURITY_DESCRIPTOR descriptor) {
  const auto set = Advapi32Export<decltype(&::RegSetKeySecurity)>("RegSetKeySecurity");
  if (set == nullptr) return ERROR_CALL_NOT_IMPLEMENTED;
  return set(RealKey(key), info, descriptor);
}

// ---------------------------------------------------------------------------
// Security descriptors and access lists

BOOL Win32Platform::GetSecurityDescriptorDacl(PSECURITY_DESCRIPTOR descriptor, BOOL* present,
                                              ACL** dacl, BOOL* defaulted) {
  return ::GetSecurityDescriptorDacl(descriptor, present, reinterpret_cast<::PACL*>(dacl),
                                     defaulted);
}

BOOL Win32Platform::GetAce(ACL* acl, DWORD index, void** ace) {
  return ::GetAce(RealAcl(acl), index, ace);
}

DWORD Win32Platform::GetLengthSid(PSID sid) { return ::GetLengthSid(sid); }

BOOL Win32Platform::InitializeAcl(ACL* acl, DWORD size, DWORD revision) {
  return ::InitializeAcl(RealAcl(acl), size, revision);
}

BOOL Win32Platform::AddAccessAllowedAce(ACL* acl, DWORD revision, DWORD mask, PSID sid) {
  return ::AddAccessAllowedAce(RealAcl(acl), revision, mask, sid);
}

DWORD Win32Platform::GetSecurityDescriptorLength(PSECURITY_DESCRIPTOR descriptor) {
  return ::GetSecurityDescriptorLength(descriptor);
}

BOOL Win32Platform::InitializeSecurityDescriptor(PSECURITY_DESCRIPTOR descriptor,
                                                 DWORD revision) {
  return ::InitializeSecurityDescriptor(descriptor, revision);
}

BOOL Win32Platform::SetSecurityDescriptorDacl(PSECURITY_DESCRIPTOR descriptor, BOOL present,
                                              ACL* dacl, BOOL defaulted) {
  return ::SetSecurityDescriptorDacl(descriptor, present, RealAcl(dacl), defaulted);
}
}  // namespace cw::win32
