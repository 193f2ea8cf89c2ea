#include "regtree/reg_file.h"

#include <algorithm>
#include <new>
#include <utility>
#include <vector>

#include "platform/win_constants.h"

namespace cw::sim {

namespace {

constexpr std::string_view kHeader5 = "Windows Registry Editor Version 5.00";
constexpr std::string_view kHeader4 = "REGEDIT4";
constexpr std::string_view kCrLf = "\r\n";

// Windows' limits on names; longer ones cannot exist in a real registry.
constexpr size_t kMaxKeyNameChars = 255;
constexpr size_t kMaxValueNameChars = 16383;

// regedit starts a new line once a hex line reaches this column.
constexpr size_t kHexWrapColumn = 77;

bool IsSpace(char c) { return c == ' ' || c == '\t'; }

std::string_view TrimLeft(std::string_view s) {
  size_t i = 0;
  while (i < s.size() && IsSpace(s[i])) ++i;
  return s.substr(i);
}

std::string_view TrimRight(std::string_view s) {
  size_t n = s.size();
  while (n > 0 && IsSpace(s[n - 1])) --n;
  return s.substr(0, n);
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool StartsWithNoCase(std::string_view s, std::string_view prefix) {
  if (s.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    char a = s[i];
    if (a >= 'A' && a <= 'Z') a = static_cast<char>(a - 'A' + 'a');
    if (a != prefix[i]) return false;
  }
  return true;
}

// A piece of the input quoted in an error message, kept short.
std::string Excerpt(std::string_view s) {
  constexpr size_t kMax = 24;
  size_t n = 0;
  while (n < s.size() && n < kMax && !IsSpace(s[n]) && s[n] != ',') ++n;
  // Never cut a UTF-8 character in half.
  while (n > 0 && n < s.size() && (static_cast<unsigned char>(s[n]) & 0xC0) == 0x80) --n;
  std::string out(s.substr(0, n));
  if (n == kMax && n < s.size()) out += "...";
  return out;
}

size_t CodePoints(std::string_view utf8) {
  size_t n = 0;
  for (char c : utf8)
    if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++n;
  return n;
}

size_t Utf16Units(std::string_view utf8) { return Utf8ToUtf16Le(utf8).size() / 2; }

int LineOfOffset(std::string_view text, size_t offset) {
  return 1 + static_cast<int>(std::count(text.begin(), text.begin() + offset, '\n'));
}

// Single-byte ANSI text to the UTF-16LE bytes the registry holds, byte for
// byte, so terminators and list structure survive.
std::vector<BYTE> AnsiBytesToUtf16(const std::vector<BYTE>& ansi) {
  const std::string asText(ansi.begin(), ansi.end());
  return Utf8ToUtf16Le(AnsiToUtf8(asText));
}

// UTF-16LE registry bytes to single-byte ANSI, one byte per character.
std::vector<BYTE> Utf16ToAnsiBytes(const std::vector<BYTE>& wide) {
  const std::string ansi = Utf8ToAnsi(Utf16LeToUtf8(wide.data(), wide.size() & ~size_t{1}));
  return std::vector<BYTE>(ansi.begin(), ansi.end());
}

bool IsAnsiStringType(DWORD type) {
  return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

// ---- Reading ----

// One change a file asks for. The whole file is parsed into these before any
// is applied, so a file with an error changes nothing, and keys the file does
// not delete stay where they are in memory.
struct RegOp {
  enum class Kind { CreateKey, DeleteKey, SetValue, DeleteValue };
  Kind kind;
  RegRoot root = RegRoot::LocalMachine;
  std::string path;  // key operations
  std::string name;  // value operations, on the key of the last CreateKey
  DWORD type = 0;
  std::vector<BYTE> data;
};

class Parser {
 public:
  Parser(std::vector<std::string_view> lines, bool ansiData)
      : lines_(std::move(lines)), ansiData_(ansiData) {}

  bool Run() {
    for (index_ = 1; index_ < lines_.size(); ++index_) {
      const std::string_view line = TrimLeft(lines_[index_]);
      if (line.empty() || line[0] == ';') continue;
      bool ok;
      if (line[0] == '[') {
        ok = KeyLine(line);
      } else if (line[0] == '"' || line[0] == '@') {
        ok = ValueLine(line);
      } else {
        ok = Fail("expected a key line \"[...]\", a value line (\"name\"=... or @=...) or a "
                  "comment, found '" + Excerpt(line) + "'");
      }
      if (!ok) return false;
    }
    return true;
  }

  std::vector<RegOp>& ops() { return ops_; }
  int errorLine() const { return errorLine_; }
  const std::string& errorMessage() const { return errorMessage_; }

 private:
  enum class State { NoKey, Key, DeletedKey };

  bool Fail(std::string message) {
    errorLine_ = static_cast<int>(index_ + 1);
    errorMessage_ = std::move(message);
    return false;
  }

  bool KeyLine(std::string_view line) {
    line = TrimRight(line);
    const size_t close = line.rfind(']');
    if (close == std::string_view::npos) return Fail("key line has no closing ']'");
    if (close + 1 != line.size())
      return Fail("unexpected text after ']': '" + Excerpt(line.substr(close + 1)) + "'");
    std::string_view inner = line.substr(1, close - 1);
    const bool deleting = !inner.empty() && inner[0] == '-';
    if (deleting) inner.remove_prefix(1);
    if (inner.empty()) return Fail("key line names no key");

    const size_t slash = inner.find('\\');
    const std::string_view rootName = inner.substr(0, slash);
    RegRoot root;
    if (!ParseRegRootName(rootName, &root))
      return Fail("unknown root key '" + std::string(rootName) +
                  "' (expected HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER, HKEY_CLASSES_ROOT or "
                  "HKEY_USERS)");
    const std::string_view path =
        slash == std::string_view::npos ? std::string_view() : inner.substr(slash + 1);
    if (slash != std::string_view::npos) {
      size_t depth = 0;
      size_t start = 0;
      for (;;) {
        const size_t end = path.find('\\', start);
        const std::string_view part = path.substr(
            start, end == std::string_view::npos ? std::string_view::npos : end - start);
        if (part.empty()) return Fail("empty key name in path (doubled or trailing '\\')");
        if (Utf16Units(part) > kMaxKeyNameChars)
          return Fail("key name longer than 255 characters");
        if (++depth > RegistryTree::kMaxDepth) return Fail("key path is nested too deeply");
        if (end == std::string_view::npos) break;
        start = end + 1;
      }
    }

    if (deleting) {
      if (path.empty()) return Fail("a root key cannot be deleted");
      AddKeyOp(RegOp::Kind::DeleteKey, root, path);
      state_ = State::DeletedKey;
      return true;
    }
    AddKeyOp(RegOp::Kind::CreateKey, root, path);
    state_ = State::Key;
    return true;
  }

  void AddKeyOp(RegOp::Kind kind, RegRoot root, std::string_view path) {
    RegOp op;
    op.kind = kind;
    op.root = root;
    op.path = std::string(path);
    ops_.push_back(std::move(op));
  }

  void AddValueOp(RegOp::Kind kind, std::string name, DWORD type, std::vector<BYTE> data) {
    RegOp op;
    op.kind = kind;
    op.name = std::move(name);
    op.type = type;
    op.data = std::move(data);
    ops_.push_back(std::move(op));
  }

  // Reads a quoted string starting at s[*pos] == '"'; *pos ends past the
  // closing quote.
  bool Quoted(std::string_view s, size_t* pos, std::string* out) {
    out->clear();
    size_t i = *pos + 1;
    while (i < s.size()) {
      const char c = s[i];
      if (c == '"') {
        *pos = i + 1;
        return true;
      }
      if (c == '\\') {
        if (i + 1 >= s.size()) break;
        const char e = s[i + 1];
        if (e != '\\' && e != '"')
          return Fail(std::string("unknown escape '\\") + e +
                      "' in quoted text (write \\\\ for a backslash)");
        out->push_back(e);
        i += 2;
        continue;
      }
      out->push_back(c);
      ++i;
    }
    return Fail("unterminated quoted string (no closing '\"')");
  }

  bool RestIsEmpty(std::string_view rest) {
    rest = TrimLeft(rest);
    if (rest.empty()) return true;
    return Fail("unexpected text after the value data: '" + Excerpt(rest) + "'");
  }

  bool ValueLine(std::string_view line) {
    if (state_ == State::NoKey) return Fail("value line before any key line");
    if (state_ == State::DeletedKey)
      return Fail("value line under a deleted key [-...]; a key line must come first");

    std::string name;
    size_t pos = 0;
    if (line[0] == '@') {
      pos = 1;
    } else if (!Quoted(line, &pos, &name)) {
      return false;
    }
    if (Utf16Units(name) > kMaxValueNameChars)
      return Fail("value name longer than 16383 characters");
    while (pos < line.size() && IsSpace(line[pos])) ++pos;
    if (pos >= line.size() || line[pos] != '=')
      return Fail("expected '=' after the value name");
    ++pos;
    while (pos < line.size() && IsSpace(line[pos])) ++pos;
    const std::string_view data = line.substr(pos);

    if (!data.empty() && data[0] == '"') {
      std::string text;
      size_t end = 0;
      if (!Quoted(data, &end, &text) || !RestIsEmpty(data.substr(end))) return false;
      AddValueOp(RegOp::Kind::SetValue, std::move(name), REG_SZ, StringData(text));
      return true;
    }
    if (!data.empty() && data[0] == '-') {
      if (!RestIsEmpty(data.substr(1))) return false;
      AddValueOp(RegOp::Kind::DeleteValue, std::move(name), 0, {});
      return true;
    }
    if (StartsWithNoCase(data, "dword:")) {
      std::string_view digits = data.substr(6);
      size_t n = 0;
      while (n < digits.size() && HexDigit(digits[n]) >= 0) ++n;
      if (n == 0) return Fail("expected 1 to 8 hex digits after 'dword:'");
      if (n > 8) return Fail("dword value out of range (more than 8 hex digits)");
      DWORD value = 0;
      for (size_t i = 0; i < n; ++i) value = (value << 4) | static_cast<DWORD>(HexDigit(digits[i]));
      if (!RestIsEmpty(digits.substr(n))) return false;
      AddValueOp(RegOp::Kind::SetValue, std::move(name), REG_DWORD, DwordData(value));
      return true;
    }
    DWORD type;
    std::string_view bytesText;
    if (StartsWithNoCase(data, "hex:")) {
      type = REG_BINARY;
      bytesText = data.substr(4);
    } else if (StartsWithNoCase(data, "hex(")) {
      size_t i = 4;
      type = 0;
      while (i < data.size() && HexDigit(data[i]) >= 0) {
        if (i - 4 == 8) return Fail("value type in hex(N) out of range");
        type = (type << 4) | static_cast<DWORD>(HexDigit(data[i]));
        ++i;
      }
      if (i == 4 || i + 1 >= data.size() || data[i] != ')' || data[i + 1] != ':')
        return Fail("malformed value type '" + Excerpt(data) +
                    "' (expected hex(N): with N a hex type number)");
      bytesText = data.substr(i + 2);
    } else {
      return Fail("unknown value type '" + Excerpt(data) +
                  "' (expected \"text\", dword:, hex:, hex(N): or -)");
    }
    std::vector<BYTE> bytes;
    if (!HexBytes(bytesText, &bytes)) return false;
    if (ansiData_ && IsAnsiStringType(type)) bytes = AnsiBytesToUtf16(bytes);
    AddValueOp(RegOp::Kind::SetValue, std::move(name), type, std::move(bytes));
    return true;
  }

  // Comma-separated hex bytes, continued over lines that end in '\'.
  // Advances index_ over the continuation lines.
  bool HexBytes(std::string_view rest, std::vector<BYTE>* out) {
    enum class Want { ByteOrEnd, Byte, SeparatorOrEnd };
    Want want = Want::ByteOrEnd;
    for (;;) {
      rest = TrimLeft(rest);
      if (rest.empty()) {
        if (want == Want::Byte) return Fail("expected a hex byte after ','");
        return true;
      }
      if (rest[0] == '\\') {
        if (!TrimLeft(rest.substr(1)).empty())
          return Fail("unexpected text after the line continuation '\\'");
        if (index_ + 1 >= lines_.size())
          return Fail("line continuation '\\' at the end of the file");
        ++index_;
        rest = lines_[index_];
        if (want == Want::SeparatorOrEnd) want = Want::Byte;
        if (want == Want::ByteOrEnd) want = Want::Byte;
        continue;
      }
      if (want == Want::SeparatorOrEnd) {
        if (rest[0] != ',') return Fail("unexpected text after hex byte: '" + Excerpt(rest) + "'");
        rest.remove_prefix(1);
        want = Want::Byte;
        continue;
      }
      size_t n = 0;
      while (n < rest.size() && HexDigit(rest[n]) >= 0) ++n;
      const bool endsClean = n == rest.size() || IsSpace(rest[n]) || rest[n] == ',' ||
                             rest[n] == '\\';
      if (n == 0 || n > 2 || !endsClean)
        return Fail("bad hex byte '" + Excerpt(rest) + "' (expected two hex digits)");
      int value = HexDigit(rest[0]);
      if (n == 2) value = value * 16 + HexDigit(rest[1]);
      out->push_back(static_cast<BYTE>(value));
      rest.remove_prefix(n);
      want = Want::SeparatorOrEnd;
    }
  }

  std::vector<std::string_view> lines_;
  bool ansiData_;
  size_t index_ = 0;
  State state_ = State::NoKey;
  std::vector<RegOp> ops_;
  int errorLine_ = 0;
  std::string errorMessage_;
};

// Lines without their CRLF or LF; a final line break does not start a line.
std::vector<std::string_view> SplitLines(std::string_view text) {
  std::vector<std::string_view> lines;
  const auto push = [&](std::string_view line) {
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.push_back(line);
  };
  size_t start = 0;
  for (;;) {
    const size_t end = text.find('\n', start);
    if (end == std::string_view::npos) {
      if (start < text.size() || lines.empty()) push(text.substr(start));
      return lines;
    }
    push(text.substr(start, end - start));
    start = end + 1;
  }
}

// Where a round-tripped text first differs from the original: the first
// malformed sequence, since well-formed text survives the trip unchanged.
size_t FirstMismatch(const std::string& a, const std::string& b) {
  const size_t n = std::min(a.size(), b.size());
  size_t i = 0;
  while (i < n && a[i] == b[i]) ++i;
  return i;
}

bool ApplyImpl(const std::string& bytes, RegistryTree* tree, RegFileFormat* format,
               RegFileError* error) {
  enum class Encoding { Utf16, Utf8, Ansi };
  Encoding encoding;
  std::string text;
  int badEncodingLine = 0;

  const auto startsWith = [&](std::string_view prefix) {
    return bytes.size() >= prefix.size() && std::string_view(bytes).substr(0, prefix.size()) ==
                                                prefix;
  };
  if (startsWith("\xFF\xFE")) {
    encoding = Encoding::Utf16;
    const std::string payload = bytes.substr(2);
    text = Utf16LeToUtf8(reinterpret_cast<const BYTE*>(payload.data()), payload.size());
    const std::vector<BYTE> back = Utf8ToUtf16Le(text);
    const std::string backBytes(back.begin(), back.end());
    if (backBytes != payload) {
      const size_t bad = FirstMismatch(payload, backBytes) & ~size_t{1};
      int line = 1;
      for (size_t i = 0; i + 1 < bad; i += 2)
        if (payload[i] == '\n' && payload[i + 1] == '\0') ++line;
      badEncodingLine = line;
    }
  } else if (startsWith("\xFE\xFF")) {
    error->line = 1;
    error->message = "UTF-16 big-endian text is not supported (save the file as UTF-16LE or UTF-8)";
    return false;
  } else {
    const bool utf8Bom = startsWith("\xEF\xBB\xBF");
    const std::string_view payload = std::string_view(bytes).substr(utf8Bom ? 3 : 0);
    const std::string_view firstLine = payload.substr(0, payload.find('\n'));
    if (!utf8Bom && (firstLine == kHeader4 || firstLine == "REGEDIT4\r")) {
      encoding = Encoding::Ansi;
      text = AnsiToUtf8(payload);
    } else {
      encoding = Encoding::Utf8;
      text = std::string(payload);
      const std::vector<BYTE> wide = Utf8ToUtf16Le(text);
      const std::string back = Utf16LeToUtf8(wide.data(), wide.size());
      if (back != text) badEncodingLine = LineOfOffset(text, FirstMismatch(text, back));
    }
  }

  const std::vector<std::string_view> lines = SplitLines(text);
  const std::string_view header = lines.empty() ? std::string_view() : lines[0];
  RegFileFormat found;
  if (header == kHeader5) {
    found = encoding == Encoding::Utf16 ? RegFileFormat::Unicode5 : RegFileFormat::Utf8v5;
  } else if (header == kHeader4) {
    found = RegFileFormat::Regedit4;
  } else {
    error->line = 1;
    error->message = "expected the header line \"Windows Registry Editor Version 5.00\" or "
                     "\"REGEDIT4\"";
    return false;
  }
  if (badEncodingLine != 0) {
    error->line = badEncodingLine;
    error->message = encoding == Encoding::Utf16
                         ? "text is not valid UTF-16 (binary data in the file?)"
                         : "text is not valid UTF-8 (binary data in the file?)";
    return false;
  }
  const size_t nul = text.find('\0');
  if (nul != std::string::npos) {
    error->line = LineOfOffset(text, nul);
    error->message = "NUL character in the text (binary data in the file?)";
    return false;
  }

  Parser parser(lines, found == RegFileFormat::Regedit4);
  if (!parser.Run()) {
    error->line = parser.errorLine();
    error->message = parser.errorMessage();
    return false;
  }
  // Names and depths were checked while parsing, so no step below can fail.
  RegKey* key = nullptr;
  for (RegOp& op : parser.ops()) {
    switch (op.kind) {
      case RegOp::Kind::CreateKey:
        key = tree->Create(op.root, op.path, nullptr);
        break;
      case RegOp::Kind::DeleteKey:
        tree->Delete(op.root, op.path);  // deleting a missing key is not an error
        key = nullptr;
        break;
      case RegOp::Kind::SetValue:
        if (key) key->SetValue(op.name, op.type, std::move(op.data));
        break;
      case RegOp::Kind::DeleteValue:
        if (key) key->DeleteValue(op.name);
        break;
    }
  }
  if (format) *format = found;
  return true;
}

// ---- Writing ----

// Raised inside the writers when a name or text cannot be written exactly;
// caught at the public entry points and turned into a RegWriteError.
struct Refused {
  RegWriteError error;
};

// True when `utf8` comes back unchanged from a file in `format`.
bool Carries(std::string_view utf8, RegFileFormat format) {
  if (format == RegFileFormat::Regedit4) return AnsiToUtf8(Utf8ToAnsi(utf8)) == utf8;
  const std::vector<BYTE> wide = Utf8ToUtf16Le(utf8);
  return Utf16LeToUtf8(wide.data(), wide.size()) == utf8;
}

// Why `text` (a name when `isName`) cannot be written, or "" when it can.
std::string Unwritable(std::string_view text, RegFileFormat format, bool isName) {
  if (isName && text.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos)
    return "the name holds a line break or NUL, which no .reg file can carry";
  if (Carries(text, format)) return std::string();
  if (format != RegFileFormat::Regedit4 || !Carries(text, RegFileFormat::Unicode5))
    return std::string(isName ? "the name" : "the text") + " is not valid Unicode text";
  return std::string(isName ? "the name" : "the text") +
         " holds a character that Windows-1252 lacks, and a REGEDIT4 file is "
         "Windows-1252 text (it would be imported as another character)";
}

[[noreturn]] void Refuse(std::string key, const RegValue* value, std::string message) {
  Refused r;
  r.error.key = std::move(key);
  if (value) {
    r.error.hasValue = true;
    r.error.value = value->name;
  }
  r.error.message = std::move(message);
  throw r;
}

void CheckName(const std::string& keyPath, const RegValue* value, std::string_view name,
               RegFileFormat format) {
  std::string why = Unwritable(name, format, true);
  if (!why.empty()) Refuse(keyPath, value, std::move(why));
}

std::string QuotedName(std::string_view name) {
  std::string out = "\"";
  for (char c : name) {
    if (c == '\\' || c == '"') out.push_back('\\');
    out.push_back(c);
  }
  out.push_back('"');
  return out;
}

std::string ValueNamePart(const RegValue& v) { return v.name.empty() ? "@" : QuotedName(v.name); }

// True when REG_SZ data can be written as "text" and read back to the same
// bytes: whole UTF-16 units, one terminator at the very end, no line breaks,
// no unpaired surrogates.
bool IsPlainString(const std::vector<BYTE>& data) {
  if (data.size() < 2 || data.size() % 2 != 0) return false;
  const size_t units = data.size() / 2;
  for (size_t i = 0; i < units; ++i) {
    const unsigned unit = data[2 * i] | (data[2 * i + 1] << 8);
    const bool isLast = i + 1 == units;
    if ((unit == 0) != isLast) return false;
    if (unit == '\r' || unit == '\n') return false;
    if (unit >= 0xD800 && unit <= 0xDBFF) {
      if (i + 1 >= units) return false;
      const unsigned next = data[2 * i + 2] | (data[2 * i + 3] << 8);
      if (next < 0xDC00 || next > 0xDFFF) return false;
      ++i;
    } else if (unit >= 0xDC00 && unit <= 0xDFFF) {
      return false;
    }
  }
  return true;
}

const char kHexDigits[] = "0123456789abcdef";

void AppendHexByte(std::string* out, BYTE b) {
  out->push_back(kHexDigits[b >> 4]);
  out->push_back(kHexDigits[b & 0xF]);
}

std::string HexNumber(DWORD n, size_t minDigits) {
  std::string out;
  do {
    out.insert(out.begin(), kHexDigits[n & 0xF]);
    n >>= 4;
  } while (n != 0);
  if (out.size() < minDigits) out.insert(0, minDigits - out.size(), '0');
  return out;
}

void AppendValueLine(std::string* out, const std::string& keyPath, const RegValue& v,
                     RegFileFormat format) {
  CheckName(keyPath, &v, v.name, format);
  std::string line = ValueNamePart(v) + "=";
  if (v.type == REG_SZ && IsPlainString(v.data)) {
    const std::string text = Utf16LeToUtf8(v.data.data(), v.data.size() - 2);
    std::string why = Unwritable(text, format, false);
    if (!why.empty()) Refuse(keyPath, &v, std::move(why));
    line += QuotedName(text);
    *out += line;
    *out += kCrLf;
    return;
  }
  if (v.type == REG_DWORD && v.data.size() == 4) {
    const DWORD value = static_cast<DWORD>(v.data[0]) | (static_cast<DWORD>(v.data[1]) << 8) |
                        (static_cast<DWORD>(v.data[2]) << 16) |
                        (static_cast<DWORD>(v.data[3]) << 24);
    line += "dword:" + HexNumber(value, 8);
    *out += line;
    *out += kCrLf;
    return;
  }
  line += v.type == REG_BINARY ? std::string("hex:") : "hex(" + HexNumber(v.type, 1) + "):";
  const std::vector<BYTE> ansi = (format == RegFileFormat::Regedit4 && IsAnsiStringType(v.type))
                                     ? Utf16ToAnsiBytes(v.data)
                                     : std::vector<BYTE>();
  const std::vector<BYTE>& bytes =
      (format == RegFileFormat::Regedit4 && IsAnsiStringType(v.type)) ? ansi : v.data;
  if (&bytes == &ansi && AnsiBytesToUtf16(ansi) != v.data)
    Refuse(keyPath, &v,
           "the data holds a character that Windows-1252 lacks (or half a character), and "
           "a REGEDIT4 file keeps string data as Windows-1252 bytes");
  size_t column = CodePoints(line);
  line.reserve(line.size() + bytes.size() * 3 + bytes.size() / 25 * 5);
  for (size_t i = 0; i < bytes.size(); ++i) {
    AppendHexByte(&line, bytes[i]);
    if (i + 1 == bytes.size()) break;
    line.push_back(',');
    column += 3;
    if (column >= kHexWrapColumn) {
      line += "\\\r\n  ";
      column = 2;
    }
  }
  *out += line;
  *out += kCrLf;
}

void AppendDeleteLine(std::string* out, const std::string& keyPath, const RegValue& v,
                      RegFileFormat format) {
  CheckName(keyPath, &v, v.name, format);
  *out += ValueNamePart(v);
  *out += "=-";
  *out += kCrLf;
}

std::string KeyPath(RegRoot root, const std::string& path) {
  std::string out = RegRootName(root);
  if (!path.empty()) {
    out += '\\';
    out += path;
  }
  return out;
}

std::string ChildPath(const std::string& path, const std::string& name) {
  return path.empty() ? name : path + "\\" + name;
}

// "[path]" or "[-path]", once every part of the path is known to fit.
std::string KeyLine(RegRoot root, const std::string& path, RegFileFormat format,
                    bool deleted) {
  const std::string full = KeyPath(root, path);
  CheckName(full, nullptr, path, format);
  return (deleted ? "[-" : "[") + full + "]";
}

std::string Header(RegFileFormat format) {
  std::string out(format == RegFileFormat::Regedit4 ? kHeader4 : kHeader5);
  out += kCrLf;
  out += kCrLf;
  return out;
}

std::string Encode(const std::string& text, RegFileFormat format) {
  switch (format) {
    case RegFileFormat::Unicode5: {
      const std::vector<BYTE> wide = Utf8ToUtf16Le(text);
      std::string out;
      out.reserve(wide.size() + 2);
      out += "\xFF\xFE";
      out.append(wide.begin(), wide.end());
      return out;
    }
    case RegFileFormat::Regedit4:
      return Utf8ToAnsi(text);
    case RegFileFormat::Utf8v5:
      break;
  }
  return text;
}

bool SameData(const RegValue& a, const RegValue& b) { return a.type == b.type && a.data == b.data; }

class ChangeWriter {
 public:
  ChangeWriter(RegFileFormat format, std::string* out) : format_(format), out_(out) {}

  // `before` is null when the key is new.
  void Key(RegRoot root, const std::string& path, const RegKey* before, const RegKey& after) {
    std::string body;
    const std::string full = KeyPath(root, path);
    if (!before) {
      for (const RegValue& v : after.values()) AppendValueLine(&body, full, v, format_);
    } else {
      ValueChanges(full, *before, after, &body);
    }
    // A new key with no values is created by its subkeys' lines, but an
    // empty leaf must be written or it would be lost.
    const bool emptyNewLeaf = !before && after.values().empty() && after.subkeys().empty();
    if (!body.empty() || emptyNewLeaf) {
      *out_ += KeyLine(root, path, format_, false);
      *out_ += kCrLf;
      *out_ += body;
      *out_ += kCrLf;
    }

    static const std::map<std::string, std::unique_ptr<RegKey>, RegNameLess> kNone;
    const auto& old = before ? before->subkeys() : kNone;
    auto a = old.begin();
    auto b = after.subkeys().begin();
    const RegNameLess less;
    while (a != old.end() || b != after.subkeys().end()) {
      if (b == after.subkeys().end() || (a != old.end() && less(a->first, b->first))) {
        Deleted(root, ChildPath(path, a->second->name()));
        ++a;
      } else if (a == old.end() || less(b->first, a->first)) {
        Key(root, ChildPath(path, b->second->name()), nullptr, *b->second);
        ++b;
      } else {
        if (a->second->name() != b->second->name()) {
          // Only the letter case changed; a key keeps the case it was
          // created with, so recreate it.
          Deleted(root, ChildPath(path, a->second->name()));
          Key(root, ChildPath(path, b->second->name()), nullptr, *b->second);
        } else {
          Key(root, ChildPath(path, b->second->name()), a->second.get(), *b->second);
        }
        ++a;
        ++b;
      }
    }
  }

 private:
  void Deleted(RegRoot root, const std::string& path) {
    *out_ += KeyLine(root, path, format_, true);
    *out_ += kCrLf;
    *out_ += kCrLf;
  }

  // Importing the lines must give `after`'s values in `after`'s order. Values
  // that keep their place are updated in place; the first one out of place
  // and all after it are deleted and set again, which appends them in order.
  void ValueChanges(const std::string& full, const RegKey& before, const RegKey& after,
                    std::string* body) {
    const std::vector<RegValue>& want = after.values();
    size_t inPlace = 0;
    for (const RegValue& v : before.values()) {
      if (!after.FindValue(v.name)) continue;
      if (inPlace < want.size() && want[inPlace].name == v.name) ++inPlace;
    }
    for (const RegValue& v : before.values())
      if (!after.FindValue(v.name)) AppendDeleteLine(body, full, v, format_);
    for (size_t i = 0; i < want.size(); ++i) {
      const RegValue* old = before.FindValue(want[i].name);
      if (i < inPlace) {
        if (!SameData(*old, want[i])) AppendValueLine(body, full, want[i], format_);
      } else {
        if (old) AppendDeleteLine(body, full, want[i], format_);
        AppendValueLine(body, full, want[i], format_);
      }
    }
  }

  RegFileFormat format_;
  std::string* out_;
};

}  // namespace

std::string RegFileError::ToString() const {
  if (line <= 0) return file + ": " + message;
  return file + ":" + std::to_string(line) + ": " + message;
}

bool ApplyRegFile(const std::string& bytes, const std::string& fileName, RegistryTree* tree,
                  RegFileFormat* format, RegFileError* error) {
  RegFileError local;
  RegFileError* err = error ? error : &local;
  try {
    err->file = fileName;
    err->line = 0;
    err->message.clear();
    if (!tree) {
      err->message = "no registry to apply the file to";
      return false;
    }
    return ApplyImpl(bytes, tree, format, err);
  } catch (const std::bad_alloc&) {
    err->line = 0;
    err->message = "out of memory reading the file";
  } catch (...) {
    err->line = 0;
    err->message = "unexpected failure reading the file";
  }
  return false;
}

std::string RegWriteError::ToString(const std::string& file) const {
  std::string out = file + ": cannot write key " + key;
  if (hasValue) out += value.empty() ? std::string(", default value") : ", value \"" + value + "\"";
  return out + ": " + message;
}

std::string WriteRegFile(const RegistryTree& tree, RegFileFormat format, RegWriteError* error) {
  try {
    std::string text = Header(format);
    tree.ForEachKey([&](RegRoot root, const std::string& path, const RegKey& key) {
      // Roots always exist; a key with subkeys but no values is implied by
      // its subkeys' lines. An empty leaf is real and is written.
      if (key.values().empty() && (path.empty() || !key.subkeys().empty())) return;
      text += KeyLine(root, path, format, false);
      text += kCrLf;
      const std::string full = KeyPath(root, path);
      for (const RegValue& v : key.values()) AppendValueLine(&text, full, v, format);
      text += kCrLf;
    });
    return Encode(text, format);
  } catch (const Refused& refused) {
    if (error) *error = refused.error;
  } catch (...) {
    if (error) *error = RegWriteError{"", "", false, "out of memory writing the file"};
  }
  return std::string();  // never a valid file: it has no header
}

std::string WriteRegChanges(const RegistryTree& before, const RegistryTree& after,
                            RegFileFormat format, RegWriteError* error) {
  try {
    std::string text = Header(format);
    ChangeWriter writer(format, &text);
    for (RegRoot root : RegistryTree::kAllRoots)
      writer.Key(root, "", &before.Root(root), after.Root(root));
    return Encode(text, format);
  } catch (const Refused& refused) {
    if (error) *error = refused.error;
  } catch (...) {
    if (error) *error = RegWriteError{"", "", false, "out of memory writing the file"};
  }
  return std::string();
}

std::string WithCommentLines(const std::string& text, RegFileFormat format,
                             const std::vector<std::string>& lines) {
  const std::string header = Encode(Header(format), format);
  if (text.compare(0, header.size(), header) != 0) return text;
  std::string comments;
  for (const std::string& line : lines) {
    comments += "; ";
    // One comment line each: a line break would end the comment.
    for (char c : line) comments += (c == '\r' || c == '\n') ? ' ' : c;
    comments += kCrLf;
  }
  std::string encoded = Encode(comments, format);
  if (format == RegFileFormat::Unicode5) encoded.erase(0, 2);  // one byte-order mark, at the top
  return header + encoded + text.substr(header.size());
}

}  // namespace cw::sim
