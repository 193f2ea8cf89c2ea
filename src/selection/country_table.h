// The country catalogue behind the country page, and the lookups that turn a
// Windows country code ("iCountry") into the letter and row to preselect.
//
// Entries are grouped by the initial letter of their list text. A letter index
// 0..25 stands for "A".."Z" and is also the index in the page's sorted letter
// box; a row is the position within the group and also the index in the
// page's unsorted country list. The order is the catalogue's own and is never
// re-sorted ("U.S.A. (NTSC-M)" comes before "U.S.A. (HRC) (NTSC-M)").
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace cw {

struct CountryEntry {
  const char* text;       // list text, shown as is (not localized)
  int32_t CountryCode;    // international calling code, as "iCountry" numbers it
  int32_t StandardIndex;  // TV standard index 0..9 (see tv_standards.h)
};

constexpr int32_t kCountryLetterCount = 26;
constexpr int32_t kCountryTableSize = 185;

// All entries, group after group from "A" to "Z".
extern const CountryEntry CountryTable[kCountryTableSize];

// One letter's entries: a view into CountryTable. Empty ({nullptr, 0}) for X
// and for any index outside 0..25.
struct CountryGroup {
  const CountryEntry* entries;
  int32_t count;
};
CountryGroup CountryGroupAt(int32_t letter);

// Number of entries of a letter; 0 outside 0..25.
int32_t CountryGroupSize(int32_t letter);

// "A".."Z" for 0..25; nullptr outside.
const char* CountryLetterText(int32_t letter);

// The list texts of a letter in row order; empty for X and outside 0..25
// (including the -1 a list control reports when nothing is selected).
std::vector<std::string> CountryRowsForLetter(int32_t letter);

struct CountryValues {
  int32_t StandardIndex;
  int32_t CountryCode;
};

// The values to record for the entry at (letter, row). Returns false, leaving
// *out untouched, when there is no entry (or out is null). O and Q have a
// single entry that is given whatever the row is; X lists nothing but gives
// the values of "U.S.A. (NTSC-M)" whatever the row is.
bool CountryEntryValues(int32_t letter, int32_t row, CountryValues* out);

// The letter index of the group holding the code. 872..874 map to I (the
// INMARSAT group). A code no entry has is returned unchanged, so the result is
// not always inside 0..25; callers must range-check it.
int32_t LetterForCountryCode(int32_t code);

// The row to preselect for the code within the letter LetterForCountryCode
// gives. Returns false, leaving *row untouched, when there is none (or row is
// null).
bool RowForCountryCode(int32_t code, int32_t* row);

}  // namespace cw
