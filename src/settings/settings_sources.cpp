#include "settings/settings_sources.h"

#include "platform/registry/registry_store.h"
#include "settings/partner_service.h"
#include "support/registry.h"

namespace larkedi {
namespace {

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

}  // namespace

bool GetFreeEdiManufacturers(std::vector<Manufacturer>* manufacturers) {
  manufacturers->clear();
  xml::Node result;
  if (!GetManufInfo(result)) return false;
  for (const FreeEdiManufacturer& m : ReadManufList(result)) {
    manufacturers->push_back({m.ID, m.Name});
  }
  return true;
}

std::vector<LegacyMethod> ReadLegacyEdiModules() {
  const std::string key = "Software\\Orca Technologies\\EDI\\Modules";
  std::vector<std::string> names;
  std::vector<LegacyMethod> out;
  if (!ReadRegistrySubKeys(HKEY_CURRENT_USER, key, names)) return out;
  for (const auto& name : names) {
    LegacyMethod m;
    m.name = name;
    ReadRegistryValue(HKEY_CURRENT_USER, key + "\\" + name, "Exe Path", m.exe_path);
    ReadRegistryValue(HKEY_CURRENT_USER, key + "\\" + name, "Spooler", m.object_name);
    out.push_back(std::move(m));
  }
  return out;
}

std::vector<LegacyMethod> ReadOrderFormModules() {
  const std::string key = "Software\\Orca Technologies\\Registered Reports\\en";
  std::vector<std::string> names;
  std::vector<LegacyMethod> out;
  if (!ReadRegistrySubKeys(HKEY_CURRENT_USER, key, names)) return out;
  for (const auto& name : names) {
    LegacyMethod m;
    m.name = name;
    ReadRegistryValue(HKEY_CURRENT_USER, key + "\\" + name, "RptType", m.object_name);
    if (Lower(m.object_name) != "ordr") continue;
    ReadRegistryValue(HKEY_CURRENT_USER, key + "\\" + name, "RptModPath", m.exe_path);
    out.push_back(std::move(m));
  }
  return out;
}

}  // namespace larkedi
