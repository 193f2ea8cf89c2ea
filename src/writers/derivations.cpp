// The derivations: the user's choice (a TV standard, or a country) turned
// into the values each family's drivers expect.
#include "app/wizard_app.h"
#include "platform/win_constants.h"
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
static void DerivePciTunerSettings(WizardApp& app, bool bt878a) {
  if (app.SelectionMode == 0) app.CountryCode = app.GetWindowsCountryCode();
  const StandardRow& row = RowFor(app.StandardIndex);
  app.VideoStandardMask = row.videoStandardMask;
  app.TunerTypeCode = bt878a ? row.btTunerType : row.cxTunerType;
  const uint32_t country = static_cast<uint32_t>(app.CountryCode);
  if (app.SelectionMode != 0) {
    app.AudioCountryCode = country;
  } else {
    app.AudioCountryCode = row.audioCountryCode;
    // "PAL DK (NICAM I)" is PAL DK with British (NICAM I) sound.
    if (app.StandardIndex == kPalDk && app.StandardVariant == kNicamIVariant)
      app.AudioCountryCode = kUnitedKingdom;
  }
  app.VideoCountryCode = country;
  app.TunerBrandCode = 2;
  app.TunerChipCode = 1;
  if (app.TunerVariant == 3) {
    app.TunerChipCode = 2;
    if (bt878a) {
      if (app.TunerTypeCode == 1) app.TunerTypeCode = 8;
      else if (app.TunerTypeCode == 6) app.TunerTypeCode = 9;
    } else {
      if (app.TunerTypeCode == 1) app.TunerTypeCode = 15;
      else if (app.TunerTypeCode == 14) app.TunerTypeCode = 16;
    }
  }
}

int32_t WizardApp::DeriveCx2388xSettings() {
  DerivePciTunerSettings(*this, false);
  return 1;
}

int32_t WizardApp::DeriveBt878aSettings() {
  DerivePciTunerSettings(*this, true);
  return 1;
}

int32_t WizardApp::DeriveSaa713xSettings() {
  const bool tvSystemPath = SelectionMode == 0;
  if (tvSystemPath) CountryCode = GetWindowsCountryCode();
  if (CountryCode == kChina) {
    int answer = platform_.MessageBoxA(HWND(0), kNicamIQuestion, AppTitleName,
                                       MB_YESNO | MB_DEFBUTTON2);
    NicamIRequested = answer == IDYES ? 1 : 0;
  }
  const StandardRow& row = RowFor(StandardIndex);
  VideoStandardMask = row.videoStandardMask;
  AudioCountryCode = tvSystemPath ? row.audioCountryCode : static_cast<uint32_t>(CountryCode);
  // On the TV System path the list's own NICAM I choice decides for PAL DK.
  if (tvSystemPath && StandardIndex == kPalDk)
    NicamIRequested = StandardVariant == kNicamIVariant ? 1 : 0;
  return 1;
}

int32_t WizardApp::DeriveUsbSettings() {
  if (SelectionMode == 0) CountryCode = GetWindowsCountryCode();
  const StandardRow& row = RowFor(StandardIndex);
  VideoStandardMask = row.videoStandardMask;
  TunerTypeCode = row.usbTunerId;
  AudioStandardCode = row.usbAudioDecoder;
  return 1;
}

}  // namespace cw
