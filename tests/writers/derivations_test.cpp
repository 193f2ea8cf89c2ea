// The derivations, row by row, on both selection paths.
#include <gtest/gtest.h>

#include "platform/win_constants.h"
#include "app/text_keys.h"
#include "writers/derivations.h"
#include "support/sim_harness.h"

namespace cw::test {
namespace {

// A machine whose Windows country is `country` (NT family).
std::unique_ptr<SimRun> App(int country, const std::string& script = "") {
  auto run = std::make_unique<SimRun>(
      MachineFromText(MachineText("", "\"" + std::to_string(country) + "\"")), script);
  run->state.IsNtFamily = 1;
  LoadTexts(*run->platform, run->state);
  return run;
}

// What each family's drivers take for each standard, one row per index (and
// one for an index outside 0..9), typed from the drivers' documentation.
struct DriverRow {
  int32_t standard;
  uint32_t mask;
  uint32_t audio;  // the TV System path's audio country
  uint32_t cxType, btType, usbTuner, usbAudio;
};
const DriverRow kDriverRows[] = {
    {0, 1, 1, 1, 1, 1, 1},          {1, 2, 81, 1, 1, 2, 2},       {2, 16, 49, 14, 6, 3, 3},
    {3, 32, 86, 14, 6, 5, 4},       {4, 256, 44, 14, 6, 4, 5},    {5, 512, 1, 1, 1, 1, 1},
    {6, 1024, 1, 1, 1, 1, 1},       {7, 4096, 49, 14, 6, 3, 3},   {8, 8192, 86, 14, 6, 5, 4},
    {9, 262144, 33, 13, 7, 7, 0},   {-1, 1, 1, 1, 1, 1, 1},       {10, 1, 1, 1, 1, 1, 1},
};

// The alternative tuner's own type codes: CX2388X 1 -> 15, 14 -> 16; BT878A
// 1 -> 8, 6 -> 9; SECAM L's keeps its code.
uint32_t AlternateType(bool bt, uint32_t type) {
  if (bt) return type == 1 ? 8 : type == 6 ? 9 : type;
  return type == 1 ? 15 : type == 14 ? 16 : type;
}

// NICAM I (PAL DK's variant 5) gives British sound on the TV System path only.
TEST(DerivePci, EveryStandardOnBothPathsForBothFamilies) {
  for (bool bt : {false, true}) {
    for (const DriverRow& r : kDriverRows) {
      for (int variant : {0, 3}) {
        for (int mode : {0, 1}) {
          for (int nicam : {0, 5}) {
            SCOPED_TRACE(std::string(bt ? "BT878A" : "CX2388X") + " standard " + std::to_string(r.standard) +
                         " variant " + std::to_string(variant) + (mode ? " country path" : " TV system path") +
                         " standard variant " + std::to_string(nicam));
            auto run = App(886);
            WizardState& a = run->state;
            a.SelectionMode = mode;
            a.StandardIndex = r.standard;
            a.StandardVariant = nicam;
            a.TunerVariant = variant;
            a.CountryCode = mode ? 49 : 0;
            bt ? DeriveBt878aSettings(*run->platform, a) : DeriveCx2388xSettings(*run->platform, a);
            const uint32_t country = mode ? 49 : 886;
            const uint32_t type = bt ? r.btType : r.cxType;
            EXPECT_EQ(a.CountryCode, static_cast<int32_t>(country));
            EXPECT_EQ(a.VideoStandardMask, r.mask);
            EXPECT_EQ(a.TunerTypeCode, variant == 3 ? AlternateType(bt, type) : type);
            EXPECT_EQ(a.AudioCountryCode, mode ? country : r.standard == 3 && nicam == 5 ? 44 : r.audio);
            EXPECT_EQ(a.VideoCountryCode, country);
            EXPECT_EQ(a.TunerBrandCode, 2u);
            EXPECT_EQ(a.TunerChipCode, variant == 3 ? 2u : 1u);
          }
        }
      }
    }
  }
}

TEST(DeriveSaa713x, TheNicamQuestionForChina) {
  struct Case {
    int mode;
    int32_t standard;
    int32_t variant;
    const char* answer;
    int32_t nicam;
  };
  const Case cases[] = {
      {1, 2, 0, "yes", 1}, {1, 2, 0, "no", 0},   // country path: the answer decides
      {1, 3, 5, "no", 0},  {1, 3, 0, "yes", 1},  // whatever the standard
      {0, 3, 5, "no", 1},  {0, 3, 5, "yes", 1},  // TV path, PAL DK (NICAM I): always 1
      {0, 3, 0, "yes", 0}, {0, 3, 0, "no", 0},   // TV path, plain PAL DK: always 0
      {0, 2, 0, "yes", 1},                       // TV path, another standard: the answer
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.mode) + "/" + std::to_string(c.standard) + "/" +
                 std::to_string(c.variant) + "/" + c.answer);
    auto run = App(86, c.answer);
    WizardState& a = run->state;
    a.SelectionMode = c.mode;
    a.CountryCode = c.mode ? 86 : 0;
    a.StandardIndex = c.standard;
    a.StandardVariant = c.variant;
    DeriveSaa713xSettings(*run->platform, a);
    EXPECT_EQ(a.NicamIRequested, c.nicam);
    auto boxes = run->Events("messagebox");
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0], BoxRecord("Do you want to change your TV Audio System to NICAM_I ?", 260,
                                  "QL750 Chanwiz Wizard", std::string(c.answer) == "yes" ? IDYES : IDNO));
  }
}

// SAA713X and USB: the standard's values; the country is Windows' on the TV
// System path and the chosen one on the country path (Italy and France here).
TEST(DeriveSaa713xAndUsb, EveryStandardOnBothPaths) {
  for (bool usb : {false, true}) {
    for (const DriverRow& r : kDriverRows) {
      for (int mode : {0, 1}) {
        SCOPED_TRACE(std::string(usb ? "USB " : "SAA713X ") + std::to_string(r.standard) +
                     (mode ? " country" : " TV system"));
        auto run = App(39);
        WizardState& a = run->state;
        a.SelectionMode = mode;
        a.StandardIndex = r.standard;
        a.CountryCode = mode ? 33 : 0;
        usb ? DeriveUsbSettings(*run->platform, a) : DeriveSaa713xSettings(*run->platform, a);
        EXPECT_EQ(a.VideoStandardMask, r.mask);
        EXPECT_EQ(a.CountryCode, mode ? 33 : 39);
        EXPECT_EQ(a.NicamIRequested, 0);
        EXPECT_TRUE(run->Events("messagebox").empty());
        // Each family sets its own fields only.
        EXPECT_EQ(a.AudioCountryCode, usb ? 0u : mode ? 33u : r.audio);
        EXPECT_EQ(a.TunerTypeCode, usb ? r.usbTuner : 0u);
        EXPECT_EQ(a.AudioStandardCode, usb ? r.usbAudio : 0u);
        EXPECT_EQ(a.TunerBrandCode, 0u);
      }
    }
  }
}

}  // namespace
}  // namespace cw::test
