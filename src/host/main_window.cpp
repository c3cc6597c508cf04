#include "host/main_window.h"

#include <cstdlib>
#include <filesystem>
#include <utility>

#include "platform/ui/dialogs.h"
#include "presentation/render.h"
#include "support/log.h"
#include "support/module.h"
#include "support/resx.h"
#include "support/strings.h"
#include "support/xml_helpers.h"

namespace larkedi {

using ui::EventKind;
using ui::PageEvent;

// One row of the page's event table: the frame the event comes from, its kind, the action
// name of the source element's id, the operation, and whether a click lets the element's
// own action run (the check boxes keep their new state).
struct MainWindow::Action {
  const char* frame;
  EventKind kind;
  const char* name;
  Err (MainWindow::*handler)(long n, const PageEvent& e);
  bool keep_default;
};

const std::vector<MainWindow::Action>& MainWindow::Actions() {
  static const std::vector<Action> actions = {
      {"fDocB", EventKind::Click, "ordercheck", &MainWindow::OrderCheck, true},
      {"fDocB", EventKind::Click, "ordermode", &MainWindow::OrderMode, true},
      {"fDocB", EventKind::Click, "orderdetailslink", &MainWindow::OrderDetails, false},
      {"fDocB", EventKind::Click, "orderremovelink", &MainWindow::OrderRemove, false},
      {"fDocB", EventKind::Click, "cancelbutton", &MainWindow::CancelButton, false},
      // A value typed, pasted or chosen with the keyboard is an edit alike.
      {"fDocB", EventKind::KeyUp, "ponumber", &MainWindow::OrderField, false},
      {"fDocB", EventKind::KeyUp, "pocomment", &MainWindow::OrderField, false},
      {"fDocB", EventKind::KeyUp, "contactname", &MainWindow::OrderField, false},
      {"fDocB", EventKind::Input, "ponumber", &MainWindow::OrderField, false},
      {"fDocB", EventKind::Input, "pocomment", &MainWindow::OrderField, false},
      {"fDocB", EventKind::Input, "contactname", &MainWindow::OrderField, false},
      {"fDocC", EventKind::Click, "lmenureturn", &MainWindow::MenuReturn, false},
      {"fDocC", EventKind::Click, "lmenuprint", &MainWindow::MenuPrint, false},
      {"window", EventKind::Click, "tool", &MainWindow::MenuTool, false},
      // Attached files: the page names the file to remove by its lower-cased name in "type".
      {"fDocB", EventKind::Click, "attachfile", &MainWindow::AttachFile, false},
      {"fDocB", EventKind::Click, "remattachfile", &MainWindow::RemoveAttachedFile, false},
      // Sending
      {"fDocC", EventKind::Click, "sendorders", &MainWindow::SendOrdersButton, false},
      // Order status views
      {"fDocB", EventKind::Click, "statusbutton", &MainWindow::StatusButton, false},
      {"fDocB", EventKind::Click, "statuslist", &MainWindow::StatusListButton, false},
      {"fDocB", EventKind::Click, "statusprevmonth", &MainWindow::StatusMonthStep, false},
      {"fDocB", EventKind::Click, "statusnextmonth", &MainWindow::StatusMonthStep, false},
      {"fDocB", EventKind::Click, "statuspage", &MainWindow::StatusPage, false},
      {"fDocB", EventKind::Click, "statusorder", &MainWindow::StatusOrder, false},
      {"fDocB", EventKind::Click, "statussort", &MainWindow::StatusSort, false},
      {"fDocC", EventKind::Click, "lmenubacktopage", &MainWindow::StatusBackToPage, false},
      // Settings, partner list and partner pages; the links; the bottom strip.
      {"fDocB", EventKind::Click, "editpartnerlist", &MainWindow::EditPartnerList, false},
      {"fDocB", EventKind::Change, "sortlist", &MainWindow::SortList, false},
      {"fDocB", EventKind::Click, "newcatalog", &MainWindow::NewCatalog, false},
      {"fDocB", EventKind::Click, "editcatalog", &MainWindow::EditCatalog, false},
      {"fDocB", EventKind::Click, "removecatalog", &MainWindow::RemoveCatalog, false},
      // A list's choice is made when it changes (a click only opens it).
      {"fDocB", EventKind::Change, "partnerassign", &MainWindow::PartnerAssign, false},
      {"fDocB", EventKind::Click, "editpartner", &MainWindow::EditPartner, false},
      {"fDocB", EventKind::Click, "removepartner", &MainWindow::RemovePartner, false},
      {"fDocB", EventKind::Change, "methodidlist", &MainWindow::MethodIdList, false},
      {"fDocB", EventKind::Click, "configmethod", &MainWindow::ConfigMethod, false},
      {"fDocB", EventKind::Click, "newpartner", &MainWindow::NewPartner, false},
      {"fDocB", EventKind::Click, "exitpartner", &MainWindow::ExitPartner, false},
      {"fDocB", EventKind::Click, "savepartner", &MainWindow::SavePartner, false},
      {"fDocB", EventKind::Click, "displaysettings", &MainWindow::ShowSettings, false},
      {"fDocB", EventKind::Click, "kitfileid", &MainWindow::KitFile, true},
      {"fDocB", EventKind::Click, "setspoolpathbutton", &MainWindow::SetSpoolPath, false},
      {"fDocB", EventKind::Click, "setarchivepathbutton", &MainWindow::SetArchivePath, false},
      {"fDocB", EventKind::Click, "savebutton", &MainWindow::SaveButton, false},
      {"fDocB", EventKind::Click, "idorcaedisite", &MainWindow::OpenEdiSite, false},
      {"fDocB", EventKind::Click, "idorcadesignsite", &MainWindow::OpenDesignSite, false},
      {"fDocB", EventKind::Click, "urloxnet", &MainWindow::OpenOrcanet, false},
      {"fDocB", EventKind::Click, "urlpaysupport", &MainWindow::OpenSupport, false},
      {"fDocC", EventKind::Click, "sendmailsupport", &MainWindow::SendMailSupport, true},
  };
  return actions;
}

namespace {

constexpr const char* kToolCaptions[] = {"MNU Home",     "MNU Orders", "MNU Status", "MNU Partners",
                                         "MNU Settings", "MNU Help",   "MNU Close"};

xml::Node FindGroupNode(const xml::Document& doc, long n) {
  return doc.selectSingleNode(
      "/Orders/Design/ORDERGROUP[ID=" + xml::XPathLiteral(std::to_string(n)) + "]");
}

}  // namespace

MainWindow::MainWindow(frmEDI& edi, WindowSurface& surface) : edi_(edi), surface_(surface) {
  pages_.fDocA = surface_.Frame("fDocA");
  pages_.fDocB = surface_.Frame("fDocB");
  pages_.fDocC = surface_.Frame("fDocC");
  pages_.window = &surface_.WindowModel();
  edi_.View = this;
  shell_.OpenPage = [this](const std::string& relative) { surface_.OpenPage(relative); };
}

MainWindow::~MainWindow() {
  if (edi_.View == this) edi_.View = nullptr;
}

std::chrono::milliseconds MainWindow::SpoolInterval() {
  if (const char* text = std::getenv("LARKEDI_SPOOL_TIMER_MS")) {
    const long ms = std::atol(text);
    if (ms > 0) return std::chrono::milliseconds(ms);
  }
  return std::chrono::milliseconds(60000);
}

bool MainWindow::Form_Load() {
  WriteLog("Entering Form Load");
  pages_.html_address = surface_.HtmlAddress();  // the server listens by now
  // The window's first load also asks the partner web service for free-EDI manufacturers.
  if (Err err = edi_.Settings.FillSettings()) LogError("Form_Load", std::as_const(err));
  if (!Trim(StartupInput).empty()) {
    int status = 0;
    if (!edi_.Orders.TakeInStartupInput(StartupInput, status)) {
      edi_.Orders.docInput = xml::Document();
      edi_.Orders.docOrders = xml::Document();
      edi_.LoadFailed = true;
      return false;
    }
  }
  edi_.StyleSheets.FillStyleSheets(edi_.Settings.docSettings);
  edi_.bStackShown = true;
  WriteLog("setting menu");
  if (ui::HtmlElement title = surface_.WindowModel().GetElementById("title")) {
    title.setInnerText(Res("FRM EDI"));
  }
  BuildMenu();
  if (ui::HtmlElement set = surface_.WindowModel().GetElementById("frameset")) {
    if (set.getAttribute("rows").empty()) set.setAttribute("rows", "36,*,0");
  }
  edi_.Orders.docOrders = xml::Document();
  timer_enabled_ = true;
  shell_.RestoreSize();
  WriteLog("Set the Form Controls Font, if necessary.");
  shell_.SetFormFonts(surface_.WindowModel());
  WriteLog("Exiting Form Load");
  return true;
}

void MainWindow::BuildMenu() {
  std::string html;
  for (int i = 0; i < 7; ++i) {
    html += "<button type=\"button\" id=\"tool" + std::to_string(i + 1) + "\"";
    if (i == active_tool_) html += " class=\"current\" aria-current=\"true\"";
    if (!tools_enabled_[i]) html += " disabled=\"disabled\"";
    html += ">" + ui::EscapeHtml(Res(kToolCaptions[i])) + "</button>";
  }
  if (ui::HtmlElement bar = surface_.WindowModel().GetElementById("menubar")) {
    if (bar.innerHTML() != html) bar.setInnerHTML(html);
  }
}

void MainWindow::SetActiveTool(int index) {
  active_tool_ = index;
  BuildMenu();
}

void MainWindow::ShowFirstPage() {
  WriteLog("Entering WB_DocumentComplete");
  SetFrameRowHeight(pages_, 0, 0);
  switch (StartValue) {
    case 1:
      SetActiveTool(1);
      NavigateTo(2);
      break;
    case 3:
      NavigateTo(3);
      SetActiveTool(2);
      break;
    case 5:
      tools_enabled_[0] = tools_enabled_[1] = tools_enabled_[2] = false;
      SetActiveTool(4);
      NavigateTo(5);
      break;
    default:
      SetActiveTool(0);
      NavigateTo(1);
      break;
  }
  WriteLog("Exiting WB_DocumentComplete");
}

void MainWindow::ShowView(const std::string& key, const std::string& error_key) {
  std::string html;
  Err err;
  xml::Document status_copy;
  xml::Node input = edi_.Settings.docSettings;
  if (key == "Status") {
    status_copy = StatusSettingsCopy(edi_.Settings.docSettings);
    input = status_copy;
  }
  if (edi_.StyleSheets.TransformXmlDoc(input, key, Res(error_key), "", "", html, err)) {
    SetFrameBody(pages_.fDocB, html, "view-" + LowerAscii(key));
  } else {
    SetFrameBody(pages_.fDocB, ErrorHtml(Res(error_key), err.Description));
  }
}

void MainWindow::ShowSettingsView() {
  SetActiveTool(4);
  SetFrameRowHeight(pages_, 2, 0);
  ShowView("settings", "MSG ErrorLoadingSettingsXSLFile");
}

void MainWindow::NavigateTo(int command) {
  if (command != 7) SwitchBrowser(1);
  status_.CancelLoad();
  if (command != 2) edi_.bNavigating = true;
  enabled_ = false;
  edi_.bStackShown = false;
  if (Module().LogEnabled) edi_.StyleSheets.FillStyleSheets(edi_.Settings.docSettings);
  Err err;
  switch (command) {
    case 1:
      edi_.Orders.docOrders = xml::Document();
      if (!LoadPage(pages_, 1, "home.htm", edi_.Settings.docSettings, err)) ShowError(err);
      break;
    case 2:
      DisplayEDI(false);
      break;
    case 3:
      status_.DisplayStatus();
      break;
    case 4:
      SetFrameRowHeight(pages_, 2, 0);
      settings_pages_.DisplayPartnerList();
      break;
    case 5:
      SetFrameRowHeight(pages_, 2, 0);
      settings_pages_.DisplaySettings();
      break;
    case 6:
      shell_.DisplayHelp();
      break;
    case 7:
      edi_.bNavigating = false;
      enabled_ = true;
      surface_.RequestClose();
      return;
    default:
      break;
  }
  edi_.bNavigating = false;
  enabled_ = true;
}

void MainWindow::DisplayEDI(bool bShowDialog) {
  WriteLog("Entering DisplayEDI");
  timer_enabled_ = false;
  SetFrameBody(pages_.fDocB, Res("OST LoadingOrders") + "<BR>");
  if (edi_.Orders.docOrders.selectSingleNode("/*").isNull()) {
    if (edi_.Orders.LoadOrders(bShowDialog, StartupInput)) return;  // the settings are shown
    if (const Err& status = edi_.Orders.LoadStatus) {
      SetFrameBody(pages_.fDocB, ErrorHtml(Res("OST LoadingOrders"), status.Description));
      DisplayTotals(pages_, edi_.StyleSheets, edi_.Orders.docOrders);
      timer_enabled_ = true;
      return;
    }
  }
  ShowOrderStack(pages_, edi_.StyleSheets, edi_.Orders.docOrders);
  edi_.bStackShown = true;
  timer_enabled_ = true;
  WriteLog("Exiting DisplayEDI");
}

void MainWindow::SpoolTimerTick() {
  if (!timer_enabled_) return;
  if (edi_.Orders.IsSpoolerChanged()) {
    // The rebuild reads the stack from the folder: edits not yet saved are written first,
    // and a stack that cannot be saved is kept as it is (the next tick tries again).
    if (edi_.Orders.bOrdersChanged) {
      if (Err err = edi_.Orders.SaveOrders()) {
        LogError("SpoolTimer", std::as_const(err));
        return;
      }
    }
    edi_.Orders.docOrders = xml::Document();
    if (edi_.bStackShown) DisplayEDI(false);
  }
}

Err MainWindow::Form_Unload() {
  if (unloaded_) return {};
  unloaded_ = true;
  WriteLog("Entering Form_Unload().");
  timer_enabled_ = false;
  Err result;
  if (edi_.Orders.bOrdersChanged) {
    result = edi_.Orders.SaveOrders();
    if (result) LogError("Form_Unload", std::as_const(result));
  }
  shell_.SaveSize();
  WriteLog("Form_Unload - Settings saved.");
  if (Finished) Finished();
  return result;
}

void MainWindow::ShowError(const Err& err) {
  std::string text = ResParam("MSG ErrorNumberSourceDescription",
                              {std::to_string(err.Number), err.Source, err.Description});
  // The error must reach the dealer even when the resource text cannot be formatted.
  if (text.find(err.Source) == std::string::npos) {
    text = "Error " + std::to_string(err.Number) + " (" + err.Source + "): " + err.Description;
  }
  SetFrameBody(pages_.fDocB, "<FONT color=red>" + ui::EscapeHtml(text) + "</FONT>");
}

bool MainWindow::HandleEvent(const PageEvent& e) {
  if (e.kind == EventKind::ContextMenu) return false;
  if (e.kind == EventKind::Geometry) {
    shell_.PageMoved(e.geometry);
    return false;
  }
  if (e.kind == EventKind::KeyUp && e.ctrl && e.alt && LowerAscii(e.key) == "v") {
    if (Module().LogEnabled) shell_.ShowPageSource(pages_);
    return false;
  }
  if (e.kind == EventKind::KeyDown) return e.key != "F5";
  if (e.kind == EventKind::KeyUp && e.key == "F1") {
    NavigateTo(6);
    return false;
  }
  if (e.kind == EventKind::Error) {
    CurrentDialogs().MsgBox(ResParam("MSG AnErrorOccured", {e.message}), MsgButtons::OK,
                            MsgIcon::Information, ModuleTitle());
    return false;
  }
  if (e.kind == EventKind::KeyUp && e.frame == "fDocB" && e.type == "text" && pages_.fDocB) {
    for (const char* id : {"savebutton", "savepartner"}) {
      ui::HtmlElement button = pages_.fDocB->GetElementById(id);
      if (button && button.hasAttribute("disabled")) button.removeAttribute("disabled");
    }
  }
  const std::string name = GetIdName(e.id);
  const Action* found = nullptr;
  for (const Action& action : Actions()) {
    if (action.kind == e.kind && e.frame == action.frame && name == action.name) {
      found = &action;
      break;
    }
  }
  if (!found) return false;

  // The window takes no input and the spool folder is not watched while the operation
  // runs; both come back whatever the operation did.
  const bool timer_was = timer_enabled_;
  timer_enabled_ = false;
  enabled_ = false;
  Err err = (this->*found->handler)(GetIdNumber(e.id), e);
  if (err) {
    ShowError(err);
    LogError("page event " + e.id, std::as_const(err));
  }
  enabled_ = true;
  timer_enabled_ = timer_was || timer_enabled_;
  return found->keep_default;
}

Err MainWindow::OrderCheck(long n, const PageEvent&) {
  ui::HtmlElement box = pages_.fDocB->GetElementById("ordercheck" + std::to_string(n));
  if (!FindGroupNode(edi_.Orders.docOrders, n).isNull()) {
    if (Err err = edi_.Orders.SetGroupField(n, OrderStack::GroupField::SendIt,
                                            box.checked() ? "1" : "0")) {
      return err;
    }
  }
  DisplayTotals(pages_, edi_.StyleSheets, edi_.Orders.docOrders);
  return {};
}

Err MainWindow::OrderMode(long n, const PageEvent&) {
  ui::HtmlElement box = pages_.fDocB->GetElementById("ordermode" + std::to_string(n));
  xml::Node group = FindGroupNode(edi_.Orders.docOrders, n);
  if (group.isNull()) return {};
  xml::Node rfq = group.selectSingleNode("RFQ");
  if (rfq.isNull()) rfq = group.appendChild(edi_.Orders.docOrders.createElement("RFQ"));
  rfq.setText(box.checked() ? "1" : "0");
  edi_.Orders.MarkChanged(group.parentNode());
  return {};
}

Err MainWindow::OrderField(long n, const PageEvent& e) {
  const std::string name = GetIdName(e.id);
  const OrderStack::GroupField field = name == "ponumber"    ? OrderStack::GroupField::PONumber
                                       : name == "pocomment" ? OrderStack::GroupField::Comment
                                                             : OrderStack::GroupField::ContactName;
  const std::string element = name == "ponumber"    ? "PONUMBER"
                              : name == "pocomment" ? "COMMENT"
                                                    : "CONTACTNAME";
  xml::Node group = FindGroupNode(edi_.Orders.docOrders, n);
  // A group without the element is left as it is: the field is not created by typing.
  if (group.isNull() || group.selectSingleNode(element).isNull()) return {};
  const std::string value = pages_.fDocB->GetElementById(name + std::to_string(n)).value();
  if (group.selectSingleNode(element).text() == value) return {};
  return edi_.Orders.SetGroupField(n, field, value);
}

Err MainWindow::OrderDetails(long n, const PageEvent&) {
  return DisplayOrder(pages_, edi_.StyleSheets, edi_.Orders.docOrders, n);
}

Err MainWindow::OrderRemove(long n, const PageEvent&) {
  bool removed = false;
  return edi_.Orders.RemoveOrder(n, removed);
}

Err MainWindow::CancelButton(long, const PageEvent&) {
  NavigateTo(2);
  return {};
}

Err MainWindow::MenuReturn(long, const PageEvent&) {
  DisplayEDI(false);
  return {};
}

Err MainWindow::MenuPrint(long, const PageEvent&) {
  if (pages_.fDocB) {
    PrintPage(pages_, pages_.fDocB->body().innerHTML(),
              [this](const std::string& html) { surface_.PrintPreview(html); });
  }
  return {};
}

Err MainWindow::MenuTool(long n, const PageEvent&) {
  if (n < 1 || n > 7) return {};
  if (!tools_enabled_[n - 1]) return {};
  SetActiveTool(static_cast<int>(n - 1));
  NavigateTo(static_cast<int>(n));
  return {};
}

// Attached files
Err MainWindow::AttachFile(long n, const PageEvent&) {
  return attachments_.DoAttachFile(n);
}

Err MainWindow::RemoveAttachedFile(long n, const PageEvent& e) {
  return attachments_.DeleteAttachFile(n, e.type);
}

// Sending
Err MainWindow::SendOrdersButton(long, const PageEvent&) {
  if (!send_window_) {
    send_window_ = std::make_unique<SendWindow>(
        edi_, pages_, [this] { DisplayEDI(false); }, [this] { surface_.PumpMessages(); });
  }
  send_window_->SendOrders();
  return {};
}

// Order status views

void MainWindow::SwitchBrowser(int n) {
  WriteLog("Entering SwitchBrowser(" + std::to_string(n) + ")");
  if (n == 1) surface_.HidePanel();
}

Err MainWindow::StatusButton(long n, const PageEvent&) {
  status_.DisplayStatusWebSite(n);
  return {};
}

Err MainWindow::StatusListButton(long n, const PageEvent&) {
  status_.OpenOrderList(n);
  return {};
}

Err MainWindow::StatusMonthStep(long, const PageEvent& e) {
  status_.MonthStep(GetIdName(e.id) == "statusprevmonth" ? -1 : 1);
  return {};
}

Err MainWindow::StatusPage(long n, const PageEvent&) {
  status_.GoToPage(n);
  return {};
}

Err MainWindow::StatusOrder(long, const PageEvent& e) {
  // The order list's row link carries the order's GUID in its name.
  ui::HtmlElement link = pages_.fDocB ? pages_.fDocB->GetElementById(e.id) : ui::HtmlElement();
  const std::string guid = link ? Trim(link.getAttribute("name")) : std::string();
  if (!guid.empty()) status_.DisplayStatusOrder(guid);
  return {};
}

Err MainWindow::StatusSort(long, const PageEvent& e) {
  ui::HtmlElement link = pages_.fDocB ? pages_.fDocB->GetElementById(e.id) : ui::HtmlElement();
  if (link) status_.SortBy(link.getAttribute("name"));
  return {};
}

Err MainWindow::StatusBackToPage(long n, const PageEvent&) {
  SetFrameRowHeight(pages_, 2, 0);
  status_.DisplayStatusList(0, "", StatusPages::kDefaultSort, n, StatusPages::kPageLength);
  return {};
}

}  // namespace larkedi
