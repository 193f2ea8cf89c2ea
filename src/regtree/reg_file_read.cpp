// Reading .reg files: parsed whole into changes, then applied, so a file
// with an error changes nothing.
#include "regtree/reg_file.h"

#include <algorithm>
#include <new>
#include <utility>
#include <vector>

#include "base/text.h"
#include "platform/win_constants.h"
#include "regtree/reg_file_format.h"

namespace cw::sim {

using namespace regfile;

namespace {

// Windows' limits on names; longer ones cannot exist in a real registry.
constexpr size_t kMaxKeyNameChars = 255;
constexpr size_t kMaxValueNameChars = 16383;

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// A piece of the input quoted in an error message, kept short.
std::string Excerpt(std::string_view s) {
  constexpr size_t kMax = 24;
  size_t n = 0;
  while (n < s.size() && n < kMax && !IsBlank(s[n]) && s[n] != ',') ++n;
  // Never cut a UTF-8 character in half.
  while (n > 0 && n < s.size() && (static_cast<unsigned char>(s[n]) & 0xC0) == 0x80) --n;
  std::string out(s.substr(0, n));
  if (n == kMax && n < s.size()) out += "...";
  return out;
}

size_t Utf16Units(std::string_view utf8) { return Utf8ToUtf16Le(utf8).size() / 2; }

int LineOfOffset(std::string_view text, size_t offset) {
  return 1 + static_cast<int>(std::count(text.begin(), text.begin() + offset, '\n'));
}

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
      const std::string_view line = TrimBlanksLeft(lines_[index_]);
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
    line = TrimBlanksRight(line);
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
    rest = TrimBlanksLeft(rest);
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
    while (pos < line.size() && IsBlank(line[pos])) ++pos;
    if (pos >= line.size() || line[pos] != '=')
      return Fail("expected '=' after the value name");
    ++pos;
    while (pos < line.size() && IsBlank(line[pos])) ++pos;
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
      rest = TrimBlanksLeft(rest);
      if (rest.empty()) {
        if (want == Want::Byte) return Fail("expected a hex byte after ','");
        return true;
      }
      if (rest[0] == '\\') {
        if (!TrimBlanksLeft(rest.substr(1)).empty())
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
      const bool endsClean = n == rest.size() || IsBlank(rest[n]) || rest[n] == ',' ||
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

}  // namespace cw::sim
