// The first pass of a send run: orders whose partner uses a legacy method. For each catalog
// the host project server is told about the order, then the method's program runs and is
// waited for; it takes the order from the host project itself. Every program run is a
// hand-over in the send journal, so a catalog handed over is never handed over again.
#include <cmath>
#include <memory>

#include "platform/env.h"
#include "platform/process/launch.h"
#include "sending/host_project.h"
#include "sending/send_steps.h"
#include "sending/transmission_method.h"
#include "support/log.h"
#include "support/resx.h"
#include "support/xml_helpers.h"

namespace larkedi {
namespace {

// i / n of `full`, to the nearest whole number (halves to the even one).
int Share(int i, int n, int full) {
  return static_cast<int>(std::nearbyint(static_cast<double>(i) * full / n));
}

}  // namespace

bool SendOrders::SendLegacyOrder(xml::Node order, const xml::NodeList& send_list) {
  WriteLog("Entering SendLegacyOrder().");
  Order o;
  StartOrder(o, order);
  auto step = [this, &o](const std::string& text, int percent) {
    if (observer_) observer_->OrderStep(o.row.order_id, text, percent);
  };
  if (!CheckJournal(o, order, send_list)) return false;

  const xml::Node design = order.parentNode();
  const std::string partner_name = GetNodeText(order, "PARTNERNAME");
  o.manuf_id = Setting(o.row.partner_id, "MANUFID");
  o.dealer_id = Setting(o.row.partner_id, "DEALERID");
  const std::string method_id = Setting(o.row.partner_id, "METHODID");
  xml::Node method = stack_.Settings().docSettings.selectSingleNode(
      "SETTINGS/METHOD[ID=" + xml::XPathLiteral(method_id) + "]");
  const std::string method_name = GetNodeText(method, "NAME");

  // The host takes 32-bit keys; a missing or zero key would announce another project.
  int32_t project_key = 0;
  int32_t design_key = 0;
  std::string why;
  if (!ReadProjectKey(design, "JobInfo/Header/PrjDbKeys/ProjectKey", &project_key, &why) ||
      !ReadProjectKey(design, "JobInfo/Header/PrjDbKeys/DesignKey", &design_key, &why)) {
    WriteLog("The order No. " + o.row.order_id + " will not be sent to partner " + partner_name +
             ": " + why);
    Finish(o, SendResult::Failed, Res("MSG Failure"),
           Res("MSG UnableToSetOrderInfoInProject") + " (" + why + ")");
    return false;
  }

  std::vector<CatalogAccepted> accepted;
  std::string failure;
  const xml::NodeList catalog_ids = order.selectNodes("CATALOGID");
  const int n = catalog_ids.length();
  int i = 0;
  // One connection per catalog: making the next releases the previous, which unlocks the
  // host's project; the last goes when this function ends, on every path.
  std::unique_ptr<clsOxProjectConnect> project;
  for (xml::Node cid : catalog_ids) {
    ++i;
    const std::string catalog = GetNodeText(
        design, "Catalog[ID=" + xml::XPathLiteral(cid.text()) + "]/Identification/Name");
    if (o.accepted_before.count(catalog)) continue;  // handed over by an earlier run
    step(ResParam("MSG ProcessingCatalogParam", {catalog}), Share(i, n, 30));

    project.reset();
    project = std::make_unique<clsOxProjectConnect>();
    if (!project->ShowApp() ||
        !project->SetOrderInformation2(project_key, design_key, catalog, partner_name, o.manuf_id,
                                       o.dealer_id, method_name)) {
      WriteLog("Unable to set order information in Orca Project.");
      WriteLog("\tProject Key: " + std::to_string(project_key));
      WriteLog("\tDesign Key: " + std::to_string(design_key));
      WriteLog("\tCatalog: " + catalog);
      WriteLog("The order No. " + o.row.order_id + "will not be sent to partner " + partner_name +
               ".");
      failure = Res("MSG UnableToSetOrderInfoInProject");
      break;
    }

    Err err;
    const std::string program = LegacyExecutablePath(method, &err);
    step(ResParam("MSG StartingMethodParam", {method_name}), Share(i, n, 60));
    if (!err && program.find('"') != std::string::npos) {
      err = Err::Raise(kErrGeneral, "SendLegacyOrder",
                       "the program path holds a double quote: " + program);
    }
    JournalOrder handed;
    handed.design_file = o.row.design_file;
    handed.order_id = o.row.order_id;
    handed.partner_id = o.row.partner_id;
    handed.partner_code = o.row.partner_code;
    handed.catalogs = {catalog};
    handed.po_number = Trim(GetNodeText(order, "PONUMBER"));
    int64_t entry = 0;
    if (!err) err = journal_.HandOver(handed, &entry);
    int exit_status = -1;
    // The program path is one word of the command line, whatever blanks it holds.
    if (!err && !process::RunAndWait(
                    "\"" + program + "\"", [] {}, &exit_status, &err)) {
      journal_.RecordRefused(entry, "the program could not be started: " + err.Description);
    }
    if (err) {
      step(ResParam("MSG UnableToSendCatalogParam", {catalog}), -1);
      failure = ResParam("MSG UnableToSendCatalogParam", {catalog}) + " " + err.Description;
      break;
    }
    WriteLog("The program " + program + " ended with exit status " + std::to_string(exit_status) +
             ".");
    journal_.RecordAccepted(entry, "");
    accepted.push_back({catalog, "", entry});
    step(ResParam("MSG SentCatalogParam", {catalog}), Share(i, n, 100));
  }
  project.reset();

  if (!failure.empty()) {
    WriteLog("Exiting SendLegacyOrder().");
    KeepUnsentCatalogs(o, order, xml::Document(), SendResult::Failed, Res("MSG Failure"), failure,
                       accepted);
    return false;
  }
  stack_.RemoveSentOrder(order, send_list);
  SaveStack(&o);
  step(Res("MSG Done"), 100);
  Finish(o, SendResult::Sent, Res("MSG Done"),
         ResParam("MSG OrderProcessedExternally", {method_name}));
  WriteLog("Exiting SendLegacyOrder().");
  return true;
}

}  // namespace larkedi
