// The CX2388X and BT878A writers: the capture driver's and the tuner
// driver's "DriverData" keys. The two families are twins; what differs is in
// the PciWriterTexts below.
#include "platform/win_constants.h"
#include "writers/family_writers.h"
#include "writers/registry_access.h"

namespace cw {

namespace {

constexpr const char* kDriverData = "\\DriverData";

struct PciWriterTexts {
  // Capture key values in the order written, each with its failure text.
  const char* captureNames[3];
  const char* captureFailures[3];
  const char*
      tunerFailure;  // "TunerBrand", "TunerType", "TunerI2CAddress", an existing "TunerChip"
  const char* createFailure;  // a "TunerChip" that had to be created
  bool writesI2CAddress;
};

const PciWriterTexts kCxNt = {
    {"VideoStandard", "WWAudioCountryCode", "WWVideoCountryCode"},
    {"Can't Write CX2388X Registry on Win2K.", "Can't Write CX2388X Registry on Win2K.",
     "Can't Write CX2388X Registry on Win2K."},
    "Can't Write CX2388X Registry on Win2K.",
    "Can't Create CX2388X Registry on Win2K.",
    true};

// The texts are the boards' own, "Win9K" and all: users and support know them
// by their words.
const PciWriterTexts kCx9x = {
    {"VideoStandard", "WWAudioCountryCode", "WWVideoCountryCode"},
    {"Can't Write CX2388X Registry on Win9K.", "Can't Write CX2388X Registry on Win9K.",
     "Can't Write CX2388X Registry on Win9X."},
    "Can't Write CX2388X Registry on Win9X.",
    "Can't Create CX2388X Registry on Win9X.",
    true};

const PciWriterTexts kBtNt = {
    {"VideoStandard", "WWVideoCountryCode", "WWAudioCountryCode"},
    {"Can't Write BT878A Registry on Win2K.", "Can't Write BT878A Registry on Win2K.",
     "Can't Write BT878A Registry on Win2K."},
    "Can't Write BT878A Registry on Win2K.",
    "Can't Create BT878A Registry on Win2K.",
    true};

const PciWriterTexts kBt9x = {
    {"VideoStandard", "WWVideoCountryCode", "WWAudioCountryCode"},
    {"Can't Write BT878A Registry on Win9K.", "Can't Write BT878A Registry on Win9X.",
     "Can't Write BT878A Registry on Win9X."},
    "Can't Write BT878A Registry on Win9X.",
    "Can't Create BT878A Registry on Win9X.",
    false};

DWORD CaptureValue(const WizardState& state, const char* name) {
  const std::string n = name;
  if (n == "VideoStandard") return state.VideoStandardMask;
  if (n == "WWAudioCountryCode") return state.AudioCountryCode;
  return state.VideoCountryCode;
}

void WriteCaptureValues(Platform& p, const WizardState& state, const char* root,
                        const PciWriterTexts& texts, const ShowWriteFailure& show) {
  RegKeyHandle key(p);
  if (!OpenDriverKeyForWrites(root, state.CaptureDriverKey, kDriverData, &key)) return;
  for (int i = 0; i < 3; ++i)
    UpdateDwordIfPresent(p, key.get(), texts.captureNames[i],
                         CaptureValue(state, texts.captureNames[i]), texts.captureFailures[i],
                         show);
}

void WriteTunerValues(Platform& p, const WizardState& state, const char* root,
                      const PciWriterTexts& texts, bool flush, const ShowWriteFailure& show) {
  RegKeyHandle key(p);
  if (!OpenDriverKeyForWrites(root, state.TunerDriverKey, kDriverData, &key)) return;
  UpdateDwordIfPresent(p, key.get(), "TunerBrand", state.TunerBrandCode, texts.tunerFailure, show);
  UpdateDwordIfPresent(p, key.get(), "TunerType", state.TunerTypeCode, texts.tunerFailure, show);
  if (texts.writesI2CAddress)
    UpdateDwordIfPresent(p, key.get(), "TunerI2CAddress",
                         state.TunerVariant == kTunerVariantAlternate ? 194u : 192u,
                         texts.tunerFailure, show);
  // "TunerChip" is the one value these drivers' keys may lack: it is
  // created when missing.
  ValueWrite chip = SetOrCreateDword(p, key.get(), "TunerChip", state.TunerChipCode,
                                     texts.tunerFailure, texts.createFailure, show);
  if (flush && (chip == ValueWrite::Created || chip == ValueWrite::CreateFailed))
    // Flushing only hastens what 9x writes at shutdown anyway.
    static_cast<void>(p.RegFlushKey(key.get()));
}

void WritePciTunerSettings(Platform& platform, const WizardState& state, bool nt,
                           const PciWriterTexts& texts, const ShowWriteFailure& show) {
  if (!nt) {
    WriteCaptureValues(platform, state, Win9xClassRoot, texts, show);
    WriteTunerValues(platform, state, Win9xClassRoot, texts, true, show);
    return;
  }
  KeySecurityBracket(platform, NtClassRoot, state.CaptureDriverKey, "",
                     BracketPolicy::GoOnWithoutDescriptor, show,
                     [&](const char*, const ShowWriteFailure& later) {
                       WriteCaptureValues(platform, state, NtClassRoot, texts, later);
                     });
  KeySecurityBracket(platform, NtClassRoot, state.TunerDriverKey, "",
                     BracketPolicy::GoOnWithoutDescriptor, show,
                     [&](const char*, const ShowWriteFailure& later) {
                       WriteTunerValues(platform, state, NtClassRoot, texts, false, later);
                     });
}

}  // namespace

int32_t WriteCx2388xSettingsNt(Platform& platform, const WizardState& state,
                               const ShowWriteFailure& show) {
  WritePciTunerSettings(platform, state, true, kCxNt, show);
  return 1;
}

int32_t WriteCx2388xSettings9x(Platform& platform, const WizardState& state,
                               const ShowWriteFailure& show) {
  WritePciTunerSettings(platform, state, false, kCx9x, show);
  return 1;
}

int32_t WriteBt878aSettingsNt(Platform& platform, const WizardState& state,
                              const ShowWriteFailure& show) {
  WritePciTunerSettings(platform, state, true, kBtNt, show);
  return 1;
}

int32_t WriteBt878aSettings9x(Platform& platform, const WizardState& state,
                              const ShowWriteFailure& show) {
  WritePciTunerSettings(platform, state, false, kBt9x, show);
  return 1;
}

}  // namespace cw
