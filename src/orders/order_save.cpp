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

bool OrderStack::UnchangedOnDisk(const std::string& spool, const std::string& name) const {
  auto it = versions_.find(name);
  const std::string now = FileFingerprintOnDisk(JoinPath(spool, name));
  if (it == versions_.end()) return now.empty();  // never stored: nobody else has it either
  return now == it->second;
}

Err OrderStack::SaveOrders() {
  LogScope log_scope("SaveOrders");
  Transaction lock(*this);
  if (lock.status()) {
    LogError("SaveOrders", lock.status());
    return lock.status();
  }
  const std::string spool = GetNodeText(settings_.docSettings, "SETTINGS/SPOOLPATH");
  WriteLog("Got spoolpath from Settings document. Value: " + spool);
  const std::string archive = GetNodeText(settings_.docSettings, "SETTINGS/ARCHIVEPATH");
  WriteLog("Got archivepath from Settings document. Value: " + archive);

  Err first;
  std::vector<std::string> conflicts;
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
      // Only what this process changed is written, and only over the version it loaded: a
      // design another process rewrote or removed meanwhile keeps that process's change.
      if (!changed_.count(name)) {
        // unchanged here: the file on disk is the right one
      } else if (!UnchangedOnDisk(spool, name)) {
        conflicts.push_back(name);
      } else {
        std::string fingerprint;
        if (Err err = StoreDesignFile(spool, name, design.xml(), &fingerprint)) {
          LogError(ResParam("MSG ErrorNumberSourceDescription",
                            {std::to_string(err.Number), err.Source, err.Description}),
                   static_cast<const Err&>(err));
          Keep(first, std::move(err));
        } else {
          versions_[name] = fingerprint;
          changed_.erase(name);
        }
      }
    } else if (versions_.count(name) && FileFingerprintOnDisk(JoinPath(spool, name)).empty()) {
      // Another process archived or removed it already.
      WriteLog("Already gone from the spool folder: " + name);
      changed_.erase(name);
    } else if (versions_.count(name) && !UnchangedOnDisk(spool, name)) {
      // Rewritten by another process: its version stands. Only an edit made here meets it.
      if (changed_.count(name)) conflicts.push_back(name);
    } else {
      WriteLog("Archive this design.");
      if (Err err = ArchiveDesign(design, name, spool, archive)) {
        Keep(first, std::move(err));
      } else {
        // Known as gone from the spool folder: a later save before the next load leaves it
        // alone instead of archiving the same design a second time.
        versions_[name].clear();
        changed_.erase(name);
      }
    }
    WriteLog("Does the document still contain catalog(s)?");
    const bool has_catalogs = NodeExists("Catalog", design);
    LogAnswer(has_catalogs);
    if (!has_catalogs) {
      WriteLog("Remove this design from document.");
      design.parentNode().removeChild(design);
    }
  }
  if (!conflicts.empty()) {
    std::string names;
    for (const auto& n : conflicts) names += (names.empty() ? "" : ", ") + n;
    Err err = Err::Raise(kErrGeneral, "SaveOrders",
                         "changed by another process since it was loaded: " + names +
                             "; the stack was reloaded with that change and the edit made here "
                             "to it was not saved");
    LogError("SaveOrders", static_cast<const Err&>(err));
    CurrentDialogs().MsgBox(ResParam("MSG OrderChangedElsewhereParam", {names}), MsgButtons::OK,
                            MsgIcon::Exclamation, ModuleTitle());
    LoadOrders(false);
    Keep(first, std::move(err));
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
  // The descendant axis, not "//": the XML library stops answering a "//" step with a
  // condition once the whole document holds some millions of nodes.
  for (xml::Node cid : docOrders.selectNodes("/descendant::CATALOGID[../ID=" + id + "]")) {
    xml::Node catalog = docOrders.selectSingleNode(
        "/descendant::Catalog[ID=" + xml::XPathLiteral(cid.text()) + "]");
    if (catalog) {
      MarkChanged(catalog.parentNode());
      catalog.parentNode().removeChild(catalog);
    }
  }
  if (xml::Node group = docOrders.selectSingleNode("/descendant::ORDERGROUP[ID=" + id + "]")) {
    MarkChanged(group.parentNode());
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
    if (sent.count(id) && !still_listed.count(id)) {
      MarkChanged(catalog.parentNode());
      catalog.parentNode().removeChild(catalog);
    }
  }
  if (xml::Node parent = group.parentNode()) {
    MarkChanged(parent);
    parent.removeChild(group);
  }
}

Err OrderStack::ArchiveFolder(const std::string& folder) {
  return ArchiveXmeFolder(folder, nullptr);
}

}  // namespace larkedi
