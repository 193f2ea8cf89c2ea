// SIDs and descriptors as text: "S-1-5-18", the SDDL aliases and the SDDL
// subset the machines' files and the tests use.
#include "platform/sim/security.h"

#include <cstdio>
#include <iterator>
#include <string>
#include <string_view>

#include "platform/sim/security_layout.h"

namespace cw::sim {

using namespace layout;

namespace {

// ---- SID text ----

struct SidAlias {
  const char* name;
  BYTE authority;
  DWORD sub[2];
  size_t count;
};
constexpr SidAlias kAliases[] = {
    {"BA", 5, {32, 544}, 2}, {"SY", 5, {18, 0}, 1}, {"WD", 1, {0, 0}, 1}, {"AU", 5, {11, 0}, 1},
    {"BU", 5, {32, 545}, 2}, {"CO", 3, {0, 0}, 1},  {"CG", 3, {1, 0}, 1}, {"PU", 5, {32, 547}, 2},
    {"LS", 5, {19, 0}, 1},   {"NS", 5, {20, 0}, 1},
};

std::vector<BYTE> AliasBytes(const SidAlias& a) {
  Sid s;
  s.authority[5] = a.authority;
  s.subAuthorities.assign(a.sub, a.sub + a.count);
  return s.Bytes();
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
int HexValue(char c) {
  if (IsDigit(c)) return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Decimal digits at the front of `t` into *value (at most `max`); the count of
// digits taken, 0 on none or overflow.
size_t TakeDecimal(std::string_view t, unsigned long long max, unsigned long long* value) {
  size_t i = 0;
  unsigned long long v = 0;
  while (i < t.size() && IsDigit(t[i])) {
    v = v * 10 + static_cast<unsigned>(t[i] - '0');
    if (v > max) return 0;
    ++i;
  }
  *value = v;
  return i;
}

// Length of the SID at the front of SDDL text: an alias or "S-..." digits.
size_t ScanSidToken(std::string_view t) {
  if (t.size() >= 2 && t[0] == 'S' && t[1] == '-') {
    size_t i = 1;
    while (i < t.size() && t[i] == '-') {
      ++i;
      if (t.size() - i >= 2 && t[i] == '0' && (t[i + 1] == 'x' || t[i + 1] == 'X')) {
        i += 2;
        for (int n = 0; n < 12 && i < t.size() && HexValue(t[i]) >= 0; ++n) ++i;
      } else {
        while (i < t.size() && IsDigit(t[i])) ++i;
      }
    }
    return i;
  }
  if (t.size() >= 2 && t[0] >= 'A' && t[0] <= 'Z' && t[1] >= 'A' && t[1] <= 'Z') return 2;
  return 0;
}

std::string SidText(const std::vector<BYTE>& sid) {
  for (const SidAlias& a : kAliases)
    if (AliasBytes(a) == sid) return a.name;
  return SidToString(sid.data(), sid.size());
}

// ---- SDDL pieces ----

struct Code {
  const char* text;
  DWORD value;
};
constexpr Code kAceTypes[] = {{"A", ACCESS_ALLOWED_ACE_TYPE},
                              {"D", ACCESS_DENIED_ACE_TYPE},
                              {"AU", 2},
                              {"AL", kSystemAlarmAceType}};
// In the order Windows writes them.
constexpr Code kAceFlags[] = {{"OI", 0x01}, {"CI", 0x02}, {"NP", 0x04}, {"IO", 0x08},
                              {"ID", 0x10}, {"SA", 0x40}, {"FA", 0x80}};
constexpr Code kRights[] = {{"KA", KEY_ALL_ACCESS}, {"KR", KEY_READ},       {"KW", KEY_WRITE},
                            {"KX", kKeyExecute},    {"GA", GENERIC_ALL},    {"GR", kGenericRead},
                            {"GW", kGenericWrite},  {"GX", kGenericExecute}};

// Two-letter codes back to back ("OICI", "KRKW"), OR-ed together.
bool ParseCodes(std::string_view t, const Code* codes, size_t n, DWORD* value) {
  DWORD v = 0;
  while (!t.empty()) {
    if (t.size() < 2) return false;
    const Code* found = nullptr;
    for (size_t i = 0; i < n; ++i)
      if (t.substr(0, 2) == codes[i].text) found = &codes[i];
    if (!found) return false;
    v |= found->value;
    t.remove_prefix(2);
  }
  *value = v;
  return true;
}

bool ParseRights(std::string_view t, DWORD* mask) {
  if (t.size() > 2 && t[0] == '0' && (t[1] == 'x' || t[1] == 'X')) {
    t.remove_prefix(2);
    if (t.size() > 8) return false;
    DWORD v = 0;
    for (char c : t) {
      const int h = HexValue(c);
      if (h < 0) return false;
      v = v << 4 | static_cast<DWORD>(h);
    }
    *mask = v;
    return true;
  }
  return !t.empty() && ParseCodes(t, kRights, std::size(kRights), mask);
}

std::string RightsText(DWORD mask) {
  for (const Code& c : kRights)
    if (c.value == mask && std::string_view(c.text) != "KX") return c.text;  // KX is KR's value
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%x", mask);
  return buf;
}

bool ParseAce(std::string_view body, AceModel* ace, std::string* why) {
  std::vector<std::string_view> fields;
  size_t start = 0;
  for (size_t i = 0; i <= body.size(); ++i) {
    if (i == body.size() || body[i] == ';') {
      fields.push_back(body.substr(start, i - start));
      start = i + 1;
    }
  }
  const std::string where = "entry (" + std::string(body) + ")";
  if (fields.size() != 6) return Fail(why, where + ": expected 6 fields");
  AceModel a;
  bool typeFound = false;
  for (const Code& c : kAceTypes)
    if (fields[0] == c.text) {
      a.type = static_cast<BYTE>(c.value);
      typeFound = true;
    }
  if (!typeFound) return Fail(why, where + ": unknown type");
  DWORD flags = 0;
  if (!ParseCodes(fields[1], kAceFlags, std::size(kAceFlags), &flags))
    return Fail(why, where + ": unknown flags");
  a.flags = static_cast<BYTE>(flags);
  if (!ParseRights(fields[2], &a.mask)) return Fail(why, where + ": unknown rights");
  if (!fields[3].empty() || !fields[4].empty())
    return Fail(why, where + ": object entries are not supported");
  if (!ParseSidString(fields[5], &a.sid)) return Fail(why, where + ": unknown SID");
  *ace = std::move(a);
  return true;
}

}  // namespace

bool ParseSidString(std::string_view text, std::vector<BYTE>* sidBytes) {
  for (const SidAlias& a : kAliases) {
    if (text == a.name) {
      *sidBytes = AliasBytes(a);
      return true;
    }
  }
  if (text.substr(0, 2) != "S-") return false;
  text.remove_prefix(2);
  unsigned long long v = 0;
  size_t n = TakeDecimal(text, 0xFF, &v);
  if (n == 0 || v != kSidRevision || n >= text.size() || text[n] != '-') return false;
  text.remove_prefix(n + 1);

  Sid sid;
  unsigned long long authority = 0;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    size_t i = 2;
    while (i < text.size() && HexValue(text[i]) >= 0 && i < 14)
      authority = authority << 4 | static_cast<unsigned>(HexValue(text[i++]));
    n = i > 2 ? i : 0;
  } else {
    n = TakeDecimal(text, 0xFFFFFFFFFFFFull, &authority);
  }
  if (n == 0) return false;
  text.remove_prefix(n);
  for (int i = 5; i >= 0; --i, authority >>= 8) sid.authority[i] = static_cast<BYTE>(authority);

  while (!text.empty()) {
    if (text[0] != '-' || sid.subAuthorities.size() == kSidMaxSubAuthorities) return false;
    text.remove_prefix(1);
    n = TakeDecimal(text, 0xFFFFFFFFull, &v);
    if (n == 0) return false;
    sid.subAuthorities.push_back(static_cast<DWORD>(v));
    text.remove_prefix(n);
  }
  *sidBytes = sid.Bytes();
  return true;
}

std::string SidToString(const BYTE* sid, size_t size) {
  if (!sid || size < kSidHeader || !ValidSidHeader(sid) || size < SidLength(sid)) return "";
  std::string s = "S-" + std::to_string(sid[0]) + "-";
  if (sid[2] || sid[3]) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "0x%02X%02X%02X%02X%02X%02X", sid[2], sid[3], sid[4], sid[5],
                  sid[6], sid[7]);
    s += buf;
  } else {
    s += std::to_string(DWORD{sid[4]} << 24 | DWORD{sid[5]} << 16 | DWORD{sid[6]} << 8 | sid[7]);
  }
  for (size_t i = 0; i < sid[1]; ++i) s += "-" + std::to_string(Get32(sid + kSidHeader + 4 * i));
  return s;
}

bool ParseSddl(std::string_view sddl, SecurityModel* out, std::string* why) {
  SecurityModel m;
  m.daclPresent = false;
  bool seen[3] = {false, false, false};  // O, G, D
  std::string_view t = sddl;
  while (!t.empty()) {
    const size_t pos = sddl.size() - t.size();
    if (t.size() < 2 || t[1] != ':')
      return Fail(why, "expected O:, G: or D: at " + std::to_string(pos));
    const char part = t[0];
    t.remove_prefix(2);
    if (part == 'O' || part == 'G') {
      bool& s = seen[part == 'O' ? 0 : 1];
      if (s) return Fail(why, std::string(1, part) + ": given twice");
      s = true;
      const size_t n = ScanSidToken(t);
      std::vector<BYTE> sid;
      if (n == 0 || !ParseSidString(t.substr(0, n), &sid))
        return Fail(why, "unknown SID at " + std::to_string(pos + 2));
      (part == 'O' ? m.owner : m.group) = std::move(sid);
      t.remove_prefix(n);
    } else if (part == 'D') {
      if (seen[2]) return Fail(why, "D: given twice");
      seen[2] = true;
      m.daclPresent = true;
      for (;;) {
        if (t.substr(0, 17) == "NO_ACCESS_CONTROL") {
          m.daclNull = true;
          t.remove_prefix(17);
        } else if (t.substr(0, 1) == "P") {
          m.extraControl |= kDaclProtected;
          t.remove_prefix(1);
        } else if (t.substr(0, 2) == "AI") {
          m.extraControl |= kDaclAutoInherited;
          t.remove_prefix(2);
        } else if (t.substr(0, 2) == "AR") {
          m.extraControl |= kDaclAutoInheritReq;
          t.remove_prefix(2);
        } else {
          break;
        }
      }
      while (!t.empty() && t[0] == '(') {
        const size_t close = t.find(')');
        if (close == std::string_view::npos) return Fail(why, "unclosed entry");
        if (m.daclNull) return Fail(why, "entries after NO_ACCESS_CONTROL");
        AceModel ace;
        if (!ParseAce(t.substr(1, close - 1), &ace, why)) return false;
        m.dacl.push_back(std::move(ace));
        t.remove_prefix(close + 1);
      }
    } else if (part == 'S') {
      return Fail(why, "SACLs are not supported");
    } else {
      return Fail(why, "expected O:, G: or D: at " + std::to_string(pos));
    }
  }
  if (out) *out = std::move(m);
  return true;
}

std::string ToSddl(const SecurityModel& model) {
  std::string s;
  if (!model.owner.empty()) s += "O:" + SidText(model.owner);
  if (!model.group.empty()) s += "G:" + SidText(model.group);
  if (!model.daclPresent) return s;
  s += "D:";
  if (model.extraControl & kDaclProtected) s += "P";
  if (model.extraControl & kDaclAutoInheritReq) s += "AR";
  if (model.extraControl & kDaclAutoInherited) s += "AI";
  if (model.daclNull) return s + "NO_ACCESS_CONTROL";
  for (const AceModel& a : model.dacl) {
    s += "(";
    for (const Code& c : kAceTypes)
      if (c.value == a.type) s += c.text;
    s += ";";
    for (const Code& c : kAceFlags)
      if (a.flags & c.value) s += c.text;
    s += ";" + RightsText(a.mask) + ";;;" + SidText(a.sid) + ")";
  }
  return s;
}

SecurityModel DefaultKeySecurity() {
  SecurityModel m;
  std::vector<BYTE> sy, ba, bu;
  ParseSidString("SY", &sy);
  ParseSidString("BA", &ba);
  ParseSidString("BU", &bu);
  constexpr BYTE kContainerInherit = 0x02;
  m.owner = ba;
  m.group = sy;
  m.dacl = {{ACCESS_ALLOWED_ACE_TYPE, kContainerInherit, KEY_ALL_ACCESS, sy},
            {ACCESS_ALLOWED_ACE_TYPE, kContainerInherit, KEY_ALL_ACCESS, ba},
            {ACCESS_ALLOWED_ACE_TYPE, kContainerInherit, KEY_READ, bu}};
  return m;
}

}  // namespace cw::sim
