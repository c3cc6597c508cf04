#include "support/registry.h"

#include <charconv>
#include <cmath>
#include <cstdint>

#include "support/log.h"

namespace larkedi {
namespace {

using registry::Status;
using registry::Store;
using registry::Value;

// A damaged or unreadable hive is worth a log entry of its own: the result codes alone do
// not say which file and line to repair.
void LogStoreFailure(const char* routine, Status status, const std::string& error) {
  if (status != Status::Corrupt && status != Status::IoError && status != Status::WriteFailed) {
    return;
  }
  std::string source = std::string("clsRegistry.") + routine;
  LogError(source, Err::Raise(kErrComponent, source, error));
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// &H and &O numbers are 16-bit when they fit in four hex (six octal) digits, else 32-bit,
// and negative when their top bit is set.
double RadixNumber(const std::string& digits, int radix) {
  uint64_t n = 0;
  std::size_t used = 0;
  for (char c : digits) {
    int d = HexValue(c);
    if (d < 0 || d >= radix) break;
    n = n * static_cast<uint64_t>(radix) + static_cast<uint64_t>(d);
    if (++used > 16) break;
  }
  if (n <= 0xFFFF && (radix == 16 ? used <= 4 : used <= 6)) {
    return static_cast<double>(static_cast<int16_t>(static_cast<uint16_t>(n)));
  }
  if (n <= 0xFFFFFFFFull) {
    return static_cast<double>(static_cast<int32_t>(static_cast<uint32_t>(n)));
  }
  return static_cast<double>(n);
}

}  // namespace

double clsRegistry::Val(const std::string& text) {
  std::string s;
  for (char c : text) {
    if (c != ' ' && c != '\t' && c != '\n') s.push_back(c);
  }
  if (s.size() >= 2 && s[0] == '&' && (s[1] == 'h' || s[1] == 'H')) {
    return RadixNumber(s.substr(2), 16);
  }
  if (s.size() >= 2 && s[0] == '&' && (s[1] == 'o' || s[1] == 'O')) {
    return RadixNumber(s.substr(2), 8);
  }
  // sign, digits, fraction, exponent (E or D), as far as they go
  std::string number;
  std::size_t i = 0;
  auto digits = [&] {
    std::size_t start = i;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9') number.push_back(s[i++]);
    return i > start;
  };
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) number.push_back(s[i++]);
  bool any = digits();
  if (i < s.size() && s[i] == '.') {
    number.push_back(s[i++]);
    any = digits() || any;
  }
  if (!any) return 0;
  if (i < s.size() && (s[i] == 'e' || s[i] == 'E' || s[i] == 'd' || s[i] == 'D')) {
    std::size_t mark = i;
    std::string before = number;
    number.push_back('e');
    ++i;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) number.push_back(s[i++]);
    if (!digits()) {
      number = before;
      i = mark;
    }
  }
  const char* first = number.data();
  if (*first == '+') ++first;
  double value = 0;
  auto [ptr, ec] = std::from_chars(first, number.data() + number.size(), value);
  if (ec != std::errc()) {
    // Out of range: a tiny number is 0, a huge one as large as a double goes.
    if (number.find("e-") != std::string::npos) return 0;
    return number[0] == '-' ? -HUGE_VAL : HUGE_VAL;
  }
  (void)ptr;
  return value;
}

long clsRegistry::CreateNewKey(long hive, const std::string& key) {
  if (key.empty()) return Done(REG_BAD_KEY);
  std::string error;
  Status status = Store::Default().CreateKey(hive, key, &error);
  LogStoreFailure("CreateNewKey", status, error);
  if (status == Status::Ok) return Done(REG_OK);
  return Done(status == Status::WriteFailed ? REG_CLOSE_FAILED : REG_CREATE_FAILED);
}

long clsRegistry::DeleteRegKey(long hive, const std::string& key) {
  std::string error;
  Store store = Store::Default();
  Status status = store.KeyExists(hive, key, &error);
  LogStoreFailure("DeleteRegKey", status, error);
  if (status != Status::Ok) return Done(REG_OPEN_FAILED);
  status = store.DeleteKey(hive, key, /*tree=*/false, &error);
  LogStoreFailure("DeleteRegKey", status, error);
  return Done(status == Status::Ok ? REG_OK : REG_DELETE_KEY_FAILED);
}

long clsRegistry::DeleteRegValue(long hive, const std::string& key, const std::string& valueName) {
  std::string error;
  Store store = Store::Default();
  Status status = store.KeyExists(hive, key, &error);
  LogStoreFailure("DeleteRegValue", status, error);
  if (status != Status::Ok) return Done(REG_OPEN_FAILED);
  status = store.DeleteValue(hive, key, valueName, &error);
  LogStoreFailure("DeleteRegValue", status, error);
  return Done(status == Status::Ok ? REG_OK : REG_DELETE_VALUE_FAILED);
}

long clsRegistry::ReadRegValue(long hive, const std::string& key, const std::string& valueName,
                               std::string& value) {
  std::string error;
  std::vector<Value> values;
  Status status = Store::Default().ListValues(hive, key, &values, &error);
  LogStoreFailure("ReadRegValue", status, error);
  if (status != Status::Ok) {
    value.clear();
    return Done(REG_OPEN_FAILED);
  }
  std::string folded = registry::FoldCase(valueName);
  for (const Value& v : values) {
    if (registry::FoldCase(v.name) != folded) continue;
    if (v.type == REG_SZ) {
      value = v.text;
      return Done(REG_OK);
    }
    if (v.type == REG_DWORD) {
      // Read into a signed 32-bit number, as the callers always have.
      value = std::to_string(static_cast<int32_t>(v.number));
      return Done(REG_OK);
    }
    break;
  }
  value.clear();
  return Done(REG_READ_FAILED);
}

long clsRegistry::SetNewValue(long hive, const std::string& key, long type,
                              const std::string& valueName, const std::string& valueText) {
  if (valueText.empty()) return Done(REG_BAD_VALUE);
  Value value;
  if (type == kRegTypeText) {
    value = Value::String(valueName, valueText);
  } else if (type == kRegTypeNumber) {
    double n = std::nearbyint(Val(valueText));  // rounds half to even
    // Signed and unsigned 32-bit readings of the same bits are both accepted.
    if (!(n >= -2147483648.0 && n <= 4294967295.0)) return Done(REG_BAD_VALUE);
    value = Value::Dword(valueName, static_cast<uint32_t>(static_cast<int64_t>(n) & 0xFFFFFFFFll));
  } else {
    return Done(REG_BAD_VALUE);
  }
  std::string error;
  Status status = Store::Default().SetValue(hive, key, value, &error);
  LogStoreFailure("SetNewValue", status, error);
  if (status == Status::Ok) return Done(REG_OK);
  return Done(status == Status::WriteFailed ? REG_WRITE_FAILED : REG_OPEN_FAILED);
}

long clsRegistry::getEnumSubKey(long hive, const std::string& key,
                                std::vector<std::string>& names) {
  std::string error;
  std::vector<std::string> found;
  Status status = Store::Default().ListSubKeys(hive, key, &found, &error);
  LogStoreFailure("getEnumSubKey", status, error);
  if (status != Status::Ok) return Done(REG_OPEN_FAILED);
  if (found.empty()) return Done(REG_NO_SUBKEYS);
  names = std::move(found);
  return Done(REG_OK);
}

std::string clsRegistry::ShowRegError(long code) const {
  switch (code) {
    case REG_OK:
      return "No error incoutered.";
    case REG_BAD_KEY:
      return "Bad input key.";
    case REG_BAD_VALUE:
      return "Bad input value.";
    default:
      return "";
  }
}

bool ReadRegistryValue(long hive, const std::string& key, const std::string& valueName,
                       std::string& value) {
  value.clear();
  std::string where = std::to_string(hive) + "\\" + key + "\\" + valueName + ".";
  WriteLog("Reading registry key " + where);
  clsRegistry reg;
  long code = reg.ReadRegValue(hive, key, valueName, value);
  if (code != REG_OK) {
    value.clear();
    LogError("Error reading registry key " + where + "\r\nError: " + std::to_string(code), Err{});
    return false;
  }
  WriteLog("Value: " + value);
  return true;
}

bool ReadRegistrySubKeys(long hive, const std::string& key, std::vector<std::string>& names) {
  clsRegistry reg;
  std::vector<std::string> found;
  long code = reg.getEnumSubKey(hive, key, found);
  if (code != REG_OK) {
    LogError("Error reading registry keys in " + std::to_string(hive) + "\\" + key +
                 ".\r\nError: " + std::to_string(code),
             Err{});
    return false;
  }
  std::string line = "Value: ";
  for (const std::string& name : found) line += "\t" + name;
  WriteLog(line);
  names = std::move(found);
  return true;
}

std::string RemoveTrailingBackslash(const std::string& path) {
  if (!path.empty() && (path.back() == '/' || path.back() == '\\')) {
    return path.substr(0, path.size() - 1);
  }
  return path;
}

std::string GetHostProgramPath() {
  std::string path;
  if (!ReadRegistryValue(HKEY_LOCAL_MACHINE, "Software\\Orca Larkspur", "ProgramPath", path)) {
    return "";
  }
  return RemoveTrailingBackslash(path);
}

}  // namespace larkedi
