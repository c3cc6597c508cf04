#include "settings/settings_sources.h"

#include "platform/registry/registry_store.h"
#include "settings/partner_service.h"
#include "support/registry.h"
#include "support/strings.h"

namespace larkedi {
bool GetFreeEdiManufacturers(std::vector<Manufacturer>* manufacturers) {
  manufacturers->clear();
  xml::Node result;
  if (!GetManufInfo(result)) return false;
  for (const FreeEdiManufacturer& m : ReadManufList(result)) {
    manufacturers->push_back({m.ID, m.Name});
  }
  return true;
}

namespace {

// One method per sub-key of `key`: its name, its object name from `object_value` and its
// program from `exe_value`; `keep` decides on the object name.
std::vector<LegacyMethod> ReadMethods(const std::string& key, const char* object_value,
                                      const char* exe_value,
                                      bool (*keep)(const std::string& object_name)) {
  std::vector<std::string> names;
  std::vector<LegacyMethod> out;
  if (!ReadRegistrySubKeys(HKEY_CURRENT_USER, key, names)) return out;
  for (const auto& name : names) {
    LegacyMethod m;
    m.name = name;
    ReadRegistryValue(HKEY_CURRENT_USER, key + "\\" + name, object_value, m.object_name);
    if (keep && !keep(m.object_name)) continue;
    ReadRegistryValue(HKEY_CURRENT_USER, key + "\\" + name, exe_value, m.exe_path);
    out.push_back(std::move(m));
  }
  return out;
}

}  // namespace

std::vector<LegacyMethod> ReadLegacyEdiModules() {
  return ReadMethods("Software\\Orca Technologies\\EDI\\Modules", "Spooler", "Exe Path", nullptr);
}

std::vector<LegacyMethod> ReadOrderFormModules() {
  return ReadMethods("Software\\Orca Technologies\\Registered Reports\\en", "RptType", "RptModPath",
                     [](const std::string& type) { return LowerAscii(type) == "ordr"; });
}

}  // namespace larkedi
