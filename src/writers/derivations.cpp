// The derivations: the user's choice (a TV standard, or a country) turned
// into the values each family's drivers expect.
#include "writers/derivations.h"

#include "platform/win_constants.h"
#include "record/tv_standards.h"
#include "system/windows_settings.h"
#include "writers/nicam_question.h"

namespace cw {

namespace {

constexpr int32_t kChina = 86;
// The drivers' codes for the boards' tuner brand, and for the chip that tells
// the standard tuner (1) from the alternative one (2).
constexpr uint32_t kBoardTunerBrand = 2;
constexpr uint32_t kTunerChipStandard = 1;
constexpr uint32_t kTunerChipAlternate = 2;
constexpr uint32_t kUnitedKingdom = 44;

}  // namespace

// CX2388X and BT878A share every step but the tuner type codes.
static void DerivePciTunerSettings(Platform& platform, WizardState& state, bool bt878a) {
  if (state.SelectionMode == kTvSystemPath)
    state.CountryCode = GetWindowsCountryCode(platform, state.IsNtFamily);
  const TvStandard& row = TvStandardFor(state.StandardIndex);
  state.VideoStandardMask = row.videoStandardMask;
  state.TunerTypeCode = bt878a ? row.btTunerType : row.cxTunerType;
  const uint32_t country = static_cast<uint32_t>(state.CountryCode);
  if (state.SelectionMode != kTvSystemPath) {
    state.AudioCountryCode = country;
  } else {
    state.AudioCountryCode = row.audioCountryCode;
    // "PAL DK (NICAM I)" is PAL DK with British (NICAM I) sound.
    if (state.StandardIndex == kPalDk && state.StandardVariant == kNicamIStandardVariant)
      state.AudioCountryCode = kUnitedKingdom;
  }
  state.VideoCountryCode = country;
  state.TunerBrandCode = kBoardTunerBrand;
  state.TunerChipCode = kTunerChipStandard;
  if (state.TunerVariant == kTunerVariantAlternate) {
    state.TunerChipCode = kTunerChipAlternate;
    // The alternative tuner has codes of its own for the two tuner types it
    // replaces; SECAM L's keeps its code.
    if (bt878a) {
      if (state.TunerTypeCode == 1)
        state.TunerTypeCode = 8;
      else if (state.TunerTypeCode == 6)
        state.TunerTypeCode = 9;
    } else {
      if (state.TunerTypeCode == 1)
        state.TunerTypeCode = 15;
      else if (state.TunerTypeCode == 14)
        state.TunerTypeCode = 16;
    }
  }
}

int32_t DeriveCx2388xSettings(Platform& platform, WizardState& state) {
  DerivePciTunerSettings(platform, state, false);
  return 1;
}

int32_t DeriveBt878aSettings(Platform& platform, WizardState& state) {
  DerivePciTunerSettings(platform, state, true);
  return 1;
}

int32_t DeriveSaa713xSettings(Platform& platform, WizardState& state) {
  const bool tvSystemPath = state.SelectionMode == kTvSystemPath;
  if (tvSystemPath) state.CountryCode = GetWindowsCountryCode(platform, state.IsNtFamily);
  if (state.CountryCode == kChina) {
    int answer = platform.MessageBoxA(HWND(0), kNicamIQuestion, state.AppTitleName,
                                      MB_YESNO | MB_DEFBUTTON2);
    state.NicamIRequested = answer == IDYES ? 1 : 0;
  }
  const TvStandard& row = TvStandardFor(state.StandardIndex);
  state.VideoStandardMask = row.videoStandardMask;
  state.AudioCountryCode =
      tvSystemPath ? row.audioCountryCode : static_cast<uint32_t>(state.CountryCode);
  // On the TV System path the list's own NICAM I choice decides for PAL DK.
  if (tvSystemPath && state.StandardIndex == kPalDk)
    state.NicamIRequested = state.StandardVariant == kNicamIStandardVariant ? 1 : 0;
  return 1;
}

int32_t DeriveUsbSettings(Platform& platform, WizardState& state) {
  if (state.SelectionMode == kTvSystemPath)
    state.CountryCode = GetWindowsCountryCode(platform, state.IsNtFamily);
  const TvStandard& row = TvStandardFor(state.StandardIndex);
  state.VideoStandardMask = row.videoStandardMask;
  state.TunerTypeCode = row.usbTunerId;
  state.AudioStandardCode = row.usbAudioDecoder;
  return 1;
}

}  // namespace cw
