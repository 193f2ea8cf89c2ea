// The keys of Chanwiz.ini: their names, the buffers they are read into (and
// so the longest text each can hold) and the texts shown when a key is
// missing. Shared by the wizard and the tools that check text files.
#pragma once

#include <cstddef>

#include "platform/platform.h"
#include "record/wizard_state.h"

namespace cw {

constexpr const char* kTextFileName = "Chanwiz.ini";

// The title key is read first, with an empty default: a section without a
// title is not used at all, and section "1" is read instead. There a
// missing title shows kDefaultTitle.
constexpr const char* kTitleKey = "AppTitleName";
constexpr const char* kDefaultTitle = "QL750 Chanwiz Wizard";
constexpr const char* kFallbackTextSection = "1";
constexpr size_t kTitleCapacity = sizeof(WizardState::AppTitleName);

struct TextKey {
  const char* key;
  char* (*field)(WizardState&);
  size_t capacity;  // bytes, the terminating NUL included
  const char* defaultText;
};

// Every key after the title, in the order read.
extern const TextKey kTextKeys[];
extern const size_t kTextKeyCount;

// Chooses the section of the Windows country (else "1") and reads every
// text into the record, each with its built-in default; always 1.
int32_t LoadTexts(Platform& platform, WizardState& state);

}  // namespace cw
