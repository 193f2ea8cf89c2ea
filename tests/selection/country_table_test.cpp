#include "selection/country_table.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <climits>
#include <map>
#include <ostream>
#include <set>
#include <string>
#include <vector>

namespace cw {
namespace {

// Letter indexes as the page's letter box numbers them.
int32_t L(char letter) { return letter - 'A'; }

// Walks the whole table through the per-letter views, with each entry's place.
struct Placed {
  int32_t letter;
  int32_t row;
  const CountryEntry* entry;
};
std::vector<Placed> AllEntries() {
  std::vector<Placed> all;
  for (int32_t letter = 0; letter < kCountryLetterCount; ++letter) {
    const CountryGroup group = CountryGroupAt(letter);
    for (int32_t row = 0; row < group.count; ++row) all.push_back({letter, row, &group.entries[row]});
  }
  return all;
}

std::string Where(const Placed& p) {
  return std::string(1, static_cast<char>('A' + p.letter)) + " row " + std::to_string(p.row) +
         " \"" + p.entry->text + "\"";
}

// ---------------------------------------------------------------- shape

TEST(CountryTableShape, HoldsAllEntriesInLetterGroups) {
  int32_t total = 0;
  for (int32_t letter = 0; letter < kCountryLetterCount; ++letter) total += CountryGroupSize(letter);
  EXPECT_EQ(185, total);
  EXPECT_EQ(185u, AllEntries().size());
  // The groups are consecutive slices of the one table, in letter order.
  EXPECT_EQ(&CountryTable[0], CountryGroupAt(L('A')).entries);
  EXPECT_EQ(&CountryTable[184], CountryGroupAt(L('Z')).entries + 1);
}

struct GroupSizeRow {
  char letter;
  int32_t size;
};
void PrintTo(const GroupSizeRow& p, std::ostream* os) { *os << p.letter << " " << p.size; }

class CountryGroupSizes : public ::testing::TestWithParam<GroupSizeRow> {};

TEST_P(CountryGroupSizes, MatchesCatalogue) {
  const GroupSizeRow& p = GetParam();
  EXPECT_EQ(p.size, CountryGroupSize(L(p.letter)));
  EXPECT_EQ(p.size, CountryGroupAt(L(p.letter)).count);
  EXPECT_EQ(static_cast<size_t>(p.size), CountryRowsForLetter(L(p.letter)).size());
}

INSTANTIATE_TEST_SUITE_P(
    Letters, CountryGroupSizes,
    ::testing::Values(GroupSizeRow{'A', 11}, GroupSizeRow{'B', 12}, GroupSizeRow{'C', 16},
                      GroupSizeRow{'D', 2}, GroupSizeRow{'E', 7}, GroupSizeRow{'F', 5},
                      GroupSizeRow{'G', 9}, GroupSizeRow{'H', 6}, GroupSizeRow{'I', 12},
                      GroupSizeRow{'J', 2}, GroupSizeRow{'K', 5}, GroupSizeRow{'L', 10},
                      GroupSizeRow{'M', 14}, GroupSizeRow{'N', 10}, GroupSizeRow{'O', 1},
                      GroupSizeRow{'P', 12}, GroupSizeRow{'Q', 1}, GroupSizeRow{'R', 5},
                      GroupSizeRow{'S', 20}, GroupSizeRow{'T', 8}, GroupSizeRow{'U', 8},
                      GroupSizeRow{'V', 3}, GroupSizeRow{'W', 2}, GroupSizeRow{'X', 0},
                      GroupSizeRow{'Y', 2}, GroupSizeRow{'Z', 2}),
    [](const ::testing::TestParamInfo<GroupSizeRow>& info) {
      return std::string(1, info.param.letter);
    });

TEST(CountryTableShape, GroupSizeAndViewAreEmptyOutsideLetters) {
  for (int32_t letter : {-1, 26, 1000, INT32_MIN, INT32_MAX}) {
    SCOPED_TRACE(letter);
    EXPECT_EQ(0, CountryGroupSize(letter));
    EXPECT_EQ(0, CountryGroupAt(letter).count);
    EXPECT_EQ(nullptr, CountryGroupAt(letter).entries);
  }
  EXPECT_EQ(nullptr, CountryGroupAt(L('X')).entries);
}

TEST(CountryTableShape, LetterTextsAreAToZ) {
  const std::string letters = "ABCDEFGHIJKLMNOPQRSTUVWXYZ";
  for (int32_t i = 0; i < 26; ++i) {
    ASSERT_NE(nullptr, CountryLetterText(i)) << i;
    EXPECT_EQ(std::string(1, letters[static_cast<size_t>(i)]), CountryLetterText(i)) << i;
  }
  EXPECT_EQ(nullptr, CountryLetterText(-1));
  EXPECT_EQ(nullptr, CountryLetterText(26));
}

TEST(CountryTableShape, EveryTextStartsWithItsGroupLetter) {
  for (const Placed& p : AllEntries()) {
    ASSERT_NE(nullptr, p.entry->text);
    ASSERT_NE('\0', p.entry->text[0]) << Where(p);
    EXPECT_EQ('A' + p.letter, std::toupper(static_cast<unsigned char>(p.entry->text[0]))) << Where(p);
  }
}

TEST(CountryTableShape, TextsAreUnique) {
  std::set<std::string> seen;
  for (const Placed& p : AllEntries()) EXPECT_TRUE(seen.insert(p.entry->text).second) << Where(p);
}

// ---------------------------------------------------------------- standards

// The standard forms the list texts end in, typed here on their own.
const std::map<std::string, int32_t>& StandardForms() {
  static const std::map<std::string, int32_t> forms = {
      {"(NTSC-M)", 0}, {"(NTSC-J)", 1},    {"(PAL-B/G)", 2},   {"(PAL-D/K)", 3},   {"(PAL-I)", 4},
      {"(PAL-M)", 5},  {"(PAL-N)", 6},     {"(SECAM-B/G)", 7}, {"(SECAM-D/K)", 8}, {"(SECAM-L)", 9},
  };
  return forms;
}

// The trailing "(...)" of a text, or "" when it does not end in one.
std::string TrailingParenthesis(const std::string& text) {
  if (text.empty() || text.back() != ')') return "";
  const size_t open = text.rfind('(');
  return open == std::string::npos ? "" : text.substr(open);
}

TEST(CountryTableStandards, TextSuffixGivesStandardIndex) {
  for (const Placed& p : AllEntries()) {
    const std::string suffix = TrailingParenthesis(p.entry->text);
    const auto form = StandardForms().find(suffix);
    if (form == StandardForms().end()) continue;
    EXPECT_EQ(form->second, p.entry->StandardIndex) << Where(p);
    // The form is separated from the name by one space.
    const std::string text = p.entry->text;
    EXPECT_EQ(' ', text[text.size() - suffix.size() - 1]) << Where(p);
  }
}

TEST(CountryTableStandards, ExactlyTheFifteenWithoutStandardCarryZero) {
  const std::set<std::string> expected = {
      "Andorra", "Ascension Island", "Bhutan",     "Christmas Island", "Eritrea",
      "INMARSAT", "Malawi",          "Nauru",      "Niue",             "Saipan Island",
      "Solomon Islands", "St. Helena", "Tokelau",  "Tuvalu",           "Vanuatu",
  };
  ASSERT_EQ(15u, expected.size());
  std::set<std::string> found;
  for (const Placed& p : AllEntries()) {
    if (StandardForms().count(TrailingParenthesis(p.entry->text)) != 0) continue;
    found.insert(p.entry->text);
    EXPECT_EQ(0, p.entry->StandardIndex) << Where(p);
  }
  EXPECT_EQ(expected, found);
}

TEST(CountryTableStandards, AllIndexesInRange) {
  for (const Placed& p : AllEntries()) {
    EXPECT_GE(p.entry->StandardIndex, 0) << Where(p);
    EXPECT_LE(p.entry->StandardIndex, 9) << Where(p);
  }
}

// ---------------------------------------------------------------- codes

TEST(CountryTableCodes, SharedCodesAreExactlyTheKnownVariantSets) {
  const std::map<int32_t, int> shared = {
      {1, 3}, {7, 2}, {20, 2}, {31, 2}, {36, 3}, {40, 2}, {42, 2}, {48, 4}, {371, 2}, {961, 2}, {972, 4},
  };
  std::map<int32_t, int> counts;
  for (const Placed& p : AllEntries()) ++counts[p.entry->CountryCode];
  for (const auto& c : counts) {
    const auto it = shared.find(c.first);
    const int expected = it == shared.end() ? 1 : it->second;
    EXPECT_EQ(expected, c.second) << "code " << c.first;
  }
  for (const auto& s : shared) EXPECT_EQ(1u, counts.count(s.first)) << "code " << s.first;
}

TEST(CountryTableCodes, EntriesSharingACodeLieInOneGroup) {
  std::map<int32_t, int32_t> letterOfCode;
  for (const Placed& p : AllEntries()) {
    const auto inserted = letterOfCode.emplace(p.entry->CountryCode, p.letter);
    EXPECT_EQ(inserted.first->second, p.letter) << Where(p) << " code " << p.entry->CountryCode;
  }
}

TEST(CountryTableCodes, CodesAreCallingCodes) {
  for (const Placed& p : AllEntries()) {
    EXPECT_GE(p.entry->CountryCode, 1) << Where(p);
    EXPECT_LE(p.entry->CountryCode, 999) << Where(p);
  }
}

// ---------------------------------------------------------------- spot rows

struct SpotRow {
  char letter;
  int32_t row;
  const char* text;
  int32_t code;
  int32_t standard;
};
void PrintTo(const SpotRow& p, std::ostream* os) { *os << p.letter << " row " << p.row << " \"" << p.text << "\""; }

class CountryTableSpotRows : public ::testing::TestWithParam<SpotRow> {};

TEST_P(CountryTableSpotRows, EntryMatches) {
  const SpotRow& p = GetParam();
  const CountryGroup group = CountryGroupAt(L(p.letter));
  ASSERT_LT(p.row, group.count);
  const CountryEntry& e = group.entries[p.row];
  EXPECT_STREQ(p.text, e.text);
  EXPECT_EQ(p.code, e.CountryCode);
  EXPECT_EQ(p.standard, e.StandardIndex);

  const std::vector<std::string> rows = CountryRowsForLetter(L(p.letter));
  ASSERT_LT(static_cast<size_t>(p.row), rows.size());
  EXPECT_EQ(p.text, rows[static_cast<size_t>(p.row)]);

  CountryValues v{-7, -7};
  ASSERT_TRUE(CountryEntryValues(L(p.letter), p.row, &v));
  EXPECT_EQ(p.standard, v.StandardIndex);
  EXPECT_EQ(p.code, v.CountryCode);
}

INSTANTIATE_TEST_SUITE_P(
    Catalogue, CountryTableSpotRows,
    ::testing::Values(
        SpotRow{'A', 0, "Afghanistan (PAL-B/G)", 93, 2}, SpotRow{'A', 3, "Andorra", 376, 0},
        SpotRow{'A', 4, "Argentina (PAL-N)", 54, 6}, SpotRow{'A', 10, "Azerbaijan (SECAM-D/K)", 994, 8},
        SpotRow{'B', 5, "Bhutan", 975, 0}, SpotRow{'B', 8, "Brazil (PAL-M)", 55, 5},
        SpotRow{'B', 11, "Burkina Faso (SECAM-D/K)", 226, 8}, SpotRow{'C', 2, "Canada (NTSC-M)", 2, 0},
        SpotRow{'C', 6, "China (PAL-D/K)", 86, 3}, SpotRow{'C', 14, "Czech Republic (PAL-D/K)", 42, 3},
        SpotRow{'C', 15, "Czech Republic (SECAM-D/K)", 42, 8}, SpotRow{'D', 1, "Diego Carcia (NTSC-M)", 246, 0},
        SpotRow{'E', 2, "Egypt (SECAM-B/G)", 20, 7}, SpotRow{'E', 6, "Ethiopia (PAL-B/G)", 251, 2},
        SpotRow{'F', 0, "Falkland Islands (PAL-I)", 500, 4}, SpotRow{'F', 4, "France (SECAM-L)", 33, 9},
        SpotRow{'G', 1, "Germany (PAL-B/G)", 49, 2}, SpotRow{'G', 8, "Guinea (SECAM-D/K)", 224, 8},
        SpotRow{'H', 3, "Hungary (PAL-D/K)", 36, 3}, SpotRow{'H', 4, "Hungary2 (PAL-D/K)", 36, 3},
        SpotRow{'H', 5, "Hungary3 (SECAM-D/K)", 36, 8}, SpotRow{'I', 3, "INMARSAT", 871, 0},
        SpotRow{'I', 7, "Israel [Gvanim] (PAL-B/G)", 972, 2}, SpotRow{'I', 10, "Israel [Zahav] (PAL-B/G)", 972, 2},
        SpotRow{'I', 11, "Italy (PAL-B/G)", 39, 2}, SpotRow{'J', 0, "Japan (NTSC-J)", 81, 1},
        SpotRow{'J', 1, "Jordan (PAL-B/G)", 962, 2}, SpotRow{'K', 2, "Korea(North) (SECAM-D/K)", 850, 8},
        SpotRow{'K', 3, "Korea(South) (NTSC-M)", 82, 0}, SpotRow{'L', 2, "Latvia (SECAM-D/K)", 371, 8},
        SpotRow{'L', 4, "Lebanon (SECAM-B/G)", 961, 7}, SpotRow{'L', 9, "Luxembourg (PAL-B/G)", 352, 2},
        SpotRow{'M', 1, "Malawi", 265, 0}, SpotRow{'M', 8, "Mayotte Island (SECAM-D/K)", 269, 8},
        SpotRow{'M', 13, "Myanmar (NTSC-M)", 95, 0}, SpotRow{'N', 4, "Netherlands 2 (PAL-B/G)", 31, 2},
        SpotRow{'N', 9, "Norway (PAL-B/G)", 47, 2}, SpotRow{'O', 0, "Oman (PAL-B/G)", 968, 2},
        SpotRow{'P', 4, "Paraguay (PAL-N)", 595, 6}, SpotRow{'P', 10, "Poland 3 (PAL-D/K)", 48, 3},
        SpotRow{'P', 11, "Portugal (PAL-B/G)", 351, 2}, SpotRow{'Q', 0, "Qatar (PAL-B/G)", 974, 2},
        SpotRow{'R', 1, "Romania (PAL-D/K)", 40, 3}, SpotRow{'R', 3, "Russia Moscow (SECAM-D/K)", 7, 8},
        SpotRow{'S', 2, "Sao Tome & Principe (PAL-B/G)", 239, 2},
        SpotRow{'S', 4, "Seychelle Islands (PAL-B/G)", 248, 2}, SpotRow{'S', 13, "St. Helena", 290, 0},
        SpotRow{'S', 19, "Syria (SECAM-B/G)", 963, 7}, SpotRow{'T', 0, "Taiwan (NTSC-M)", 886, 0},
        SpotRow{'T', 5, "Tunisia (SECAM-B/G)", 216, 7}, SpotRow{'U', 0, "U.S.A. (NTSC-M)", 1, 0},
        SpotRow{'U', 1, "U.S.A. (HRC) (NTSC-M)", 1, 0}, SpotRow{'U', 2, "U.S.A. (IRC) (NTSC-M)", 1, 0},
        SpotRow{'U', 6, "United Kingdom (PAL-I)", 44, 4}, SpotRow{'U', 7, "Uruguay (PAL-N)", 598, 6},
        SpotRow{'V', 0, "Vanuatu", 678, 0}, SpotRow{'V', 2, "Vietnam (NTSC-M)", 84, 0},
        SpotRow{'W', 0, "Wallis & Futuna Islands (SECAM-D/K)", 681, 8},
        SpotRow{'W', 1, "Western Samoa (PAL-B/G)", 685, 2}, SpotRow{'Y', 1, "Yugoslavia (PAL-B/G)", 381, 2},
        SpotRow{'Z', 0, "Zambia (PAL-B/G)", 260, 2}, SpotRow{'Z', 1, "Zimbabwe (PAL-B/G)", 263, 2}),
    [](const ::testing::TestParamInfo<SpotRow>& info) {
      return std::string(1, info.param.letter) + "_row" + std::to_string(info.param.row);
    });

// ---------------------------------------------------------------- CountryRowsForLetter

TEST(CountryRowsForLetterTest, EmptyForXAndOutsideLetters) {
  for (int32_t letter : {23, 26, -1, INT32_MIN, INT32_MAX}) {
    SCOPED_TRACE(letter);
    EXPECT_TRUE(CountryRowsForLetter(letter).empty());
  }
}

TEST(CountryRowsForLetterTest, OHasOnlyOman) {
  EXPECT_EQ(std::vector<std::string>{"Oman (PAL-B/G)"}, CountryRowsForLetter(14));
}

TEST(CountryRowsForLetterTest, KeepsCatalogueOrderNotAlphabetical) {
  const std::vector<std::string> expected = {
      "U.S.A. (NTSC-M)",  "U.S.A. (HRC) (NTSC-M)",          "U.S.A. (IRC) (NTSC-M)",  "Uganda (PAL-B/G)",
      "Ukraine (SECAM-D/K)", "United Arab Emirates (PAL-B/G)", "United Kingdom (PAL-I)", "Uruguay (PAL-N)",
  };
  EXPECT_EQ(expected, CountryRowsForLetter(L('U')));
}

TEST(CountryRowsForLetterTest, WholeHungaryGroup) {
  const std::vector<std::string> expected = {
      "Haiti (NTSC-M)",    "Honduras (NTSC-M)",  "Hong Kong (PAL-I)",
      "Hungary (PAL-D/K)", "Hungary2 (PAL-D/K)", "Hungary3 (SECAM-D/K)",
  };
  EXPECT_EQ(expected, CountryRowsForLetter(L('H')));
}

// ---------------------------------------------------------------- CountryEntryValues

struct EntryValuesCase {
  const char* name;
  int32_t letter;
  int32_t row;
  bool found;
  int32_t standard;
  int32_t code;
};
void PrintTo(const EntryValuesCase& p, std::ostream* os) {
  *os << "letter " << p.letter << " row " << p.row;
}

class CountryEntryValuesCases : public ::testing::TestWithParam<EntryValuesCase> {};

TEST_P(CountryEntryValuesCases, Gives) {
  const EntryValuesCase& p = GetParam();
  CountryValues v{-7, -8};
  EXPECT_EQ(p.found, CountryEntryValues(p.letter, p.row, &v));
  if (p.found) {
    EXPECT_EQ(p.standard, v.StandardIndex);
    EXPECT_EQ(p.code, v.CountryCode);
  } else {
    // No entry leaves the caller's values alone.
    EXPECT_EQ(-7, v.StandardIndex);
    EXPECT_EQ(-8, v.CountryCode);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CountryEntryValuesCases,
    ::testing::Values(
        EntryValuesCase{"Italy", 8, 11, true, 2, 39},
        EntryValuesCase{"UsaHrc", 20, 1, true, 0, 1},
        EntryValuesCase{"RussiaMoscow", 17, 3, true, 8, 7},
        EntryValuesCase{"FranceSecamL", 5, 4, true, 9, 33},
        EntryValuesCase{"EgyptSecam", 4, 2, true, 7, 20},
        EntryValuesCase{"ZimbabweLastRow", 25, 1, true, 2, 263},
        EntryValuesCase{"OmanNoRow", 14, -1, true, 2, 968},
        EntryValuesCase{"OmanRow0", 14, 0, true, 2, 968},
        EntryValuesCase{"OmanRow5", 14, 5, true, 2, 968},
        EntryValuesCase{"OmanRowMin", 14, INT32_MIN, true, 2, 968},
        EntryValuesCase{"QatarRow7", 16, 7, true, 2, 974},
        EntryValuesCase{"QatarNoRow", 16, -1, true, 2, 974},
        EntryValuesCase{"XNoRow", 23, -1, true, 0, 1},
        EntryValuesCase{"XRow0", 23, 0, true, 0, 1},
        EntryValuesCase{"XRowMax", 23, INT32_MAX, true, 0, 1},
        EntryValuesCase{"DPastEnd", 3, 2, false, 0, 0},
        EntryValuesCase{"ANoRow", 0, -1, false, 0, 0},
        EntryValuesCase{"APastEnd", 0, 11, false, 0, 0},
        EntryValuesCase{"SPastEnd", 18, 20, false, 0, 0},
        EntryValuesCase{"NoLetter", -1, 0, false, 0, 0},
        EntryValuesCase{"LetterPastZ", 26, 0, false, 0, 0},
        EntryValuesCase{"LetterMin", INT32_MIN, 0, false, 0, 0},
        EntryValuesCase{"LetterMax", INT32_MAX, 0, false, 0, 0},
        EntryValuesCase{"UsaRowMax", 20, INT32_MAX, false, 0, 0}),
    [](const ::testing::TestParamInfo<EntryValuesCase>& info) { return std::string(info.param.name); });

TEST(CountryEntryValuesTest, NullOutputIsNoEntry) {
  EXPECT_FALSE(CountryEntryValues(8, 11, nullptr));
  EXPECT_FALSE(CountryEntryValues(23, 0, nullptr));
}

TEST(CountryEntryValuesTest, EveryListedRowGivesItsOwnValues) {
  for (const Placed& p : AllEntries()) {
    CountryValues v{-1, -1};
    ASSERT_TRUE(CountryEntryValues(p.letter, p.row, &v)) << Where(p);
    EXPECT_EQ(p.entry->StandardIndex, v.StandardIndex) << Where(p);
    EXPECT_EQ(p.entry->CountryCode, v.CountryCode) << Where(p);
  }
}

// ---------------------------------------------------------------- LetterForCountryCode

struct CodeCase {
  const char* name;
  int32_t code;
  int32_t expected;
};
void PrintTo(const CodeCase& p, std::ostream* os) { *os << "code " << p.code; }

class LetterForCountryCodeCases : public ::testing::TestWithParam<CodeCase> {};

TEST_P(LetterForCountryCodeCases, Gives) {
  EXPECT_EQ(GetParam().expected, LetterForCountryCode(GetParam().code));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LetterForCountryCodeCases,
    ::testing::Values(CodeCase{"Italy", 39, 8}, CodeCase{"Usa", 1, 20}, CodeCase{"UnitedKingdom", 44, 20},
                      CodeCase{"Oman", 968, 14}, CodeCase{"Qatar", 974, 16}, CodeCase{"Hungary", 36, 7},
                      CodeCase{"Israel", 972, 8}, CodeCase{"Poland", 48, 15}, CodeCase{"Russia", 7, 17},
                      CodeCase{"Egypt", 20, 4}, CodeCase{"Canada", 2, 2}, CodeCase{"Japan", 81, 9},
                      CodeCase{"Inmarsat871", 871, 8}, CodeCase{"Inmarsat872", 872, 8},
                      CodeCase{"Inmarsat873", 873, 8}, CodeCase{"Inmarsat874", 874, 8},
                      CodeCase{"Unknown870", 870, 870}, CodeCase{"Unknown875", 875, 875},
                      CodeCase{"Unknown1000", 1000, 1000}, CodeCase{"Unknown3NamesD", 3, 3},
                      CodeCase{"Zero", 0, 0}, CodeCase{"MinusOne", -1, -1},
                      CodeCase{"Min", INT32_MIN, INT32_MIN}, CodeCase{"Max", INT32_MAX, INT32_MAX}),
    [](const ::testing::TestParamInfo<CodeCase>& info) { return std::string(info.param.name); });

TEST(LetterForCountryCodeTest, SmallCodesWithoutEntryComeBackUnchanged) {
  // Only U.S.A. (1), Canada (2), Russia (7) and Egypt (20) have codes in 0..25.
  const std::set<int32_t> withEntry = {1, 2, 7, 20};
  for (const Placed& p : AllEntries()) {
    if (p.entry->CountryCode <= 25) {
      EXPECT_EQ(1u, withEntry.count(p.entry->CountryCode)) << Where(p);
    }
  }
  for (int32_t code = 0; code <= 25; ++code) {
    if (withEntry.count(code) != 0) continue;
    EXPECT_EQ(code, LetterForCountryCode(code)) << "code " << code;
  }
}

TEST(LetterForCountryCodeTest, EveryEntryCodeLeadsToItsGroup) {
  for (const Placed& p : AllEntries()) {
    EXPECT_EQ(p.letter, LetterForCountryCode(p.entry->CountryCode)) << Where(p);
  }
}

// ---------------------------------------------------------------- RowForCountryCode

class RowForCountryCodeCases : public ::testing::TestWithParam<CodeCase> {};

TEST_P(RowForCountryCodeCases, Gives) {
  int32_t row = -99;
  ASSERT_TRUE(RowForCountryCode(GetParam().code, &row));
  EXPECT_EQ(GetParam().expected, row);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RowForCountryCodeCases,
    ::testing::Values(CodeCase{"HungaryPrefersHungary2", 36, 4}, CodeCase{"IsraelGvanim", 972, 7},
                      CodeCase{"Inmarsat871", 871, 3}, CodeCase{"Inmarsat872", 872, 3},
                      CodeCase{"Inmarsat873", 873, 3}, CodeCase{"Inmarsat874", 874, 3},
                      CodeCase{"Oman", 968, 0}, CodeCase{"Usa", 1, 0}, CodeCase{"Poland", 48, 7},
                      CodeCase{"Italy", 39, 11}, CodeCase{"Russia", 7, 2}, CodeCase{"Egypt", 20, 1},
                      CodeCase{"Netherlands", 31, 3}, CodeCase{"Romania", 40, 0},
                      CodeCase{"Czech", 42, 14}, CodeCase{"Latvia", 371, 1}, CodeCase{"Lebanon", 961, 3},
                      CodeCase{"UnitedKingdom", 44, 6}, CodeCase{"Zimbabwe", 263, 1}),
    [](const ::testing::TestParamInfo<CodeCase>& info) { return std::string(info.param.name); });

TEST(RowForCountryCodeTest, NoneForCodesWithoutEntry) {
  for (int32_t code : {1000, 3, 0, -1, 870, 875, INT32_MIN, INT32_MAX}) {
    int32_t row = -99;
    EXPECT_FALSE(RowForCountryCode(code, &row)) << "code " << code;
    EXPECT_EQ(-99, row) << "code " << code;
  }
}

TEST(RowForCountryCodeTest, NullOutputIsNone) { EXPECT_FALSE(RowForCountryCode(39, nullptr)); }

// The preselected row must be an entry of the Windows country, and the first
// of its variants but for Hungary, where the second one is chosen.
TEST(RowForCountryCodeTest, EveryEntryCodeSelectsAnEntryWithThatCode) {
  for (const Placed& p : AllEntries()) {
    const int32_t code = p.entry->CountryCode;
    int32_t row = -1;
    ASSERT_TRUE(RowForCountryCode(code, &row)) << Where(p);
    const int32_t letter = LetterForCountryCode(code);
    ASSERT_GE(row, 0) << Where(p);
    ASSERT_LT(row, CountryGroupSize(letter)) << Where(p);
    EXPECT_EQ(code, CountryGroupAt(letter).entries[row].CountryCode) << Where(p);
    if (code != 36) {
      EXPECT_LE(row, p.row) << Where(p);
    }
  }
}

}  // namespace
}  // namespace cw
