// The CX2388X and BT878A writers: the capture driver's and the tuner
// driver's "DriverData" keys. The two families are twins; what differs is in
// the PciWriterTexts below.
#include "app/wizard_app.h"
#include "platform/win_constants.h"
#include "writers/registry_access.h"

namespace cw {

namespace {

constexpr const char* kDriverData = "\\DriverData";

struct PciWriterTexts {
  // Capture key values in the order written, each with its failure text.
  const char* captureNames[3];
  const char* captureFailures[3];
  const char* tunerFailure;    // "TunerBrand", "TunerType", "TunerI2CAddress", an existing "TunerChip"
  const char* createFailure;   // a "TunerChip" that had to be created
  bool writesI2CAddress;
};

const PciWriterTexts kCxNt = {
    {"VideoStandard", "WWAudioCountryCode", "WWVideoCountryCode"},
    {"Can't Write CX2388X Registry on Win2K.", "Can't Write CX2388X Registry on Win2K.",
     "Can't Write CX2388X Registry on Win2K."},
    "Can't Write CX2388X Registry on Win2K.",
    "Can't Create CX2388X Registry on Win2K.",
    true};

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

DWORD CaptureValue(const WizardApp& app, const char* name) {
  const std::string n = name;
  if (n == "VideoStandard") return app.VideoStandardMask;
  if (n == "WWAudioCountryCode") return app.AudioCountryCode;
  return app.VideoCountryCode;
}

void WriteCaptureValues(WizardApp& app, const char* root, const PciWriterTexts& texts,
                        const ShowWriteFailure& show) {
  RegKeyHandle key(app.platform());
  if (!OpenDriverKeyForWrites(app.platform(), root, app.CaptureDriverKey, kDriverData, &key)) return;
  for (int i = 0; i < 3; ++i)
    UpdateDwordIfPresent(app.platform(), key.get(), texts.captureNames[i],
                         CaptureValue(app, texts.captureNames[i]), texts.captureFailures[i], show);
}

void WriteTunerValues(WizardApp& app, const char* root, const PciWriterTexts& texts, bool flush,
                      const ShowWriteFailure& show) {
  Platform& p = app.platform();
  RegKeyHandle key(p);
  if (!OpenDriverKeyForWrites(p, root, app.TunerDriverKey, kDriverData, &key)) return;
  UpdateDwordIfPresent(p, key.get(), "TunerBrand", app.TunerBrandCode, texts.tunerFailure, show);
  UpdateDwordIfPresent(p, key.get(), "TunerType", app.TunerTypeCode, texts.tunerFailure, show);
  if (texts.writesI2CAddress)
    UpdateDwordIfPresent(p, key.get(), "TunerI2CAddress", app.TunerVariant == 3 ? 194u : 192u,
                         texts.tunerFailure, show);
  // "TunerChip" is the one value these drivers' keys may lack: it is
  // created when missing.
  ValueWrite chip = SetOrCreateDword(p, key.get(), "TunerChip", app.TunerChipCode,
                                     texts.tunerFailure, texts.createFailure, show);
  if (flush && (chip == ValueWrite::Created || chip == ValueWrite::CreateFailed))
    p.RegFlushKey(key.get());
}

void WritePciTunerSettings(WizardApp& app, bool nt, const PciWriterTexts& texts) {
  const ShowWriteFailure show = [&app](const char* text) { app.AfxMessageBox(text, MB_OK); };
  if (!nt) {
    WriteCaptureValues(app, Win9xClassRoot, texts, show);
    WriteTunerValues(app, Win9xClassRoot, texts, true, show);
    return;
  }
  KeySecurityBracket(app.platform(), NtClassRoot, app.CaptureDriverKey, "",
                     BracketPolicy::GoOnWithoutDescriptor, show,
                     [&](const char*, const ShowWriteFailure& later) {
                       WriteCaptureValues(app, NtClassRoot, texts, later);
                     });
  KeySecurityBracket(app.platform(), NtClassRoot, app.TunerDriverKey, "",
                     BracketPolicy::GoOnWithoutDescriptor, show,
                     [&](const char*, const ShowWriteFailure& later) {
                       WriteTunerValues(app, NtClassRoot, texts, false, later);
                     });
}

}  // namespace

int32_t WizardApp::WriteCx2388xSettingsNt() {
  WritePciTunerSettings(*this, true, kCxNt);
  return 1;
}

int32_t WizardApp::WriteCx2388xSettings9x() {
  WritePciTunerSettings(*this, false, kCx9x);
  return 1;
}

int32_t WizardApp::WriteBt878aSettingsNt() {
  WritePciTunerSettings(*this, true, kBtNt);
  return 1;
}

int32_t WizardApp::WriteBt878aSettings9x() {
  WritePciTunerSettings(*this, false, kBt9x);
  return 1;
}

}  // namespace cw
