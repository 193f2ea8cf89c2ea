// The USB writers: fifteen DWORD values in two subkeys of the device's
// driver key, created when missing. Their result is shown to the user, so it
// says 0 whenever the settings did not all get written.
#include "platform/win_constants.h"
#include "writers/family_writers.h"
#include "writers/registry_access.h"

namespace cw {

namespace {

constexpr const char* kSettingsSubkey = "\\settings\\OEMSettings";
constexpr const char* kDefaultsSubkey = "\\settings\\PropDefaults";

struct UsbValue {
  const char* name;
  DWORD (*data)(const WizardState&);
  const char* updateFailure9x;
  const char* createFailure9x;
};

// "Win9K" is the boards' own text, kept as users and support know it.
constexpr const char* kWriteQr9K = "Can't Write QR6100 USB2.0 Registry on Win9K.";
constexpr const char* kWrite9K = "Can't Write USB Registry on Win9K.";
constexpr const char* kWrite9X = "Can't Write USB Registry on Win9X.";
constexpr const char* kCreate9K = "Can't Create USB Registry on Win9K.";
constexpr const char* kCreate9X = "Can't Create USB Registry on Win9X.";
constexpr const char* kWriteNt = "Can't Write USB Registry on Win2K.";
constexpr const char* kCreateNt = "Can't Create USB Registry on Win2K.";

// The settings key's values in the NT writer's order; the 9x writer swaps
// the second and third.
const UsbValue kSettings[] = {
    {"TunerID7", [](const WizardState& a) { return a.TunerTypeCode; }, kWriteQr9K, kCreate9K},
    {"AudioDecoderType", [](const WizardState& a) { return a.AudioStandardCode; }, kWriteQr9K,
     kCreate9K},
    {"AudioCountryCode", [](const WizardState& a) { return static_cast<DWORD>(a.CountryCode); },
     kWriteQr9K, kCreate9K},
    {"OemID", [](const WizardState&) -> DWORD { return 1; }, kWrite9K, kCreate9K},
    {"PowerControl", [](const WizardState&) -> DWORD { return 2; }, kWrite9K, kCreate9K},
    {"FixUpOWC", [](const WizardState&) -> DWORD { return 12; }, kWrite9K, kCreate9K},
    {"GPIObyAP", [](const WizardState&) -> DWORD { return 8; }, kWrite9K, kCreate9K},
    {"TVTuneByAP", [](const WizardState&) -> DWORD { return 1; }, kWrite9K, kCreate9K},
    {"Oem1I2C", [](const WizardState&) -> DWORD { return 0x70; }, kWrite9K, kCreate9K},
    {"Oem1Type", [](const WizardState&) -> DWORD { return 2; }, kWrite9K, kCreate9K},
    {"Oem2I2C", [](const WizardState&) -> DWORD { return 0xB0; }, kWrite9K, kCreate9K},
    {"Oem2Type", [](const WizardState&) -> DWORD { return 3; }, kWrite9K, kCreate9K},
    {"TunerIDBase", [](const WizardState&) -> DWORD { return 0; }, kWrite9K, kCreate9K},
};

const UsbValue kDefaults[] = {
    {"VideoStandard", [](const WizardState& a) { return a.VideoStandardMask; }, kWriteQr9K,
     kCreate9X},
    {"VCRMask", [](const WizardState&) -> DWORD { return 1; }, kWrite9X, kCreate9X},
};

struct Outcome {
  bool anyKeyOpened = false;
  bool anyValueFailed = false;
};

void WriteValues(Platform& p, const WizardState& state, const char* root, const char* subkey,
                 const UsbValue* values, const int* order, int count, bool nt,
                 const ShowWriteFailure& show, Outcome* outcome) {
  RegKeyHandle key(p);
  if (!OpenDriverKeyForWrites(root, state.CaptureDriverKey, subkey, &key)) return;
  outcome->anyKeyOpened = true;
  for (int i = 0; i < count; ++i) {
    const UsbValue& v = values[order[i]];
    ValueWrite w =
        SetOrCreateDword(p, key.get(), v.name, v.data(state), nt ? kWriteNt : v.updateFailure9x,
                         nt ? kCreateNt : v.createFailure9x, show);
    if (w == ValueWrite::UpdateFailed || w == ValueWrite::CreateFailed)
      outcome->anyValueFailed = true;
  }
}

const int kNtOrder[] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
const int k9xOrder[] = {0, 2, 1, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
const int kDefaultsOrder[] = {0, 1};

void WriteBothKeys(Platform& p, const WizardState& state, const char* root, bool nt,
                   const ShowWriteFailure& show, Outcome* outcome) {
  WriteValues(p, state, root, kSettingsSubkey, kSettings, nt ? kNtOrder : k9xOrder, 13, nt, show,
              outcome);
  WriteValues(p, state, root, kDefaultsSubkey, kDefaults, kDefaultsOrder, 2, nt, show, outcome);
}

// Success only when the device's key was found, a subkey took values and
// none of them failed: anything less must show the failure texts.
int32_t ResultOf(const Outcome& outcome) {
  return outcome.anyKeyOpened && !outcome.anyValueFailed ? 1 : 0;
}

}  // namespace

int32_t WriteUsbSettingsNt(Platform& platform, const WizardState& state,
                           const ShowWriteFailure& show) {
  Outcome outcome;
  // One bracket on the device's own key spans both subkeys; nothing is
  // written when its security cannot be saved.
  BracketResult bracket = KeySecurityBracket(
      platform, NtClassRoot, state.CaptureDriverKey, "", BracketPolicy::StopWithoutDescriptor, show,
      [&](const char*, const ShowWriteFailure& later) {
        WriteBothKeys(platform, state, NtClassRoot, true, later, &outcome);
      });
  if (bracket != BracketResult::Ran) return 0;
  return ResultOf(outcome);
}

int32_t WriteUsbSettings9x(Platform& platform, const WizardState& state,
                           const ShowWriteFailure& show) {
  Outcome outcome;
  WriteBothKeys(platform, state, Win9xClassRoot, false, show, &outcome);
  return ResultOf(outcome);
}

}  // namespace cw
