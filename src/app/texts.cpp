// The localized texts from Chanwiz.ini, and the Windows country code that
// chooses their section.
#include <cstdio>
#include <cstring>

#include "app/text_keys.h"
#include "platform/raii.h"
#include "platform/win_constants.h"
#include "system/windows_settings.h"

namespace cw {

#define CW_TEXT(name, text)                                                                 \
  TextKey {                                                                                 \
#name, [](WizardState & s) -> char* { return s.name; }, sizeof(WizardState::name), text \
  }

// Every key after "AppTitleName", in the order read.
const TextKey kTextKeys[] = {
    CW_TEXT(ChanwizTextTip,
            "Now the Chanwiz Wizard will take you to re-initialize your QL750 settings step by "
            "step so that the QL750 Device can work well."),
    CW_TEXT(TVSystemText, "TV System"),
    CW_TEXT(CountryText, "Country"),
    CW_TEXT(DialogCountryTitle, "Select Country"),
    CW_TEXT(CountryAlphabetTip, "Country name by Alphabet"),
    CW_TEXT(DialogVideoTitle, "Select TV System"),
    CW_TEXT(VideoFormatText, "Your TV System is :"),
    CW_TEXT(DialogRebootTitle, "Restart your computer"),
    CW_TEXT(RebootYesText, "Yes, I want to restart my computer right now."),
    CW_TEXT(RebootNoText, "No, I will restart  my computer later."),
    CW_TEXT(RebootTextTip1, "Note :"),
    CW_TEXT(RebootTextTip2,
            "Setup Wizard has completed. You have to restart your computer right now so that the "
            "TV-Tuner can work well."),
    CW_TEXT(RebootTextTip3,
            "If you don't restart your computer, the TV-Tuner maybe can't work now."),
    CW_TEXT(OKText, "OK"),
    CW_TEXT(CANCELText, "Cancel"),
    CW_TEXT(NoDeviceMsg1, "Sorry, we can't find any QL750 Device on your computer."),
    CW_TEXT(NoDeviceMsg2, "Please check your hardware."),
    CW_TEXT(FoundMultiDevMsg1,
            "We found that at least there are two TV Tuner devices on your computer."),
    CW_TEXT(FoundMultiDevMsg2,
            "Please remove one of them for a while if you want to re-initialize the TV Tuner "
            "settings."),
    CW_TEXT(USBUpdateRegPass1, "Please Re-Plugin the QL750 Device on your computer."),
    CW_TEXT(USBUpdateRegPass2, "Otherwise, the QL750 Device maybe can't work well."),
    CW_TEXT(USBUpdateRegFail1,
            "Sorry, the process of updating TV settings is failed ! Maybe the driver is NOT "
            "ready !"),
    CW_TEXT(USBUpdateRegFail2, "Please reboot your PC and then re-install QL750 WDM Driver."),
};

#undef CW_TEXT

const size_t kTextKeyCount = sizeof(kTextKeys) / sizeof(kTextKeys[0]);

int32_t LoadTexts(Platform& platform, WizardState& state) {
  std::snprintf(state.TextSection, sizeof(state.TextSection), "%d",
                GetWindowsCountryCode(platform, state.IsNtFamily));

  // The text file sits in the program's own folder, whatever the program
  // file is called; a path that does not fit leaves every text at its default.
  char module[128] = {};
  DWORD length = platform.GetModuleFileNameA(module, sizeof(module));
  char path[256] = {};
  bool havePath = false;
  if (length > 0 && length < sizeof(module)) {
    const char* lastSlash = std::strrchr(module, '\\');
    if (lastSlash != nullptr) {
      int folderLength = static_cast<int>(lastSlash - module + 1);
      int written =
          std::snprintf(path, sizeof(path), "%.*s%s", folderLength, module, kTextFileName);
      havePath = written > 0 && static_cast<size_t>(written) < sizeof(path);
    }
  }

  auto read = [&](const char* key, const char* defaultText, char* field, size_t capacity) {
    if (!havePath) {
      // As the profile reader does for a missing file: the default, cut.
      size_t i = 0;
      for (; i + 1 < capacity && defaultText[i] != '\0'; ++i) field[i] = defaultText[i];
      field[i] = '\0';
      return;
    }
    platform.GetPrivateProfileStringA(state.TextSection, key, defaultText, field,
                                      static_cast<DWORD>(capacity), path);
    field[capacity - 1] = '\0';
  };

  read(kTitleKey, "", state.AppTitleName, sizeof(state.AppTitleName));
  if (state.AppTitleName[0] == '\0') {
    CopyText(state.TextSection, kFallbackTextSection);
    read(kTitleKey, kDefaultTitle, state.AppTitleName, sizeof(state.AppTitleName));
  }
  for (size_t i = 0; i < kTextKeyCount; ++i) {
    const TextKey& key = kTextKeys[i];
    read(key.key, key.defaultText, key.field(state), key.capacity);
  }
  return 1;
}

}  // namespace cw
