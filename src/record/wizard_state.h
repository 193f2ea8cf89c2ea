// The one record a run of the wizard shares: what detection found, what the
// user chose, the driver settings derived from it, the driver keys, the flags
// that steer the pages, and every text loaded from Chanwiz.ini.
#pragma once

#include <cstdint>
#include <string>

#include "base/text.h"

namespace cw {

// Capacities of the text buffers, the terminating NUL included.
constexpr size_t kMessageBufferSize = 512;
constexpr size_t kTextSectionSize = 32;

struct WizardState {
  int32_t DeviceCount = 0;
  int32_t IsNtFamily = 0;
  int32_t RestartNow = 0;
  int32_t SelectionMode = 0;  // kTvSystemPath or kCountryPath
  int32_t NicamIRequested = 0;
  int32_t StandardIndex = 0;
  int32_t TunerVariant = 0;
  uint32_t TunerTypeCode = 0;
  uint32_t AudioStandardCode = 0;
  uint32_t DeviceFlags = 0;
  int32_t CountryCode = 0;
  uint32_t AudioCountryCode = 0;
  uint32_t VideoCountryCode = 0;
  uint32_t VideoStandardMask = 0;
  uint32_t TunerBrandCode = 0;
  uint32_t TunerChipCode = 0;
  int32_t StandardVariant = 0;
  std::string TunerDriverKey;
  std::string CaptureDriverKey;
  int32_t ShowRestart = 1;
  int32_t UsbWriteResult = 0;
  char MessageBuffer[kMessageBufferSize] = {};
  char TextSection[kTextSectionSize] = {};

  // The texts, named after their keys in Chanwiz.ini.
  char AppTitleName[128] = {};
  char ChanwizTextTip[256] = {};
  char TVSystemText[128] = {};
  char CountryText[128] = {};
  char DialogCountryTitle[128] = {};
  char CountryAlphabetTip[128] = {};
  char DialogVideoTitle[128] = {};
  char VideoFormatText[128] = {};
  char DialogRebootTitle[128] = {};
  char RebootYesText[128] = {};
  char RebootNoText[128] = {};
  char RebootTextTip1[128] = {};
  char RebootTextTip2[128] = {};
  char RebootTextTip3[128] = {};
  char OKText[16] = {};
  char CANCELText[16] = {};
  char NoDeviceMsg1[256] = {};
  char NoDeviceMsg2[256] = {};
  char FoundMultiDevMsg1[256] = {};
  char FoundMultiDevMsg2[256] = {};
  char USBUpdateRegPass1[256] = {};
  char USBUpdateRegPass2[256] = {};
  char USBUpdateRegFail1[256] = {};
  char USBUpdateRegFail2[256] = {};
};

// SelectionMode: which selection page the user took.
constexpr int32_t kTvSystemPath = 0;
constexpr int32_t kCountryPath = 1;

// TunerVariant: what the board's hardware probe reported.
constexpr int32_t kTunerVariantStandard = 0;
constexpr int32_t kTunerVariantAlternate = 3;  // the alternative tuner

// DeviceFlags bits.
constexpr uint32_t kFlagSaa7130 = 0x1;
constexpr uint32_t kFlagSaa7133 = 0x2;
constexpr uint32_t kFlagSaa7134 = 0x4;
constexpr uint32_t kFlagsSaa713x = 0x7;
constexpr uint32_t kFlagCx2388x = 0x10;
constexpr uint32_t kFlagsCx2388x = 0xF0;
constexpr uint32_t kFlagBt878a = 0x100;
constexpr uint32_t kFlagUsb = 0x10000;

}  // namespace cw
