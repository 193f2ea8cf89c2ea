// A stand-in for the SAA713x driver's COM component "34com.dll" under Wine: it
// answers the calls the wizard makes, by the same method positions, and no more.
// Identifiers and method positions are the wizard's (src/access/vamp_device.h):
// device list 7 count, 8 device; IVampDevice 21 item object; item 11 query.
// Settings (tests/wine/README.md): DWORDs "Item22" (default 0) and "DeviceCount"
// (default 1). Every other method answers E_NOTIMPL.
#include <windows.h>
#include <objbase.h>
#include <oaidl.h>
#include <olectl.h>

#include <new>
#include <string>

namespace {

// The component's own identifiers, written out here rather than taken from the wizard.
const CLSID kDeviceListClass = {0xB8A9279E, 0xC453, 0x11D4, {0xAD, 0x45, 0x00, 0x60, 0x08, 0x0B, 0xA6, 0x34}};
const IID kDeviceListIid = {0xB8A9279D, 0xC453, 0x11D4, {0xAD, 0x45, 0x00, 0x60, 0x08, 0x0B, 0xA6, 0x34}};
const IID kVampDeviceIid = {0xB8A9279F, 0xC453, 0x11D4, {0xAD, 0x45, 0x00, 0x60, 0x08, 0x0B, 0xA6, 0x34}};
const IID kItemIid = {0xB50FC4B1, 0xCD0E, 0x11D4, {0xAD, 0x5D, 0x00, 0x60, 0x08, 0x0B, 0xA6, 0x34}};
const char kClassKey[] = "CLSID\\{B8A9279E-C453-11D4-AD45-0060080BA634}";
const char kSettingsKey[] = "SOFTWARE\\Chanwiz Test\\Vamp";

HMODULE g_module = nullptr;

DWORD ReadSetting(const char* name, DWORD fallback) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSettingsKey, 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY, &key) !=
      ERROR_SUCCESS)
    return fallback;
  DWORD value = 0, type = 0, size = sizeof(value);
  LONG result = RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
  RegCloseKey(key);
  return result == ERROR_SUCCESS && type == REG_DWORD && size == sizeof(value) ? value : fallback;
}

struct IDeviceList : IDispatch {                                          // 0-6
  virtual HRESULT STDMETHODCALLTYPE get_Count(LONG* count) = 0;            // 7
  virtual HRESULT STDMETHODCALLTYPE get_Device(LONG index, IUnknown** device) = 0;  // 8
};

// The methods the wizard never calls answer E_NOTIMPL, in their places.
#define CW_UNUSED(n) \
  virtual HRESULT STDMETHODCALLTYPE Unused##n() { return E_NOTIMPL; }

struct IVampDeviceDouble : IUnknown {  // 0-2
  CW_UNUSED(3) CW_UNUSED(4) CW_UNUSED(5) CW_UNUSED(6) CW_UNUSED(7) CW_UNUSED(8) CW_UNUSED(9)
  CW_UNUSED(10) CW_UNUSED(11) CW_UNUSED(12) CW_UNUSED(13) CW_UNUSED(14) CW_UNUSED(15)
  CW_UNUSED(16) CW_UNUSED(17) CW_UNUSED(18) CW_UNUSED(19) CW_UNUSED(20)
  virtual HRESULT STDMETHODCALLTYPE GetItemObject(IUnknown** object) = 0;  // 21
};

struct IVampItemDouble : IUnknown {  // 0-2
  CW_UNUSED(3) CW_UNUSED(4) CW_UNUSED(5) CW_UNUSED(6) CW_UNUSED(7) CW_UNUSED(8) CW_UNUSED(9)
  CW_UNUSED(10)
  virtual HRESULT STDMETHODCALLTYPE QueryItem(ULONG item, LONG* answer) = 0;  // 11
};

// Reference counting for an object of class Derived with one interface.
// No virtual destructor (it would add entries to the interface's table):
// the classes are final and deleted as what they are.
template <class Derived, class Interface>
class Object : public Interface {
 public:
  ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&refs_)); }
  ULONG STDMETHODCALLTYPE Release() override {
    LONG left = InterlockedDecrement(&refs_);
    if (left == 0) delete static_cast<Derived*>(this);
    return static_cast<ULONG>(left);
  }
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, Derived::kOwnIid)) {
      AddRef();
      *out = static_cast<Interface*>(this);
      return S_OK;
    }
    return static_cast<Derived*>(this)->OtherInterface(iid, out);
  }
  HRESULT OtherInterface(REFIID, void**) { return E_NOINTERFACE; }

 private:
  LONG refs_ = 1;
};

// Hands a new object out through `out` (one reference), or E_OUTOFMEMORY.
template <class T>
HRESULT HandOut(void** out) {
  T* object = new (std::nothrow) T();
  if (object == nullptr) return E_OUTOFMEMORY;
  *out = object;
  return S_OK;
}

class VampItem final : public Object<VampItem, IVampItemDouble> {
 public:
  static constexpr const IID& kOwnIid = kItemIid;
  HRESULT STDMETHODCALLTYPE QueryItem(ULONG item, LONG* answer) override {
    if (answer == nullptr) return E_POINTER;
    if (item != 22) return E_INVALIDARG;
    *answer = static_cast<LONG>(ReadSetting("Item22", 0));
    return S_OK;
  }
};

// What IVampDevice's method 21 and get_Device hand out: an object that answers
// QueryInterface for T's interface alone.
template <class T>
class Holder final : public Object<Holder<T>, IUnknown> {
 public:
  static constexpr const IID& kOwnIid = IID_IUnknown;
  HRESULT OtherInterface(REFIID iid, void** out) {
    return IsEqualIID(iid, T::kOwnIid) ? HandOut<T>(out) : E_NOINTERFACE;
  }
};

class VampDevice final : public Object<VampDevice, IVampDeviceDouble> {
 public:
  static constexpr const IID& kOwnIid = kVampDeviceIid;
  HRESULT STDMETHODCALLTYPE GetItemObject(IUnknown** object) override {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    return HandOut<Holder<VampItem>>(reinterpret_cast<void**>(object));
  }
};

class DeviceList final : public Object<DeviceList, IDeviceList> {
 public:
  static constexpr const IID& kOwnIid = kDeviceListIid;
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE get_Count(LONG* count) override {
    if (count == nullptr) return E_POINTER;
    *count = static_cast<LONG>(ReadSetting("DeviceCount", 1));
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_Device(LONG index, IUnknown** device) override {
    if (device == nullptr) return E_POINTER;
    *device = nullptr;
    if (index < 0 || index >= static_cast<LONG>(ReadSetting("DeviceCount", 1))) return E_INVALIDARG;
    return HandOut<Holder<VampDevice>>(reinterpret_cast<void**>(device));
  }
};

class ClassFactory final : public Object<ClassFactory, IClassFactory> {
 public:
  static constexpr const IID& kOwnIid = IID_IClassFactory;
  // The factory is static, and the module never unloads (DllCanUnloadNow).
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    if (outer != nullptr) return CLASS_E_NOAGGREGATION;
    DeviceList* list = new (std::nothrow) DeviceList();
    if (list == nullptr) return E_OUTOFMEMORY;
    HRESULT status = list->QueryInterface(iid, out);
    list->Release();
    return status;
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
};

ClassFactory g_factory;

LONG SetText(const char* subkey, const char* name, const char* text) {
  return RegSetKeyValueA(HKEY_CLASSES_ROOT, subkey, name, REG_SZ, text, static_cast<DWORD>(lstrlenA(text) + 1));
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) g_module = instance;
  return TRUE;
}

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, LPVOID* out) {
  if (out == nullptr) return E_POINTER;
  *out = nullptr;
  if (!IsEqualCLSID(clsid, kDeviceListClass)) return CLASS_E_CLASSNOTAVAILABLE;
  return g_factory.QueryInterface(iid, out);
}

// A stand-in for test runs: kept loaded rather than counting its objects.
STDAPI DllCanUnloadNow() { return S_FALSE; }

STDAPI DllRegisterServer() {
  char path[MAX_PATH + 1] = {};
  DWORD length = GetModuleFileNameA(g_module, path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return SELFREG_E_CLASS;
  const std::string server = std::string(kClassKey) + "\\InprocServer32";
  return SetText(kClassKey, nullptr, "Chanwiz test double of 34com.dll") == ERROR_SUCCESS &&
                 SetText(server.c_str(), nullptr, path) == ERROR_SUCCESS &&
                 SetText(server.c_str(), "ThreadingModel", "Apartment") == ERROR_SUCCESS
             ? S_OK
             : SELFREG_E_CLASS;
}

STDAPI DllUnregisterServer() {
  LONG result = RegDeleteTreeA(HKEY_CLASSES_ROOT, kClassKey);
  return result == ERROR_SUCCESS || result == ERROR_FILE_NOT_FOUND ? S_OK : SELFREG_E_CLASS;
}
