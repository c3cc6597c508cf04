// Watching the spool folder for designs stacked or removed by other processes.
#include <vector>

#include "orders/order_stack.h"
#include "orders/stack_files.h"
#include "support/log.h"
#include "support/module.h"
#include "support/xml_helpers.h"

namespace larkedi {

bool OrderStack::IsSpoolerChanged() {
  if (Module().LogEnabled) WriteLog("Entering IsSpoolerChanged().");
  WriteLog("Get SpoolPath from Settings document.");
  const std::string spool = SpoolFolder();
  WriteLog("   Value: " + spool);

  std::vector<std::string> listing = ListXmeFiles(spool);
  if (Module().LogEnabled) listing.push_back("orders.xml");

  for (const auto& name : listing) {
    // A name the stack was not built from: remember it and report the change.
    if (LoadedSpoolFiles.insert(name).second) return true;
  }
  return LoadedSpoolFiles.size() > listing.size();
}

}  // namespace larkedi
