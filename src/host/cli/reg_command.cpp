// reg: reads and edits the module's registry store the way reg.exe does.
//
//   larkedi reg query  KEY [/v NAME | /ve] [/s]
//   larkedi reg add    KEY [/v NAME | /ve] [/t REG_SZ|REG_DWORD] [/d DATA] [/f]
//   larkedi reg delete KEY [/v NAME | /ve | /va] [/f]
//   larkedi reg import FILE.reg
//   larkedi reg export KEY FILE.reg [/y]
//
// The switches are written reg.exe's way (/v, also -v, any case), so the arguments after the
// command are read here rather than by the option parser.
#include <cstdio>
#include <iostream>
#include <map>
#include <optional>
#include <set>

#include "host/cli/command.h"
#include "platform/bounded_read.h"
#include "platform/env.h"
#include "platform/registry/registry_store.h"
#include "platform/ui/dialogs.h"

namespace larkedi::cli {
namespace {

using registry::kMaxRegFileBytes;
using registry::Status;
using registry::Store;
using registry::Value;

constexpr const char* kNotFound =
    "ERROR: The system was unable to find the specified registry key or value.";
constexpr const char* kDone = "The operation completed successfully.";

struct RegArgs {
  std::vector<std::string> positional;
  std::map<std::string, std::string> switches;  // lower-case name without its '/' or '-'
  bool help = false;

  bool Has(const std::string& name) const { return switches.count(name) > 0; }
};

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// Splits the arguments: `flags` are switches alone, `valued` switches take the next
// argument. Anything else starting with '-' is an error; other '/' words are positional
// (they may be file paths).
bool ParseArgs(const std::vector<std::string>& args, const std::set<std::string>& flags,
               const std::set<std::string>& valued, RegArgs* out, std::string* error) {
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--help" || a == "-h" || a == "/?" || a == "-?") {
      out->help = true;
      continue;
    }
    if (a.size() >= 2 && (a[0] == '/' || a[0] == '-')) {
      std::string name = Lower(a.substr(1));
      if (flags.count(name)) {
        out->switches[name] = "";
        continue;
      }
      if (valued.count(name)) {
        if (i + 1 >= args.size()) {
          *error = "the switch " + a + " needs a value";
          return false;
        }
        out->switches[name] = args[++i];
        continue;
      }
      if (a[0] == '-') {
        *error = "unknown switch " + a;
        return false;
      }
    }
    out->positional.push_back(a);
  }
  return true;
}

// The hive and key of a KEY argument; false (with a usage message) for an unknown hive.
bool ReadKey(const std::string& arg, long* hive, std::string* key, int* exit_code) {
  if (!registry::SplitKeyPath(arg, hive, key)) {
    *exit_code = Fail(kExitUsage, "invalid key name " + arg +
                                      " (it must begin with HKCU, HKLM, HKCR or their long names)");
    return false;
  }
  return true;
}

std::string FullName(long hive, const std::string& key) {
  return key.empty() ? registry::HiveName(hive) : registry::HiveName(hive) + "\\" + key;
}

std::string DataText(const Value& v) {
  char buf[32];
  if (v.type == REG_SZ) return v.text;
  if (v.type == REG_DWORD) {
    std::snprintf(buf, sizeof buf, "0x%x", v.number);
    return buf;
  }
  std::string out;
  for (char c : v.bytes) {
    std::snprintf(buf, sizeof buf, "%02X", static_cast<unsigned char>(c));
    out += buf;
  }
  return out;
}

void PrintValue(const Value& v) {
  std::cout << "    " << (v.name.empty() ? "(Default)" : v.name) << "    "
            << registry::TypeName(v.type) << "    " << DataText(v) << "\n";
}

// Maps a store failure to the command's exit status, with its message.
int StoreFailure(Status status, const std::string& error) {
  if (status == Status::NotFound) return Fail(kExitMissing, kNotFound);
  if (status == Status::BadPath) return Fail(kExitUsage, "ERROR: " + error);
  return Fail(kExitMissing, "ERROR: " + error);
}

bool Confirm(const std::string& question) {
  return CurrentDialogs().MsgBox(question, MsgButtons::YesNo, MsgIcon::Question, "reg") ==
         MsgResult::Yes;
}

int Cancelled() {
  std::cerr << "The operation was cancelled by the user.\n";
  return kExitAbort;
}

std::optional<std::string> ValueName(const RegArgs& args) {
  if (args.Has("ve")) return std::string();
  auto it = args.switches.find("v");
  if (it != args.switches.end()) return it->second;
  return std::nullopt;
}

int Query(const RegArgs& args) {
  if (args.positional.size() != 1) return Fail(kExitUsage, "reg query needs exactly one KEY");
  if (args.Has("v") && args.Has("ve")) return Fail(kExitUsage, "use /v or /ve, not both");
  long hive = 0;
  std::string key;
  int code = kExitOk;
  if (!ReadKey(args.positional[0], &hive, &key, &code)) return code;
  Store store = Store::Default();
  std::string error;
  std::vector<registry::Key> keys;
  Status status = store.ListTree(hive, key, &keys, &error);
  if (status != Status::Ok) return StoreFailure(status, error);
  std::optional<std::string> name = ValueName(args);
  const bool recurse = args.Has("s");
  const std::string folded = name ? registry::FoldCase(*name) : "";

  if (name) {
    // One value: in the key, or with /s in every key below it that has it.
    int found = 0;
    for (const registry::Key& k : keys) {
      for (const Value& v : k.values) {
        if (registry::FoldCase(v.name) != folded) continue;
        std::cout << "\n" << FullName(hive, k.path) << "\n";
        PrintValue(v);
        ++found;
      }
      if (!recurse) break;
    }
    if (found == 0) return Fail(kExitMissing, kNotFound);
    std::cout << "\n";
    if (recurse) std::cout << "End of search: " << found << " match(es) found.\n";
    return kExitOk;
  }

  std::cout << "\n" << FullName(hive, keys.front().path) << "\n";
  for (const Value& v : keys.front().values) PrintValue(v);
  std::cout << "\n";
  if (recurse) {
    for (std::size_t i = 1; i < keys.size(); ++i) {
      std::cout << FullName(hive, keys[i].path) << "\n";
      for (const Value& v : keys[i].values) PrintValue(v);
      std::cout << "\n";
    }
    return kExitOk;
  }
  std::vector<std::string> subkeys;
  status = store.ListSubKeys(hive, key, &subkeys, &error);
  if (status != Status::Ok) return StoreFailure(status, error);
  const std::string prefix = FullName(hive, keys.front().path);
  for (const std::string& sub : subkeys) std::cout << prefix << "\\" << sub << "\n";
  return kExitOk;
}

// REG_DWORD data: decimal or 0x hexadecimal, up to 0xffffffff.
bool ParseDword(const std::string& text, uint32_t* out) {
  if (text.empty()) {
    *out = 0;
    return true;
  }
  std::size_t pos = 0;
  int base = 10;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    base = 16;
    pos = 2;
  }
  uint64_t n = 0;
  for (; pos < text.size(); ++pos) {
    char c = static_cast<char>(std::tolower(static_cast<unsigned char>(text[pos])));
    int d = (c >= '0' && c <= '9')                 ? c - '0'
            : (base == 16 && c >= 'a' && c <= 'f') ? c - 'a' + 10
                                                   : -1;
    if (d < 0) return false;
    n = n * static_cast<uint64_t>(base) + static_cast<uint64_t>(d);
    if (n > 0xFFFFFFFFull) return false;
  }
  *out = static_cast<uint32_t>(n);
  return true;
}

int Add(const RegArgs& args) {
  if (args.positional.size() != 1) return Fail(kExitUsage, "reg add needs exactly one KEY");
  if (args.Has("v") && args.Has("ve")) return Fail(kExitUsage, "use /v or /ve, not both");
  long hive = 0;
  std::string key;
  int code = kExitOk;
  if (!ReadKey(args.positional[0], &hive, &key, &code)) return code;
  Store store = Store::Default();
  std::string error;

  std::optional<std::string> name = ValueName(args);
  if (!name && (args.Has("d") || args.Has("t"))) name = std::string();  // the default value
  if (!name) {
    Status status = store.CreateKey(hive, key, &error);
    if (status != Status::Ok) return StoreFailure(status, error);
    std::cout << kDone << "\n";
    return kExitOk;
  }

  std::string type = args.Has("t") ? args.switches.at("t") : "REG_SZ";
  std::string data = args.Has("d") ? args.switches.at("d") : "";
  Value value;
  if (Lower(type) == "reg_sz") {
    value = Value::String(*name, data);
  } else if (Lower(type) == "reg_dword") {
    uint32_t n = 0;
    if (!ParseDword(data, &n)) {
      return Fail(kExitUsage, "invalid REG_DWORD data " + data +
                                  " (a number from 0 to 4294967295, or 0x hexadecimal)");
    }
    value = Value::Dword(*name, n);
  } else {
    return Fail(kExitUsage, "unsupported type " + type + " (use REG_SZ or REG_DWORD)");
  }

  if (!args.Has("f")) {
    Value old;
    if (store.GetValue(hive, key, *name, &old, nullptr) == Status::Ok &&
        !Confirm("Value " + (name->empty() ? std::string("(Default)") : *name) +
                 " exists, overwrite(Yes/No)?")) {
      return Cancelled();
    }
  }
  Status status = store.SetValue(hive, key, value, &error);
  if (status != Status::Ok) return StoreFailure(status, error);
  std::cout << kDone << "\n";
  return kExitOk;
}

int Delete(const RegArgs& args) {
  if (args.positional.size() != 1) return Fail(kExitUsage, "reg delete needs exactly one KEY");
  if (args.Has("v") + args.Has("ve") + args.Has("va") > 1) {
    return Fail(kExitUsage, "use only one of /v, /ve and /va");
  }
  long hive = 0;
  std::string key;
  int code = kExitOk;
  if (!ReadKey(args.positional[0], &hive, &key, &code)) return code;
  Store store = Store::Default();
  std::string error;
  Status status = store.KeyExists(hive, key, &error);
  if (status != Status::Ok) return StoreFailure(status, error);
  const bool force = args.Has("f");
  const std::string full = FullName(hive, key);

  if (args.Has("va")) {
    if (!force && !Confirm("Delete all values under the registry key " + full + " (Yes/No)?")) {
      return Cancelled();
    }
    std::vector<Value> values;
    status = store.ListValues(hive, key, &values, &error);
    for (std::size_t i = 0; status == Status::Ok && i < values.size(); ++i) {
      status = store.DeleteValue(hive, key, values[i].name, &error);
      if (status == Status::NotFound) status = Status::Ok;  // removed meanwhile
    }
  } else if (std::optional<std::string> name = ValueName(args)) {
    Value old;
    status = store.GetValue(hive, key, *name, &old, &error);
    if (status != Status::Ok) return StoreFailure(status, error);
    if (!force && !Confirm("Delete the registry value " +
                           (name->empty() ? std::string("(Default)") : *name) + " (Yes/No)?")) {
      return Cancelled();
    }
    status = store.DeleteValue(hive, key, *name, &error);
  } else {
    if (key.empty()) return Fail(kExitUsage, "ERROR: a whole hive cannot be deleted");
    if (!force && !Confirm("Permanently delete the registry key " + full + " (Yes/No)?")) {
      return Cancelled();
    }
    status = store.DeleteKey(hive, key, /*tree=*/true, &error);
  }
  if (status != Status::Ok) return StoreFailure(status, error);
  std::cout << kDone << "\n";
  return kExitOk;
}

int Import(const RegArgs& args) {
  if (args.positional.size() != 1) return Fail(kExitUsage, "reg import needs exactly one FILE");
  const std::string& path = args.positional[0];
  std::string text, error;
  // A registry export is text of a few megabytes at most; anything larger is refused.
  if (!ReadFileAtMost(path, kMaxRegFileBytes, &text, &error)) {
    return Fail(kExitMissing, "ERROR: " + error);
  }
  Store store = Store::Default();
  Status status = store.Import(text, &error);
  if (status != Status::Ok) return Fail(kExitMissing, "ERROR: " + path + ": " + error);
  std::cout << kDone << "\n";
  return kExitOk;
}

int Export(const RegArgs& args) {
  if (args.positional.size() != 2) return Fail(kExitUsage, "reg export needs a KEY and a FILE");
  long hive = 0;
  std::string key;
  int code = kExitOk;
  if (!ReadKey(args.positional[0], &hive, &key, &code)) return code;
  const std::string& path = args.positional[1];
  std::string text, error;
  Status status = Store::Default().Export(hive, key, &text, &error);
  if (status != Status::Ok) return StoreFailure(status, error);
  if (Env::Default()->Exists(path) && !args.Has("y") &&
      !Confirm("File " + path + " already exists. Overwrite (Yes/No)?")) {
    return Cancelled();
  }
  if (!Env::Default()->WriteFileAtomic(path, text, &error)) {
    return Fail(kExitMissing, "ERROR: " + error);
  }
  std::cout << kDone << "\n";
  return kExitOk;
}

struct RegVerb {
  const char* name;
  const char* description;
  const char* usage;
  std::set<std::string> flags;
  std::set<std::string> valued;
  int (*run)(const RegArgs&);
};

const std::vector<RegVerb>& Verbs() {
  static const std::vector<RegVerb> verbs = {
      {"query",
       "Show a key's values and sub-keys",
       "Usage: larkedi reg query KEY [/v NAME | /ve] [/s]\n"
       "  KEY   HIVE\\path, HIVE one of HKCU, HKLM, HKCR (or HKEY_CURRENT_USER, ...)\n"
       "  /v    show only the value NAME      /ve  show only the default value\n"
       "  /s    list every key below KEY too\n"
       "Exit status: 0 found, 1 key or value missing (or the store cannot be read), 2 usage.",
       {"ve", "s"},
       {"v"},
       Query},
      {"add",
       "Create a key or write a value",
       "Usage: larkedi reg add KEY [/v NAME | /ve] [/t REG_SZ|REG_DWORD] [/d DATA] [/f]\n"
       "  /v    value name (without /v or /ve, /d and /t write the default value)\n"
       "  /t    value type, REG_SZ by default  /d  data (REG_DWORD: decimal or 0x hex)\n"
       "  /f    overwrite an existing value without asking\n"
       "Example: larkedi reg add \"HKLM\\Software\\Orca Larkspur\" /v ProgramPath /d "
       "/opt/larkspur/ /f\n"
       "Exit status: 0 done, 1 failed, 2 usage, 3 cancelled.",
       {"ve", "f"},
       {"v", "t", "d"},
       Add},
      {"delete",
       "Delete a key (with everything below it) or a value",
       "Usage: larkedi reg delete KEY [/v NAME | /ve | /va] [/f]\n"
       "  /v    delete the value NAME  /ve  the default value  /va  every value of KEY\n"
       "  /f    do not ask for confirmation\n"
       "Exit status: 0 deleted, 1 key or value missing, 2 usage, 3 cancelled.",
       {"ve", "va", "f"},
       {"v"},
       Delete},
      {"import",
       "Apply a .reg file to the registry",
       "Usage: larkedi reg import FILE.reg\n"
       "  FILE  in the regedit format (\"Windows Registry Editor Version 5.00\" or REGEDIT4,\n"
       "        UTF-8 or UTF-16); [-KEY] deletes a key, \"name\"=- a value. A file that does\n"
       "        not parse changes nothing.\n"
       "Exit status: 0 imported, 1 failed, 2 usage.",
       {},
       {},
       Import},
      {"export",
       "Write a key and everything below it to a .reg file",
       "Usage: larkedi reg export KEY FILE.reg [/y]\n"
       "  /y    overwrite FILE without asking\n"
       "Exit status: 0 written, 1 key missing or file not written, 2 usage, 3 cancelled.",
       {"y"},
       {},
       Export},
  };
  return verbs;
}

void SetupReg(CLI::App& app, Cli& cli) {
  auto* reg = app.add_subcommand(
      "reg", "Read and edit the registry store (like reg.exe): query, add, delete, import, export");
  reg->require_subcommand(1);
  reg->footer("Registry folder: LARKEDI_REGISTRY_DIR, else $XDG_CONFIG_HOME/larkedi/registry.");
  for (const RegVerb& verb : Verbs()) {
    auto* sub = reg->add_subcommand(verb.name, verb.description);
    sub->prefix_command();
    sub->fallthrough(false);  // every word after the verb is read by ParseArgs
    sub->footer(verb.usage);
    sub->callback([sub, &verb, &cli] {
      RegArgs args;
      std::string error;
      if (!ParseArgs(sub->remaining(), verb.flags, verb.valued, &args, &error)) {
        cli.exit_code = Fail(kExitUsage, error + "\n" + verb.usage);
        return;
      }
      if (args.help) {
        std::cout << sub->help();
        return;
      }
      cli.Prepare();
      cli.exit_code = verb.run(args);
    });
  }
}

}  // namespace

LARKEDI_REGISTER_COMMAND(SetupReg);

}  // namespace larkedi::cli
