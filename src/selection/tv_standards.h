// The TV standard index that both selection pages record and every
// derivation turns into driver values, and the fixed choices of the TV system
// page.
#pragma once

#include <cstdint>

namespace cw {

// StandardIndex values: 0 NTSC, 1 NTSC J, 2 PAL BG, 3 PAL DK, 4 PAL I,
// 5 PAL M, 6 PAL N, 7 SECAM BG, 8 SECAM DK, 9 SECAM L.
constexpr int32_t kStandardIndexCount = 10;

// The name of a StandardIndex as the TV system list shows it ("NTSC" ..
// "SECAM L"); nullptr outside 0..9.
const char* StandardName(int32_t standardIndex);

// The analog standard as the country texts end in it ("(NTSC-M)" ..
// "(SECAM-L)"); nullptr outside 0..9.
const char* StandardCountryText(int32_t standardIndex);

// Recorded in StandardVariant by "PAL DK (NICAM I)": the PAL DK values with
// the NICAM I sound carrier.
constexpr int32_t kNicamIStandardVariant = 5;

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
