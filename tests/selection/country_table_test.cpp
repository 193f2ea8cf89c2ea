#include "selection/country_table.h"

#include <gtest/gtest.h>

#include <cctype>
#include <climits>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "selection/tv_standards.h"

namespace cw {
namespace {

// Letter indexes as the page's letter box numbers them.
int32_t L(char letter) { return letter - 'A'; }

// An entry and its place in the letter views.
struct Placed {
  int32_t letter;
  int32_t row;
  const CountryEntry* entry;
};
std::string Where(const Placed& p) {
  return std::string(1, static_cast<char>('A' + p.letter)) + " row " + std::to_string(p.row) + " " + p.entry->text;
}

// The letter views are consecutive slices of the one table, each holding the
// texts that begin with its letter; a wrong group size moves a text into the
// wrong letter. Outside the letters there is nothing.
TEST(CountryTable, LetterGroupsSliceTheTableByInitial) {
  const CountryEntry* next = &CountryTable[0];
  for (int32_t letter = 0; letter < kCountryLetterCount; ++letter) {
    const CountryGroup group = CountryGroupAt(letter);
    EXPECT_EQ(group.count, CountryGroupSize(letter)) << letter;
    EXPECT_EQ(static_cast<size_t>(group.count), CountryRowsForLetter(letter).size()) << letter;
    EXPECT_EQ(std::string(1, static_cast<char>('A' + letter)), CountryLetterText(letter));
    EXPECT_EQ(group.count ? next : nullptr, group.entries) << letter;
    next += group.count;
  }
  EXPECT_EQ(&CountryTable[kCountryTableSize], next);
  for (int32_t letter : {-1, 26, INT32_MIN, INT32_MAX}) {
    EXPECT_EQ(0, CountryGroupSize(letter)) << letter;
    EXPECT_EQ(nullptr, CountryGroupAt(letter).entries) << letter;
    EXPECT_EQ(nullptr, CountryLetterText(letter)) << letter;
    EXPECT_TRUE(CountryRowsForLetter(letter).empty()) << letter;
  }
}

// Every entry: under its initial, once; its text ends in the form of its
// standard, or names none and carries NTSC's index (this ties the two tables
// together); its code is a calling code, and entries sharing one are variants
// of one country in one group; the page reads the row's values back.
TEST(CountryTable, EveryEntry) {
  std::set<std::string> seen;
  std::map<int32_t, int32_t> letterOfCode;
  for (int32_t letter = 0; letter < kCountryLetterCount; ++letter) {
    for (int32_t r = 0; r < CountryGroupSize(letter); ++r) {
      const Placed p{letter, r, &CountryGroupAt(letter).entries[r]};
      const std::string text = p.entry->text;
      ASSERT_FALSE(text.empty()) << Where(p);
      EXPECT_EQ('A' + p.letter, std::toupper(static_cast<unsigned char>(text[0]))) << Where(p);
      EXPECT_TRUE(seen.insert(text).second) << Where(p);
      EXPECT_EQ(text, CountryRowsForLetter(p.letter)[static_cast<size_t>(p.row)]);
      const char* form = StandardCountryText(p.entry->StandardIndex);
      ASSERT_NE(nullptr, form) << Where(p);
      const std::string suffix = std::string(" ") + form;
      if (text.size() <= suffix.size() || text.compare(text.size() - suffix.size(), suffix.size(), suffix) != 0) {
        EXPECT_EQ(0, p.entry->StandardIndex) << Where(p);
        for (const char* named : {"(NTSC", "(PAL", "(SECAM"})
          EXPECT_EQ(std::string::npos, text.find(named)) << Where(p);
      }
      EXPECT_GE(p.entry->CountryCode, 1) << Where(p);
      EXPECT_LE(p.entry->CountryCode, 999) << Where(p);
      EXPECT_EQ(letterOfCode.emplace(p.entry->CountryCode, p.letter).first->second, p.letter) << Where(p);
      CountryValues v{-1, -1};
      ASSERT_TRUE(CountryEntryValues(p.letter, p.row, &v)) << Where(p);
      EXPECT_EQ(p.entry->StandardIndex, v.StandardIndex) << Where(p);
      EXPECT_EQ(p.entry->CountryCode, v.CountryCode) << Where(p);
      // The preselection: a code leads to its group and to the first entry with
      // it there, but for Hungary, where the second one is chosen.
      const int32_t code = p.entry->CountryCode;
      EXPECT_EQ(p.letter, LetterForCountryCode(code)) << Where(p);
      int32_t row = -1;
      ASSERT_TRUE(RowForCountryCode(code, &row)) << Where(p);
      ASSERT_TRUE(row >= 0 && row < CountryGroupSize(p.letter)) << Where(p);
      EXPECT_EQ(code, CountryGroupAt(p.letter).entries[row].CountryCode) << Where(p);
      EXPECT_TRUE(row <= p.row || code == 36) << Where(p);
    }
  }
  int32_t row = -1;
  ASSERT_TRUE(RowForCountryCode(36, &row));
  EXPECT_EQ(4, row);  // Hungary2
  EXPECT_FALSE(RowForCountryCode(39, nullptr));
}

// A few rows whose values are known from elsewhere: the catalogue's order
// (U.S.A. before its cable variants), codes that are not what the country's
// name suggests (Canada 2), each group's edges and a row without a standard.
TEST(CountryTable, DecisiveRows) {
  struct Row {
    char letter;
    int32_t row;
    const char* text;
    int32_t code;
    int32_t standard;
  };
  const Row rows[] = {
      {'A', 0, "Afghanistan (PAL-B/G)", 93, 2}, {'A', 3, "Andorra", 376, 0},
      {'C', 2, "Canada (NTSC-M)", 2, 0},        {'F', 4, "France (SECAM-L)", 33, 9},
      {'H', 4, "Hungary2 (PAL-D/K)", 36, 3},    {'I', 3, "INMARSAT", 871, 0},
      {'J', 0, "Japan (NTSC-J)", 81, 1},        {'U', 0, "U.S.A. (NTSC-M)", 1, 0},
      {'U', 1, "U.S.A. (HRC) (NTSC-M)", 1, 0},  {'Z', 0, "Zambia (PAL-B/G)", 260, 2},
      {'Z', 1, "Zimbabwe (PAL-B/G)", 263, 2},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.text);
    const CountryGroup group = CountryGroupAt(L(r.letter));
    ASSERT_LT(r.row, group.count);
    EXPECT_STREQ(r.text, group.entries[r.row].text);
    EXPECT_EQ(r.code, group.entries[r.row].CountryCode);
    EXPECT_EQ(r.standard, group.entries[r.row].StandardIndex);
  }
  EXPECT_EQ(std::vector<std::string>{"Oman (PAL-B/G)"}, CountryRowsForLetter(L('O')));
}

TEST(CountryEntryValues, GivesTheRowsValuesOrLeavesTheOutputAlone) {
  struct Case {
    int32_t letter;
    int32_t row;
    bool found;
    int32_t standard;
    int32_t code;
  };
  const Case cases[] = {
      {L('O'), -1, true, 2, 968},        // O and Q: the one entry, whatever the row
      {L('Q'), 7, true, 2, 974},
      {L('X'), -1, true, 0, 1},          // X: U.S.A. (NTSC-M), whatever the row
      {L('X'), INT32_MAX, true, 0, 1},
      {L('A'), -1, false, 0, 0},         // no row selected
      {L('D'), 2, false, 0, 0},          // one past D's last row
      {-1, 0, false, 0, 0},
      {26, 0, false, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.letter) + "/" + std::to_string(c.row));
    CountryValues v{-7, -8};
    EXPECT_EQ(c.found, CountryEntryValues(c.letter, c.row, &v));
    EXPECT_EQ(c.found ? c.standard : -7, v.StandardIndex);
    EXPECT_EQ(c.found ? c.code : -8, v.CountryCode);
  }
  EXPECT_FALSE(CountryEntryValues(L('X'), 0, nullptr));
}

// INMARSAT's further codes 872..874 have no entry of their own; a code no
// entry has comes back unchanged as a letter and has no row.
TEST(CountryCodeLookups, InmarsatRangeAndUnknownCodes) {
  struct Case {
    int32_t code;
    int32_t letter;
    bool hasRow;
  };
  const Case cases[] = {
      {870, 870, false}, {871, L('I'), true}, {874, L('I'), true}, {875, 875, false},
      {3, 3, false},     {0, 0, false},       {-1, -1, false},     {INT32_MAX, INT32_MAX, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.code);
    EXPECT_EQ(c.letter, LetterForCountryCode(c.code));
    int32_t row = -99;
    EXPECT_EQ(c.hasRow, RowForCountryCode(c.code, &row));
    EXPECT_EQ(c.hasRow ? 3 : -99, row);
  }
}

}  // namespace
}  // namespace cw
