// Writing .reg files: a whole tree, or the changes from one tree to another,
// exactly as regedit would import them, or not at all.
#include "regtree/reg_file.h"

#include <utility>
#include <vector>

#include "platform/win_constants.h"
#include "regtree/reg_file_format.h"

namespace cw::sim {

using namespace regfile;

namespace {

constexpr std::string_view kCrLf = "\r\n";

// regedit starts a new line once a hex line reaches this column.
constexpr size_t kHexWrapColumn = 77;

size_t CodePoints(std::string_view utf8) {
  size_t n = 0;
  for (char c : utf8)
    if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++n;
  return n;
}

// UTF-16LE registry bytes to single-byte ANSI, one byte per character.
std::vector<BYTE> Utf16ToAnsiBytes(const std::vector<BYTE>& wide) {
  const std::string ansi = Utf8ToAnsi(Utf16LeToUtf8(wide.data(), wide.size() & ~size_t{1}));
  return std::vector<BYTE>(ansi.begin(), ansi.end());
}

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
