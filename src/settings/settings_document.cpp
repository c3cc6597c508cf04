// The settings document: loading and completing it, numbering, saving.
#include <algorithm>

#include "settings/settings_document.h"

#include "platform/env.h"
#include "platform/folder_paths.h"
#include "platform/ui/dialogs.h"
#include "settings/settings_sources.h"
#include "support/log.h"
#include "support/module.h"
#include "support/resx.h"
#include "support/xml_helpers.h"
#include "support/xml_text.h"

namespace larkedi {

std::string SettingsPath() {
  return ModulePath(ModuleName() + ".xml");
}

namespace {

void LogErrorNumberSourceDescription(Err err) {
  std::string message = ResParam("MSG ErrorNumberSourceDescription",
                                 {std::to_string(err.Number), err.Source, err.Description});
  LogError(message, err);
}

void AppendMethod(xml::Document& doc, xml::Node settings, int id, const LegacyMethod& method) {
  xml::Node m = settings.appendChild(doc.createElement("METHOD"));
  m.setAttribute("legacy", "1");
  m.setAttribute("dontsave", "1");
  AppendTextElement(doc, m, "ID", std::to_string(id));
  AppendCDataElement(doc, m, "NAME", method.name);
  AppendCDataElement(doc, m, "OBJECTNAME", method.object_name);
  AppendCDataElement(doc, m, "EXEPATH", method.exe_path);
}

}  // namespace

int SettingsDocument::NextID(const xml::NodeList& nodes) const {
  int highest = 0;
  for (xml::Node n : nodes) highest = std::max(highest, GetNodeInteger(n, "ID"));
  return highest + 1;
}

void SettingsDocument::AddNewPartner(int id) {
  if (std::find(NewPartners.begin(), NewPartners.end(), id) == NewPartners.end()) {
    NewPartners.push_back(id);
  }
}

int SettingsDocument::AppendPartner(bool free_edi, const std::string& code, const std::string& name,
                                    const std::string& manufacturer_id,
                                    const std::string& dealer_id) {
  xml::Node settings = docSettings.selectSingleNode("SETTINGS");
  if (settings.isNull()) return 0;
  int id = NextPartnerID();
  AddNewPartner(id);
  std::string sid = std::to_string(id);
  xml::Node p = settings.appendChild(docSettings.createElement("PARTNER"));
  if (free_edi) p.setAttribute("freeedi", "1");
  AppendTextElement(docSettings, p, "ID", sid);
  AppendCDataElement(docSettings, p, "CODE", code.empty() ? Res("LBL Partner") + " " + sid : code);
  AppendCDataElement(
      docSettings, p, "NAME",
      name.empty() && !free_edi ? Res("LBL Partner") + " " + sid + " " + Res("LBL Name") : name);
  AppendCDataElement(docSettings, p, "MANUFID", manufacturer_id);
  AppendCDataElement(docSettings, p, "DEALERID", dealer_id);
  AppendTextElement(docSettings, p, "METHODID", "1");
  AppendTextElement(docSettings, p, "KITFILEID", "0");
  return id;
}

int SettingsDocument::CreateEmptyPartner(const std::string& code, const std::string& name) {
  LogScope log_scope("CreateEmptyPartner().");
  return AppendPartner(false, code, name, "MANUF", "DEALER");
}

int SettingsDocument::CreateFreeEDIPartner(const std::string& manufacturer_id,
                                           const std::string& name) {
  LogScope log_scope("CreateFreeEDIPartner().");
  return AppendPartner(true, "", name, manufacturer_id, "");
}

bool SettingsDocument::IsFreeEdiPartner(int partner_id) const {
  xml::Node p =
      docSettings.selectSingleNode("SETTINGS/PARTNER[ID='" + std::to_string(partner_id) + "']");
  bool value = false;
  return GetAttributeBoolean(p, "", "freeedi", value) && value;
}

Err SettingsDocument::FillSettings() {
  LogScope log_scope("FillSettings");
  CreateDomDocument(docSettings);
  // Partners not yet saved lived only in the document being replaced.
  NewPartners.clear();
  bool changed = false;

  const std::string path = SettingsPath();
  WriteLog("Loading " + path);
  damaged_.Clear();
  if (!docSettings.load(path)) {
    std::string description = Res("MSG CannotLoadXML") + "\r\n" +
                              ResParam("MSG FileNameParam", {path}) + "\r\n" +
                              ResParam("MSG ReasonParam", {docSettings.parseErrorReason()});
    Err err = Err::Raise(kErrComponent, "frmEDI.FillSettings", description);
    LogErrorNumberSourceDescription(err);
    if (Env::Default()->Exists(path)) {
      // A settings file with one typo holds every partner and folder of the dealer: it is
      // never replaced by the defaults behind the user's back. The defaults serve in memory
      // until the user saves the settings.
      damaged_ = Err::Raise(kErrComponent, "FillSettings",
                            path + " does not parse (" + docSettings.parseErrorReason() +
                                "); it is kept as it is and the defaults are used until the "
                                "settings are saved");
      CurrentDialogs().MsgBox(description, MsgButtons::OK, MsgIcon::Exclamation, ModuleTitle());
    }
    CreateDomDocument(docSettings);
  }

  WriteLog("Verify if SETTINGS node already exists.");
  xml::Node settings = docSettings.selectSingleNode("SETTINGS");
  if (settings.isNull()) {
    WriteLog("Create default entry for xml connector method.");
    // A loaded document with another root is replaced: the settings root is required.
    CreateDomDocument(docSettings);
    settings = docSettings.appendChild(docSettings.createElement("SETTINGS"));
    xml::Node m = settings.appendChild(docSettings.createElement("METHOD"));
    AppendTextElement(docSettings, m, "ID", "1");
    AppendCDataElement(docSettings, m, "NAME", "Orca XML Connector");
    AppendCDataElement(docSettings, m, "OBJECTNAME", "ConnectMethodOrca");
    changed = true;
  }

  if (!bWebServiceDone) {
    WriteLog("Getting the list of partners from a Web Service.");
    std::vector<Manufacturer> manufacturers;
    if (GetFreeEdiManufacturers(&manufacturers)) {
      for (const auto& m : manufacturers) {
        std::string xpath =
            "SETTINGS/PARTNER[@freeedi='1' and MANUFID=" + xml::XPathLiteral(m.id) + "]";
        if (!NodeExists(xpath, docSettings)) CreateFreeEDIPartner(m.id, m.name);
      }
      changed = true;
    }
    // The manufacturers' partners are saved with the settings below: they are not new
    // partners of the page, whose next save would leave them out of the file.
    NewPartners.clear();
    bWebServiceDone = true;
  }

  int next_method = NextID(docSettings.selectNodes("SETTINGS/METHOD"));

  WriteLog("Getting from the registry the list of legacy EDI modules 1.0.");
  for (const LegacyMethod& method : ReadLegacyEdiModules()) {
    WriteLog("Adding legacy transmission method: " + method.name);
    AppendMethod(docSettings, settings, next_method++, method);
  }
  WriteLog("Getting from the registry the list of Order Forms.");
  for (const LegacyMethod& method : ReadOrderFormModules()) {
    WriteLog("Adding legacy transmission method: " + method.name);
    AppendMethod(docSettings, settings, next_method++, method);
  }

  WriteLog("Create SETTINGS/SPOOLPATH node, if not exist.");
  if (!NodeExists("SETTINGS/SPOOLPATH", docSettings)) {
    AppendCDataElement(docSettings, settings, "SPOOLPATH", ModulePath("Send"));
    changed = true;
  }
  WriteLog("Create SETTINGS/ARCHIVEPATH node, if not exist.");
  if (!NodeExists("SETTINGS/ARCHIVEPATH", docSettings)) {
    AppendCDataElement(docSettings, settings, "ARCHIVEPATH", ModulePath("Archive"));
    changed = true;
  }
  xml::Node archive = docSettings.selectSingleNode("SETTINGS/ARCHIVEPATH");
  std::string spool_text = GetNodeText(docSettings, "SETTINGS/SPOOLPATH");
  // One folder however written (trailing '/', "..", a link): archiving it would pack and
  // delete the stacked designs.
  if (SameFolder(archive.text(), spool_text)) archive.setText(JoinPath(spool_text, "Archive"));

  WriteLog("Create SETTINGS/TRANSFORMATION node, if not exist.");
  if (!NodeExists("SETTINGS/TRANSFORMATION", docSettings)) {
    AppendCDataElement(docSettings, settings, "TRANSFORMATION", "CatalogToEDI.xsl");
    changed = true;
  }
  WriteLog("Create SETTINGS/SORTORDER node, if not exist.");
  if (!NodeExists("SETTINGS/SORTORDER", docSettings)) {
    AppendCDataElement(docSettings, settings, "SORTORDER", "NS");
    changed = true;
  }

  if (damaged_) return damaged_;
  if (changed) {
    WriteLog("Settings has changed. Call SaveSettingsXML.");
    return SaveSettingsXML();
  }
  return {};
}

Err SettingsDocument::SaveSettingsXML() {
  Err err = larkedi::SaveSettingsXML(docSettings.xml());
  if (!err) damaged_.Clear();
  return err;
}

Err SettingsDocument::SaveChanges() {
  if (damaged_) return damaged_;
  return SaveSettingsXML();
}

std::string SettingsDocument::Value(const std::string& xpath) const {
  return GetNodeText(docSettings, xpath);
}

Err SaveSettingsXML(const std::string& text) {
  xml::Document doc;
  WriteLog("Loading Settings xml string.");
  if (!doc.loadXML(text)) {
    std::string description =
        Res("MSG CannotLoadXML") + "\r\n" + ResParam("MSG ReasonParam", {doc.parseErrorReason()});
    Err err = Err::Raise(kErrGeneral, "ModMain", description);
    LogErrorNumberSourceDescription(err);
    return err;
  }
  for (const char* xpath : {"//METHOD[@dontsave='1']", "//PARTNER[@dontsave='1']"}) {
    for (xml::Node n : doc.selectNodes(xpath)) n.parentNode().removeChild(n);
  }
  std::string out = doc.xml();
  // The document text ends with CR LF; SaveXmlText adds its own.
  while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
  const std::string path = SettingsPath();
  Env* env = Env::Default();
  Err err;
  // A file that does not parse is kept beside the new one, once, so the partners it holds
  // can still be recovered by hand.
  if (xml::Document old; env->Exists(path) && !old.load(path)) {
    const std::string bad = path + ".bad";
    std::string bytes, reason;
    if (!env->Exists(bad) &&
        (!env->ReadFile(path, &bytes, &reason) || !env->WriteFileAtomic(bad, bytes, &reason))) {
      err = Err::Raise(kErrFileAccess, "SaveSettingsXML",
                       "cannot keep the unreadable settings as " + bad + ": " + reason);
      LogError("SaveSettingsXML", static_cast<const Err&>(err));
      return err;
    }
  }
  if (!SaveXmlText(out, path, &err)) {  // logged there
    err.Description = "cannot write " + path + ": " + err.Description;
    return err;
  }
  return {};
}

}  // namespace larkedi
