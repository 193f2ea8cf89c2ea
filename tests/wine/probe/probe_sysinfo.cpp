// Wine probe: what a setup wizard reads from the system.
//   1. GetVersionExA (with the app manifest's supportedOS list)
//   2. SetupDiGetClassDevsA(NULL, NULL, NULL, DIGCF_PRESENT | DIGCF_ALLCLASSES):
//      every device's instance id, SPDRP_HARDWAREID, SPDRP_DRIVER, SPDRP_CLASSGUID
//   3. RegQueryInfoKeyA security-descriptor size and RegGetKeySecurity(DACL) on a
//      driver key under Control\Class, plus its DriverData values.
// usage: probe_sysinfo.exe [HWID-SUBSTRING [CLASS-KEY]]
//   Exit code 0 when a device whose first hardware id contains HWID-SUBSTRING
//   (default "VEN_1131&DEV_7134") was listed and CLASS-KEY could be opened, else 1.
#include <windows.h>
#include <setupapi.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

std::string reg_prop(HDEVINFO set, SP_DEVINFO_DATA* dev, DWORD prop, DWORD* type_out = nullptr) {
    BYTE buf[2048] = {};
    DWORD type = 0, need = 0;
    if (!SetupDiGetDeviceRegistryPropertyA(set, dev, prop, &type, buf, sizeof buf - 2, &need)) {
        char err[32];
        std::snprintf(err, sizeof err, "<err %lu>", GetLastError());
        return err;
    }
    if (type_out) *type_out = type;
    if (type == REG_MULTI_SZ) {  // join with '|'
        std::string out;
        for (const char* p = reinterpret_cast<const char*>(buf); *p; p += std::strlen(p) + 1) {
            if (!out.empty()) out += '|';
            out += p;
        }
        return out;
    }
    return reinterpret_cast<const char*>(buf);
}

void print_version() {
    OSVERSIONINFOEXA v{};
    v.dwOSVersionInfoSize = sizeof v;
    if (GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&v))) {
        std::printf("version: %lu.%lu build %lu platform %lu csd \"%s\" sp %u.%u product_type %u\n",
                    v.dwMajorVersion, v.dwMinorVersion, v.dwBuildNumber, v.dwPlatformId, v.szCSDVersion,
                    v.wServicePackMajor, v.wServicePackMinor, v.wProductType);
    } else {
        std::printf("version: GetVersionExA failed %lu\n", GetLastError());
    }
    DWORD gv = GetVersion();
    std::printf("GetVersion: 0x%08lx (%lu.%lu)\n", gv, gv & 0xff, (gv >> 8) & 0xff);
    BOOL wow = FALSE;
    IsWow64Process(GetCurrentProcess(), &wow);
    std::printf("pointer bits %u, IsWow64Process %d\n", static_cast<unsigned>(sizeof(void*) * 8), wow);
}

bool list_devices(const char* want) {
    HDEVINFO set = SetupDiGetClassDevsA(nullptr, nullptr, nullptr, DIGCF_PRESENT | DIGCF_ALLCLASSES);
    if (set == INVALID_HANDLE_VALUE) {
        std::printf("SetupDiGetClassDevsA failed %lu\n", GetLastError());
        return false;
    }
    bool found = false;
    SP_DEVINFO_DATA dev{};
    dev.cbSize = sizeof dev;
    DWORD i = 0;
    for (; SetupDiEnumDeviceInfo(set, i, &dev); ++i) {
        char inst[512] = {};
        SetupDiGetDeviceInstanceIdA(set, &dev, inst, sizeof inst, nullptr);
        std::string hwid = reg_prop(set, &dev, SPDRP_HARDWAREID);
        std::string drv = reg_prop(set, &dev, SPDRP_DRIVER);
        std::string cls = reg_prop(set, &dev, SPDRP_CLASSGUID);
        std::string desc = reg_prop(set, &dev, SPDRP_DEVICEDESC);
        std::printf("dev[%lu] %s\n    hwid=%s\n    driver=%s class=%s desc=%s\n", i, inst, hwid.c_str(), drv.c_str(),
                    cls.c_str(), desc.c_str());
        if (hwid.find(want) != std::string::npos) {
            found = true;
            std::printf("    ^ FOUND %s at index %lu\n", want, i);
        }
    }
    std::printf("devices: %lu (enum stopped with %lu)\n", i, GetLastError());
    SetupDiDestroyDeviceInfoList(set);
    return found;
}

bool class_key(const char* path) {
    HKEY key = nullptr;
    LONG rc = RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_READ, &key);
    std::printf("RegOpenKeyExA(HKLM\\%s) = %ld\n", path, rc);
    if (rc != ERROR_SUCCESS) return false;
    DWORD subkeys = 0, values = 0, sd_size = 0;
    FILETIME ft{};
    rc = RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr, nullptr,
                          &sd_size, &ft);
    std::printf("RegQueryInfoKeyA = %ld: subkeys %lu values %lu security-descriptor bytes %lu\n", rc, subkeys, values,
                sd_size);
    DWORD need = 0;
    rc = RegGetKeySecurity(key, DACL_SECURITY_INFORMATION, nullptr, &need);
    std::printf("RegGetKeySecurity(DACL, size query) = %ld, needs %lu bytes\n", rc, need);
    if (need) {
        auto* sd = static_cast<PSECURITY_DESCRIPTOR>(LocalAlloc(LPTR, need));
        rc = RegGetKeySecurity(key, DACL_SECURITY_INFORMATION, sd, &need);
        BOOL present = FALSE, defaulted = FALSE;
        PACL dacl = nullptr;
        if (rc == ERROR_SUCCESS) GetSecurityDescriptorDacl(sd, &present, &dacl, &defaulted);
        ACL_SIZE_INFORMATION info{};
        if (dacl) GetAclInformation(dacl, &info, sizeof info, AclSizeInformation);
        std::printf("RegGetKeySecurity(DACL) = %ld: dacl present %d, %lu ACEs\n", rc, present,
                    dacl ? info.AceCount : 0UL);
        LocalFree(sd);
    }
    for (DWORD i = 0;; ++i) {
        char name[256];
        DWORD n = sizeof name;
        if (RegEnumKeyExA(key, i, name, &n, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        std::printf("  subkey %s\n", name);
    }
    for (DWORD i = 0;; ++i) {
        char name[256];
        BYTE data[512] = {};
        DWORD n = sizeof name, type = 0, len = sizeof data - 2;
        if (RegEnumValueA(key, i, name, &n, nullptr, &type, data, &len) != ERROR_SUCCESS) break;
        if (type == REG_SZ || type == REG_EXPAND_SZ)
            std::printf("  value %s (type %lu) = \"%s\"\n", name, type, reinterpret_cast<char*>(data));
        else if (type == REG_DWORD)
            std::printf("  value %s (REG_DWORD) = 0x%08lx\n", name, *reinterpret_cast<DWORD*>(data));
        else
            std::printf("  value %s (type %lu) %lu bytes\n", name, type, len);
    }
    RegCloseKey(key);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    const char* want = argc > 1 ? argv[1] : "VEN_1131&DEV_7134";
    const char* cls = argc > 2 ? argv[2]
                               : "SYSTEM\\CurrentControlSet\\Control\\Class\\{4d36e96c-e325-11ce-bfc1-08002be10318}\\0000";
    print_version();
    bool found = list_devices(want);
    bool key_ok = class_key(cls);
    std::string sub = std::string(cls) + "\\DriverData";
    class_key(sub.c_str());
    std::printf("result: device %s, class key %s\n", found ? "found" : "NOT found", key_ok ? "ok" : "missing");
    std::fflush(stdout);
    return found && key_ok ? 0 : 1;
}
