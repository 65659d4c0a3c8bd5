#include "platform/registry/reg_file.h"

#include <cstdio>
#include <optional>
#include <vector>

#include "platform/registry/registry_store.h"
#include "platform/text/wide_text.h"

namespace platform::registry {

namespace {

constexpr std::string_view kHeader5 = "Windows Registry Editor Version 5.00";
constexpr std::string_view kHeader4 = "REGEDIT4";
// Hex lines wrap before this column, as the registry editor wraps them.
constexpr std::size_t kHexLineWidth = 76;

bool equalsNoCase(std::string_view a, std::string_view b) { return foldName(a) == foldName(b); }

std::optional<KeyId> hiveKey(Store& store, HKEY hive) {
  if (hive == HKEY_LOCAL_MACHINE) return kLocalMachineKey;
  if (hive == HKEY_CLASSES_ROOT) return store.classesRoot();
  return std::nullopt;
}

std::string quoteRegText(std::string_view text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '\\' || c == '"') out += '\\';
    out += c;
  }
  return out + '"';
}

// UTF-16LE bytes of ANSI text, for the hex(2)/hex(7)/hex(1) forms of a version 5 file.
std::vector<std::uint8_t> utf16Bytes(const std::vector<std::uint8_t>& ansi) {
  std::u16string wide = text::widen(std::string_view(reinterpret_cast<const char*>(ansi.data()), ansi.size()));
  std::vector<std::uint8_t> out;
  for (char16_t c : wide) {
    out.push_back(static_cast<std::uint8_t>(c & 0xFF));
    out.push_back(static_cast<std::uint8_t>(c >> 8));
  }
  return out;
}

std::string hexForm(std::string prefix, const std::vector<std::uint8_t>& bytes) {
  static const char kHex[] = "0123456789abcdef";
  std::string out = std::move(prefix);
  std::size_t column = out.size();
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    out += kHex[bytes[i] >> 4];
    out += kHex[bytes[i] & 15];
    column += 2;
    if (i + 1 < bytes.size()) {
      out += ',';
      ++column;
      if (column >= kHexLineWidth) {
        out += "\\\r\n  ";
        column = 2;
      }
    }
  }
  return out;
}

// Whether the bytes come back from UTF-16, as the file holds text, as they were.
bool isText(std::string_view bytes) { return text::narrow(text::widen(bytes)) == bytes; }

// A REG_SZ prints as a quoted string only when that form gives back the same bytes: text
// ending in one terminator, with none inside.
bool plainString(const std::vector<std::uint8_t>& data) {
  if (data.empty() || data.back() != 0) return false;
  for (std::size_t i = 0; i + 1 < data.size(); ++i)
    if (data[i] == 0 || data[i] == '\r' || data[i] == '\n') return false;
  return isText(std::string_view(reinterpret_cast<const char*>(data.data()), data.size() - 1));
}

std::string valueLine(const Value& v) {
  std::string line = v.name.empty() ? "@=" : quoteRegText(v.name) + "=";
  switch (v.type) {
    case REG_SZ:
      if (plainString(v.data)) {
        return line + quoteRegText(std::string_view(reinterpret_cast<const char*>(v.data.data()), v.data.size() - 1));
      }
      return hexForm(line + "hex(1):", utf16Bytes(v.data));
    case REG_DWORD:
      if (v.data.size() == 4) {
        char buffer[16];
        std::snprintf(buffer, sizeof(buffer), "dword:%08x",
                      v.data[0] | (v.data[1] << 8) | (v.data[2] << 16) | (static_cast<unsigned>(v.data[3]) << 24));
        return line + buffer;
      }
      return hexForm(line + "hex(4):", v.data);
    case REG_BINARY:
      return hexForm(line + "hex:", v.data);
    case REG_EXPAND_SZ:
    case REG_MULTI_SZ:
      return hexForm(line + "hex(" + std::to_string(v.type) + "):", utf16Bytes(v.data));
    default: {
      char buffer[24];
      std::snprintf(buffer, sizeof(buffer), "hex(%x):", v.type);
      return hexForm(line + buffer, v.data);
    }
  }
}

// A name with a line break cannot be written as one line: the file would not import back.
// The file holds text as UTF-16, so a name or a text value whose bytes are no text in this
// code page would come back as other characters.
bool exportTree(Store& store, KeyId key, const std::string& name, std::string& out, std::string& error) {
  auto refuse = [&](const std::string& what) {
    error = "Cannot export " + name + ": " + what + ".";
    return false;
  };
  auto nameFits = [&](const std::string& text) {
    if (text.find_first_of("\r\n") != std::string::npos) return refuse("a name holds a line break");
    return isText(text) || refuse("a name holds bytes that are no text in this code page");
  };
  if (!nameFits(name)) return false;
  out += "[" + name + "]\r\n";
  for (const Value& v : store.values(key)) {
    if (!nameFits(v.name)) return false;
    const bool textType = v.type == REG_SZ || v.type == REG_EXPAND_SZ || v.type == REG_MULTI_SZ;
    if (textType && !isText(std::string_view(reinterpret_cast<const char*>(v.data.data()), v.data.size())))
      return refuse("the value " + v.name + " holds bytes that are no text in this code page");
    out += valueLine(v) + "\r\n";
  }
  out += "\r\n";
  for (const auto& [child, childName] : store.children(key))
    if (!exportTree(store, child, name + "\\" + childName, out, error)) return false;
  return true;
}

// ---- import ----

struct ImportLine {
  std::size_t number;
  std::string text;
};

// Windows-1252 text as UTF-8: what a REGEDIT4 file from a Windows machine holds. Bytes the
// code page leaves undefined keep their own number, as Windows maps them.
std::string fromWindows1252(std::string_view bytes) {
  static constexpr char16_t kHigh[32] = {0x20AC, 0x81,   0x201A, 0x192,  0x201E, 0x2026, 0x2020, 0x2021,
                                         0x2C6,  0x2030, 0x160,  0x2039, 0x152,  0x8D,   0x17D,  0x8F,
                                         0x90,   0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                         0x2DC,  0x2122, 0x161,  0x203A, 0x153,  0x9D,   0x17E,  0x178};
  std::u16string wide;
  for (unsigned char c : bytes) wide.push_back(c >= 0x80 && c < 0xA0 ? kHigh[c - 0x80] : static_cast<char16_t>(c));
  return text::narrow(wide);
}

bool isUtf8(std::string_view bytes) { return text::narrow(text::widen(bytes)) == bytes; }

// The file's text as UTF-8, whatever encoding it came in.
std::string decode(std::string_view bytes) {
  if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF && static_cast<unsigned char>(bytes[1]) == 0xFE) {
    std::u16string wide;
    for (std::size_t i = 2; i + 1 < bytes.size(); i += 2)
      wide.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) | (static_cast<unsigned char>(bytes[i + 1]) << 8)));
    return text::narrow(wide);
  }
  if (bytes.size() >= 3 && bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
  // Not UTF-8 (this platform's ANSI code page): an ANSI file from Windows, whose bytes
  // stored as they are would come back altered from the next export.
  if (!isUtf8(bytes)) return fromWindows1252(bytes);
  return std::string(bytes);
}

// Lines with their numbers; a line ending in '\' continues on the next (hex data).
std::vector<ImportLine> logicalLines(const std::string& text) {
  std::vector<ImportLine> lines;
  std::size_t number = 0, pos = 0;
  std::optional<ImportLine> pending;
  while (pos <= text.size()) {
    std::size_t end = text.find('\n', pos);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(pos, end - pos);
    pos = end + 1;
    ++number;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::string_view trimmed = line;
    if (pending) {
      while (!trimmed.empty() && (trimmed.front() == ' ' || trimmed.front() == '\t')) trimmed.remove_prefix(1);
    }
    // Only a value's data goes on to the next line; a comment is one line whatever it ends with.
    const std::size_t first = trimmed.find_first_not_of(" \t");
    const bool comment = first != std::string_view::npos && trimmed[first] == ';';
    bool continues = !comment && !trimmed.empty() && trimmed.back() == '\\' && trimmed.find('=') != std::string_view::npos;
    if (pending) continues = !trimmed.empty() && trimmed.back() == '\\';
    std::string piece(continues ? trimmed.substr(0, trimmed.size() - 1) : trimmed);
    if (pending) {
      pending->text += piece;
    } else {
      pending = ImportLine{number, piece};
    }
    if (!continues) {
      lines.push_back(std::move(*pending));
      pending.reset();
    }
  }
  if (pending) lines.push_back(std::move(*pending));
  return lines;
}

// Reads a quoted string at pos (just after the opening quote is pos-1); fills out.
bool readQuoted(std::string_view line, std::size_t& pos, std::string& out) {
  if (pos >= line.size() || line[pos] != '"') return false;
  ++pos;
  out.clear();
  while (pos < line.size()) {
    char c = line[pos++];
    if (c == '"') return true;
    if (c == '\\' && pos < line.size()) c = line[pos++];
    out += c;
  }
  return false;
}

bool parseHexBytes(std::string_view text, std::vector<std::uint8_t>& out) {
  out.clear();
  std::size_t pos = 0;
  auto skipBlanks = [&] {
    while (pos < text.size() && (text[pos] == ' ' || text[pos] == '\t')) ++pos;
  };
  skipBlanks();
  if (pos == text.size()) return true;
  while (true) {
    skipBlanks();
    int value = 0, digits = 0;
    while (pos < text.size() && digits < 3) {
      char c = text[pos];
      int d = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
      if (d < 0) break;
      value = value * 16 + d;
      ++digits;
      ++pos;
    }
    if (digits == 0 || digits > 2) return false;
    out.push_back(static_cast<std::uint8_t>(value));
    skipBlanks();
    if (pos == text.size()) return true;
    if (text[pos] != ',') return false;
    ++pos;
  }
}

std::vector<std::uint8_t> ansiFromUtf16(const std::vector<std::uint8_t>& bytes) {
  std::u16string wide;
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2)
    wide.push_back(static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8)));
  std::string ansi = text::narrow(wide);
  return std::vector<std::uint8_t>(ansi.begin(), ansi.end());
}

struct ParsedValue {
  bool remove = false;
  DWORD type = REG_SZ;
  std::vector<std::uint8_t> data;
};

bool parseData(std::string_view text, bool unicodeFile, ParsedValue& out, std::string& why) {
  if (text == "-") {
    out.remove = true;
    return true;
  }
  if (!text.empty() && text[0] == '"') {
    std::size_t pos = 0;
    std::string s;
    if (!readQuoted(text, pos, s) || pos != text.size()) {
      why = "unbalanced quotes in the string data";
      return false;
    }
    out.type = REG_SZ;
    out.data.assign(s.begin(), s.end());
    out.data.push_back(0);
    return true;
  }
  if (text.substr(0, 6) == "dword:") {
    std::string_view digits = text.substr(6);
    if (digits.empty() || digits.size() > 8) {
      why = "a dword needs one to eight hex digits";
      return false;
    }
    DWORD v = 0;
    for (char c : digits) {
      int d = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
      if (d < 0) {
        why = "bad hex digit in the dword";
        return false;
      }
      v = v * 16 + static_cast<DWORD>(d);
    }
    out.type = REG_DWORD;
    out.data = {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8), static_cast<std::uint8_t>(v >> 16),
                static_cast<std::uint8_t>(v >> 24)};
    return true;
  }
  if (text.substr(0, 3) == "hex") {
    std::size_t colon = text.find(':');
    if (colon == std::string_view::npos) {
      why = "hex data needs a ':'";
      return false;
    }
    std::string_view kind = text.substr(3, colon - 3);
    DWORD type = REG_BINARY;
    if (!kind.empty()) {
      if (kind.size() < 3 || kind.front() != '(' || kind.back() != ')') {
        why = "bad value type " + std::string(text.substr(0, colon));
        return false;
      }
      unsigned long parsed = 0;
      std::string digits(kind.substr(1, kind.size() - 2));
      char* end = nullptr;
      parsed = std::strtoul(digits.c_str(), &end, 16);
      if (digits.empty() || *end != '\0') {
        why = "bad value type " + std::string(text.substr(0, colon));
        return false;
      }
      type = static_cast<DWORD>(parsed);
    }
    if (!parseHexBytes(text.substr(colon + 1), out.data)) {
      why = "bad hex data";
      return false;
    }
    // A version 5 file spells the string types in UTF-16; the store keeps ANSI.
    if (unicodeFile && (type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ)) {
      if (out.data.size() % 2) {
        why = "odd number of bytes in UTF-16 string data";
        return false;
      }
      out.data = ansiFromUtf16(out.data);
    } else if (type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ) {
      // A REGEDIT4 file's string data is in Windows' ANSI code page, as its text is.
      const std::string_view bytes(reinterpret_cast<const char*>(out.data.data()), out.data.size());
      if (!isUtf8(bytes)) {
        const std::string converted = fromWindows1252(bytes);
        out.data.assign(converted.begin(), converted.end());
      }
    }
    out.type = type;
    return true;
  }
  why = "unknown value type";
  return false;
}

// One parsed statement of the file, applied after the whole file has parsed.
struct Operation {
  enum class Kind { kOpenKey, kDeleteKey, kSetValue, kDeleteValue };
  Kind kind = Kind::kOpenKey;
  HKEY hive = nullptr;
  std::string path;
  std::string name;
  ParsedValue value;
};

bool parseFile(std::string_view bytes, std::vector<Operation>& ops, std::string& error) {
  std::string text = decode(bytes);
  auto lines = logicalLines(text);
  std::size_t first = 0;
  while (first < lines.size() && lines[first].text.empty()) ++first;
  if (first == lines.size() || (lines[first].text != kHeader5 && lines[first].text != kHeader4)) {
    error = "line 1: not a registry file (expected \"" + std::string(kHeader5) + "\" or \"REGEDIT4\")";
    return false;
  }
  const bool unicodeFile = lines[first].text == kHeader5;
  bool haveKey = false;
  for (std::size_t i = first + 1; i < lines.size(); ++i) {
    const ImportLine& line = lines[i];
    std::string_view t = line.text;
    while (!t.empty() && (t.back() == ' ' || t.back() == '\t')) t.remove_suffix(1);
    while (!t.empty() && (t.front() == ' ' || t.front() == '\t')) t.remove_prefix(1);
    if (t.empty() || t[0] == ';') continue;
    auto fail = [&](const std::string& why) {
      error = "line " + std::to_string(line.number) + ": " + why;
      return false;
    };
    if (t[0] == '[') {
      // The key's name runs to the line's last ']': a key may have brackets in its name.
      if (t.back() != ']') return fail("unbalanced brackets");
      std::string_view inner = t.substr(1, t.size() - 2);
      Operation op;
      if (!inner.empty() && inner[0] == '-') {
        op.kind = Operation::Kind::kDeleteKey;
        inner.remove_prefix(1);
      }
      if (!splitRootedKey(inner, op.hive, op.path)) return fail("unknown registry hive in [" + std::string(inner) + "]");
      haveKey = op.kind == Operation::Kind::kOpenKey;
      ops.push_back(std::move(op));
      continue;
    }
    if (t[0] != '"' && t[0] != '@') return fail("expected a key in brackets or a value");
    if (!haveKey) return fail("a value before any key");
    std::string name;
    std::size_t pos = 0;
    if (t[0] == '@') {
      pos = 1;
    } else if (!readQuoted(t, pos, name)) {
      return fail("unbalanced quotes in the value name");
    }
    while (pos < t.size() && (t[pos] == ' ' || t[pos] == '\t')) ++pos;
    if (pos >= t.size() || t[pos] != '=') return fail("expected '=' after the value name");
    // The API refuses such a name; stored anyway, it would end every reader's enumeration.
    if (name.size() > kMaxRegValueNameChars) return fail("value name too long");
    ++pos;
    while (pos < t.size() && (t[pos] == ' ' || t[pos] == '\t')) ++pos;
    Operation op;
    op.kind = Operation::Kind::kSetValue;
    op.name = name;
    std::string why;
    if (!parseData(t.substr(pos), unicodeFile, op.value, why)) return fail(why);
    if (op.value.remove) op.kind = Operation::Kind::kDeleteValue;
    ops.push_back(std::move(op));
  }
  return true;
}

}  // namespace

bool splitRootedKey(std::string_view text, HKEY& hive, std::string& subPath) {
  std::size_t slash = text.find('\\');
  std::string_view root = text.substr(0, slash);
  if (equalsNoCase(root, "HKLM") || equalsNoCase(root, "HKEY_LOCAL_MACHINE")) {
    hive = HKEY_LOCAL_MACHINE;
  } else if (equalsNoCase(root, "HKCR") || equalsNoCase(root, "HKEY_CLASSES_ROOT")) {
    hive = HKEY_CLASSES_ROOT;
  } else {
    return false;
  }
  subPath = slash == std::string_view::npos ? std::string() : std::string(text.substr(slash + 1));
  return true;
}

const char* hiveName(HKEY hive) {
  return hive == HKEY_CLASSES_ROOT ? "HKEY_CLASSES_ROOT" : "HKEY_LOCAL_MACHINE";
}

bool exportKey(std::string_view rootedKey, std::string& fileBytes, std::string& error) {
  HKEY hive;
  std::string sub;
  if (!splitRootedKey(rootedKey, hive, sub)) {
    error = "Invalid key name.";
    return false;
  }
  Store* store = Store::current();
  if (!store) {
    error = "The machine's registry cannot be opened.";
    return false;
  }
  std::string text;
  {
    std::lock_guard lock(store->mutex());
    auto base = hiveKey(*store, hive);
    auto key = base ? store->resolve(*base, sub) : std::nullopt;
    if (!key) {
      error = "The system was unable to find the specified registry key or value.";
      return false;
    }
    // Spell the key path as stored, not as typed.
    std::string name = hiveName(hive);
    KeyId at = *base;
    for (std::string_view part : splitKeyPath(sub)) {
      at = *store->child(at, part);
      name += "\\" + store->keyName(at);
    }
    text = std::string(kHeader5) + "\r\n\r\n";
    if (!exportTree(*store, *key, name, text, error)) return false;
  }
  std::u16string wide = text::widen(text);
  fileBytes = "\xFF\xFE";
  for (char16_t c : wide) {
    fileBytes += static_cast<char>(c & 0xFF);
    fileBytes += static_cast<char>(c >> 8);
  }
  return true;
}

bool importFile(std::string_view fileBytes, std::string& error) {
  std::vector<Operation> ops;
  if (!parseFile(fileBytes, ops, error)) return false;
  Store* store = Store::current();
  if (!store) {
    error = "The machine's registry cannot be opened.";
    return false;
  }
  std::lock_guard lock(store->mutex());
  sqlite::Transaction tx(store->db());
  if (!tx.active()) {
    error = "The registry is busy.";
    return false;
  }
  // The key the value lines apply to; 0 after a deleted key (values there are ignored).
  KeyId current = 0;
  for (const Operation& op : ops) {
    switch (op.kind) {
      case Operation::Kind::kOpenKey: {
        KeyId at = *hiveKey(*store, op.hive);
        for (std::string_view part : splitKeyPath(op.path)) {
          if (part.size() > kMaxRegKeyNameChars) {
            error = "key name too long: " + std::string(part);
            return false;
          }
          auto next = store->child(at, part);
          if (!next) next = store->createChild(at, part, "");
          if (!next) {
            error = "cannot create key " + op.path;
            return false;
          }
          at = *next;
        }
        current = at;
        break;
      }
      case Operation::Kind::kDeleteKey: {
        KeyId base = *hiveKey(*store, op.hive);
        auto key = store->resolve(base, op.path);
        if (key && *key != base && *key != kLocalMachineKey) store->deleteKeyTree(*key);
        current = 0;
        break;
      }
      case Operation::Kind::kSetValue:
        if (current && !store->setValue(current, op.name, op.value.type, op.value.data.data(), op.value.data.size())) {
          error = "cannot write value " + op.name;
          return false;
        }
        break;
      case Operation::Kind::kDeleteValue:
        if (current) store->deleteValue(current, op.name);
        break;
    }
  }
  if (!tx.commit()) {
    error = "The registry could not be written.";
    return false;
  }
  return true;
}

}  // namespace platform::registry
