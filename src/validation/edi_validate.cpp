#include "validation/edi_validate.h"

#include <algorithm>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/automation/automation.h"
#include "platform/env.h"
#include "platform/ui/dialogs.h"
#include "support/log.h"
#include "support/module.h"
#include "support/resx.h"
#include "support/xml_helpers.h"
// Validation asks the settings which partner (and so which manufacturer's script or module)
// receives each catalog, with the rule the stack and the grouping use.
#include "settings/catalog_index.h"

namespace larkedi {

const char* EdiValidateStatusName(int status) {
  switch (status) {
    case EDI_VALIDATE_OK:
      return "OK";
    case EDI_VALIDATE_WARNING:
      return "WARNING";
    case EDI_VALIDATE_ABORT:
      return "ABORT";
    default:
      return status > EDI_VALIDATE_ABORT ? "ABORT" : "OK";
  }
}

namespace {

const char* const kLineBreak = "\r\n";

/// A partner value used as a file name inside the Validate folder: it must not reach
/// outside the folder (no separators, no "." or "..").
bool IsSafeFileStem(const std::string& stem) {
  if (stem.empty() || stem == "." || stem == "..") return false;
  return stem.find('/') == std::string::npos && stem.find('\\') == std::string::npos &&
         stem.find('\0') == std::string::npos;
}

/// The child element `name` of `parent`, created (appended) when missing, set to `text`.
void SetChildText(xml::Node parent, const std::string& name, const std::string& text) {
  xml::Node child = parent.selectSingleNode(name);
  if (!child) {
    xml::Document doc = parent.ownerDocument();
    child = parent.appendChild(doc.createElement(name));
  }
  if (child) child.setText(text);
}

/// A catalog reported `level` (above 0): the order groups carrying it show the level, and
/// no order group of the design goes out as it is.
void MarkOrderGroups(const xml::Node& nodeDesign, const std::string& catalogId, int level) {
  for (xml::Node group : nodeDesign.selectNodes("ORDERGROUP")) {
    for (xml::Node id : group.selectNodes("CATALOGID")) {
      if (id.text() == catalogId) SetChildText(group, "VALIDSTATUS", std::to_string(level));
    }
    SetChildText(group, "SENDIT", "0");
  }
}

bool IsPartnerId(const std::string& id) {
  return !id.empty() && id != "0";
}

/// The `index`-th (1-based) Catalog of the design as it is now.
xml::Node CatalogAt(const xml::Node& design, long index) {
  return design.selectSingleNode("Catalog[" + std::to_string(index) + "]");
}

/// Makes `nodeDesign` designate a copy of `changed` (a Design element of a work document).
/// When the design sits in a document, the copy takes its place there as the parent's last
/// child, so the document that holds the design (the order stack, the start-up design)
/// keeps the change; a detached design is simply replaced by the changed one.
void ReplaceDesign(xml::Node& nodeDesign, xml::Node changed) {
  if (!changed || changed.nodeName() != "Design") return;
  // A script changes the design's content only: the elements the order stack keeps on the
  // design (its number, its file, its orders and their status) stay as they were, so a
  // script cannot drop an unsent order or point the design at another design's file.
  static const char* const kStackOwned[] = {"ID", "FileName", "ORDERGROUP", "VALIDSTATUS",
                                            "REPLACEDFILE"};
  xml::Document work = changed.ownerDocument();
  for (const char* name : kStackOwned) {
    xml::NodeList now = changed.selectNodes(name);
    for (long i = now.length() - 1; i >= 0; --i) changed.removeChild(now.item(i));
    for (xml::Node kept : nodeDesign.selectNodes(name)) {
      changed.appendChild(work.importNode(kept, true));
    }
  }
  xml::Node parent = nodeDesign.parentNode();
  if (!parent) {
    nodeDesign = changed;
    return;
  }
  parent.removeChild(nodeDesign);
  xml::Node appended = parent.appendChild(parent.ownerDocument().importNode(changed, true));
  if (appended) {
    nodeDesign = appended;
  } else {
    // Put the old design back rather than lose it.
    parent.appendChild(nodeDesign);
  }
}

/// False (logged) when there is no design or no settings to validate it against.
bool CanValidate(const xml::Node& nodeDesign, const xml::Document& docSettings) {
  if (!nodeDesign) {
    WriteLog("There's no design to validate.");
    return false;
  }
  if (!docSettings.documentElement()) {
    WriteLog("Cannot validate the design. Settings document is missing.");
    return false;
  }
  return true;
}

/// Level of an ERROR's ACTION: exactly "1" or "2", anything else is no action.
int ActionLevel(const std::string& action) {
  if (action == "1") return EDI_VALIDATE_WARNING;
  if (action == "2") return EDI_VALIDATE_ABORT;
  return EDI_VALIDATE_OK;
}

/// Replaces the catalog's ERROR child with a copy of `error`.
void AttachError(xml::Node catalog, const xml::Node& error) {
  while (xml::Node old = catalog.selectSingleNode("ERROR")) {
    if (!catalog.removeChild(old)) break;
  }
  catalog.appendChild(catalog.ownerDocument().importNode(error, true));
}

/// Writes the diagnostic copy of a work document when logging is on.
void SaveDiagnostic(const xml::Document& doc, const std::string& folder, const std::string& stem) {
  if (!Module().LogEnabled || !IsSafeFileStem(stem)) return;
  std::string error;
  if (!Env::Default()->CreateDirectories(folder, &error) ||
      !doc.save(folder + stem + "AfterValidate.xml", &error)) {
    WriteLog("Cannot save " + folder + stem + "AfterValidate.xml: " + error);
  }
}

void ShowModuleFailure(const std::string& routine, const std::string& description) {
  CurrentDialogs().MsgBox("Error in " + routine + " : " + description, MsgButtons::OK,
                          MsgIcon::Critical, ModuleTitle());
}

}  // namespace

namespace {

// The settings root of a settings document (SETTINGS, wherever the document keeps it).
xml::Node SettingsRoot(const xml::Document& docSettings) {
  xml::Node root = docSettings.documentElement();
  if (root && root.nodeName() == "SETTINGS") return root;
  return docSettings.selectSingleNode("//SETTINGS");
}

}  // namespace

clsEdiValidate::~clsEdiValidate() = default;

clsEdiValidate::clsEdiValidate(long scriptTimeoutMs) : script_timeout_ms_(scriptTimeoutMs) {
  // The script host runs in a worker started on first use; building it cannot fail here.
  ResetScriptHost("VBScript", script_timeout_ms_, false);
  script_folder_ = ModulePath("Validate") + "/";
}

bool clsEdiValidate::AddUniqueKey(std::vector<std::string>& keys, const std::string& key) {
  if (std::find(keys.begin(), keys.end(), key) != keys.end()) return true;
  keys.push_back(key);
  return false;
}

void clsEdiValidate::ResetScriptHost(const std::string& /*language*/, long timeoutMs,
                                     bool allowUI) {
  WriteLog("Reset the MSScript Control to initial state.");
  myScriptCtl.Reset(timeoutMs);
  myScriptCtl.SetTimeout(timeoutMs);
  myScriptCtl.SetDialogTitle(ModuleTitle());
  allow_ui_ = allowUI;
}

bool clsEdiValidate::PrepareScripts(const xml::Document& docSettings) {
  for (xml::Node partner : docSettings.selectNodes("SETTINGS/PARTNER")) {
    const std::string manufId = Trim(GetNodeText(partner, "MANUFID"));
    if (manufId.empty() || !IsSafeFileStem(manufId)) continue;
    if (Env::Default()->Exists(script_folder_ + manufId + ".js")) return myScriptCtl.Start();
  }
  return false;
}

bool clsEdiValidate::ValidateOrders(xml::Document& docOrders, bool bShowDialog) {
  WriteLog("Entering ValidateOrders().");
  overall_status_ = 0;
  if (!docOrders.documentElement()) {
    WriteLog("Cannot validate orders. The Orders xml document is null.");
    return false;
  }
  xml::Node settings = docOrders.selectSingleNode("Orders/SETTINGS");
  if (!settings) {
    WriteLog("Cannot validate orders. There's no settings in Orders document.");
    return false;
  }
  xml::NodeList designs = docOrders.selectNodes("Orders/Design");
  if (designs.empty()) {
    WriteLog("Cannot validate orders. There's no design in Orders document.");
    return false;
  }

  WriteLog("Create local SETTINGS document.");
  xml::Document localSettings;
  if (!localSettings.loadXML(settings.xml())) {
    std::string text = ResParam("MSG CannotCreateObjectParam", {"MSXML2.DOMDocument40"}) +
                       kLineBreak + Res("LBL Reference") + " Microsoft XML, v4.0 (msxml4.dll)";
    CurrentDialogs().MsgBox(text, MsgButtons::OK, MsgIcon::Critical, ModuleTitle());
    LogError(text, Err::Raise(kErrComponent, "ValidateOrders", localSettings.parseErrorReason()));
    return false;
  }

  WriteLog("Looping through Design node list.");
  settings_index_ = std::make_unique<CatalogIndex>(SettingsRoot(localSettings));
  stray_linked_ = !localSettings.selectNodes("//LINKEDCATALOG").empty();
  for (xml::Node design : designs) {
    ValidateDesign2(design, localSettings, bShowDialog, false);
    SetChildText(design, "VALIDSTATUS", std::to_string(overall_status_));
  }
  settings_index_.reset();
  return true;
}

EdiValidateStatus clsEdiValidate::ValidateDesign(xml::Node& nodeDesign, xml::Document& docSettings,
                                                 bool bStartupInput) {
  WriteLog("Entering ValidateDesign().");
  overall_status_ = 0;
  if (!CanValidate(nodeDesign, docSettings)) return EDI_VALIDATE_OK;

  const CatalogIndex settingsIndex(SettingsRoot(docSettings));
  std::vector<std::string> partnerKeys;
  for (long index = 1;; ++index) {
    xml::Node catalog = CatalogAt(nodeDesign, index);
    if (!catalog) break;
    xml::Node partner = settingsIndex.PartnerOfCode(GetNodeText(catalog, "Identification/Name"));
    if (!partner) continue;
    std::string catalogId = GetNodeText(catalog, "ID");
    std::string manufId = Trim(GetNodeText(partner, "MANUFID"));
    WriteLog("ManufID: " + manufId);
    HandleScript(manufId, catalog, nodeDesign, bStartupInput);
    WriteLog("Before calling ValidatePartnersCatalog");
    // The script may have replaced the design; continue with the catalog as it is now.
    catalog = CatalogAt(nodeDesign, index);
    if (!catalog) break;
    if (Module().LogEnabled) {
      std::string text = catalog.xml();
      SaveXmlText(text, ModulePath("NodeCatalogValidated1.xml"));
    }
    int level = ValidateCatalog(catalog, nodeDesign, partner, partnerKeys, bStartupInput);
    if (Module().LogEnabled) {
      if (xml::Node after = CatalogAt(nodeDesign, index)) {
        std::string text = after.xml();
        SaveXmlText(text, ModulePath("NodeCatalogValidated2.xml"));
      }
    }
    if (level > 0) MarkOrderGroups(nodeDesign, catalogId, level);
  }
  return static_cast<EdiValidateStatus>(overall_status_);
}

EdiValidateStatus clsEdiValidate::ValidateDesign2(xml::Node& nodeDesign, xml::Document& docSettings,
                                                  bool bShowDialog, bool bStartupInput) {
  WriteLog("Entering ValidateDesign2().");
  overall_status_ = 0;
  if (!CanValidate(nodeDesign, docSettings)) return EDI_VALIDATE_OK;

  // The settings lookups of the whole order stack, or ones made for this design alone.
  std::unique_ptr<CatalogIndex> ownIndex;
  const CatalogIndex* index = settings_index_.get();
  if (!index || !(index->Settings().ownerDocument() == docSettings)) {
    ownIndex = std::make_unique<CatalogIndex>(SettingsRoot(docSettings));
    index = ownIndex.get();
  }
  // LINKEDCATALOG elements left in the settings by something else go with the ones added.
  const bool strayLinked =
      ownIndex ? !docSettings.selectNodes("//LINKEDCATALOG").empty() : stray_linked_;

  // Partners of the design's catalogs, in order of first appearance, each with a copy of
  // all its settings catalogs for the validation module.
  std::vector<std::string> partnerIds;
  bool linkedAdded = false;
  for (xml::Node catalog : nodeDesign.selectNodes("Catalog")) {
    std::string name = GetNodeText(catalog, "Identification/Name");
    WriteLog("Start processing catalog " + name);
    xml::Node settingsCatalog = index->Catalog(name);
    if (!settingsCatalog) continue;
    std::string partnerId = GetNodeText(settingsCatalog, "PARTNERID");
    WriteLog("Partner ID = " + partnerId);
    if (!IsPartnerId(partnerId)) continue;
    xml::Node partner = index->Partner(partnerId);
    if (!partner) continue;
    if (AddUniqueKey(partnerIds, partnerId)) continue;
    // Only a validation module sees the copies; a partner without one goes without them.
    if (Trim(GetNodeText(partner, "PROGID")).empty()) continue;
    // One LINKEDCATALOG per settings catalog of the partner, holding copies of its children.
    for (const xml::Node& linkedCatalog : index->CatalogsOfPartner(partnerId)) {
      xml::Node linked = docSettings.createElement("LINKEDCATALOG");
      for (xml::Node child : linkedCatalog.childNodes()) linked.appendChild(child.cloneNode(true));
      partner.appendChild(linked);
      linkedAdded = true;
    }
  }

  for (const std::string& partnerId : partnerIds) {
    xml::Node partner = index->Partner(partnerId);
    if (partner) ValidatePartnersCatalog2(nodeDesign, partner, bShowDialog, bStartupInput);
  }

  // The temporary elements never outlive this call.
  if (linkedAdded || strayLinked) {
    xml::NodeList linkedCatalogs = docSettings.selectNodes("//LINKEDCATALOG");
    for (long i = linkedCatalogs.length() - 1; i >= 0; --i) {
      xml::Node linked = linkedCatalogs.item(i);
      linked.parentNode().removeChild(linked);
    }
  }
  xml::NodeList designPartners = nodeDesign.selectNodes("PARTNER");
  for (long i = designPartners.length() - 1; i >= 0; --i) {
    nodeDesign.removeChild(designPartners.item(i));
  }

  // Catalogs are taken by position from the design as it is at each step: a script may
  // replace the design, and what follows (ERROR, order groups) must land in the new one.
  for (long position = 1;; ++position) {
    xml::Node catalog = CatalogAt(nodeDesign, position);
    if (!catalog) break;
    std::string name = GetNodeText(catalog, "Identification/Name");
    std::string catalogId = GetNodeText(catalog, "ID");
    std::string manufId, progId;
    xml::Node partner = index->PartnerOfCode(name);
    if (partner) {
      manufId = Trim(GetNodeText(partner, "MANUFID"));
      progId = Trim(GetNodeText(partner, "PROGID"));
    }
    int level = 0;
    if (!progId.empty()) {
      WriteLog("Start processing catalog " + name);
      level = GetNodeInteger(catalog, "CatalogStatus");
      // The module's verdict counts for the design as a script's does: a design the
      // module aborted must not come out as OK.
      overall_status_ = std::max(overall_status_, std::clamp(level, 0, 2));
    } else if (!manufId.empty()) {
      level = HandleScript(manufId, catalog, nodeDesign, bStartupInput);
    } else {
      continue;
    }
    if (level > 0) MarkOrderGroups(nodeDesign, catalogId, level);
  }
  return static_cast<EdiValidateStatus>(overall_status_);
}

int clsEdiValidate::ValidatePartnersCatalog2(xml::Node& nodeDesign, const xml::Node& partner,
                                             bool bShowDialog, bool bStartupInput) {
  WriteLog("Entering ValidatePartnersCatalog2().");
  std::string progId = Trim(GetNodeText(partner, "PROGID"));
  WriteLog(" ProgId = " + progId);
  if (progId.empty()) return EDI_VALIDATE_OK;

  xml::Document docWork;
  if (!docWork.loadXML(nodeDesign.xml()) || !docWork.documentElement()) return EDI_VALIDATE_OK;
  docWork.documentElement().appendChild(docWork.importNode(partner, true));
  std::string designText = docWork.xml();

  Err err;
  std::shared_ptr<automation::AutomationObject> module = automation::CreateObject(progId, &err);
  if (!module) {
    ShowModuleFailure("ValidatePartnersCatalog2", err.Description);
    return EDI_VALIDATE_OK;
  }
  std::vector<automation::Variant> args{designText};
  automation::Variant result;
  if ((err = module->Call("ValidateCatalog", args, &result))) {
    ShowModuleFailure("ValidatePartnersCatalog2", err.Description);
    return EDI_VALIDATE_OK;
  }
  designText = args.empty() ? designText : args[0].AsString();
  std::string message = result.AsString();

  bool cancelled = false;
  if (message.empty() && bShowDialog) {
    args = {designText};
    if ((err = module->Call("DoDialog", args, &result))) {
      ShowModuleFailure("ValidatePartnersCatalog2", err.Description);
      return EDI_VALIDATE_OK;
    }
    cancelled = result.AsString() == "Cancel";
    if (!args.empty()) designText = args[0].AsString();
  }

  // A design the module mangled must not replace the good one.
  if (!docWork.loadXML(designText) || !docWork.documentElement() ||
      docWork.documentElement().nodeName() != "Design") {
    std::string reason =
        docWork.parseErrorReason().empty() ? "no Design element" : docWork.parseErrorReason();
    ShowModuleFailure("ValidatePartnersCatalog2", "the validation module " + progId +
                                                      " returned a design that cannot be read (" +
                                                      reason + ")");
    return EDI_VALIDATE_OK;
  }
  ReplaceDesign(nodeDesign, docWork.documentElement());

  if (!message.empty() || cancelled) {
    if (!cancelled) {
      message = std::string("Missing or incorrect information for catalog. ") + kLineBreak +
                kLineBreak + message;
      if (bStartupInput) {
        CurrentDialogs().MsgBox(message, MsgButtons::OK, MsgIcon::Critical, ModuleTitle());
      }
    }
  }

  WriteLog("Saving " + script_folder_ + progId + "AfterValidate.xml");
  SaveDiagnostic(docWork, script_folder_, progId);
  WriteLog("Catalog status: 0");
  return EDI_VALIDATE_OK;
}

int clsEdiValidate::ValidateCatalog(const xml::Node& catalog, xml::Node& nodeDesign,
                                    const xml::Node& partner, std::vector<std::string>& partnerKeys,
                                    bool bStartupInput) {
  WriteLog("Entering ValidateCatalog().");
  std::string progId = Trim(GetNodeText(partner, "PROGID"));
  std::string manufId = GetNodeText(partner, "MANUFID");
  WriteLog(" ProgId = " + progId);
  if (progId.empty()) return EDI_VALIDATE_OK;

  int level = 0;
  Err err;
  std::shared_ptr<automation::AutomationObject> module = automation::CreateObject(progId, &err);
  if (!module) {
    ShowModuleFailure("ValidatePartnersCatalog", err.Description);
    return level;
  }
  xml::Document docError;
  xml::Document docWork;
  docWork.loadXML(nodeDesign.xml());
  std::vector<automation::Variant> args{catalog.xml()};
  automation::Variant result;
  if ((err = module->Call("ValidateCatalog", args, &result))) {
    ShowModuleFailure("ValidatePartnersCatalog", err.Description);
    return level;
  }
  std::string message = result.AsString();

  bool cancelled = false;
  if (message.empty()) {
    std::string partnerId = GetNodeText(partner, "ID");
    if (AddUniqueKey(partnerKeys, partnerId)) {
      WriteLog(
          " Skipping DoDialog for current catalog, since it was already displayed for "
          "sPartnerID = " +
          partnerId);
      return EDI_VALIDATE_OK;
    }
    args = {docWork.xml()};
    if ((err = module->Call("DoDialog", args, &result))) {
      ShowModuleFailure("ValidatePartnersCatalog", err.Description);
      return level;
    }
    std::string answer = result.AsString();
    if (answer == "Cancel") {
      cancelled = true;
    } else {
      // Only a readable design replaces the work copy.
      xml::Document answered;
      if (answered.loadXML(answer) && answered.documentElement() &&
          answered.documentElement().nodeName() == "Design") {
        docWork = answered;
      } else {
        WriteLog("The validation module " + progId + " returned no readable design from DoDialog.");
      }
    }
  }

  if (!message.empty() || cancelled) {
    if (!cancelled) {
      message = "Missing or incorrect information for catalog " +
                GetNodeText(catalog, "Identification/Name") + "." + kLineBreak + kLineBreak +
                message;
    }
    xml::Node error = docError.createElement("ERROR");
    auto add = [&](const std::string& name, xml::Node content) {
      xml::Node element = docError.createElement(name);
      element.appendChild(content);
      error.appendChild(element);
    };
    add("CODE", docError.createTextNode("9000"));
    add("DESCRIPTION", docError.createCDATASection("invalid design"));
    add("MESSAGE", docError.createCDATASection(message));
    add("ACTION", docError.createTextNode("2"));
    docError.setDocumentElement(error);
    level = EDI_VALIDATE_ABORT;
    if (bStartupInput && !cancelled) {
      CurrentDialogs().MsgBox(message, MsgButtons::OK, MsgIcon::Critical, ModuleTitle());
    }
  }

  return FinishCatalog(progId, manufId, docWork, docError, catalog, nodeDesign, bStartupInput,
                       level);
}

int clsEdiValidate::HandleScript(const std::string& manufId, const xml::Node& catalog,
                                 xml::Node& nodeDesign, bool bStartupInput) {
  WriteLog("Entering HandleScript().");
  int level = 0;
  const std::string path = script_folder_ + manufId + ".js";
  // A MANUFID with a folder in it must not reach a file outside the Validate folder.
  if (!IsSafeFileStem(manufId) || !Env::Default()->Exists(path)) {
    WriteLog("The file '" + path + "'" + "does not exist.");
    return level;
  }

  if (timed_out_.count(manufId)) {
    // Each run costs the whole time limit: once is enough for one load.
    WriteLog("The script of " + manufId +
             " is not run again: it did not finish in time earlier in this load.");
    return level;
  }
  WriteLog("Opening '" + path + "'");
  std::string scriptText, readError;
  if (!Env::Default()->ReadFile(path, &scriptText, &readError)) {
    LogError("Error in HandleScript()", Err::Raise(kErrGeneral, "HandleScript", readError));
    return level;
  }

  // The script gets copies of the catalog and the design, made only when it uses them.
  script::ScriptDocument docCatalog, docDesign, docError;
  docCatalog.text = [&catalog] { return catalog.xml(); };
  docCatalog.eager = true;  // a catalog check nearly always reads its catalog
  docDesign.text = [&nodeDesign] { return nodeDesign.xml(); };

  ResetScriptHost("VBScript", script_timeout_ms_, false);
  WriteLog("Add docCatalog object to ScriptControl and call Validate() function.");
  if (bStartupInput) allow_ui_ = true;
  script::ScriptResult run =
      myScriptCtl.Run(scriptText, docCatalog, docDesign, docError, allow_ui_);
  if (!run.ok) {
    std::string description = run.errorDescription;
    if (run.errorLine > 0) description += " (line " + std::to_string(run.errorLine) + ")";
    LogError("Error in HandleScript() running " + path,
             Err::Raise(run.errorNumber, run.errorSource, description));
    // The status stays as the script control reported it; the failure itself is kept for
    // whoever runs the validation to show.
    script_failures_.push_back(
        manufId + ".js: " + (run.errorSource.empty() ? "" : run.errorSource + ": ") + description);
    if (run.timedOut) timed_out_.insert(manufId);
    return level;
  }

  // A design the script left as it was stays in place; an edited one replaces it.
  xml::Document docWork;
  if (docDesign.changed) {
    if (!docWork.loadXML(docDesign.result)) return level;
  } else if (Module().LogEnabled) {
    docWork.loadXML(nodeDesign.xml());  // only for the diagnostic copy
  }
  xml::Document errors;
  if (docError.changed) errors.loadXML(docError.result);
  return FinishCatalog(manufId, manufId, docWork, errors, catalog, nodeDesign, bStartupInput, level,
                       docDesign.changed);
}

int clsEdiValidate::FinishCatalog(const std::string& checkName, const std::string& manufId,
                                  xml::Document& docWork, xml::Document& docError,
                                  const xml::Node& catalog, xml::Node& nodeDesign,
                                  bool bStartupInput, int level, bool designChanged) {
  WriteLog("Saving " + script_folder_ + checkName + "AfterValidate.xml");
  SaveDiagnostic(docWork, script_folder_, checkName);

  xml::Node error = docError.documentElement();
  if (error && error.nodeName() == "ERROR") {
    level = HandleError(manufId, error, bStartupInput);
    if (!bStartupInput) AttachError(catalog, error);
  } else if (designChanged) {
    ReplaceDesign(nodeDesign, docWork.documentElement());
  }
  WriteLog("Catalog status: " + std::to_string(level));
  return level;
}

int clsEdiValidate::HandleError(const std::string& manufId, const xml::Node& error,
                                bool bStartupInput) {
  WriteLog("Entering HandleError().");
  WriteLog("Get all <ERROR> node sub-elements.");
  std::string code = GetNodeText(error, "CODE");
  std::string description = GetNodeText(error, "DESCRIPTION");
  std::string message = GetNodeText(error, "MESSAGE");
  std::string action = GetNodeText(error, "ACTION");
  WriteLog("The validation script for manuf " + manufId + " returned an error!" + kLineBreak +
           "Code: " + code + kLineBreak + "Description: " + description + kLineBreak +
           "Message: " + message + kLineBreak + "Action: " + action);

  WriteLog("Set the global status. In startup mode, display a message.");
  int level = ActionLevel(action);
  if (level > 0 && bStartupInput && !message.empty()) {
    CurrentDialogs().MsgBox(
        message, MsgButtons::OK,
        level == EDI_VALIDATE_WARNING ? MsgIcon::Exclamation : MsgIcon::Critical, ModuleTitle());
  }
  overall_status_ = std::max(overall_status_, level);
  WriteLog("Adjust the global status value to maximum error level: " +
           std::to_string(overall_status_));
  return level;
}

}  // namespace larkedi
