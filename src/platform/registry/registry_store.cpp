#include "platform/registry/registry_store.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>

#include "platform/bounded_read.h"
#include "platform/env.h"
#include "platform/registry/reg_file.h"
#include "platform/text_encoding.h"

namespace larkedi::registry {
namespace {

struct HiveInfo {
  long handle;
  const char* long_name;
  const char* short_name;
};

constexpr HiveInfo kHives[] = {
    {HKEY_CLASSES_ROOT, "HKEY_CLASSES_ROOT", "HKCR"},
    {HKEY_CURRENT_USER, "HKEY_CURRENT_USER", "HKCU"},
    {HKEY_LOCAL_MACHINE, "HKEY_LOCAL_MACHINE", "HKLM"},
};

char32_t FoldCodePoint(char32_t c) {
  if (c < 0x80) return (c >= 'A' && c <= 'Z') ? c + 32 : c;
  if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return c + 32;
  if (c >= 0x100 && c <= 0x17F) {
    if (c == 0x130) return 'i';
    if (c == 0x178) return 0xFF;
    bool odd_upper = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
    bool upper = odd_upper ? (c % 2 == 1) : (c % 2 == 0);
    if (c == 0x138 || c == 0x149 || c == 0x17F) upper = false;
    return upper ? c + 1 : c;
  }
  if (c >= 0x391 && c <= 0x3AB && c != 0x3A2) return c + 32;
  if (c >= 0x410 && c <= 0x42F) return c + 32;
  if (c >= 0x400 && c <= 0x40F) return c + 80;
  return c;
}

std::atomic<std::size_t> g_key_path_work{0};

// Orders folded key paths so that every key is directly followed by the keys below it:
// '\' sorts before every other character.
struct PathLess {
  bool operator()(const std::string& a, const std::string& b) const {
    const std::size_t n = std::min(a.size(), b.size());
    std::size_t i = 0;
    while (i < n && a[i] == b[i]) ++i;
    g_key_path_work.fetch_add(i + 1, std::memory_order_relaxed);
    if (i == n) return a.size() < b.size();
    if (a[i] == '\\') return true;
    if (b[i] == '\\') return false;
    return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[i]);
  }
};

std::string NormalizeKey(std::string_view key) {
  while (!key.empty() && key.back() == '\\') key.remove_suffix(1);
  return std::string(key);
}

bool IsBelow(const std::string& folded, const std::string& parent) {
  g_key_path_work.fetch_add(parent.size() + 1, std::memory_order_relaxed);
  if (parent.empty()) return !folded.empty();
  return folded.size() > parent.size() && folded.compare(0, parent.size(), parent) == 0 &&
         folded[parent.size()] == '\\';
}

// One hive in memory: every key by its folded path. The hive itself is the key "".
class HiveData {
 public:
  HiveData() { keys_[""] = Key{}; }

  Key* Find(std::string_view path) {
    auto it = keys_.find(FoldCase(path));
    return it == keys_.end() ? nullptr : &it->second;
  }

  // Creates the key and its missing parents; true when something was added. The path is
  // folded once, and the walk goes up only to the nearest existing parent: a hive file lists
  // parents before children, so loading one costs time in proportion to its size, however
  // deep its keys lie.
  bool Create(std::string_view path) {
    if (path.empty()) return false;
    const std::string folded = FoldCase(path);
    // Folding keeps every '\\' where it was, so a prefix of the folded path is the folded
    // prefix; the cut positions are found in the folded text and in the original alike.
    std::vector<std::pair<std::size_t, std::size_t>> missing;  // (folded end, original end)
    std::size_t fold_end = folded.size();
    std::size_t path_end = path.size();
    while (fold_end > 0 && !keys_.count(folded.substr(0, fold_end))) {
      missing.emplace_back(fold_end, path_end);
      const std::size_t fold_cut = folded.rfind('\\', fold_end - 1);
      const std::size_t path_cut = path.rfind('\\', path_end - 1);
      if (fold_cut == std::string::npos || path_cut == std::string_view::npos) break;
      fold_end = fold_cut;
      path_end = path_cut;
    }
    for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
      Key& key = keys_[folded.substr(0, it->first)];
      key.path = std::string(path.substr(0, it->second));
    }
    return !missing.empty();
  }

  std::vector<std::string> Children(std::string_view path) const {
    std::string parent = FoldCase(path);
    std::vector<std::string> names;
    for (auto it = keys_.upper_bound(parent); it != keys_.end(); ++it) {
      if (!IsBelow(it->first, parent)) break;
      std::size_t from = parent.empty() ? 0 : parent.size() + 1;
      if (it->first.find('\\', from) != std::string::npos) continue;
      names.push_back(it->second.path.substr(from));
    }
    return names;
  }

  std::vector<Key> Tree(std::string_view path) const {
    std::string top = FoldCase(path);
    std::vector<Key> out;
    auto it = keys_.find(top);
    if (it == keys_.end()) return out;
    out.push_back(it->second);
    for (++it; it != keys_.end() && IsBelow(it->first, top); ++it) out.push_back(it->second);
    return out;
  }

  void EraseTree(std::string_view path) {
    std::string top = FoldCase(path);
    auto it = keys_.find(top);
    if (it == keys_.end()) return;
    auto end = std::next(it);
    while (end != keys_.end() && IsBelow(end->first, top)) ++end;
    keys_.erase(top.empty() ? std::next(it) : it, end);
    if (top.empty()) keys_[""].values.clear();
  }

  static Value* FindValue(Key& key, std::string_view name) {
    std::string folded = FoldCase(name);
    for (Value& v : key.values) {
      if (FoldCase(v.name) == folded) return &v;
    }
    return nullptr;
  }

  static void PutValue(Key& key, const Value& value) {
    if (Value* old = FindValue(key, value.name)) {
      std::string name = old->name;  // the name keeps the case it was created with
      *old = value;
      old->name = std::move(name);
      return;
    }
    // The default value comes first, as the file lists it.
    if (value.name.empty()) {
      key.values.insert(key.values.begin(), value);
    } else {
      key.values.push_back(value);
    }
  }

  static bool RemoveValue(Key& key, std::string_view name) {
    std::string folded = FoldCase(name);
    auto it = std::find_if(key.values.begin(), key.values.end(),
                           [&](const Value& v) { return FoldCase(v.name) == folded; });
    if (it == key.values.end()) return false;
    key.values.erase(it);
    return true;
  }

  // Applies one section of a registry file.
  void Apply(const RegSection& section) {
    if (section.remove) {
      EraseTree(section.key);
      return;
    }
    Create(section.key);
    Key& key = *Find(section.key);
    for (const RegEntry& entry : section.entries) {
      if (entry.remove) {
        RemoveValue(key, entry.value.name);
      } else {
        PutValue(key, entry.value);
      }
    }
  }

  std::string Format(long hive) const { return FormatRegText(hive, Tree("")); }

 private:
  std::map<std::string, Key, PathLess> keys_;
};

bool KnownHive(long hive) {
  return !HiveName(hive).empty();
}

// Reads and parses a hive file. A missing file is an empty hive.
Status LoadHive(const Store& store, long hive, HiveData* data, std::string* error) {
  if (!KnownHive(hive)) {
    if (error) *error = "unknown hive " + std::to_string(hive);
    return Status::BadPath;
  }
  std::string path = store.HivePath(hive);
  std::string text, reason;
  ReadFailure why = ReadFailure::kNone;
  if (!ReadFileAtMost(path, kMaxRegFileBytes, &text, &reason, &why)) {
    if (why == ReadFailure::kNotFound) return Status::Ok;
    if (error) *error = reason;
    return Status::IoError;
  }
  std::vector<RegSection> sections;
  if (!ParseRegText(text, &sections, &reason)) {
    if (error) *error = "registry file " + path + " is damaged at " + reason;
    return Status::Corrupt;
  }
  for (const RegSection& section : sections) {
    if (section.hive != hive || section.remove ||
        std::any_of(section.entries.begin(), section.entries.end(),
                    [](const RegEntry& e) { return e.remove; })) {
      if (error) {
        *error = "registry file " + path + " is damaged at line " + std::to_string(section.line) +
                 ": it holds a deletion or a key of another hive";
      }
      return Status::Corrupt;
    }
    data->Apply(section);
  }
  return Status::Ok;
}

// The exclusive lock every change of the store holds; released when it goes out of scope.
class StoreLock {
 public:
  StoreLock() = default;
  StoreLock(const StoreLock&) = delete;
  StoreLock& operator=(const StoreLock&) = delete;
  ~StoreLock() {
    if (fd_ >= 0) {
      ::flock(fd_, LOCK_UN);
      ::close(fd_);
    }
  }

  bool Acquire(const std::string& folder, std::string* error) {
    std::string reason;
    if (!Env::Default()->CreateDirectories(folder, &reason)) {
      if (error) *error = reason;
      return false;
    }
    std::string path = JoinPath(folder, "registry.lock");
    fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd_ < 0) {
      if (error) *error = "Cannot open " + path + ": " + std::strerror(errno);
      return false;
    }
    while (::flock(fd_, LOCK_EX) != 0) {
      if (errno == EINTR) continue;
      if (error) *error = "Cannot lock " + path + ": " + std::strerror(errno);
      return false;
    }
    return true;
  }

 private:
  int fd_ = -1;
};

Status SaveHive(const Store& store, long hive, const HiveData& data, std::string* error) {
  std::string reason;
  if (!Env::Default()->WriteFileAtomic(store.HivePath(hive), data.Format(hive), &reason)) {
    if (error) *error = reason;
    return Status::WriteFailed;
  }
  return Status::Ok;
}

// One locked read-modify-write of a hive. `edit` returns its status and sets `changed`
// when the file must be written.
Status Change(const Store& store, long hive,
              const std::function<Status(HiveData&, bool& changed)>& edit, std::string* error) {
  if (!KnownHive(hive)) {
    if (error) *error = "unknown hive " + std::to_string(hive);
    return Status::BadPath;
  }
  StoreLock lock;
  if (!lock.Acquire(store.folder(), error)) return Status::IoError;
  HiveData data;
  Status status = LoadHive(store, hive, &data, error);
  if (status != Status::Ok) return status;
  bool changed = false;
  status = edit(data, changed);
  if (status != Status::Ok || !changed) return status;
  return SaveHive(store, hive, data, error);
}

Status BadKey(std::string_view key, std::string* error) {
  if (error) *error = "invalid key name \"" + std::string(key) + "\"";
  return Status::BadPath;
}

Status MissingKey(std::string_view key, std::string* error) {
  if (error) *error = "key \"" + std::string(key) + "\" not found";
  return Status::NotFound;
}

}  // namespace

std::size_t KeyDepth(std::string_view key) {
  while (!key.empty() && key.back() == '\\') key.remove_suffix(1);
  if (key.empty()) return 0;
  return static_cast<std::size_t>(std::count(key.begin(), key.end(), '\\')) + 1;
}

namespace {

Status TooDeep(std::string_view key, std::string* error) {
  if (error) {
    *error = "key \"" + std::string(key.substr(0, 80)) + (key.size() > 80 ? "..." : "") + "\" is " +
             std::to_string(KeyDepth(key)) + " levels deep; at most " +
             std::to_string(kMaxKeyDepth) + " are allowed";
  }
  return Status::BadPath;
}

}  // namespace

std::string HiveName(long hive) {
  for (const HiveInfo& h : kHives) {
    if (h.handle == hive) return h.long_name;
  }
  return {};
}

std::optional<long> HiveFromName(std::string_view name) {
  std::string folded = FoldCase(name);
  for (const HiveInfo& h : kHives) {
    if (folded == FoldCase(h.long_name) || folded == FoldCase(h.short_name)) return h.handle;
  }
  return std::nullopt;
}

std::string TypeName(uint32_t type) {
  switch (type) {
    case REG_NONE:
      return "REG_NONE";
    case REG_SZ:
      return "REG_SZ";
    case REG_EXPAND_SZ:
      return "REG_EXPAND_SZ";
    case REG_BINARY:
      return "REG_BINARY";
    case REG_DWORD:
      return "REG_DWORD";
    case REG_MULTI_SZ:
      return "REG_MULTI_SZ";
    case REG_QWORD:
      return "REG_QWORD";
    default:
      return "REG_" + std::to_string(type);
  }
}

bool SplitKeyPath(std::string_view full_path, long* hive, std::string* key) {
  std::size_t slash = full_path.find('\\');
  std::optional<long> h = HiveFromName(full_path.substr(0, slash));
  if (!h) return false;
  *hive = *h;
  *key =
      slash == std::string_view::npos ? std::string() : NormalizeKey(full_path.substr(slash + 1));
  return true;
}

std::size_t KeyPathWork() {
  return g_key_path_work.load(std::memory_order_relaxed);
}

std::string FoldCase(std::string_view name) {
  g_key_path_work.fetch_add(name.size() + 1, std::memory_order_relaxed);
  std::string out;
  out.reserve(name.size());
  bool ascii = std::all_of(name.begin(), name.end(),
                           [](char c) { return static_cast<unsigned char>(c) < 0x80; });
  if (ascii) {
    for (char c : name)
      out.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
    return out;
  }
  for (std::size_t i = 0; i < name.size();) AppendUtf8(FoldCodePoint(NextCodePoint(name, i)), out);
  return out;
}

Value Value::String(std::string name, std::string text) {
  Value v;
  v.name = std::move(name);
  v.type = REG_SZ;
  v.text = std::move(text);
  return v;
}

Value Value::Dword(std::string name, uint32_t number) {
  Value v;
  v.name = std::move(name);
  v.type = REG_DWORD;
  v.number = number;
  return v;
}

std::string StatusText(Status status) {
  switch (status) {
    case Status::Ok:
      return "ok";
    case Status::NotFound:
      return "not found";
    case Status::Corrupt:
      return "registry file damaged";
    case Status::IoError:
      return "registry file cannot be read";
    case Status::WriteFailed:
      return "registry file cannot be written";
    case Status::BadPath:
      return "invalid key or hive";
    case Status::HasSubKeys:
      return "the key has sub-keys";
    case Status::Refused:
      return "a hive cannot be deleted";
  }
  return "unknown";
}

Store Store::Default() {
  return Store(DefaultFolder());
}

std::string Store::DefaultFolder() {
  const char* dir = std::getenv("LARKEDI_REGISTRY_DIR");
  if (dir && *dir) return dir;
  std::string base;
  const char* config = std::getenv("XDG_CONFIG_HOME");
  if (config && *config == '/') {
    base = config;
  } else {
    const char* home = std::getenv("HOME");
    std::string home_dir = home && *home ? home : "";
    if (home_dir.empty()) {
      if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir) home_dir = pw->pw_dir;
    }
    if (home_dir.empty()) home_dir = "/tmp";
    base = JoinPath(home_dir, ".config");
  }
  return JoinPath(JoinPath(base, "larkedi"), "registry");
}

std::string Store::HivePath(long hive) const {
  return JoinPath(folder_, HiveName(hive) + ".reg");
}

Status Store::KeyExists(long hive, std::string_view key, std::string* error) const {
  HiveData data;
  Status status = LoadHive(*this, hive, &data, error);
  if (status != Status::Ok) return status;
  return data.Find(NormalizeKey(key)) ? Status::Ok : MissingKey(key, error);
}

Status Store::GetValue(long hive, std::string_view key, std::string_view name, Value* value,
                       std::string* error) const {
  HiveData data;
  Status status = LoadHive(*this, hive, &data, error);
  if (status != Status::Ok) return status;
  Key* k = data.Find(NormalizeKey(key));
  if (!k) return MissingKey(key, error);
  Value* v = HiveData::FindValue(*k, name);
  if (!v) {
    if (error) *error = "value \"" + std::string(name) + "\" not found";
    return Status::NotFound;
  }
  *value = *v;
  return Status::Ok;
}

Status Store::ListValues(long hive, std::string_view key, std::vector<Value>* values,
                         std::string* error) const {
  HiveData data;
  Status status = LoadHive(*this, hive, &data, error);
  if (status != Status::Ok) return status;
  Key* k = data.Find(NormalizeKey(key));
  if (!k) return MissingKey(key, error);
  *values = k->values;
  return Status::Ok;
}

Status Store::ListSubKeys(long hive, std::string_view key, std::vector<std::string>* names,
                          std::string* error) const {
  HiveData data;
  Status status = LoadHive(*this, hive, &data, error);
  if (status != Status::Ok) return status;
  std::string path = NormalizeKey(key);
  if (!data.Find(path)) return MissingKey(key, error);
  *names = data.Children(path);
  return Status::Ok;
}

Status Store::ListTree(long hive, std::string_view key, std::vector<Key>* keys,
                       std::string* error) const {
  HiveData data;
  Status status = LoadHive(*this, hive, &data, error);
  if (status != Status::Ok) return status;
  std::string path = NormalizeKey(key);
  if (!data.Find(path)) return MissingKey(key, error);
  *keys = data.Tree(path);
  return Status::Ok;
}

Status Store::CreateKey(long hive, std::string_view key, std::string* error) {
  std::string path = NormalizeKey(key);
  if (!ValidKeyPath(path)) return BadKey(key, error);
  if (KeyDepth(path) > kMaxKeyDepth) return TooDeep(path, error);
  return Change(
      *this, hive,
      [&](HiveData& data, bool& changed) {
        changed = data.Create(path);
        return Status::Ok;
      },
      error);
}

Status Store::SetValue(long hive, std::string_view key, const Value& value, std::string* error) {
  std::string path = NormalizeKey(key);
  if (!ValidKeyPath(path)) return BadKey(key, error);
  if (KeyDepth(path) > kMaxKeyDepth) return TooDeep(path, error);
  return Change(
      *this, hive,
      [&](HiveData& data, bool& changed) {
        data.Create(path);
        HiveData::PutValue(*data.Find(path), value);
        changed = true;
        return Status::Ok;
      },
      error);
}

Status Store::DeleteValue(long hive, std::string_view key, std::string_view name,
                          std::string* error) {
  std::string path = NormalizeKey(key);
  return Change(
      *this, hive,
      [&](HiveData& data, bool& changed) {
        Key* k = data.Find(path);
        if (!k) return MissingKey(key, error);
        if (!HiveData::RemoveValue(*k, name)) {
          if (error) *error = "value \"" + std::string(name) + "\" not found";
          return Status::NotFound;
        }
        changed = true;
        return Status::Ok;
      },
      error);
}

Status Store::DeleteKey(long hive, std::string_view key, bool tree, std::string* error) {
  std::string path = NormalizeKey(key);
  return Change(
      *this, hive,
      [&](HiveData& data, bool& changed) {
        if (!data.Find(path)) return MissingKey(key, error);
        if (path.empty()) {
          if (error) *error = "the hive " + HiveName(hive) + " itself cannot be deleted";
          return Status::Refused;
        }
        if (!tree && !data.Children(path).empty()) {
          if (error) *error = "key \"" + path + "\" has sub-keys";
          return Status::HasSubKeys;
        }
        data.EraseTree(path);
        changed = true;
        return Status::Ok;
      },
      error);
}

Status Store::Import(std::string_view reg_text, std::string* error) {
  std::vector<RegSection> sections;
  std::string reason;
  if (!ParseRegText(reg_text, &sections, &reason)) {
    if (error) *error = "cannot import: " + reason;
    return Status::Corrupt;
  }
  for (const RegSection& section : sections) {
    // As with a deletion asked for directly, a hive itself is never deleted.
    if (section.remove && NormalizeKey(section.key).empty()) {
      if (error) {
        *error = "cannot import: line " + std::to_string(section.line) +
                 " deletes the whole hive " + HiveName(section.hive) + ", which is refused";
      }
      return Status::Refused;
    }
    if (KeyDepth(section.key) > kMaxKeyDepth) {
      TooDeep(section.key, error);
      if (error) *error = "cannot import: line " + std::to_string(section.line) + ": " + *error;
      return Status::BadPath;
    }
  }
  StoreLock lock;
  if (!lock.Acquire(folder_, error)) return Status::IoError;
  // Every hive the file touches is loaded (and must be sound) before anything is written.
  std::map<long, HiveData> hives;
  for (const RegSection& section : sections) {
    if (hives.count(section.hive)) continue;
    Status status = LoadHive(*this, section.hive, &hives[section.hive], error);
    if (status != Status::Ok) return status;
  }
  for (const RegSection& section : sections) hives[section.hive].Apply(section);
  for (const auto& [hive, data] : hives) {
    Status status = SaveHive(*this, hive, data, error);
    if (status != Status::Ok) return status;
  }
  return Status::Ok;
}

Status Store::Export(long hive, std::string_view key, std::string* reg_text,
                     std::string* error) const {
  std::vector<Key> keys;
  Status status = ListTree(hive, key, &keys, error);
  if (status != Status::Ok) return status;
  std::string text = FormatRegText(hive, keys);
  if (keys.front().path.empty() && keys.front().values.empty()) {
    // The hive's own line is written even when it holds no values, so the export names it.
    std::size_t body = kRegHeader.size() + 2;
    text.insert(body, FormatSectionLine(hive, "") + "\n\n");
  }
  *reg_text = std::move(text);
  return Status::Ok;
}

// --- simple access --------------------------------------------------------------------

namespace {

bool Split(const std::string& full_key_path, long* hive, std::string* key) {
  return SplitKeyPath(full_key_path, hive, key);
}

}  // namespace

std::optional<std::string> RegistryGetString(const std::string& full_key_path,
                                             const std::string& value_name) {
  long hive = 0;
  std::string key;
  if (!Split(full_key_path, &hive, &key)) return std::nullopt;
  Value v;
  if (Store::Default().GetValue(hive, key, value_name, &v) != Status::Ok) return std::nullopt;
  if (v.type == REG_SZ) return v.text;
  if (v.type == REG_DWORD) return std::to_string(v.number);
  return std::nullopt;
}

std::optional<uint32_t> RegistryGetDword(const std::string& full_key_path,
                                         const std::string& value_name) {
  long hive = 0;
  std::string key;
  if (!Split(full_key_path, &hive, &key)) return std::nullopt;
  Value v;
  if (Store::Default().GetValue(hive, key, value_name, &v) != Status::Ok) return std::nullopt;
  if (v.type != REG_DWORD) return std::nullopt;
  return v.number;
}

bool RegistrySetString(const std::string& full_key_path, const std::string& value_name,
                       const std::string& value) {
  long hive = 0;
  std::string key;
  if (!Split(full_key_path, &hive, &key)) return false;
  Store store = Store::Default();
  return store.SetValue(hive, key, Value::String(value_name, value)) == Status::Ok;
}

bool RegistrySetDword(const std::string& full_key_path, const std::string& value_name,
                      uint32_t value) {
  long hive = 0;
  std::string key;
  if (!Split(full_key_path, &hive, &key)) return false;
  Store store = Store::Default();
  return store.SetValue(hive, key, Value::Dword(value_name, value)) == Status::Ok;
}

std::vector<std::string> RegistrySubKeys(const std::string& full_key_path) {
  long hive = 0;
  std::string key;
  std::vector<std::string> names;
  if (!Split(full_key_path, &hive, &key)) return names;
  if (Store::Default().ListSubKeys(hive, key, &names) != Status::Ok) names.clear();
  return names;
}

bool RegistryDeleteValue(const std::string& full_key_path, const std::string& value_name) {
  long hive = 0;
  std::string key;
  if (!Split(full_key_path, &hive, &key)) return false;
  Store store = Store::Default();
  return store.DeleteValue(hive, key, value_name) == Status::Ok;
}

}  // namespace larkedi::registry
