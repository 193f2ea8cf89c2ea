// The SAA713X writers: the tuner driver's key, the capture driver's key and
// its "Audio" subkey. Only values already present are updated: none is ever
// created, and every presence query offers 255 bytes of a 256-byte buffer.
#include <cstdio>

#include "platform/win_constants.h"
#include "record/tv_standards.h"
#include "writers/family_writers.h"
#include "writers/registry_access.h"

namespace cw {

namespace {

constexpr DWORD kQueryCapacity = 255;
constexpr const char* kAudioSubkey = "\\Audio";

const char* TunerModel(int32_t standardIndex, int32_t tunerVariant) {
  const TvStandard& standard = TvStandardFor(standardIndex);
  return tunerVariant == kTunerVariantAlternate ? standard.saaAlternateTunerModel
                                                : standard.saaTunerModel;
}

struct SaaTexts {
  const char* tunerFailure;    // "DefaultStandard", "TunerType", "Address"
  const char* captureFailure;  // "CountryCode", "ForceNicamI"
};

const SaaTexts kNt = {"Can't Write SAA713X Registry on Win2K.",
                      "Can't Write SAA713X Registry on Win2K."};
// "Win9K" is the boards' own text, kept as users and support know it.
const SaaTexts k9x = {"Can't Write SAA713X Registry on Win9X.",
                      "Can't Write SAA713X Registry on Win9K."};

// "ForceNicamI" is written as a REG_DWORD whatever it was stored as, after
// the same 255-byte presence query as the other values.
void UpdateForceNicamI(Platform& p, HKEY key, DWORD value, const char* failure,
                       const ShowWriteFailure& show) {
  BYTE buffer[256] = {};
  DWORD type = REG_DWORD;
  DWORD size = kQueryCapacity;
  if (p.RegQueryValueExA(key, "ForceNicamI", &type, buffer, &size) != ERROR_SUCCESS) return;
  if (p.RegSetValueExA(key, "ForceNicamI", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                       sizeof(value)) != ERROR_SUCCESS)
    show(failure);
}

void WriteTunerKey(Platform& p, const WizardState& state, const char* root, const SaaTexts& texts,
                   const ShowWriteFailure& show) {
  RegKeyHandle key(p);
  if (!OpenDriverKeyForWrites(root, state.TunerDriverKey, "", &key)) return;
  char standard[16];
  std::snprintf(standard, sizeof(standard), "0x%8.8x", state.VideoStandardMask);
  UpdateStringIfPresent(p, key.get(), "DefaultStandard", standard, kQueryCapacity,
                        texts.tunerFailure, show);
  UpdateStringIfPresent(p, key.get(), "TunerType",
                        TunerModel(state.StandardIndex, state.TunerVariant), kQueryCapacity,
                        texts.tunerFailure, show);
  UpdateStringIfPresent(p, key.get(), "Address",
                        state.TunerVariant == kTunerVariantAlternate ? "0xC2" : "0xC0",
                        kQueryCapacity, texts.tunerFailure, show);
}

void WriteCaptureKey(Platform& p, const WizardState& state, const char* root, const SaaTexts& texts,
                     const ShowWriteFailure& show) {
  RegKeyHandle key(p);
  if (!OpenDriverKeyForWrites(root, state.CaptureDriverKey, "", &key)) return;
  char country[16];
  std::snprintf(country, sizeof(country), "%d", static_cast<int32_t>(state.AudioCountryCode));
  UpdateStringIfPresent(p, key.get(), "CountryCode", country, kQueryCapacity, texts.captureFailure,
                        show);
}

void WriteAudioKey(Platform& p, const WizardState& state, const char* root, const SaaTexts& texts,
                   const ShowWriteFailure& show) {
  RegKeyHandle key(p);
  if (!OpenDriverKeyForWrites(root, state.CaptureDriverKey, kAudioSubkey, &key)) return;
  UpdateForceNicamI(p, key.get(), state.NicamIRequested != 0 ? 1u : 0u, texts.captureFailure, show);
}

}  // namespace

int32_t WriteSaa713xSettingsNt(Platform& platform, const WizardState& state,
                               const ShowWriteFailure& show) {
  KeySecurityBracket(platform, NtClassRoot, state.TunerDriverKey, "",
                     BracketPolicy::GoOnWithoutDescriptor, show,
                     [&](const char*, const ShowWriteFailure& later) {
                       WriteTunerKey(platform, state, NtClassRoot, kNt, later);
                     });
  KeySecurityBracket(platform, NtClassRoot, state.CaptureDriverKey, "",
                     BracketPolicy::GoOnWithoutDescriptor, show,
                     [&](const char*, const ShowWriteFailure& later) {
                       WriteCaptureKey(platform, state, NtClassRoot, kNt, later);
                     });
  // The audio key's own security is opened, not its parent's.
  KeySecurityBracket(platform, NtClassRoot, state.CaptureDriverKey, kAudioSubkey,
                     BracketPolicy::GoOnWithoutDescriptor, show,
                     [&](const char*, const ShowWriteFailure& later) {
                       WriteAudioKey(platform, state, NtClassRoot, kNt, later);
                     });
  return 1;
}

int32_t WriteSaa713xSettings9x(Platform& platform, const WizardState& state,
                               const ShowWriteFailure& show) {
  WriteCaptureKey(platform, state, Win9xClassRoot, k9x, show);
  WriteAudioKey(platform, state, Win9xClassRoot, k9x, show);
  WriteTunerKey(platform, state, Win9xClassRoot, k9x, show);
  return 1;
}

}  // namespace cw
