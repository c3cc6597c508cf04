// Saving the order stack back to the spool folder, removing orders, archiving designs.
#include "orders/order_stack.h"
#include "orders/stack_files.h"
#include "orders/xme_file.h"
#include "platform/env.h"
#include "platform/ui/dialogs.h"
#include "support/log.h"
#include "support/module.h"
#include "support/resx.h"
#include "support/xml_helpers.h"

namespace larkedi {
namespace {

void LogAnswer(bool yes) {
  WriteLog(std::string("   ") + (yes ? "Yes" : "No"));
}

// Keeps the first failure of a run of steps.
void Keep(Err& first, Err err) {
  if (err && !first) first = std::move(err);
}

}  // namespace

Err OrderStack::ArchiveDesign(const xml::Node& design, const std::string& name,
                              const std::string& spool, const std::string& archive) {
  Env* env = Env::Default();
  if (Trim(archive).empty()) {
    return Err::Raise(kErrGeneral, "SaveOrders",
                      "no archive folder is set (ARCHIVEPATH); " + name + " stays stacked");
  }
  const std::string spool_file = JoinPath(spool, name);
  const std::string archived = JoinPath(archive, name);
  std::string reason;
  if (!env->CreateDirectories(archive, &reason)) {
    return Err::Raise(kErrFileAccess, "SaveOrders", reason);
  }
  // The file is moved first, in one rename, then rewritten with the design as it now
  // stands: a crash in between leaves exactly one copy, never none or two.
  const bool moved = env->Exists(spool_file) && env->RenameFile(spool_file, archived, nullptr);
  if (Err err = StoreDesignFile(archive, name, design.xml())) {
    LogError("SaveOrders: archiving " + name, static_cast<const Err&>(err));
    return err;
  }
  if (!moved && env->Exists(spool_file)) env->RemoveFile(spool_file, nullptr);
  return ArchiveFolder(archive);
}

Err OrderStack::SaveOrders() {
  LogScope log_scope("SaveOrders");
  const std::string spool = GetNodeText(settings_.docSettings, "SETTINGS/SPOOLPATH");
  WriteLog("Got spoolpath from Settings document. Value: " + spool);
  const std::string archive = GetNodeText(settings_.docSettings, "SETTINGS/ARCHIVEPATH");
  WriteLog("Got archivepath from Settings document. Value: " + archive);

  Err first;
  WriteLog("Looping through Orders/Design");
  for (xml::Node design : docOrders.selectNodes("Orders/Design")) {
    const std::string name = GetNodeText(design, "FileName");
    WriteLog("FileName: " + name);
    WriteLog("Does the document still contain catalog(s) referenced in ORDERGROUP?");
    const bool keep = NodeExists("Catalog[ID=../ORDERGROUP//CATALOGID]", design);
    LogAnswer(keep);
    if (!IsPlainFileName(name)) {
      // Only names of files in the folder are written; anything else would land elsewhere.
      Err err = Err::Raise(kErrGeneral, "SaveOrders", "Bad file name: " + name);
      LogError("SaveOrders", static_cast<const Err&>(err));
      Keep(first, std::move(err));
    } else if (keep) {
      WriteLog("Keep order for further sending.");
      if (Err err = StoreDesignFile(spool, name, design.xml())) {
        LogError(ResParam("MSG ErrorNumberSourceDescription",
                          {std::to_string(err.Number), err.Source, err.Description}),
                 static_cast<const Err&>(err));
        Keep(first, std::move(err));
      }
    } else {
      WriteLog("Archive this design.");
      Keep(first, ArchiveDesign(design, name, spool, archive));
    }
    WriteLog("Does the document still contain catalog(s)?");
    const bool has_catalogs = NodeExists("Catalog", design);
    LogAnswer(has_catalogs);
    if (!has_catalogs) {
      WriteLog("Remove this design from document.");
      design.parentNode().removeChild(design);
    }
  }
  if (!first) bOrdersChanged = false;
  return first;
}

Err OrderStack::RemoveOrder(long groupId, bool& removed) {
  LogScope log_scope("RemoveOrder()");
  removed = false;
  if (CurrentDialogs().MsgBox(Res("MSG SureWantToRemoveCatParamFromOrder"), MsgButtons::YesNo,
                              MsgIcon::Question,
                              Res("MSG AreYouSureQuestionMark")) != MsgResult::Yes) {
    return {};
  }
  const std::string id = xml::XPathLiteral(std::to_string(groupId));
  for (xml::Node cid : docOrders.selectNodes("//CATALOGID[../ID=" + id + "]")) {
    xml::Node catalog =
        docOrders.selectSingleNode("//Catalog[ID=" + xml::XPathLiteral(cid.text()) + "]");
    if (catalog) catalog.parentNode().removeChild(catalog);
  }
  if (xml::Node group = docOrders.selectSingleNode("//ORDERGROUP[ID=" + id + "]")) {
    group.parentNode().removeChild(group);
  }
  removed = true;
  Err err = SaveOrders();
  LoadOrders(false);
  observer_.RedrawOrderStack();
  return err;
}

void OrderStack::RemoveSentOrder(xml::Node group, const xml::NodeList& sendList) {
  LogScope log_scope("RemoveSentOrder().");
  const std::string group_id = GetNodeText(group, "ID");
  WriteLog("Remove order (ID = " + group_id + ") from xdoc.");
  std::set<std::string> sent;
  for (xml::Node c : group.selectNodes("CATALOGID")) sent.insert(c.text());
  // Catalog IDs that the other groups of this send still list. A group of the list that was
  // already removed (sent before this one) no longer holds a catalog back.
  std::set<std::string> still_listed;
  for (xml::Node other : sendList) {
    if (other == group || GetNodeText(other, "ID") == group_id) continue;
    if (other.parentNode().isNull()) continue;
    for (xml::Node c : other.selectNodes("CATALOGID")) still_listed.insert(c.text());
  }
  for (xml::Node catalog : docOrders.selectNodes("//Catalog")) {
    const std::string id = GetNodeText(catalog, "ID");
    if (sent.count(id) && !still_listed.count(id)) catalog.parentNode().removeChild(catalog);
  }
  if (xml::Node parent = group.parentNode()) parent.removeChild(group);
}

Err OrderStack::ArchiveFolder(const std::string& folder) {
  return ArchiveXmeFolder(folder, nullptr);
}

}  // namespace larkedi
