#include "selection/country_table.h"

namespace cw {

namespace {

// Entries per letter, "A".."Z". X has none.
constexpr int32_t kGroupSizes[kCountryLetterCount] = {
    11, 12, 16, 2, 7, 5, 9, 6, 12, 2, 5, 10, 14,  // A..M
    10, 1, 12, 1, 5, 20, 8, 8, 3, 2, 0, 2, 2,     // N..Z
};

constexpr int32_t kLetterO = 14;
constexpr int32_t kLetterQ = 16;
constexpr int32_t kLetterX = 23;
constexpr int32_t kLetterI = 8;

// "iCountry" codes that have no entry of their own but belong to INMARSAT.
constexpr int32_t kInmarsatCode = 871;
constexpr int32_t kInmarsatLastCode = 874;
constexpr int32_t kInmarsatRow = 3;

// Hungary has three entries; the preselection prefers "Hungary2 (PAL-D/K)".
constexpr int32_t kHungaryCode = 36;
constexpr int32_t kHungary2Row = 4;

// X lists nothing, yet OK on it records the values of "U.S.A. (NTSC-M)".
constexpr CountryValues kLetterXValues = {0, 1};

constexpr int32_t GroupStart(int32_t letter) {
  int32_t start = 0;
  for (int32_t i = 0; i < letter; ++i) start += kGroupSizes[i];
  return start;
}

static_assert(GroupStart(kCountryLetterCount) == kCountryTableSize,
              "group sizes must cover the whole table");

}  // namespace

const CountryEntry CountryTable[kCountryTableSize] = {
    // A
    {"Afghanistan (PAL-B/G)", 93, 2},
    {"Albania (PAL-B/G)", 355, 2},
    {"Algeria (PAL-B/G)", 213, 2},
    {"Andorra", 376, 0},
    {"Argentina (PAL-N)", 54, 6},
    {"Armenia (SECAM-D/K)", 374, 8},
    {"Aruba (NTSC-M)", 297, 0},
    {"Ascension Island", 247, 0},
    {"Australia (PAL-B/G)", 61, 2},
    {"Austria (PAL-B/G)", 43, 2},
    {"Azerbaijan (SECAM-D/K)", 994, 8},
    // B
    {"Bahrain (PAL-B/G)", 973, 2},
    {"Bangladesh (PAL-B/G)", 880, 2},
    {"Belarus (SECAM-D/K)", 375, 8},
    {"Belgium (PAL-B/G)", 32, 2},
    {"Belize (NTSC-M)", 501, 0},
    {"Bhutan", 975, 0},
    {"Bolivia (PAL-N)", 591, 6},
    {"Botswana (SECAM-D/K)", 267, 8},
    {"Brazil (PAL-M)", 55, 5},
    {"Brunei (PAL-B/G)", 673, 2},
    {"Bulgaria (SECAM-D/K)", 359, 8},
    {"Burkina Faso (SECAM-D/K)", 226, 8},
    // C
    {"Cambodia (PAL-B/G)", 855, 2},
    {"Cameroon (PAL-B/G)", 237, 2},
    {"Canada (NTSC-M)", 2, 0},
    {"Central African Republic (PAL-B/G)", 236, 2},
    {"Chad (PAL-B/G)", 235, 2},
    {"Chile (NTSC-M)", 56, 0},
    {"China (PAL-D/K)", 86, 3},
    {"Christmas Island", 672, 0},
    {"Colombia (NTSC-M)", 57, 0},
    {"Cook Islands (PAL-B/G)", 682, 2},
    {"Costa Rica (NTSC-M)", 506, 0},
    {"Croatia (PAL-B/G)", 385, 2},
    {"Cuba (NTSC-M)", 53, 0},
    {"Cyprus (PAL-B/G)", 357, 2},
    {"Czech Republic (PAL-D/K)", 42, 3},
    {"Czech Republic (SECAM-D/K)", 42, 8},
    // D
    {"Denmark (PAL-B/G)", 45, 2},
    {"Diego Carcia (NTSC-M)", 246, 0},
    // E
    {"Ecuador (NTSC-M)", 593, 0},
    {"Egypt (PAL-B/G)", 20, 2},
    {"Egypt (SECAM-B/G)", 20, 7},
    {"El Salvador (NTSC-M)", 503, 0},
    {"Eritrea", 291, 0},
    {"Estonia (PAL-B/G)", 372, 2},
    {"Ethiopia (PAL-B/G)", 251, 2},
    // F
    {"Falkland Islands (PAL-I)", 500, 4},
    {"Faroe Islands (PAL-B/G)", 298, 2},
    {"Fiji Islands (NTSC-M)", 679, 0},
    {"Finland (PAL-B/G)", 358, 2},
    {"France (SECAM-L)", 33, 9},
    // G
    {"Georgia (SECAM-D/K)", 995, 8},
    {"Germany (PAL-B/G)", 49, 2},
    {"Ghana (PAL-B/G)", 233, 2},
    {"Gibraltar (PAL-B/G)", 350, 2},
    {"Greece (PAL-B/G)", 30, 2},
    {"Greenland (NTSC-M)", 299, 0},
    {"Guam (NTSC-M)", 671, 0},
    {"Guatemala (NTSC-M)", 502, 0},
    {"Guinea (SECAM-D/K)", 224, 8},
    // H
    {"Haiti (NTSC-M)", 509, 0},
    {"Honduras (NTSC-M)", 504, 0},
    {"Hong Kong (PAL-I)", 852, 4},
    {"Hungary (PAL-D/K)", 36, 3},
    {"Hungary2 (PAL-D/K)", 36, 3},
    {"Hungary3 (SECAM-D/K)", 36, 8},
    // I
    {"Iceland (PAL-B/G)", 354, 2},
    {"India (PAL-B/G)", 91, 2},
    {"Indonesia (PAL-B/G)", 62, 2},
    {"INMARSAT", 871, 0},
    {"Iran (SECAM-B/G)", 98, 7},
    {"Iraq (SECAM-B/G)", 964, 7},
    {"Ireland (PAL-I)", 353, 4},
    {"Israel [Gvanim] (PAL-B/G)", 972, 2},
    {"Israel [Idan] (PAL-B/G)", 972, 2},
    {"Israel [Matav] (PAL-B/G)", 972, 2},
    {"Israel [Zahav] (PAL-B/G)", 972, 2},
    {"Italy (PAL-B/G)", 39, 2},
    // J
    {"Japan (NTSC-J)", 81, 1},
    {"Jordan (PAL-B/G)", 962, 2},
    // K
    {"Kenya (PAL-B/G)", 254, 2},
    {"Kiribati Republic (PAL-B/G)", 686, 2},
    {"Korea(North) (SECAM-D/K)", 850, 8},
    {"Korea(South) (NTSC-M)", 82, 0},
    {"Kuwait (PAL-B/G)", 965, 2},
    // L
    {"Laos (PAL-B/G)", 856, 2},
    {"Latvia (PAL-D/K)", 371, 3},
    {"Latvia (SECAM-D/K)", 371, 8},
    {"Lebanon (PAL-B/G)", 961, 2},
    {"Lebanon (SECAM-B/G)", 961, 7},
    {"Lesotho (PAL-I)", 266, 4},
    {"Liberia (PAL-B/G)", 231, 2},
    {"Libya (SECAM-B/G)", 218, 7},
    {"Lithuania (PAL-B/G)", 370, 2},
    {"Luxembourg (PAL-B/G)", 352, 2},
    // M
    {"Macau (PAL-I)", 853, 4},
    {"Malawi", 265, 0},
    {"Malaysia (PAL-B/G)", 60, 2},
    {"Maldives (PAL-B/G)", 960, 2},
    {"Mali (SECAM-D/K)", 223, 8},
    {"Malta (PAL-B/G)", 356, 2},
    {"Marshall Islands (NTSC-M)", 692, 0},
    {"Mauritius (SECAM-B/G)", 230, 7},
    {"Mayotte Island (SECAM-D/K)", 269, 8},
    {"Mexico (NTSC-M)", 52, 0},
    {"Moldova (SECAM-D/K)", 373, 8},
    {"Monaco (SECAM-B/G)", 377, 7},
    {"Mongolia (SECAM-D/K)", 976, 8},
    {"Myanmar (NTSC-M)", 95, 0},
    // N
    {"Namibia (PAL-I)", 264, 4},
    {"Nauru", 674, 0},
    {"Nepal (PAL-B/G)", 977, 2},
    {"Netherlands 1 (PAL-B/G)", 31, 2},
    {"Netherlands 2 (PAL-B/G)", 31, 2},
    {"New Zealand (PAL-B/G)", 64, 2},
    {"Nicaragua (NTSC-M)", 505, 0},
    {"Nigeria (PAL-B/G)", 234, 2},
    {"Niue", 683, 0},
    {"Norway (PAL-B/G)", 47, 2},
    // O
    {"Oman (PAL-B/G)", 968, 2},
    // P
    {"Pakistan (PAL-B/G)", 92, 2},
    {"Palau (NTSC-M)", 680, 0},
    {"Panama (NTSC-M)", 507, 0},
    {"Papua New Guinea (PAL-B/G)", 675, 2},
    {"Paraguay (PAL-N)", 595, 6},
    {"Peru (NTSC-M)", 51, 0},
    {"Philippines (NTSC-M)", 63, 0},
    {"Poland (PAL-D/K)", 48, 3},
    {"Poland 1 (PAL-D/K)", 48, 3},
    {"Poland 2 (PAL-D/K)", 48, 3},
    {"Poland 3 (PAL-D/K)", 48, 3},
    {"Portugal (PAL-B/G)", 351, 2},
    // Q
    {"Qatar (PAL-B/G)", 974, 2},
    // R
    {"Romania (PAL-B/G)", 40, 2},
    {"Romania (PAL-D/K)", 40, 3},
    {"Russia (SECAM-D/K)", 7, 8},
    {"Russia Moscow (SECAM-D/K)", 7, 8},
    {"Rwanda (PAL-B/G)", 250, 2},
    // S
    {"Saipan Island", 670, 0},
    {"San Marino (PAL-B/G)", 378, 2},
    {"Sao Tome & Principe (PAL-B/G)", 239, 2},
    {"Saudi Arabia (PAL-B/G)", 966, 2},
    {"Seychelle Islands (PAL-B/G)", 248, 2},
    {"Sierra Leone (PAL-B/G)", 232, 2},
    {"Singapore (PAL-B/G)", 65, 2},
    {"Slovenia (PAL-B/G)", 386, 2},
    {"Solomon Islands", 677, 0},
    {"Somalia (PAL-B/G)", 252, 2},
    {"South Africa (PAL-I)", 27, 4},
    {"Spain (PAL-B/G)", 34, 2},
    {"Sri Lanka (PAL-B/G)", 94, 2},
    {"St. Helena", 290, 0},
    {"Sudan (PAL-B/G)", 249, 2},
    {"Suriname (NTSC-M)", 597, 0},
    {"Swaziland (PAL-B/G)", 268, 2},
    {"Sweden (PAL-B/G)", 46, 2},
    {"Switzerland (PAL-B/G)", 41, 2},
    {"Syria (SECAM-B/G)", 963, 7},
    // T
    {"Taiwan (NTSC-M)", 886, 0},
    {"Tanzania (PAL-B/G)", 255, 2},
    {"Thailand (PAL-B/G)", 66, 2},
    {"Tokelau", 690, 0},
    {"Tonga (NTSC-M)", 676, 0},
    {"Tunisia (SECAM-B/G)", 216, 7},
    {"Turkey (PAL-B/G)", 90, 2},
    {"Tuvalu", 688, 0},
    // U
    {"U.S.A. (NTSC-M)", 1, 0},
    {"U.S.A. (HRC) (NTSC-M)", 1, 0},
    {"U.S.A. (IRC) (NTSC-M)", 1, 0},
    {"Uganda (PAL-B/G)", 256, 2},
    {"Ukraine (SECAM-D/K)", 380, 8},
    {"United Arab Emirates (PAL-B/G)", 971, 2},
    {"United Kingdom (PAL-I)", 44, 4},
    {"Uruguay (PAL-N)", 598, 6},
    // V
    {"Vanuatu", 678, 0},
    {"Venezuela (NTSC-M)", 58, 0},
    {"Vietnam (NTSC-M)", 84, 0},
    // W
    {"Wallis & Futuna Islands (SECAM-D/K)", 681, 8},
    {"Western Samoa (PAL-B/G)", 685, 2},
    // Y
    {"Yemen (PAL-B/G)", 967, 2},
    {"Yugoslavia (PAL-B/G)", 381, 2},
    // Z
    {"Zambia (PAL-B/G)", 260, 2},
    {"Zimbabwe (PAL-B/G)", 263, 2},
};

namespace {

bool IsLetter(int32_t letter) { return letter >= 0 && letter < kCountryLetterCount; }

// Position of the first entry with the code, or -1. Entries that share a code
// all lie in one group, so the first one also has the lowest row there.
int32_t FirstIndexOfCode(int32_t code) {
  for (int32_t i = 0; i < kCountryTableSize; ++i) {
    if (CountryTable[i].CountryCode == code) return i;
  }
  return -1;
}

int32_t LetterOfIndex(int32_t index) {
  int32_t letter = 0;
  while (index >= GroupStart(letter) + kGroupSizes[letter]) ++letter;
  return letter;
}

}  // namespace

CountryGroup CountryGroupAt(int32_t letter) {
  if (!IsLetter(letter) || kGroupSizes[letter] == 0) return {nullptr, 0};
  return {&CountryTable[GroupStart(letter)], kGroupSizes[letter]};
}

int32_t CountryGroupSize(int32_t letter) {
  return IsLetter(letter) ? kGroupSizes[letter] : 0;
}

const char* CountryLetterText(int32_t letter) {
  static const char* const kLetters[kCountryLetterCount] = {
      "A", "B", "C", "D", "E", "F", "G", "H", "I", "J", "K", "L", "M",
      "N", "O", "P", "Q", "R", "S", "T", "U", "V", "W", "X", "Y", "Z"};
  return IsLetter(letter) ? kLetters[letter] : nullptr;
}

std::vector<std::string> CountryRowsForLetter(int32_t letter) {
  const CountryGroup group = CountryGroupAt(letter);
  std::vector<std::string> rows;
  rows.reserve(static_cast<size_t>(group.count));
  for (int32_t i = 0; i < group.count; ++i) rows.emplace_back(group.entries[i].text);
  return rows;
}

bool CountryEntryValues(int32_t letter, int32_t row, CountryValues* out) {
  if (out == nullptr || !IsLetter(letter)) return false;
  if (letter == kLetterX) {
    *out = kLetterXValues;
    return true;
  }
  const CountryGroup group = CountryGroupAt(letter);
  // O and Q hold one entry each; the page takes it even with no row selected.
  if (letter == kLetterO || letter == kLetterQ) row = 0;
  if (row < 0 || row >= group.count) return false;
  *out = {group.entries[row].StandardIndex, group.entries[row].CountryCode};
  return true;
}

int32_t LetterForCountryCode(int32_t code) {
  const int32_t index = FirstIndexOfCode(code);
  if (index >= 0) return LetterOfIndex(index);
  if (code > kInmarsatCode && code <= kInmarsatLastCode) return kLetterI;
  return code;
}

bool RowForCountryCode(int32_t code, int32_t* row) {
  if (row == nullptr) return false;
  if (code == kHungaryCode) {
    *row = kHungary2Row;
    return true;
  }
  if (code >= kInmarsatCode && code <= kInmarsatLastCode) {
    *row = kInmarsatRow;
    return true;
  }
  const int32_t index = FirstIndexOfCode(code);
  if (index < 0) return false;
  *row = index - GroupStart(LetterOfIndex(index));
  return true;
}

}  // namespace cw
