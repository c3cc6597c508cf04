#include "sending/host_project.h"

#include <cerrno>
#include <cstdlib>
#include <limits>
#include <vector>

#include "platform/automation/automation.h"
#include "platform/ui/dialogs.h"
#include "support/log.h"
#include "support/module.h"
#include "support/resx.h"
#include "support/xml_helpers.h"

namespace larkedi {
namespace {

constexpr const char* kServerProgId = "OxPServer.clsOxPConnect";
constexpr long kErrNoObject = 91;  // Object variable or With block variable not set

void ShowAndLog(const Err& err) {
  const std::string text = ResParam("MSG ErrorNumberSourceDescription",
                                    {std::to_string(err.Number), err.Source, err.Description});
  CurrentDialogs().MsgBox(text, MsgButtons::OK, MsgIcon::Critical, ModuleTitle());
  LogError(text, err);
}

}  // namespace

clsOxProjectConnect::clsOxProjectConnect() {
  Connect();
}

clsOxProjectConnect::~clsOxProjectConnect() {
  WriteLog("Disconnect from OxPServer.");
  if (project_) {
    if (Err err = project_->Put("UnlockOrca", automation::Variant(true))) {
      LogError("clsOxProjectConnect: UnlockOrca", err);
    }
    project_.reset();
  }
  connection_.reset();
}

void clsOxProjectConnect::Connect() {
  WriteLog("Connect to Orca Project.");
  Err err;
  connection_ = automation::CreateObject(kServerProgId, &err);
  if (!connection_) {
    LogError("clsOxProjectConnect", err);
    CurrentDialogs().MsgBox(ResParam("MSG CannotCreateObjectParam", {"clsOxPConnect"}) + "\n" +
                                Res("LBL Reference") +
                                " Orca Project ActiveX Server (OxPServer.exe)",
                            MsgButtons::OK, MsgIcon::Critical, ModuleTitle());
    return;
  }
  automation::Variant project;
  if (Err get = connection_->Get("clsOxProject", &project)) {
    LogError("clsOxProjectConnect: clsOxProject", get);
    return;
  }
  project_ = project.AsObject();
}

bool clsOxProjectConnect::ShowApp() {
  if (!project_) Connect();
  // Failures here are the caller's to report (the connection step showed its message).
  if (!project_) {
    WriteLog("clsOxProjectConnect.ShowApp: the host project server is not connected.");
    return false;
  }
  if (Err err = project_->Call("showOrcaProject", nullptr)) {
    LogError("clsOxProjectConnect.ShowApp", err);
    return false;
  }
  return true;
}

bool clsOxProjectConnect::SetOrderInformation2(int32_t project_key, int32_t design_key,
                                               const std::string& catalog_name,
                                               const std::string& partner_name,
                                               const std::string& manuf_id,
                                               const std::string& dealer_id,
                                               const std::string& method_name) {
  const char* kSource = "clsOxProjectConnect.SetOrderInformation2";
  Err err;
  if (!project_) {
    err = Err::Raise(kErrNoObject, kSource, "the host project server is not connected");
  } else {
    std::vector<automation::Variant> args{automation::Variant(static_cast<long>(project_key)),
                                          automation::Variant(static_cast<long>(design_key)),
                                          automation::Variant(catalog_name),
                                          automation::Variant(partner_name),
                                          automation::Variant(manuf_id),
                                          automation::Variant(dealer_id),
                                          automation::Variant(method_name)};
    automation::Variant accepted;
    err = project_->Call("SetOrderInformation2", args, &accepted);
    if (!err && !accepted.AsBool()) {
      err = Err::Raise(kErrGeneral, kSource, Res("MSG ErrorSettingOxProjecttInfos"));
    }
  }
  if (err) {
    ShowAndLog(err);
    return false;
  }
  return true;
}

bool ReadProjectKey(const xml::Node& design, const std::string& path, int32_t* key,
                    std::string* why) {
  *key = 0;
  const std::string text = Trim(GetNodeText(design, path));
  auto fail = [&](const std::string& what) {
    if (why) *why = path + " " + what;
    return false;
  };
  if (text.empty()) return fail("is missing");
  errno = 0;
  char* end = nullptr;
  const long long value = std::strtoll(text.c_str(), &end, 10);
  if (errno != 0 || end == text.c_str() || *end != '\0') {
    return fail("is not a whole number: " + text);
  }
  if (value <= 0) return fail("is " + text + ", not the key of a project");
  if (value > std::numeric_limits<int32_t>::max()) return fail("is beyond 32 bits: " + text);
  *key = static_cast<int32_t>(value);
  return true;
}

}  // namespace larkedi
