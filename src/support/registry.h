// Registry access for the module: clsRegistry answers with numeric result codes instead of
// failing, and the module routines below wrap its reads with logging.
//
// Hives are the predefined handles (HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE, HKEY_CLASSES_ROOT
// from platform/registry/registry_store.h); key paths are relative to the hive with '\'
// between the keys ("Software\Orca Larkspur").
#pragma once

#include <string>
#include <vector>

#include "platform/registry/registry_store.h"

namespace larkedi {

/// Result codes of clsRegistry (0 means success).
enum RegResult : long {
  REG_OK = 0,
  REG_BAD_KEY = 1,        // empty key name; or reading a sub-key name failed
  REG_BAD_VALUE = 2,      // empty value text, or a type other than text and number
  REG_CREATE_FAILED = 3,  // creating or opening the key for writing failed
  REG_OPEN_FAILED = 4,    // the key does not exist or cannot be opened (damaged hive)
  REG_CLOSE_FAILED = 5,   // the change could not be committed when the key was closed
  REG_READ_FAILED = 6,    // the value is missing or of another type
  REG_WRITE_FAILED = 7,   // writing the value failed
  REG_DELETE_KEY_FAILED = 8,
  REG_DELETE_VALUE_FAILED = 9,
  REG_NO_SUBKEYS = 10,
};

/// Value types SetNewValue takes.
constexpr long kRegTypeText = 0;
constexpr long kRegTypeNumber = 1;

class clsRegistry {
 public:
  /// Creates the key (and its missing parents) when it does not exist. 0, 1 (empty key),
  /// 3 (cannot be created: invalid name, damaged hive, store not writable) or 5 (the hive
  /// file could not be written).
  long CreateNewKey(long hive, const std::string& key);
  /// Deletes a key that has no sub-keys. 0, 4 (missing) or 8 (it has sub-keys, it is the
  /// hive itself, or the hive could not be written).
  long DeleteRegKey(long hive, const std::string& key);
  /// 0, 4 (key missing) or 9 (value missing, or the hive could not be written).
  long DeleteRegValue(long hive, const std::string& key, const std::string& valueName);
  /// A text value as it is; a number value as signed decimal text. 0, 4 (key missing) or
  /// 6 (value missing or of another type). `value` is cleared on failure.
  long ReadRegValue(long hive, const std::string& key, const std::string& valueName,
                    std::string& value);
  /// Creates the key when missing and writes the value: type 0 the text, type 1 the leading
  /// number of the text (as Val reads it, rounded to a whole number) as a 32-bit number.
  /// 0, 2 (empty text, unknown type, number out of the 32-bit range), 4 (key cannot be
  /// opened) or 7 (the hive could not be written).
  long SetNewValue(long hive, const std::string& key, long type, const std::string& valueName,
                   const std::string& valueText);
  /// Names of the key's sub-keys, sorted without regard to case, indices 0 to count - 1.
  /// 0, 4 (key missing) or 10 (no sub-keys; `names` is left as it was).
  long getEnumSubKey(long hive, const std::string& key, std::vector<std::string>& names);
  /// 0 "No error incoutered.", 1 "Bad input key.", 2 "Bad input value.", else "".
  std::string ShowRegError(long code) const;

  /// The leading number of a text as Val reads it: blanks anywhere are skipped, then &H
  /// hexadecimal, &O octal, or a decimal number with sign, fraction and exponent; reading
  /// stops at the first character that does not fit. 0 when there is no number.
  static double Val(const std::string& text);

  /// The code of the last operation.
  long LastResult() const { return last_; }

 private:
  long Done(long code) { return last_ = code; }
  long last_ = REG_OK;
};

/// Reads a value with logging ("Reading registry key <hive>\<key>\<name>.", then "Value: "
/// or the error). Clears `value`; false on any failure.
bool ReadRegistryValue(long hive, const std::string& key, const std::string& valueName,
                       std::string& value);
/// Enumerates sub-keys with logging. False (and `names` untouched) on any failure,
/// including a key without sub-keys.
bool ReadRegistrySubKeys(long hive, const std::string& key, std::vector<std::string>& names);
/// The text without its last character when that is a folder separator ('/' here, or '\'
/// in a path written the Windows way); otherwise unchanged.
std::string RemoveTrailingBackslash(const std::string& path);
/// The host program's folder: "ProgramPath" of HKEY_LOCAL_MACHINE\Software\Orca Larkspur
/// without its trailing separator; empty when it cannot be read.
std::string GetHostProgramPath();

}  // namespace larkedi
