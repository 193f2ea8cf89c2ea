#include "record/tv_standards.h"

namespace cw {

namespace {

const TvStandard kStandards[kStandardIndexCount + 1] = {
    {"NTSC", "(NTSC-M)", 0x1, 1, 1, 1, 1, 1, "FM1236", "TN5533"},
    {"NTSC J", "(NTSC-J)", 0x2, 81, 1, 1, 2, 2, "FM1236", "TN5533"},
    {"PAL BG", "(PAL-B/G)", 0x10, 49, 14, 6, 3, 3, "FQ1216TN", "TN9533"},
    {"PAL DK", "(PAL-D/K)", 0x20, 86, 14, 6, 5, 4, "FQ1216TN", "TN9533"},
    {"PAL I", "(PAL-I)", 0x100, 44, 14, 6, 4, 5, "FQ1216TN", "TN9533"},
    {"PAL M", "(PAL-M)", 0x200, 1, 1, 1, 1, 1, "FM1236", "TN5533"},
    {"PAL N", "(PAL-N)", 0x400, 1, 1, 1, 1, 1, "FM1236", "TN5533"},
    {"SECAM BG", "(SECAM-B/G)", 0x1000, 49, 14, 6, 3, 3, "FQ1216TN", "TN9533"},
    {"SECAM DK", "(SECAM-D/K)", 0x2000, 86, 14, 6, 5, 4, "FQ1216TN", "TN9533"},
    // The SECAM L tuner has no alternative model.
    {"SECAM L", "(SECAM-L)", 0x40000, 33, 13, 7, 7, 0, "FQ1216MK2", "FQ1216MK2"},
    // Any other index.
    {nullptr, nullptr, 0x1, 1, 1, 1, 1, 1, "FM1236", "TN5533"},
};

}  // namespace

const TvStandard& TvStandardFor(int32_t standardIndex) {
  if (standardIndex < 0 || standardIndex >= kStandardIndexCount)
    return kStandards[kStandardIndexCount];
  return kStandards[standardIndex];
}

}  // namespace cw
