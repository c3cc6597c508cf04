// Partners, catalogs and options edited from the settings and partner pages.
#include <algorithm>
#include <cctype>

#include "platform/folder_paths.h"
#include "platform/ui/dialogs.h"
#include "settings/settings_document.h"
#include "support/log.h"
#include "support/module.h"
#include "support/resx.h"
#include "support/strings.h"
#include "support/xml_helpers.h"
#include "support/xml_text.h"

namespace larkedi {
namespace {

std::string ById(const char* element, int id) {
  return std::string("SETTINGS/") + element +
         "[normalize-space(ID)=" + xml::XPathLiteral(std::to_string(id)) + "]";
}

Err Missing(const char* source, const std::string& what) {
  return Err::Raise(kErrGeneral, source, what);
}

Err PartnerMissing(const char* source, int id) {
  return Missing(source, ResParam("MSG CouldNotFindPartnerWithIDParam", {std::to_string(id)}));
}

// Replaces the text of the element's first child (a CDATA section stays one), or sets the
// element's text when it has no child.
void SetFirstChildText(xml::Node element, const std::string& value) {
  xml::Node first = element.firstChild();
  const std::string safe = xml::XmlSafeText(value);
  if (first &&
      (first.nodeType() == xml::NodeType::CData || first.nodeType() == xml::NodeType::Text)) {
    first.setNodeValue(safe);
  } else {
    element.setText(safe);
  }
}

// A form or input id that can name an element of the settings.
bool IsPlainName(const std::string& name) {
  if (name.empty() || !std::isalpha(static_cast<unsigned char>(name[0]))) return false;
  return std::all_of(name.begin(), name.end(), [](char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '-' || c == '.';
  });
}

std::string UpperAscii(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

}  // namespace

int SettingsDocument::NextPartnerID() const {
  int next = NextID(docSettings.selectNodes("SETTINGS/PARTNER"));
  for (xml::Node catalog : docSettings.selectNodes("SETTINGS/CATALOG")) {
    next = std::max(next, GetNodeInteger(catalog, "PARTNERID") + 1);
  }
  return std::max(next, removed_partner_high_ + 1);
}

Err SettingsDocument::CreateCatalog(const std::string& code, int* id) {
  LogScope log_scope("CreateCatalog().");
  if (id) *id = 0;
  xml::Node settings = docSettings.selectSingleNode("SETTINGS");
  if (settings.isNull()) return Missing("CreateCatalog", "The settings are not loaded.");
  if (Trim(code).empty()) return {};
  const int new_id = NextID(docSettings.selectNodes("SETTINGS/CATALOG"));
  xml::Node catalog = settings.appendChild(docSettings.createElement("CATALOG"));
  AppendTextElement(docSettings, catalog, "ID", std::to_string(new_id));
  AppendCDataElement(docSettings, catalog, "CODE", code);
  AppendTextElement(docSettings, catalog, "PARTNERID", "-2");
  if (id) *id = new_id;
  return SaveChanges();
}

std::string SettingsDocument::CatalogCode(int id) const {
  return GetNodeText(docSettings, ById("CATALOG", id) + "/CODE");
}

Err SettingsDocument::EditCatalog(int id, const std::string& code, bool* changed) {
  LogScope log_scope("EditCatalog().");
  *changed = false;
  xml::Node catalog = docSettings.selectSingleNode(ById("CATALOG", id));
  if (catalog.isNull()) {
    return Missing("EditCatalog", "There is no catalog " + std::to_string(id) + ".");
  }
  xml::Node code_node = catalog.selectSingleNode("CODE");
  if (Trim(code).empty() || (code_node && code_node.text() == code)) return {};
  if (code_node.isNull()) code_node = catalog.appendChild(docSettings.createElement("CODE"));
  code_node.setText(xml::XmlSafeText(code));
  *changed = true;
  return SaveChanges();
}

Err SettingsDocument::RemoveCatalog(int id) {
  LogScope log_scope("RemoveCatalog().");
  xml::Node catalog = docSettings.selectSingleNode(ById("CATALOG", id));
  if (catalog.isNull()) {
    return Missing("RemoveCatalog", "There is no catalog " + std::to_string(id) + ".");
  }
  catalog.parentNode().removeChild(catalog);
  return SaveChanges();
}

Err SettingsDocument::AssignCatalogPartner(int id, const std::string& partner_id, bool* changed) {
  LogScope log_scope("AssignCatalogPartner().");
  *changed = false;
  xml::Node current = docSettings.selectSingleNode(ById("CATALOG", id) + "/PARTNERID");
  if (current.isNull()) {
    WriteLog("Unable to get the partner id assigned to catalog '" + std::to_string(id) + "'.");
    return {};
  }
  WriteLog("Current PartnerId for catalog " + std::to_string(id) + ": " + current.text());
  const std::string value = Trim(partner_id);
  if (value.empty() || value == Trim(current.text())) return {};
  WriteLog("Selection has changed (value: " + value + "), let's save the new partner.");
  current.setText(xml::XmlSafeText(value));
  *changed = true;
  return SaveChanges();
}

Err SettingsDocument::SavePartner(int id, const PartnerFields& fields, bool* others_pending) {
  LogScope log_scope("SavePartner().");
  *others_pending = false;
  xml::Node partner = docSettings.selectSingleNode(ById("PARTNER", id));
  if (partner.isNull()) {
    CurrentDialogs().MsgBox(Res("MSG CannotSavePartner"), MsgButtons::OK, MsgIcon::Critical,
                            ModuleTitle());
  } else {
    auto set = [&](const char* name, const std::string& value, bool cdata) {
      xml::Node node = partner.selectSingleNode(name);
      if (node.isNull()) {
        if (cdata) {
          AppendCDataElement(docSettings, partner, name, value);
        } else {
          AppendTextElement(docSettings, partner, name, value);
        }
      } else {
        SetFirstChildText(node, value);
      }
    };
    set("NAME", fields.Name, true);
    set("MANUFID", fields.ManufId, true);
    set("DEALERID", fields.DealerId, true);
    set("KITFILEID", fields.KitFile ? "1" : "0", false);
    if (fields.MethodId > 0) set("METHODID", std::to_string(fields.MethodId), false);
  }
  NewPartners.erase(std::remove(NewPartners.begin(), NewPartners.end(), id), NewPartners.end());
  if (NewPartners.empty()) return SaveChanges();
  *others_pending = true;
  return SaveWithoutPartners(NewPartners);
}

Err SettingsDocument::SaveSinglePartnerInXML(int id) {
  LogScope log_scope("SaveSinglePartnerInXML().");
  NewPartners.erase(std::remove(NewPartners.begin(), NewPartners.end(), id), NewPartners.end());
  return SaveWithoutPartners(NewPartners);
}

Err SettingsDocument::SaveWithoutPartners(const std::vector<int>& ids) {
  if (damaged_) return damaged_;
  // The unsaved partners are left out of a copy, so docSettings keeps them as they are.
  xml::Document copy;
  if (!copy.loadXML(docSettings.xml())) {
    return Err::Raise(kErrComponent, "SaveSinglePartnerInXML", copy.parseErrorReason());
  }
  for (int other : ids) {
    for (xml::Node p : copy.selectNodes(ById("PARTNER", other))) p.parentNode().removeChild(p);
  }
  return larkedi::SaveSettingsXML(copy.xml());
}

Err SettingsDocument::RemovePartner(int id) {
  LogScope log_scope("RemovePartner().");
  xml::Node partner = docSettings.selectSingleNode(ById("PARTNER", id));
  if (partner.isNull()) return PartnerMissing("RemovePartner", id);
  partner.parentNode().removeChild(partner);
  removed_partner_high_ = std::max(removed_partner_high_, id);
  NewPartners.erase(std::remove(NewPartners.begin(), NewPartners.end(), id), NewPartners.end());
  return {};
}

void SettingsDocument::DropNewPartners() {
  const std::vector<int> pending = NewPartners;
  for (int id : pending) RemovePartner(id);
  NewPartners.clear();
}

bool SettingsDocument::FindMethod(int method_id, bool* order_form) const {
  xml::Node method = docSettings.selectSingleNode(ById("METHOD", method_id));
  if (order_form) *order_form = false;
  if (method.isNull()) return false;
  if (order_form) *order_form = EqualsNoCaseAscii(Trim(GetNodeText(method, "OBJECTNAME")), "ORDR");
  return true;
}

Err SettingsDocument::SetFolder(bool archive, const std::string& folder) {
  const char* mine = archive ? "SETTINGS/ARCHIVEPATH" : "SETTINGS/SPOOLPATH";
  const char* other = archive ? "SETTINGS/SPOOLPATH" : "SETTINGS/ARCHIVEPATH";
  if (Trim(folder).empty()) return Missing("SetPath", "No folder was given.");
  if (SameFolder(folder, Value(other))) {
    return Missing("SetPath",
                   folder + (archive ? " is the spool folder." : " is the archive folder."));
  }
  xml::Node node = docSettings.selectSingleNode(mine);
  xml::Node settings = docSettings.selectSingleNode("SETTINGS");
  if (settings.isNull()) return Missing("SetPath", "The settings are not loaded.");
  if (node.isNull()) {
    AppendCDataElement(docSettings, settings, archive ? "ARCHIVEPATH" : "SPOOLPATH", folder);
  } else {
    SetFirstChildText(node, folder);
  }
  return SaveChanges();
}

Err SettingsDocument::SetSortOrder(const std::string& code) {
  xml::Node settings = docSettings.selectSingleNode("SETTINGS");
  if (settings.isNull()) return Missing("sortlist", "The settings are not loaded.");
  xml::Node node = docSettings.selectSingleNode("SETTINGS/SORTORDER");
  if (node && node.text() == code) return {};
  if (node.isNull()) {
    AppendCDataElement(docSettings, settings, "SORTORDER", code);
  } else {
    SetFirstChildText(node, code);
  }
  return SaveChanges();
}

Err SettingsDocument::SaveForm(const std::string& form_id,
                               const std::vector<std::pair<std::string, std::string>>& inputs) {
  LogScope log_scope("SaveForm");
  xml::Node settings = docSettings.selectSingleNode("SETTINGS");
  if (settings.isNull()) return Missing("SaveForm", "The settings are not loaded.");
  if (!IsPlainName(form_id)) return Missing("SaveForm", "The form has no usable id.");
  for (const auto& [input_id, value] : inputs) {
    if (!IsPlainName(input_id)) {
      return Missing("SaveForm", "The field '" + input_id + "' has no usable id.");
    }
  }
  const std::string element = UpperAscii(form_id);
  xml::Node form = settings.selectSingleNode(element);
  if (form.isNull()) form = settings.appendChild(docSettings.createElement(element));
  for (const auto& [input_id, value] : inputs) {
    const std::string child_name = UpperAscii(input_id);
    xml::Node child = form.selectSingleNode(child_name);
    if (child.isNull()) child = form.appendChild(docSettings.createElement(child_name));
    child.setText(xml::XmlSafeText(value));
  }
  return SaveChanges();
}

}  // namespace larkedi
