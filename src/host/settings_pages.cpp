#include "host/settings_pages.h"

#include <optional>
#include <utility>
#include <vector>

#include "platform/folder_paths.h"
#include "platform/process/launch.h"
#include "platform/ui/dialogs.h"
#include "platform/xml/xml.h"
#include "sending/transmission_method.h"
#include "support/log.h"
#include "support/module.h"
#include "support/resx.h"
#include "support/strings.h"
#include "support/xml_helpers.h"

namespace larkedi {

using ui::PageEvent;

namespace {

std::string PartnerXPath(long id) {
  return "SETTINGS/PARTNER[normalize-space(ID)=" + xml::XPathLiteral(std::to_string(id)) + "]";
}

// Runs the style sheet of `key` over `input` with string parameters.
bool Transform(const StyleSheetTable& table, const std::string& key, const std::string& error_text,
               const xml::Node& input,
               const std::vector<std::pair<std::string, std::string>>& params, std::string& html,
               Err& err) {
  xml::Document sheet;
  xml::Template tmpl;
  std::string reason;
  if (!sheet.loadXML(table.Item(key))) {
    reason = sheet.parseErrorReason();
  } else if (!tmpl.setStylesheet(sheet, &reason) && reason.empty()) {
    reason = "The style sheet is not valid XSLT.";
  }
  if (!reason.empty()) {
    err = Err::Raise(kErrComponent, "TransformXmlDoc using " + key, error_text + "\r\n" + reason);
    return false;
  }
  xml::Processor processor(tmpl);
  for (const auto& [name, value] : params) processor.addParameter(name, value);
  processor.setInput(input);
  if (!processor.transform()) {
    err = Err::Raise(kErrComponent, "TransformXmlDoc using " + key, processor.error());
    return false;
  }
  html = processor.output();
  return true;
}

}  // namespace

SettingsPages::SettingsPages(frmEDI& edi, const FramePages& pages,
                             std::function<void()> display_edi)
    : edi_(edi), pages_(pages), display_edi_(std::move(display_edi)) {}

void SettingsPages::Report(const Err& err) {
  if (!err) return;
  LogError(err.Source, err);
  CurrentDialogs().MsgBox(
      ResParam("MSG ErrorOccuredInParam", {err.Source}) + "\r\n" +
          ResParam("MSG ErrorNumberDescription", {std::to_string(err.Number), err.Description}),
      MsgButtons::OK, MsgIcon::Information, ModuleTitle());
}

Err SettingsPages::SaveStackEdits() {
  if (!edi_.Orders.bOrdersChanged) return {};
  Err err = edi_.Orders.SaveOrders();
  if (err) LogError("SaveStackEdits", std::as_const(err));
  return err;
}

void SettingsPages::ResetOrders() {
  edi_.Orders.docOrders = xml::Document();
}

// ---- Views ------------------------------------------------------------------------------

void SettingsPages::ShowSettingsView(const char* key, const char* body_class) {
  edi_.bStackShown = false;
  ShowFrameMessage(pages_, 1, Res("MSG LoadingSettings") + "<BR>");
  if (std::string(key) == "partnerlist" && Module().LogEnabled) {
    edi_.StyleSheets.FillStyleSheets(edi_.Settings.docSettings);
  }
  // A settings file that cannot be used has been reported by the load; the defaults show.
  if (Err err = edi_.Settings.FillSettings(); err && !edi_.Settings.Damaged()) {
    LogError("FillSettings", std::as_const(err));
  }
  std::string html;
  Err err;
  if (Transform(edi_.StyleSheets, key, Res("MSG ErrorLoadingSettingsXSLFile"),
                edi_.Settings.docSettings, {}, html, err)) {
    SetFrameBody(pages_.fDocB, html, body_class);
  } else {
    SetFrameBody(pages_.fDocB, ErrorHtml(Res("MSG ErrorLoadingSettingsXSLFile"), err.Description));
  }
}

void SettingsPages::DisplaySettings() {
  LogScope log_scope("DisplaySettings()");
  ShowSettingsView("settings", "view-settings");
}

void SettingsPages::DisplayPartnerList() {
  LogScope log_scope("DisplayPartnerList().");
  ShowSettingsView("partnerlist", "view-partnerlist");
}

void SettingsPages::DisplayPartner(long id, bool warning) {
  LogScope log_scope("DisplayPartner().");
  edi_.bStackShown = false;
  ShowFrameMessage(pages_, 1, Res("OST LoadingPartnerInfo") + "<BR>");
  SetFrameRowHeight(pages_, 2, 0);
  if (Module().LogEnabled) edi_.StyleSheets.FillStyleSheets(edi_.Settings.docSettings);
  const xml::Document& settings = edi_.Settings.docSettings;
  if (!warning && settings.selectSingleNode(PartnerXPath(id)).isNull()) {
    Report(Err::Raise(kErrGeneral, "DisplayPartner",
                      ResParam("MSG CouldNotFindPartnerWithIDParam", {std::to_string(id)})));
    return;
  }
  std::vector<std::pair<std::string, std::string>> params = {{"whichpartner", std::to_string(id)}};
  if (warning) params.emplace_back("msgwarning", "1");
  std::string html;
  Err err;
  if (!Transform(edi_.StyleSheets, "partner", Res("MSG ErrorLoadingPartnerXSLFile"), settings,
                 params, html, err)) {
    ShowFrameMessage(pages_, 1,
                     "<FONT color=red>" + Res("MSG ErrorLoadingPartnerXSLFile") + "</FONT><BR>" +
                         ui::EscapeHtml(err.Description));
    return;
  }
  SetFrameBody(pages_.fDocB, html, "view-partner");
  const int method = GetNodeInteger(settings, PartnerXPath(id) + "/METHODID");
  bool order_form = false;
  if (edi_.Settings.FindMethod(method, &order_form) && pages_.fDocB) {
    if (ui::HtmlElement button =
            pages_.fDocB->GetElementById("configmethod" + std::to_string(id))) {
      if (order_form) {
        button.setAttribute("disabled", "disabled");
      } else {
        button.removeAttribute("disabled");
      }
    }
  }
}

void SettingsPages::DisplayMethod(long id, long method_id) {
  larkedi::DisplayMethod(std::to_string(id), edi_.Settings.docSettings,
                         method_id > 0 ? std::to_string(method_id) : std::string());
}

// ---- Settings page --------------------------------------------------------------------

Err SettingsPages::EditPartnerList(long, const PageEvent&) {
  DisplayPartnerList();
  return {};
}

Err SettingsPages::ShowSettings(long, const PageEvent&) {
  DisplaySettings();
  return {};
}

Err SettingsPages::SortList(long, const PageEvent&) {
  ui::HtmlElement list =
      pages_.fDocB ? pages_.fDocB->GetElementById("sortlist") : ui::HtmlElement();
  if (!list) return {};
  Report(edi_.Settings.SetSortOrder(list.value()));
  return {};
}

Err SettingsPages::NewCatalog(long, const PageEvent&) {
  std::optional<std::string> name =
      CurrentDialogs().InputBox(Res("MSG NewCatalogName"), Res("MSG NewCatalogAssignment"), "");
  if (!name || Trim(*name).empty()) return {};
  Report(edi_.Settings.CreateCatalog(Trim(*name)));
  DisplaySettings();
  return {};
}

Err SettingsPages::EditCatalog(long n, const PageEvent&) {
  const int id = static_cast<int>(n);
  const std::string current = edi_.Settings.CatalogCode(id);
  std::optional<std::string> name = CurrentDialogs().InputBox(
      Res("MSG NewCatalogName"), Res("MSG NewCatalogAssignment"), current);
  if (name && !Trim(*name).empty() && Trim(*name) != current) {
    // The stack is built from the catalog codes: its edits are written before it goes.
    if (Err err = SaveStackEdits()) {
      Report(err);
      return {};
    }
    bool changed = false;
    Err err = edi_.Settings.EditCatalog(id, Trim(*name), &changed);
    if (changed) ResetOrders();
    Report(err);
  }
  DisplaySettings();
  return {};
}

Err SettingsPages::RemoveCatalog(long n, const PageEvent&) {
  const int id = static_cast<int>(n);
  const std::string code = edi_.Settings.CatalogCode(id);
  if (CurrentDialogs().MsgBox(ResParam("MSG WantToRemoveCatalog", {code}), MsgButtons::YesNo,
                              MsgIcon::Question, Res("MSG RemoveCatalog")) == MsgResult::Yes) {
    if (Err err = SaveStackEdits()) {
      Report(err);
      return {};
    }
    Err err = edi_.Settings.RemoveCatalog(id);
    if (!err || edi_.Settings.CatalogCode(id).empty()) ResetOrders();
    Report(err);
  }
  DisplaySettings();
  return {};
}

Err SettingsPages::PartnerAssign(long n, const PageEvent&) {
  WriteLog("Clicked on \"partnerassign\" combo list for catalog " + std::to_string(n) + ".");
  if (!pages_.fDocB) return {};
  ui::HtmlElement list = pages_.fDocB->GetElementById("partnerassign" + std::to_string(n));
  if (!list) return {};
  WriteLog("Number of items in combo list: " + std::to_string(list.options().size()));
  const std::string chosen = Trim(list.value());
  const std::string current =
      Trim(edi_.Settings.Value("SETTINGS/CATALOG[normalize-space(ID)=" +
                               xml::XPathLiteral(std::to_string(n)) + "]/PARTNERID"));
  if (chosen.empty() || chosen == current) return {};
  if (Err err = SaveStackEdits()) {
    Report(err);
    return {};
  }
  bool changed = false;
  Err err = edi_.Settings.AssignCatalogPartner(static_cast<int>(n), chosen, &changed);
  if (changed) ResetOrders();
  if (err) {
    WriteLog("An error occured when trying to update the catalog/partner assignment.");
    Report(err);
  }
  if (changed) DisplaySettings();
  return {};
}

Err SettingsPages::SetSpoolPath(long, const PageEvent&) {
  SetPath(0);
  return {};
}

Err SettingsPages::SetArchivePath(long, const PageEvent&) {
  SetPath(1);
  return {};
}

void SettingsPages::SetPath(int which) {
  LogScope log_scope("SetPath()");
  const bool archive = which == 1;
  const std::string current =
      edi_.Settings.Value(archive ? "SETTINGS/ARCHIVEPATH" : "SETTINGS/SPOOLPATH");
  const std::string other =
      edi_.Settings.Value(archive ? "SETTINGS/SPOOLPATH" : "SETTINGS/ARCHIVEPATH");
  std::optional<std::string> chosen =
      CurrentDialogs().PickFolder(Res("OST SelectDirectory"), current);
  if (!chosen || chosen->empty()) return;
  if (SameFolder(*chosen, other)) {
    const std::string text = archive ? ResParam("MSG ParamIsSpoolFolder", {*chosen}) + "\r\n" +
                                           Res("MSG SelectDiffFolderForArchiving")
                                     : ResParam("MSG ParamIsArchiveFolder", {*chosen}) + "\r\n" +
                                           Res("MSG SelectDiffFolderForSpooling");
    CurrentDialogs().MsgBox(text, MsgButtons::OK, MsgIcon::Information, ModuleTitle());
    return;
  }
  const bool new_spool = !archive && !SameFolder(*chosen, current);
  // The stack's edits belong to the folder they were loaded from.
  if (new_spool) {
    if (Err err = SaveStackEdits()) {
      Report(err);
      return;
    }
  }
  if (Err err = edi_.Settings.SetFolder(archive, *chosen)) {
    Report(err);
    return;
  }
  if (new_spool) ResetOrders();
  if (pages_.fDocB) {
    if (ui::HtmlElement label =
            pages_.fDocB->GetElementById(archive ? "archivepath" : "spoolpath")) {
      label.setInnerText(*chosen);
    }
  }
}

Err SettingsPages::SaveForm(const std::string& form_id) {
  LogScope log_scope("SaveForm()");
  ui::HtmlElement form = pages_.fDocB ? pages_.fDocB->GetElementById(form_id) : ui::HtmlElement();
  if (!form) {
    return Err::Raise(kErrGeneral, "SaveForm", "There is no form '" + form_id + "' on the page.");
  }
  std::vector<std::pair<std::string, std::string>> inputs;
  for (const ui::HtmlElement& input : form.elements()) {
    if (input.tagName() == "input" && input.type() == "text") {
      inputs.emplace_back(input.id(), input.value());
    }
  }
  return edi_.Settings.SaveForm(LowerAscii(form.id()), inputs);
}

Err SettingsPages::SaveButton(long, const PageEvent& e) {
  std::string form_id = e.form;
  if (form_id.empty() && pages_.fDocB) {
    form_id = pages_.fDocB->GetElementById(e.id).form().id();
  }
  if (Err err = SaveForm(form_id)) {
    LogError("SaveForm", std::as_const(err));
    // The button stays enabled: the changes are still only on the page.
    CurrentDialogs().MsgBox(Res("MSG ProblemSavingForm"), MsgButtons::OK, MsgIcon::Critical,
                            ModuleTitle());
    return {};
  }
  if (pages_.fDocB) {
    if (ui::HtmlElement button = pages_.fDocB->GetElementById("savebutton")) {
      button.setAttribute("disabled", "disabled");
    }
  }
  return {};
}

// ---- Partner list and partner page ----------------------------------------------------

Err SettingsPages::EditPartner(long n, const PageEvent&) {
  PartnerReturnView = 2;
  DisplayPartner(n, false);
  return {};
}

Err SettingsPages::RemovePartner(long n, const PageEvent&) {
  const int id = static_cast<int>(n);
  xml::Node partner = edi_.Settings.docSettings.selectSingleNode(PartnerXPath(id));
  if (partner.isNull()) {
    Report(Err::Raise(kErrGeneral, "RemovePartner",
                      ResParam("MSG CouldNotFindPartnerWithIDParam", {std::to_string(id)})));
    return {};
  }
  if (CurrentDialogs().MsgBox(
          ResParam("MSG SureWantToRemovePartnerParam", {GetNodeText(partner, "NAME")}),
          MsgButtons::YesNo, MsgIcon::Question,
          Res("MSG AreYouSureQuestionMark")) != MsgResult::Yes) {
    return {};
  }
  if (Err err = SaveStackEdits()) {
    Report(err);
    return {};
  }
  Err err = edi_.Settings.RemovePartner(id);
  if (!err) err = edi_.Settings.SaveChanges();
  // The partner's orders are grouped anew by the next order stack view.
  ResetOrders();
  Report(err);
  DisplayPartnerList();
  return {};
}

int SettingsPages::ChosenMethod(long n) {
  if (!pages_.fDocB) return 0;
  ui::HtmlElement list = pages_.fDocB->GetElementById("METHODIDLIST" + std::to_string(n));
  if (!list) return 0;
  const std::vector<ui::HtmlElement> options = list.options();
  for (int index : list.selectedIndexes()) {
    if (index >= 0 && static_cast<std::size_t>(index) < options.size()) {
      return static_cast<int>(GetIdNumber(options[static_cast<std::size_t>(index)].id()));
    }
  }
  return 0;
}

Err SettingsPages::MethodIdList(long n, const PageEvent&) {
  LogScope log_scope("UpdateMethodID().");
  if (!pages_.fDocB) return {};
  if (edi_.Settings.docSettings.selectSingleNode(PartnerXPath(n)).isNull()) {
    WriteLog("Unable to get the method for partner '" + std::to_string(n) + "'.");
    return {};
  }
  // The choice stays on the page until the partner is saved.
  bool order_form = false;
  if (edi_.Settings.FindMethod(ChosenMethod(n), &order_form)) {
    if (ui::HtmlElement button = pages_.fDocB->GetElementById("configmethod" + std::to_string(n))) {
      if (order_form) {
        button.setAttribute("disabled", "disabled");
      } else {
        button.removeAttribute("disabled");
      }
    }
  }
  if (ui::HtmlElement save = pages_.fDocB->GetElementById("savepartner" + std::to_string(n))) {
    save.removeAttribute("disabled");
  }
  return {};
}

Err SettingsPages::ConfigMethod(long n, const PageEvent&) {
  DisplayMethod(n, ChosenMethod(n));
  return {};
}

Err SettingsPages::KitFile(long n, const PageEvent&) {
  if (!pages_.fDocB) return {};
  const std::string id = std::to_string(n);
  ui::HtmlElement box = pages_.fDocB->GetElementById("kitfileid" + id);
  if (ui::HtmlElement label = pages_.fDocB->GetElementById("kitfiletextid" + id)) {
    label.setInnerText(Res(box.checked() ? "LBL Included" : "LBL NotIncluded"));
  }
  return {};
}

Err SettingsPages::NewPartner(long, const PageEvent&) {
  // Back to the partner list when the partner was created there, to the settings from the
  // settings page; another new partner from a partner page returns where that one would.
  if (!pages_.fDocB || !pages_.fDocB->GetElementById("exitpartner")) {
    PartnerReturnView = pages_.fDocB && pages_.fDocB->GetElementById("displaysettings") ? 2 : 1;
  }
  const int id = edi_.Settings.CreateEmptyPartner("", "");
  if (id == 0) {
    Report(Err::Raise(kErrGeneral, "CreateEmptyPartner", "The settings are not loaded."));
    return {};
  }
  DisplayPartner(id, false);
  return {};
}

void SettingsPages::ShowReturnView() {
  switch (PartnerReturnView) {
    case 0:
      if (display_edi_) display_edi_();
      break;
    case 1:
      DisplaySettings();
      break;
    default:
      DisplayPartnerList();
      break;
  }
}

Err SettingsPages::ExitPartner(long, const PageEvent&) {
  if (!edi_.Settings.NewPartners.empty()) {
    edi_.Settings.DropNewPartners();
    if (Err err = SaveStackEdits()) {
      Report(err);
    } else {
      ResetOrders();
    }
  }
  ShowReturnView();
  return {};
}

Err SettingsPages::SavePartner(long n, const PageEvent&) {
  if (!pages_.fDocB) return {};
  const std::string id = std::to_string(n);
  SettingsDocument::PartnerFields fields;
  fields.Name = pages_.fDocB->GetElementById("NAME" + id).value();
  fields.ManufId = pages_.fDocB->GetElementById("MANUFID" + id).value();
  fields.DealerId = pages_.fDocB->GetElementById("DEALERID" + id).value();
  fields.KitFile = pages_.fDocB->GetElementById("KITFILEID" + id).checked();
  fields.MethodId = ChosenMethod(n);
  // The stack is rebuilt with the saved partner: its edits are written first.
  if (Err err = SaveStackEdits()) {
    Report(err);
    return {};
  }
  bool others_pending = false;
  Err err = edi_.Settings.SavePartner(static_cast<int>(n), fields, &others_pending);
  if (err) {
    Report(err);
    return {};
  }
  if (others_pending) {
    DisplayPartner(0, true);
    return {};
  }
  ResetOrders();
  ShowReturnView();
  return {};
}

// ---- Links ------------------------------------------------------------------------------

void SettingsPages::OpenSite(WebSite site) {
  const std::string address = WebSiteAddress(site);
  if (!process::OpenWithAssociatedProgram(address)) {
    WriteLog("Cannot open " + address + " in the web browser.");
  }
}

Err SettingsPages::OpenEdiSite(long, const PageEvent&) {
  OpenSite(WebSite::EdiService);
  return {};
}

Err SettingsPages::OpenDesignSite(long, const PageEvent&) {
  OpenSite(WebSite::Design);
  return {};
}

Err SettingsPages::OpenOrcanet(long, const PageEvent&) {
  OpenSite(WebSite::Orcanet);
  return {};
}

Err SettingsPages::OpenSupport(long, const PageEvent&) {
  OpenSite(WebSite::Support);
  return {};
}

}  // namespace larkedi
