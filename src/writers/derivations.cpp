// The derivations: the user's choice (a TV standard, or a country) turned
// into the values each family's drivers expect.
#include "writers/derivations.h"

#include "platform/win_constants.h"
#include "system/windows_settings.h"
#include "writers/nicam_question.h"

namespace cw {

namespace {

// One row per StandardIndex 0..9; anything else takes the last row.
struct StandardRow {
  uint32_t videoStandardMask;   // a DirectShow AnalogVideoStandard bit
  uint32_t audioCountryCode;    // the TV System path's fixed audio country
  uint32_t cxTunerType;
  uint32_t btTunerType;
  uint32_t usbTunerId;
  uint32_t usbAudioDecoder;
};

const StandardRow kStandardRows[] = {
    {0x1, 1, 1, 1, 1, 1},          // NTSC
    {0x2, 81, 1, 1, 2, 2},         // NTSC J
    {0x10, 49, 14, 6, 3, 3},       // PAL BG
    {0x20, 86, 14, 6, 5, 4},       // PAL DK
    {0x100, 44, 14, 6, 4, 5},      // PAL I
    {0x200, 1, 1, 1, 1, 1},        // PAL M
    {0x400, 1, 1, 1, 1, 1},        // PAL N
    {0x1000, 49, 14, 6, 3, 3},     // SECAM BG
    {0x2000, 86, 14, 6, 5, 4},     // SECAM DK
    {0x40000, 33, 13, 7, 7, 0},    // SECAM L
    {0x1, 1, 1, 1, 1, 1},          // any other index
};

const StandardRow& RowFor(int32_t standardIndex) {
  if (standardIndex < 0 || standardIndex > 9) return kStandardRows[10];
  return kStandardRows[standardIndex];
}

constexpr int32_t kPalDk = 3;
constexpr int32_t kNicamIVariant = 5;
constexpr int32_t kChina = 86;
constexpr uint32_t kUnitedKingdom = 44;

}  // namespace

// CX2388X and BT878A share every step but the tuner type codes.
static void DerivePciTunerSettings(Platform& platform, WizardState& state, bool bt878a) {
  if (state.SelectionMode == kTvSystemPath)
    state.CountryCode = GetWindowsCountryCode(platform, state.IsNtFamily);
  const StandardRow& row = RowFor(state.StandardIndex);
  state.VideoStandardMask = row.videoStandardMask;
  state.TunerTypeCode = bt878a ? row.btTunerType : row.cxTunerType;
  const uint32_t country = static_cast<uint32_t>(state.CountryCode);
  if (state.SelectionMode != kTvSystemPath) {
    state.AudioCountryCode = country;
  } else {
    state.AudioCountryCode = row.audioCountryCode;
    // "PAL DK (NICAM I)" is PAL DK with British (NICAM I) sound.
    if (state.StandardIndex == kPalDk && state.StandardVariant == kNicamIVariant)
      state.AudioCountryCode = kUnitedKingdom;
  }
  state.VideoCountryCode = country;
  state.TunerBrandCode = 2;
  state.TunerChipCode = 1;
  if (state.TunerVariant == kTunerVariantAlternate) {
    state.TunerChipCode = 2;
    if (bt878a) {
      if (state.TunerTypeCode == 1) state.TunerTypeCode = 8;
      else if (state.TunerTypeCode == 6) state.TunerTypeCode = 9;
    } else {
      if (state.TunerTypeCode == 1) state.TunerTypeCode = 15;
      else if (state.TunerTypeCode == 14) state.TunerTypeCode = 16;
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
  const StandardRow& row = RowFor(state.StandardIndex);
  state.VideoStandardMask = row.videoStandardMask;
  state.AudioCountryCode =
      tvSystemPath ? row.audioCountryCode : static_cast<uint32_t>(state.CountryCode);
  // On the TV System path the list's own NICAM I choice decides for PAL DK.
  if (tvSystemPath && state.StandardIndex == kPalDk)
    state.NicamIRequested = state.StandardVariant == kNicamIVariant ? 1 : 0;
  return 1;
}

int32_t DeriveUsbSettings(Platform& platform, WizardState& state) {
  if (state.SelectionMode == kTvSystemPath)
    state.CountryCode = GetWindowsCountryCode(platform, state.IsNtFamily);
  const StandardRow& row = RowFor(state.StandardIndex);
  state.VideoStandardMask = row.videoStandardMask;
  state.TunerTypeCode = row.usbTunerId;
  state.AudioStandardCode = row.usbAudioDecoder;
  return 1;
}

}  // namespace cw
