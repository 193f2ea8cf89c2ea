// The fixed choices of the TV system page, and the names of the standard
// index both selection pages record (record/tv_standards.h).
#pragma once

#include <cstdint>

#include "record/tv_standards.h"

namespace cw {

// The name of a StandardIndex as the TV system list shows it ("NTSC" ..
// "SECAM L"); nullptr outside 0..9.
const char* StandardName(int32_t standardIndex);

// The analog standard as the country texts end in it ("(NTSC-M)" ..
// "(SECAM-L)"); nullptr outside 0..9.
const char* StandardCountryText(int32_t standardIndex);

struct TvSystemChoice {
  const char* listText;   // the TV system list's row text
  const char* nameShown;  // shown in the name box while the row is selected
  int32_t StandardIndex;  // recorded on OK
  bool setsVariant;       // OK also records kNicamIStandardVariant
};

constexpr int32_t kTvSystemChoiceCount = 12;

// In list order; the list does not sort, so the position is the list index.
extern const TvSystemChoice TvSystemChoices[kTvSystemChoiceCount];

int32_t TvSystemChoiceCount();

// The choice at a list index; nullptr outside 0..11 (including the -1 of a
// list with no selection).
const TvSystemChoice* TvSystemChoiceAt(int32_t index);

}  // namespace cw
