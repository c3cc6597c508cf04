#include "platform/registry/reg_file.h"

#include <cstdio>

#include "platform/text_encoding.h"

namespace larkedi::registry {
namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

std::string_view TrimLeft(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  return s;
}

std::string_view TrimRight(std::string_view s) {
  while (!s.empty() && (IsBlank(s.back()) || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

bool StartsWithNoCase(std::string_view s, std::string_view prefix) {
  if (s.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(s[i])) !=
        std::tolower(static_cast<unsigned char>(prefix[i]))) {
      return false;
    }
  }
  return true;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string Hex2(unsigned v) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "%02x", v & 0xFFu);
  return buf;
}

// Reads a quoted text starting at s[pos] == '"'; leaves pos after the closing quote.
bool ReadQuoted(std::string_view s, std::size_t& pos, std::string* out, std::string* reason) {
  ++pos;
  out->clear();
  while (pos < s.size()) {
    char c = s[pos++];
    if (c == '"') return true;
    if (c != '\\') {
      out->push_back(c);
      continue;
    }
    if (pos >= s.size()) break;
    char e = s[pos++];
    switch (e) {
      case '\\':
        out->push_back('\\');
        break;
      case '"':
        out->push_back('"');
        break;
      case 'n':
        out->push_back('\n');
        break;
      case 'r':
        out->push_back('\r');
        break;
      case '0':
        out->push_back('\0');
        break;
      default:
        // A lone backslash written by hand ("C:\Orca") stays as it is.
        out->push_back('\\');
        out->push_back(e);
    }
  }
  *reason = "a quoted text has no closing '\"'";
  return false;
}

struct LineReader {
  std::vector<std::string_view> lines;
  std::size_t next = 0;
};

// Parses "b1,b2,...": the bytes of a hex value, which may continue over lines ending in '\'.
bool ReadHexBytes(std::string_view data, LineReader& reader, std::string* bytes,
                  std::string* reason) {
  bytes->clear();
  std::string_view rest = TrimRight(data);
  while (true) {
    bool more = !rest.empty() && rest.back() == '\\';
    if (more) rest.remove_suffix(1);
    std::size_t pos = 0;
    while (pos < rest.size()) {
      while (pos < rest.size() && IsBlank(rest[pos])) ++pos;
      if (pos >= rest.size()) break;
      int hi = HexDigit(rest[pos]);
      int lo = pos + 1 < rest.size() ? HexDigit(rest[pos + 1]) : -1;
      if (hi < 0 || lo < 0) {
        *reason = "a hex value holds something other than two-digit bytes";
        return false;
      }
      bytes->push_back(static_cast<char>(hi * 16 + lo));
      pos += 2;
      while (pos < rest.size() && IsBlank(rest[pos])) ++pos;
      if (pos < rest.size()) {
        if (rest[pos] != ',') {
          *reason = "hex bytes must be separated by commas";
          return false;
        }
        ++pos;
      }
    }
    if (!more) return true;
    if (reader.next >= reader.lines.size()) {
      *reason = "a hex value continues past the end of the file";
      return false;
    }
    rest = TrimRight(TrimLeft(reader.lines[reader.next++]));
  }
}

bool Utf16LeToUtf8(const std::string& bytes, std::string* out) {
  return ConvertToUtf8(bytes, "UTF-16LE", out);
}

// Parses the part after '=' of a value line.
bool ReadData(std::string_view data, LineReader& reader, RegEntry* entry, std::string* reason) {
  Value& v = entry->value;
  if (data == "-") {
    entry->remove = true;
    return true;
  }
  if (!data.empty() && data.front() == '"') {
    std::size_t pos = 0;
    if (!ReadQuoted(data, pos, &v.text, reason)) return false;
    if (!TrimRight(data.substr(pos)).empty()) {
      *reason = "text after the closing '\"' of a value";
      return false;
    }
    v.type = REG_SZ;
    return true;
  }
  if (StartsWithNoCase(data, "dword:")) {
    std::string_view digits = TrimRight(data.substr(6));
    if (digits.empty() || digits.size() > 8) {
      *reason = "a dword needs 1 to 8 hexadecimal digits";
      return false;
    }
    uint32_t n = 0;
    for (char c : digits) {
      int d = HexDigit(c);
      if (d < 0) {
        *reason = "a dword needs 1 to 8 hexadecimal digits";
        return false;
      }
      n = n * 16 + static_cast<uint32_t>(d);
    }
    v.type = REG_DWORD;
    v.number = n;
    return true;
  }
  if (StartsWithNoCase(data, "hex")) {
    std::string_view rest = data.substr(3);
    uint32_t type = REG_BINARY;
    if (!rest.empty() && rest.front() == '(') {
      std::size_t close = rest.find(')');
      if (close == std::string_view::npos || close == 1 || close > 9) {
        *reason = "a hex value type must be written hex(<hex digits>)";
        return false;
      }
      type = 0;
      for (char c : rest.substr(1, close - 1)) {
        int d = HexDigit(c);
        if (d < 0) {
          *reason = "a hex value type must be written hex(<hex digits>)";
          return false;
        }
        type = type * 16 + static_cast<uint32_t>(d);
      }
      rest.remove_prefix(close + 1);
    }
    if (rest.empty() || rest.front() != ':') {
      *reason = "a hex value needs ':' before its bytes";
      return false;
    }
    std::string bytes;
    if (!ReadHexBytes(rest.substr(1), reader, &bytes, reason)) return false;
    v.type = type;
    if (type == REG_DWORD) {
      if (bytes.size() != 4) {
        *reason = "a hex(4) value needs exactly 4 bytes";
        return false;
      }
      v.number = 0;
      for (int i = 3; i >= 0; --i) v.number = v.number * 256 + static_cast<unsigned char>(bytes[i]);
      return true;
    }
    if (type == REG_SZ) {
      std::string text;
      if (bytes.size() % 2 != 0 || !Utf16LeToUtf8(bytes, &text)) {
        *reason = "a hex(1) value is not UTF-16 text";
        return false;
      }
      if (!text.empty() && text.back() == '\0') text.pop_back();
      v.text = std::move(text);
      return true;
    }
    v.bytes = std::move(bytes);
    return true;
  }
  *reason = "a value must be \"text\", dword:, hex: or -";
  return false;
}

bool ReadValueLine(std::string_view line, LineReader& reader, RegEntry* entry,
                   std::string* reason) {
  std::size_t pos = 0;
  if (line.front() == '@') {
    entry->value.name.clear();
    pos = 1;
  } else if (!ReadQuoted(line, pos, &entry->value.name, reason)) {
    return false;
  }
  while (pos < line.size() && IsBlank(line[pos])) ++pos;
  if (pos >= line.size() || line[pos] != '=') {
    *reason = "a value name must be followed by '='";
    return false;
  }
  ++pos;
  while (pos < line.size() && IsBlank(line[pos])) ++pos;
  return ReadData(TrimRight(line.substr(pos)), reader, entry, reason);
}

std::string DecodeText(std::string_view text) {
  if (text.size() >= 2 && static_cast<unsigned char>(text[0]) == 0xFF &&
      static_cast<unsigned char>(text[1]) == 0xFE) {
    std::string out;
    if (ConvertToUtf8(text.substr(2), "UTF-16LE", &out)) return out;
  }
  if (text.size() >= 3 && text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  return std::string(text);
}

}  // namespace

bool ValidKeyPath(std::string_view key) {
  if (key.empty()) return true;
  std::size_t start = 0;
  while (true) {
    std::size_t end = key.find('\\', start);
    std::string_view part =
        key.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
    if (part.empty()) return false;
    std::size_t chars = 0;
    for (std::size_t i = 0; i < part.size();) {
      char32_t cp = NextCodePoint(part, i);
      if (cp < 0x20 || cp == 0x7F) return false;
      ++chars;
    }
    if (chars > 255) return false;
    if (end == std::string_view::npos) return true;
    start = end + 1;
  }
}

bool ParseRegText(std::string_view raw, std::vector<RegSection>* sections, std::string* error) {
  sections->clear();
  std::string text = DecodeText(raw);
  LineReader reader;
  std::string_view all = text;
  while (!all.empty()) {
    std::size_t nl = all.find('\n');
    reader.lines.push_back(all.substr(0, nl));
    if (nl == std::string_view::npos) break;
    all.remove_prefix(nl + 1);
  }
  auto fail = [&](std::size_t line_no, const std::string& reason) {
    if (error) *error = "line " + std::to_string(line_no) + ": " + reason;
    return false;
  };

  bool header = false;
  RegSection* current = nullptr;
  while (reader.next < reader.lines.size()) {
    std::size_t line_no = reader.next + 1;
    std::string_view line = TrimRight(TrimLeft(reader.lines[reader.next++]));
    if (line.empty()) continue;
    if (!header) {
      if (line != kRegHeader && line != "REGEDIT4") {
        return fail(line_no,
                    "not a registry file (it must begin with \"" + std::string(kRegHeader) + "\")");
      }
      header = true;
      continue;
    }
    if (line.front() == ';') continue;
    if (line.front() == '[') {
      if (line.back() != ']') return fail(line_no, "a key line must end with ']'");
      std::string_view inner = line.substr(1, line.size() - 2);
      RegSection section;
      section.line = static_cast<int>(line_no);
      if (!inner.empty() && inner.front() == '-') {
        section.remove = true;
        inner.remove_prefix(1);
      }
      if (!SplitKeyPath(inner, &section.hive, &section.key)) {
        return fail(line_no, "unknown hive in [" + std::string(inner) + "]");
      }
      if (!ValidKeyPath(section.key)) {
        return fail(line_no, "invalid key name [" + std::string(inner) + "]");
      }
      sections->push_back(std::move(section));
      current = &sections->back();
      continue;
    }
    if (line.front() == '"' || line.front() == '@') {
      if (!current) return fail(line_no, "a value comes before any key");
      if (current->remove) return fail(line_no, "a value under a key that is being deleted");
      RegEntry entry;
      std::string reason;
      if (!ReadValueLine(line, reader, &entry, &reason)) return fail(line_no, reason);
      current->entries.push_back(std::move(entry));
      continue;
    }
    return fail(line_no, "cannot read this line");
  }
  if (!header)
    return fail(1, "empty file (it must begin with \"" + std::string(kRegHeader) + "\")");
  return true;
}

std::string QuoteRegString(std::string_view text) {
  std::string out = "\"";
  for (char c : text) {
    switch (c) {
      case '\\':
        out += "\\\\";
        break;
      case '"':
        out += "\\\"";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\0':
        out += "\\0";
        break;
      default:
        out.push_back(c);
    }
  }
  out.push_back('"');
  return out;
}

std::string FormatValueLine(const Value& value) {
  std::string line = value.name.empty() ? "@" : QuoteRegString(value.name);
  line += '=';
  if (value.type == REG_SZ) {
    line += QuoteRegString(value.text);
  } else if (value.type == REG_DWORD) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "dword:%08x", value.number);
    line += buf;
  } else {
    if (value.type == REG_BINARY) {
      line += "hex:";
    } else {
      char buf[24];
      std::snprintf(buf, sizeof buf, "hex(%x):", value.type);
      line += buf;
    }
    for (std::size_t i = 0; i < value.bytes.size(); ++i) {
      if (i) line += ',';
      line += Hex2(static_cast<unsigned char>(value.bytes[i]));
    }
  }
  return line;
}

std::string FormatSectionLine(long hive, std::string_view key) {
  std::string line = "[" + HiveName(hive);
  if (!key.empty()) {
    line += '\\';
    line += key;
  }
  line += ']';
  return line;
}

std::string FormatRegText(long hive, const std::vector<Key>& keys) {
  std::string out(kRegHeader);
  out += "\n\n";
  for (const Key& key : keys) {
    if (key.path.empty() && key.values.empty()) continue;
    out += FormatSectionLine(hive, key.path);
    out += '\n';
    // The default value first, as regedit writes it.
    for (const Value& v : key.values) {
      if (v.name.empty()) out += FormatValueLine(v) + "\n";
    }
    for (const Value& v : key.values) {
      if (!v.name.empty()) out += FormatValueLine(v) + "\n";
    }
    out += '\n';
  }
  return out;
}

}  // namespace larkedi::registry
