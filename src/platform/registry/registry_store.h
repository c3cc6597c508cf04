// The registry: a key/value store with the hives, value types and key rules of the Windows
// registry, kept as one text file per hive in the regedit export format
// ("Windows Registry Editor Version 5.00") in the registry folder.
//
// Files: <folder>/HKEY_CURRENT_USER.reg, HKEY_LOCAL_MACHINE.reg, HKEY_CLASSES_ROOT.reg, UTF-8.
// The folder is LARKEDI_REGISTRY_DIR, else $XDG_CONFIG_HOME/larkedi/registry
// ($XDG_CONFIG_HOME defaulting to ~/.config).
//
// Key and value names compare without regard to case and keep the case they were created
// with. Sub-keys enumerate sorted by name (without regard to case); values enumerate in the
// order they were first written. A key path is relative to its hive, components separated
// by '\'; the empty path is the hive itself, the empty value name the key's default value.
//
// Every operation reads the hive file afresh, so it sees what other processes wrote. Every
// change takes an exclusive lock on <folder>/registry.lock, reads the file, changes it and
// replaces it atomically, so concurrent writers never lose each other's changes. A hive file
// that does not parse is reported (Status::Corrupt with the line and reason) and is never
// rewritten while it stays damaged: reads and writes of that hive fail until it is repaired.
//
// Nothing here throws.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace larkedi {

/// The predefined hive handles, as the operating system's signed values.
constexpr long HKEY_CLASSES_ROOT = -2147483647L - 1;  // 0x80000000
constexpr long HKEY_CURRENT_USER = -2147483647L;      // 0x80000001
constexpr long HKEY_LOCAL_MACHINE = -2147483646L;     // 0x80000002

/// Value types, numbered as the operating system numbers them.
constexpr uint32_t REG_NONE = 0;
constexpr uint32_t REG_SZ = 1;
constexpr uint32_t REG_EXPAND_SZ = 2;
constexpr uint32_t REG_BINARY = 3;
constexpr uint32_t REG_DWORD = 4;
constexpr uint32_t REG_MULTI_SZ = 7;
constexpr uint32_t REG_QWORD = 11;

namespace registry {

/// The long hive name ("HKEY_CURRENT_USER") of a handle; empty for an unknown handle.
std::string HiveName(long hive);
/// The handle of a hive name, long ("HKEY_LOCAL_MACHINE") or short ("HKLM"), any case.
std::optional<long> HiveFromName(std::string_view name);
/// The type name of a value type ("REG_SZ", "REG_DWORD", ...).
std::string TypeName(uint32_t type);

/// Splits "HKCU\Software\X" (long or short hive name) into hive and key path. A trailing
/// '\' is ignored. False when the hive name is unknown.
bool SplitKeyPath(std::string_view full_path, long* hive, std::string* key);

/// Key and value names as they are compared: folded to lower case (ASCII, Latin-1,
/// Latin Extended-A, Greek and Cyrillic letters).
std::string FoldCase(std::string_view name);

/// One value of a key.
struct Value {
  std::string name;  // "" is the default value
  uint32_t type = REG_SZ;
  std::string text;     // REG_SZ: the text (UTF-8)
  uint32_t number = 0;  // REG_DWORD
  std::string bytes;    // every other type: the raw data

  static Value String(std::string name, std::string text);
  static Value Dword(std::string name, uint32_t number);
};

/// A key and its values, as a snapshot.
struct Key {
  std::string path;  // relative to the hive, with the case it was created with
  std::vector<Value> values;
};

enum class Status {
  Ok,
  NotFound,     // the key (or value) does not exist
  Corrupt,      // the hive file does not parse; nothing was changed
  IoError,      // the folder, lock or file could not be read
  WriteFailed,  // the hive file could not be written; it holds what it held before
  BadPath,      // an unknown hive or an invalid key or value name
  HasSubKeys,   // a key with sub-keys cannot be deleted alone
  Refused,      // the hive itself cannot be deleted
};

/// The deepest a key may lie below its hive (the operating system allows 512 levels). A
/// deeper key is refused when it is created or imported.
inline constexpr std::size_t kMaxKeyDepth = 512;

/// The largest registry file (a hive file or a file to import) that is read. Hive files
/// of the module's keys stay far below; a larger file is refused, not read into memory.
inline constexpr std::size_t kMaxRegFileBytes = 64u * 1024 * 1024;

/// The number of levels of a key path relative to its hive ("" is 0, "A\\B" is 2).
std::size_t KeyDepth(std::string_view key);

/// The work the registry did in this process: the characters of key paths it folded and
/// compared while reading hives and walking their keys. For tests and diagnostics: reading a
/// hive and walking it costs in proportion to the size of its file (times the logarithm of
/// its key count), however many and however deeply nested its keys are.
std::size_t KeyPathWork();

/// The text of a status, for messages.
std::string StatusText(Status status);

/// One registry folder.
class Store {
 public:
  /// The store in the folder the environment names (see above), looked up on each call.
  static Store Default();
  /// The folder the environment names.
  static std::string DefaultFolder();

  explicit Store(std::string folder) : folder_(std::move(folder)) {}
  const std::string& folder() const { return folder_; }
  /// Path of a hive's file.
  std::string HivePath(long hive) const;

  // Reading. `error` (optional) receives the reason of a failure, with the file and line
  // of a damaged hive.
  Status KeyExists(long hive, std::string_view key, std::string* error = nullptr) const;
  Status GetValue(long hive, std::string_view key, std::string_view name, Value* value,
                  std::string* error = nullptr) const;
  Status ListValues(long hive, std::string_view key, std::vector<Value>* values,
                    std::string* error = nullptr) const;
  /// Names of the direct sub-keys, sorted without regard to case.
  Status ListSubKeys(long hive, std::string_view key, std::vector<std::string>* names,
                     std::string* error = nullptr) const;
  /// The key and every key below it, parents before children.
  Status ListTree(long hive, std::string_view key, std::vector<Key>* keys,
                  std::string* error = nullptr) const;

  // Changing. Each call is one locked read-modify-write of the hive file.
  /// Creates the key and its missing parents. Ok when it already existed; BadPath for a key
  /// deeper than kMaxKeyDepth.
  Status CreateKey(long hive, std::string_view key, std::string* error = nullptr);
  /// Creates the key when missing and writes the value, replacing one of the same name.
  Status SetValue(long hive, std::string_view key, const Value& value,
                  std::string* error = nullptr);
  /// NotFound when the key or the value is missing.
  Status DeleteValue(long hive, std::string_view key, std::string_view name,
                     std::string* error = nullptr);
  /// Deletes the key; with `tree` also every key below it, else HasSubKeys when it has some.
  Status DeleteKey(long hive, std::string_view key, bool tree, std::string* error = nullptr);

  /// Applies a file in the regedit format ("[-KEY]" deletes a key tree, "name"=- a value).
  /// The whole file is checked first; a file that does not parse changes nothing, nor does
  /// one that deletes a whole hive ("[-HKEY_CURRENT_USER]": Refused) or names a key deeper
  /// than kMaxKeyDepth (BadPath).
  Status Import(std::string_view reg_text, std::string* error = nullptr);
  /// The key and everything below it in the regedit format.
  Status Export(long hive, std::string_view key, std::string* reg_text,
                std::string* error = nullptr) const;

 private:
  std::string folder_;
};

// Simple access for the rest of the module. `full_key_path` names the hive first, long or
// short: "HKEY_CLASSES_ROOT\ConnectMethodOrca.spooler\LocalServer32" or
// "HKCU\Software\VB and VBA Program Settings\LarkEDI\display". An empty value name is the
// key's default value. They use Store::Default() and never throw.

/// The text of a REG_SZ value, or the decimal text of a REG_DWORD value. nullopt when the
/// key or value is missing, of another type, or the hive cannot be read.
std::optional<std::string> RegistryGetString(const std::string& full_key_path,
                                             const std::string& value_name);
/// A REG_DWORD value. nullopt when missing, of another type or unreadable.
std::optional<uint32_t> RegistryGetDword(const std::string& full_key_path,
                                         const std::string& value_name);
/// Writes a REG_SZ value, creating the key. True when it was written.
bool RegistrySetString(const std::string& full_key_path, const std::string& value_name,
                       const std::string& value);
/// Writes a REG_DWORD value, creating the key. True when it was written.
bool RegistrySetDword(const std::string& full_key_path, const std::string& value_name,
                      uint32_t value);
/// Names of the direct sub-keys; empty when the key is missing or has none.
std::vector<std::string> RegistrySubKeys(const std::string& full_key_path);
/// Deletes a value. True when it existed and was deleted.
bool RegistryDeleteValue(const std::string& full_key_path, const std::string& value_name);

}  // namespace registry
}  // namespace larkedi
