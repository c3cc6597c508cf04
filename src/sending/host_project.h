// The host project connection: legacy transmission programs take their order from the
// host's project server (OxPServer.clsOxPConnect), so before each program run the server is
// told which project, design, catalog, partner and method the run is for.
//
// clsOxProjectConnect holds the connection for one catalog's run. It connects when made and
// releases the project when it goes (UnlockOrca = True), on every exit path, so the host's
// project is never left locked. Nothing throws.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/err.h"
#include "platform/xml/xml.h"

namespace larkedi {

namespace automation {
class AutomationObject;
}

class clsOxProjectConnect {
 public:
  /// Connects to the host project server. A server that cannot be created is reported in a
  /// critical message box naming OxPServer.exe; the project then stays empty.
  clsOxProjectConnect();
  /// Logs "Disconnect from OxPServer." and unlocks the project when there is one.
  ~clsOxProjectConnect();
  clsOxProjectConnect(const clsOxProjectConnect&) = delete;
  clsOxProjectConnect& operator=(const clsOxProjectConnect&) = delete;

  /// True when the project object is held.
  bool connected() const { return project_ != nullptr; }

  /// Brings the host project application forward (connecting again first when the
  /// connection failed). False, logged but not shown, when there is no project or the call
  /// failed.
  bool ShowApp();

  /// Passes the order information to the host project. True when the host accepted it;
  /// otherwise a critical message box and the error logged.
  bool SetOrderInformation2(int32_t project_key, int32_t design_key,
                            const std::string& catalog_name, const std::string& partner_name,
                            const std::string& manuf_id, const std::string& dealer_id,
                            const std::string& method_name);

 private:
  void Connect();

  std::shared_ptr<automation::AutomationObject> connection_;
  std::shared_ptr<automation::AutomationObject> project_;
};

/// Reads a project or design key of the design (`path` below `design`, e.g.
/// "JobInfo/Header/PrjDbKeys/ProjectKey") as a 32-bit number. False, with `why` saying so,
/// when it is missing, not a whole number, zero or negative, or beyond 32 bits: such a key
/// would announce the wrong project (or none) to the host.
bool ReadProjectKey(const xml::Node& design, const std::string& path, int32_t* key,
                    std::string* why);

}  // namespace larkedi
