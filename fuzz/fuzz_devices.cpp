// Detection and the driver-key lookups over arbitrary device lists. The
// input is read as a list of devices: enumerator, device and instance names,
// a HardwareID of any type and bytes (identifier lists with or without
// terminators, or raw bytes of any length), a Driver string of any length
// with or without its terminator, and ClassGUID present or not. Checks:
// - DetectDevicesNt/9x return the number of listed devices whose first
//   identifier starts with a supported chip's (the walk ending where a read
//   fails for good), and set DeviceFlags only from those;
// - every Lookup*Nt/9x leaves each key field as it was or sets it to the
//   Driver text of a listed device;
// - no registry key is left open.
#include <fuzzer/FuzzedDataProvider.h>
#include <sanitizer/asan_interface.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "app/wizard_app.h"
#include "fuzz_check.h"
#include "platform/sim/machine.h"
#include "platform/sim/sim_platform.h"
#include "platform/win_constants.h"

namespace {

using namespace cw;

constexpr const char* kEnumPath = "SYSTEM\\CurrentControlSet\\Enum";
constexpr DWORD kMaxProperty = 1u << 20;  // PropertyBuffer::kMaxSize

// Identifiers the wizard looks for, and near misses, to start from.
const char* const kIds[] = {
    "PCI\\VEN_1131&DEV_7130&SUBSYS_00000000&REV_01",
    "PCI\\VEN_1131&DEV_7133&SUBSYS_00000000&REV_01",
    "PCI\\VEN_1131&DEV_7134&SUBSYS_00000000&REV_01",
    "PCI\\VEN_14F1&DEV_8800&SUBSYS_00000000&REV_05",
    "PCI\\VEN_109E&DEV_036E&SUBSYS_00000000&REV_11",
    "USB\\Vid_eb1a&Pid_2800&Rev_0100",
    "USB\\VID_EB1A&PID_2821&REV_0100",
    "Stream\\PhTVTune.30",
    "Stream\\PhTVTune.33",
    "STREAM\\PHTVTUNE.34",
    "Stream\\PhTVTune.34xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx",
    "Stream\\cxtune.VEN_14F1.Philips",
    "STREAM\\BTTUNER.PHIL",
    "PCI\\VEN_1131",
    "",
};

// Buffers for megabyte values, kept from one input to the next: fresh
// memory is most of what such values cost, every page faulted in anew. Only
// capacity carries over (each byte in use is written for every input, so no
// result depends on an earlier one), and the unused tail is poisoned, so a
// read or write past a value's end still trips AddressSanitizer as it would
// on an allocation of the exact size.
class BufferPool {
 public:
  // A zero-filled buffer of `size` bytes.
  std::vector<BYTE> Take(size_t size) {
    std::vector<BYTE> out;
    if (size >= kMinKept) {
      auto best = kept_.end();  // the smallest kept buffer that fits
      for (auto it = kept_.begin(); it != kept_.end(); ++it)
        if (it->capacity() >= size && (best == kept_.end() || it->capacity() < best->capacity()))
          best = it;
      if (best != kept_.end()) {
        out = std::move(*best);
        kept_.erase(best);
      }
    }
    out.assign(size, 0);
    ASAN_POISON_MEMORY_REGION(out.data() + out.size(), out.capacity() - out.size());
    return out;
  }

  // Takes a buffer back at the end of an input; past one input's worth,
  // the smallest is let go.
  void Give(std::vector<BYTE>* buffer) {
    if (buffer->capacity() < kMinKept) return;
    ASAN_UNPOISON_MEMORY_REGION(buffer->data(), buffer->capacity());
    buffer->clear();
    kept_.push_back(std::move(*buffer));
    if (kept_.size() > kMaxKept)
      kept_.erase(std::min_element(kept_.begin(), kept_.end(), [](const auto& a, const auto& b) {
        return a.capacity() < b.capacity();
      }));
  }

 private:
  // Smaller buffers come cheap from the allocator's own caches.
  static constexpr size_t kMinKept = size_t{1} << 17;
  // Two values and two reads of each of up to six devices.
  static constexpr size_t kMaxKept = 24;
  std::vector<std::vector<BYTE>> kept_;
};

BufferPool& Pool() {
  static BufferPool pool;
  return pool;
}

// ANSI text as the registry stores it, one UTF-16LE unit per byte, put
// together from parts and written once into one buffer.
class WideText {
 public:
  void Append(std::string ansi) {
    units_ += ansi.size();
    parts_.push_back({std::move(ansi), 0, 0});
  }
  // A run of one character, filled by doubling rather than unit by unit.
  void AppendRun(size_t count, char c) {
    units_ += count;
    parts_.push_back({std::string(), count, c});
  }
  void AppendNul() { Append(std::string(1, '\0')); }

  std::vector<BYTE> Bytes() const {
    std::vector<BYTE> out = Pool().Take(units_ * 2);  // zero-filled: the high bytes
    size_t at = 0;
    for (const Part& part : parts_) {
      for (char c : part.text) {
        out[at] = static_cast<BYTE>(c);
        at += 2;
      }
      if (part.runCount == 0) continue;
      BYTE* run = out.data() + at;
      const size_t bytes = part.runCount * 2;
      run[0] = static_cast<BYTE>(part.runChar);
      for (size_t filled = 2; filled < bytes; filled *= 2)
        std::memcpy(run + filled, run, std::min(filled, bytes - filled));
      at += bytes;
    }
    return out;
  }

 private:
  struct Part {
    std::string text;
    size_t runCount;
    char runChar;
  };
  std::vector<Part> parts_;
  size_t units_ = 0;
};

std::vector<BYTE> Widen(std::string ansi) {
  WideText text;
  text.Append(std::move(ansi));
  return text.Bytes();
}

std::string NameFrom(FuzzedDataProvider& in) {
  std::string name = in.ConsumeRandomLengthString(12);
  for (char& c : name)
    if (c == '\\' || static_cast<unsigned char>(c) >= 0x80) c = '_';
  return name.empty() ? "0" : name;
}

std::string IdFrom(FuzzedDataProvider& in) {
  std::string id = in.PickValueInArray(kIds);
  switch (in.ConsumeIntegralInRange<int>(0, 3)) {
    case 0:
      break;
    case 1:
      id += in.ConsumeRandomLengthString(80);
      break;
    case 2:
      id = id.substr(0, in.ConsumeIntegralInRange<size_t>(0, id.size()));
      break;
    case 3:
      id = in.ConsumeRandomLengthString(120);
      break;
  }
  return id;
}

// A long run of one character, to reach the buffer limits.
void AppendLongText(FuzzedDataProvider& in, WideText* out) {
  const size_t length = in.ConsumeIntegralInRange<size_t>(0, kMaxProperty + 64);
  out->AppendRun(length, in.ConsumeIntegralInRange<char>('A', 'z'));
}

std::vector<BYTE> HardwareIdData(FuzzedDataProvider& in, DWORD* type) {
  const int kind = in.ConsumeIntegralInRange<int>(0, 4);
  *type = kind == 4 ? in.ConsumeIntegral<DWORD>() : (kind == 3 ? REG_SZ : REG_MULTI_SZ);
  if (kind == 2) {
    std::string raw = in.ConsumeRandomLengthString(300);
    return std::vector<BYTE>(raw.begin(), raw.end());
  }
  WideText list;
  const int count = in.ConsumeIntegralInRange<int>(0, 4);
  for (int i = 0; i < count; ++i) {
    if (in.ConsumeBool())
      list.Append(IdFrom(in));
    else
      AppendLongText(in, &list);
    if (in.ConsumeBool()) list.AppendNul();
  }
  if (in.ConsumeBool()) list.AppendNul();
  return list.Bytes();
}

struct Listed {
  std::vector<BYTE> hardwareId;  // as read through the ANSI call
  bool hasHardwareId = false;
  std::vector<BYTE> driver;
  bool hasDriver = false;
};

// A listed device's property as SetupDiGetDeviceRegistryPropertyA returns it.
bool ReadWhole(sim::SimPlatform& p, HDEVINFO list, DWORD index, DWORD property,
               std::vector<BYTE>* out) {
  SP_DEVINFO_DATA device = {};
  device.cbSize = sizeof(device);
  CHECK(p.SetupDiEnumDeviceInfo(list, index, &device));
  DWORD required = 0;
  DWORD type = 0;
  if (p.SetupDiGetDeviceRegistryPropertyA(list, &device, property, &type, nullptr, 0, &required)) {
    out->clear();
    return true;
  }
  if (p.GetLastError() != static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER)) return false;
  *out = Pool().Take(required);
  CHECK(p.SetupDiGetDeviceRegistryPropertyA(list, &device, property, &type, out->data(), required,
                                            &required));
  return true;
}

// The length of the first NUL-terminated text (memchr: properties may run
// to a megabyte).
size_t FirstTextLength(const std::vector<BYTE>& bytes) {
  const void* nul = bytes.empty() ? nullptr : std::memchr(bytes.data(), 0, bytes.size());
  return nul ? static_cast<size_t>(static_cast<const BYTE*>(nul) - bytes.data()) : bytes.size();
}

std::string FirstText(const std::vector<BYTE>& bytes) {
  return std::string(reinterpret_cast<const char*>(bytes.data()), FirstTextLength(bytes));
}

// Whether the first text of `bytes` starts with `prefix`, letter case aside.
// The prefix holds no NUL, so a text ending early fails on its terminator
// without a search for it.
bool FirstStartsNoCase(const std::vector<BYTE>& bytes, const char* prefix) {
  const size_t n = std::strlen(prefix);
  if (bytes.size() < n) return false;
  for (size_t i = 0; i < n; ++i)
    if (std::toupper(bytes[i]) != std::toupper(static_cast<unsigned char>(prefix[i])))
      return false;
  return true;
}

// The detection walk as it must come out: devices counted by their first
// identifier; the walk ends at a list too large for any buffer.
int32_t ExpectedCount(const std::vector<Listed>& devices, bool nt, uint32_t* flags) {
  static const struct {
    const char* id;
    uint32_t flag;
  } kRows[] = {
      {"PCI\\VEN_1131&DEV_7130", kFlagSaa7130}, {"PCI\\VEN_1131&DEV_7133", kFlagSaa7133},
      {"PCI\\VEN_1131&DEV_7134", kFlagSaa7134}, {"PCI\\VEN_14F1&DEV_8800", kFlagCx2388x},
      {"PCI\\VEN_109E&DEV_036E", kFlagBt878a},  {"USB\\VID_EB1A&PID_2800", kFlagUsb},
      {"USB\\VID_EB1A&PID_282", kFlagUsb},
  };
  size_t bufferSize = 256;
  const size_t spare = nt ? 0 : 10;
  int32_t count = 0;
  *flags = 0;
  for (const Listed& d : devices) {
    if (!d.hasHardwareId) continue;
    if (d.hardwareId.size() > bufferSize) {
      if (d.hardwareId.size() > kMaxProperty) break;
      bufferSize = d.hardwareId.size() + spare;
    }
    for (const auto& row : kRows) {
      if (!FirstStartsNoCase(d.hardwareId, row.id)) continue;
      *flags |= row.flag;
      ++count;
      break;
    }
  }
  return count;
}

using Lookup = int32_t (WizardApp::*)();

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  sim::Machine machine;
  machine.config.moduleFileName = "C:\\Chanwiz\\Chanwiz.exe";
  std::vector<sim::RegKey*> keys;
  const int deviceCount = in.ConsumeIntegralInRange<int>(0, 6);
  for (int i = 0; i < deviceCount && in.remaining_bytes() > 0; ++i) {
    const std::string path = std::string(kEnumPath) + "\\" + NameFrom(in) + "\\" + NameFrom(in) +
                             "\\" + NameFrom(in);
    sim::RegKey* key = machine.registry.Create(sim::RegRoot::LocalMachine, path, nullptr);
    CHECK(key != nullptr);
    keys.push_back(key);
    if (in.ConsumeBool()) {
      DWORD type = 0;
      std::vector<BYTE> ids = HardwareIdData(in, &type);
      key->SetValue("HardwareID", type, std::move(ids));
    }
    if (in.ConsumeIntegralInRange<int>(0, 7) != 0)
      key->SetValue("ClassGUID", REG_SZ, Widen(std::string("{4d36e96c-e325-11ce-bfc1-08002be10318}") + '\0'));
    if (in.ConsumeBool()) {
      WideText driver;
      switch (in.ConsumeIntegralInRange<int>(0, 2)) {
        case 0:
          driver.Append("{4d36e96c-e325-11ce-bfc1-08002be10318}\\000" + std::to_string(i));
          break;
        case 1:
          driver.Append(in.ConsumeRandomLengthString(300));
          break;
        case 2:
          AppendLongText(in, &driver);
          break;
      }
      if (in.ConsumeBool()) driver.AppendNul();
      key->SetValue("Driver", in.ConsumeBool() ? REG_SZ : in.ConsumeIntegral<DWORD>(),
                    driver.Bytes());
    }
  }
  const uint32_t startFlags = in.ConsumeIntegral<uint32_t>();

  sim::SimPlatform platform(machine, nullptr);

  // The devices the enumeration lists, read back through the platform.
  std::vector<Listed> listed;
  std::set<std::string> driverTexts;
  {
    HDEVINFO list = platform.SetupDiGetClassDevsA(nullptr, nullptr, HWND(0),
                                                  DIGCF_PRESENT | DIGCF_ALLCLASSES);
    CHECK(list != INVALID_HANDLE_VALUE);
    for (DWORD index = 0;; ++index) {
      SP_DEVINFO_DATA device = {};
      device.cbSize = sizeof(device);
      if (!platform.SetupDiEnumDeviceInfo(list, index, &device)) break;
      Listed d;
      d.hasHardwareId = ReadWhole(platform, list, index, SPDRP_HARDWAREID, &d.hardwareId);
      d.hasDriver = ReadWhole(platform, list, index, SPDRP_DRIVER, &d.driver);
      if (d.hasDriver && d.driver.size() <= kMaxProperty) driverTexts.insert(FirstText(d.driver));
      listed.push_back(std::move(d));
    }
    CHECK(platform.SetupDiDestroyDeviceInfoList(list));
  }

  for (bool nt : {true, false}) {
    WizardApp app(platform, {});
    uint32_t flags = 0;
    const int32_t want = ExpectedCount(listed, nt, &flags);
    const int32_t got = nt ? app.DetectDevicesNt() : app.DetectDevices9x();
    if (got != want || app.DeviceFlags != flags) {
      std::fprintf(stderr, "detection (%s): %d devices, flags %x; expected %d, flags %x\n",
                   nt ? "NT" : "9x", got, app.DeviceFlags, want, flags);
      std::abort();
    }
  }

  static const Lookup kLookups[] = {
      &WizardApp::LookupSaa713xKeysNt, &WizardApp::LookupSaa713xKeys9x,
      &WizardApp::LookupCx2388xKeysNt, &WizardApp::LookupCx2388xKeys9x,
      &WizardApp::LookupBt878aKeysNt,  &WizardApp::LookupBt878aKeys9x,
      &WizardApp::LookupUsbKeyNt,      &WizardApp::LookupUsbKey9x,
  };
  const std::string kUnset = "\x01unset";
  for (Lookup lookup : kLookups) {
    WizardApp app(platform, {});
    app.DeviceFlags = startFlags;
    app.CaptureDriverKey = kUnset;
    app.TunerDriverKey = kUnset;
    CHECK((app.*lookup)() == 1);
    CHECK(app.CaptureDriverKey == kUnset || driverTexts.count(app.CaptureDriverKey) == 1);
    CHECK(app.TunerDriverKey == kUnset || driverTexts.count(app.TunerDriverKey) == 1);
    // Only the USB bit is ever added.
    CHECK((app.DeviceFlags & ~kFlagUsb) == (startFlags & ~kFlagUsb));
  }
  CHECK(platform.OpenKeyPaths().empty());

  for (sim::RegKey* key : keys)
    for (const char* name : {"HardwareID", "Driver"})
      if (sim::RegValue* value = key->FindValue(name)) Pool().Give(&value->data);
  for (Listed& d : listed) {
    Pool().Give(&d.hardwareId);
    Pool().Give(&d.driver);
  }
  return 0;
}
