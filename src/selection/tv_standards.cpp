#include "selection/tv_standards.h"

namespace cw {


const TvSystemChoice TvSystemChoices[kTvSystemChoiceCount] = {
    {"NTSC", "NTSC", 0, false},
    {"NTSC J", "NTSC J", 1, false},
    {"PAL BG", "PAL BG", 2, false},
    {"PAL DK", "PAL DK", 3, false},
    {"PAL I", "PAL I", 4, false},
    {"PAL M", "PAL M", 5, false},
    {"PAL N", "PAL N", 6, false},
    {"SECAM BG", "SECAM BG", 7, false},
    {"SECAM DK", "SECAM DK", 8, false},
    {"SECAM L", "SECAM L", 9, false},
    // Mixed PAL/SECAM regions tune as SECAM DK.
    {"PAL/SECAM", "PAL/SECAM", 8, false},
    // PAL DK picture with NICAM I sound: PAL DK plus the variant mark.
    {"PAL DK (NICAM I)", "PAL DK", 3, true},
};

const char* StandardName(int32_t standardIndex) { return TvStandardFor(standardIndex).name; }

const char* StandardCountryText(int32_t standardIndex) {
  return TvStandardFor(standardIndex).countryText;
}

int32_t TvSystemChoiceCount() { return kTvSystemChoiceCount; }

const TvSystemChoice* TvSystemChoiceAt(int32_t index) {
  if (index < 0 || index >= kTvSystemChoiceCount) return nullptr;
  return &TvSystemChoices[index];
}

}  // namespace cw
