// The regedit export format, read and written.
//
//   Windows Registry Editor Version 5.00
//
//   [HKEY_CURRENT_USER\Software\Orca Technologies]
//   @="default value"
//   "ApplicationPath"="C:\\Orca\\"
//   "Count"=dword:0000000a
//   "Blob"=hex:01,02,ff
//
// Texts escape '\' and '"' with a backslash; line breaks and zero characters, which the
// format cannot hold raw, are written as \n, \r and \0. Other types are written as
// hex(<type>):bytes. Reading also accepts "REGEDIT4", a UTF-8 or UTF-16LE byte order mark,
// CR LF line ends, ';' comments, hex lines continued with a trailing '\', and the two
// deletion forms of import files: "[-KEY]" and "name"=-.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/registry/registry_store.h"

namespace larkedi::registry {

inline constexpr std::string_view kRegHeader = "Windows Registry Editor Version 5.00";

struct RegEntry {
  Value value;
  bool remove = false;  // "name"=-
};

struct RegSection {
  long hive = 0;
  std::string key;      // relative to the hive
  bool remove = false;  // [-KEY]
  std::vector<RegEntry> entries;
  int line = 0;
};

/// Parses a whole file. False with `error` ("line N: reason") at the first line that does
/// not parse; `sections` is then incomplete.
bool ParseRegText(std::string_view text, std::vector<RegSection>* sections, std::string* error);

/// Checks a key path relative to its hive: components separated by single '\', none empty,
/// none longer than 255 characters, no control characters. The empty path is the hive.
bool ValidKeyPath(std::string_view key);

/// A quoted, escaped text: "a\\b" for a\b.
std::string QuoteRegString(std::string_view text);
/// One value line without its line end: "name"="text", @=dword:00000001, ...
std::string FormatValueLine(const Value& value);
/// The section line of a key: [HKEY_CURRENT_USER\Software\X].
std::string FormatSectionLine(long hive, std::string_view key);
/// A whole file: the header, then each key (section line, values, blank line). Keys with
/// no values are written too, so empty keys survive; the hive itself only when it has values.
std::string FormatRegText(long hive, const std::vector<Key>& keys);

}  // namespace larkedi::registry
