#include "selection/tv_standards.h"

namespace cw {

namespace {

constexpr const char* kStandardNames[kStandardIndexCount] = {
    "NTSC",  "NTSC J", "PAL BG",   "PAL DK",   "PAL I",
    "PAL M", "PAL N",  "SECAM BG", "SECAM DK", "SECAM L",
};

constexpr const char* kStandardCountryTexts[kStandardIndexCount] = {
    "(NTSC-M)", "(NTSC-J)", "(PAL-B/G)",   "(PAL-D/K)",   "(PAL-I)",
    "(PAL-M)",  "(PAL-N)",  "(SECAM-B/G)", "(SECAM-D/K)", "(SECAM-L)",
};

bool IsStandardIndex(int32_t index) { return index >= 0 && index < kStandardIndexCount; }

}  // namespace

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

const char* StandardName(int32_t standardIndex) {
  return IsStandardIndex(standardIndex) ? kStandardNames[standardIndex] : nullptr;
}

const char* StandardCountryText(int32_t standardIndex) {
  return IsStandardIndex(standardIndex) ? kStandardCountryTexts[standardIndex] : nullptr;
}

int32_t TvSystemChoiceCount() { return kTvSystemChoiceCount; }

const TvSystemChoice* TvSystemChoiceAt(int32_t index) {
  if (index < 0 || index >= kTvSystemChoiceCount) return nullptr;
  return &TvSystemChoices[index];
}

}  // namespace cw
