#include "selection/tv_standards.h"

#include <gtest/gtest.h>

#include <climits>
#include <ostream>
#include <string>

#include "selection/country_table.h"

namespace cw {
namespace {

struct StandardRow {
  int32_t index;
  const char* name;
  const char* countryText;
};
void PrintTo(const StandardRow& p, std::ostream* os) { *os << "index " << p.index; }

class TvStandardNames : public ::testing::TestWithParam<StandardRow> {};

TEST_P(TvStandardNames, NameAndCountryText) {
  const StandardRow& p = GetParam();
  ASSERT_NE(nullptr, StandardName(p.index));
  ASSERT_NE(nullptr, StandardCountryText(p.index));
  EXPECT_STREQ(p.name, StandardName(p.index));
  EXPECT_STREQ(p.countryText, StandardCountryText(p.index));
}

INSTANTIATE_TEST_SUITE_P(
    Indexes, TvStandardNames,
    ::testing::Values(StandardRow{0, "NTSC", "(NTSC-M)"}, StandardRow{1, "NTSC J", "(NTSC-J)"},
                      StandardRow{2, "PAL BG", "(PAL-B/G)"}, StandardRow{3, "PAL DK", "(PAL-D/K)"},
                      StandardRow{4, "PAL I", "(PAL-I)"}, StandardRow{5, "PAL M", "(PAL-M)"},
                      StandardRow{6, "PAL N", "(PAL-N)"}, StandardRow{7, "SECAM BG", "(SECAM-B/G)"},
                      StandardRow{8, "SECAM DK", "(SECAM-D/K)"}, StandardRow{9, "SECAM L", "(SECAM-L)"}),
    [](const ::testing::TestParamInfo<StandardRow>& info) {
      return "Index" + std::to_string(info.param.index);
    });

TEST(TvStandards, NoNameOutsideTheTen) {
  EXPECT_EQ(10, kStandardIndexCount);
  for (int32_t index : {-1, 10, INT32_MIN, INT32_MAX}) {
    EXPECT_EQ(nullptr, StandardName(index)) << index;
    EXPECT_EQ(nullptr, StandardCountryText(index)) << index;
  }
}

// Every country text that ends in a standard form ends in the form of its own
// StandardIndex; this ties the two tables together.
TEST(TvStandards, CountryTextsEndInTheirStandardsForm) {
  int matched = 0;
  for (const CountryEntry& e : CountryTable) {
    const std::string text = e.text;
    ASSERT_NE(nullptr, StandardCountryText(e.StandardIndex)) << text;
    const std::string form = StandardCountryText(e.StandardIndex);
    if (text.size() > form.size() && text.compare(text.size() - form.size(), form.size(), form) == 0) {
      ++matched;
    } else {
      // Only texts naming no standard at all may lack the form.
      EXPECT_EQ(0, e.StandardIndex) << text;
      EXPECT_EQ(std::string::npos, text.find("(NTSC")) << text;
      EXPECT_EQ(std::string::npos, text.find("(PAL")) << text;
      EXPECT_EQ(std::string::npos, text.find("(SECAM")) << text;
    }
  }
  EXPECT_EQ(kCountryTableSize - 15, matched);
}

// ---------------------------------------------------------------- TvSystemChoices

struct ChoiceRow {
  int32_t index;
  const char* listText;
  const char* nameShown;
  int32_t standard;
  bool setsVariant;
};
void PrintTo(const ChoiceRow& p, std::ostream* os) { *os << "choice " << p.index; }

class TvSystemChoiceRows : public ::testing::TestWithParam<ChoiceRow> {};

TEST_P(TvSystemChoiceRows, Matches) {
  const ChoiceRow& p = GetParam();
  const TvSystemChoice* c = TvSystemChoiceAt(p.index);
  ASSERT_NE(nullptr, c);
  EXPECT_EQ(&TvSystemChoices[p.index], c);
  EXPECT_STREQ(p.listText, c->listText);
  EXPECT_STREQ(p.nameShown, c->nameShown);
  EXPECT_EQ(p.standard, c->StandardIndex);
  EXPECT_EQ(p.setsVariant, c->setsVariant);
}

INSTANTIATE_TEST_SUITE_P(
    List, TvSystemChoiceRows,
    ::testing::Values(ChoiceRow{0, "NTSC", "NTSC", 0, false}, ChoiceRow{1, "NTSC J", "NTSC J", 1, false},
                      ChoiceRow{2, "PAL BG", "PAL BG", 2, false}, ChoiceRow{3, "PAL DK", "PAL DK", 3, false},
                      ChoiceRow{4, "PAL I", "PAL I", 4, false}, ChoiceRow{5, "PAL M", "PAL M", 5, false},
                      ChoiceRow{6, "PAL N", "PAL N", 6, false},
                      ChoiceRow{7, "SECAM BG", "SECAM BG", 7, false},
                      ChoiceRow{8, "SECAM DK", "SECAM DK", 8, false},
                      ChoiceRow{9, "SECAM L", "SECAM L", 9, false},
                      ChoiceRow{10, "PAL/SECAM", "PAL/SECAM", 8, false},
                      ChoiceRow{11, "PAL DK (NICAM I)", "PAL DK", 3, true}),
    [](const ::testing::TestParamInfo<ChoiceRow>& info) {
      return "Choice" + std::to_string(info.param.index);
    });

TEST(TvSystemChoicesTest, TwelveChoicesAndNoneOutside) {
  EXPECT_EQ(12, TvSystemChoiceCount());
  for (int32_t index : {-1, 12, INT32_MIN, INT32_MAX}) {
    EXPECT_EQ(nullptr, TvSystemChoiceAt(index)) << index;
  }
}

TEST(TvSystemChoicesTest, NicamIVariantIsFive) { EXPECT_EQ(5, kNicamIStandardVariant); }

// The first ten rows are the standards themselves, in index order, under the
// names the standard table gives them.
TEST(TvSystemChoicesTest, FirstTenFollowStandardNames) {
  for (int32_t i = 0; i < kStandardIndexCount; ++i) {
    const TvSystemChoice* c = TvSystemChoiceAt(i);
    ASSERT_NE(nullptr, c);
    EXPECT_EQ(i, c->StandardIndex) << i;
    EXPECT_STREQ(StandardName(i), c->listText) << i;
    EXPECT_STREQ(StandardName(i), c->nameShown) << i;
  }
}

TEST(TvSystemChoicesTest, OnlyNicamIChoiceSetsTheVariant) {
  for (int32_t i = 0; i < TvSystemChoiceCount(); ++i) {
    EXPECT_EQ(i == 11, TvSystemChoiceAt(i)->setsVariant) << i;
  }
}

}  // namespace
}  // namespace cw
