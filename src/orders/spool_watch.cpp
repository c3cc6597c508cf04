// Watching the spool folder for designs stacked or removed by other processes.
#include <vector>

#include "host/frm_edi.h"
#include "platform/env.h"
#include "support/log.h"
#include "support/module.h"
#include "support/xml_helpers.h"

namespace larkedi {
namespace {

bool HasXmeExtension(const std::string& name) {
  if (name.size() < 4) return false;
  std::string ext = name.substr(name.size() - 4);
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return ext == ".xme";
}

}  // namespace

bool frmEDI::IsSpoolerChanged() {
  if (Module().LogEnabled) WriteLog("Entering IsSpoolerChanged().");
  WriteLog("Get SpoolPath from Settings document.");
  const std::string spool = GetNodeText(docSettings, "SETTINGS/SPOOLPATH");
  WriteLog("   Value: " + spool);

  std::vector<std::string> names, listing;
  Env::Default()->ListDirectory(spool, &names, nullptr);
  for (const auto& name : names) {
    if (HasXmeExtension(name)) listing.push_back(name);
  }
  if (Module().LogEnabled) listing.push_back("orders.xml");

  for (const auto& name : listing) {
    // A name the stack was not built from: remember it and report the change.
    if (LoadedSpoolFiles.insert(name).second) return true;
  }
  return LoadedSpoolFiles.size() > listing.size();
}

}  // namespace larkedi
