// What the settings load discovers outside the settings file: free-EDI manufacturers from
// the partner web service and transmission methods registered on the machine.
#pragma once

#include <string>
#include <vector>

namespace larkedi {

struct Manufacturer {
  std::string id;
  std::string name;
};

/// Asks the partner web service (GetManufInfo) for the manufacturers that take free-EDI
/// orders. True when the list was obtained (possibly empty); false when the service gave no
/// result. Manufacturers without an ID or a name are left out.
bool GetFreeEdiManufacturers(std::vector<Manufacturer>* manufacturers);

/// A transmission method found in the registry.
struct LegacyMethod {
  std::string name;         // the sub-key name
  std::string object_name;  // "Spooler" value, or the report type
  std::string exe_path;     // "Exe Path" value, or "RptModPath"
};

/// Sub-keys of HKCU\Software\Orca Technologies\EDI\Modules.
std::vector<LegacyMethod> ReadLegacyEdiModules();
/// Sub-keys of HKCU\Software\Orca Technologies\Registered Reports\en whose RptType is ORDR.
std::vector<LegacyMethod> ReadOrderFormModules();

}  // namespace larkedi
