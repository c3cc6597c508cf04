#include "host/status_pages.h"

#include <utility>

#include "host/main_window.h"
#include "platform/ui/dialogs.h"
#include "presentation/render.h"
#include "sending/dealer_server.h"
#include "support/log.h"
#include "support/module.h"
#include "support/resx.h"
#include "support/xml_helpers.h"

namespace larkedi {

StatusPages::StatusPages(frmEDI& edi, WindowSurface& surface, const FramePages& pages)
    : edi_(edi), surface_(surface), pages_(pages) {}

void StatusPages::Report(const std::string& text, bool critical) {
  CurrentDialogs().MsgBox(text, MsgButtons::OK, critical ? MsgIcon::Critical : MsgIcon::Information,
                          ModuleTitle());
}

void StatusPages::DisplayStatus() {
  WriteLog("Entering DisplayStatus()");
  // Partners whose orders go through an order-form module have no dealer site.
  xml::Document copy = StatusSettingsCopy(edi_.Settings.docSettings);
  std::string html;
  Err err;
  if (edi_.StyleSheets.TransformXmlDoc(copy, "Status", Res("MSG CannotLoadStatusXSLFile"), "", "",
                                       html, err)) {
    SetFrameBody(pages_.fDocB, html, "view-status");
  } else {
    // The frame keeps what it showed.
    err.Number = kErrGeneral;
    err.Source = "DisplayStatus";
    LogError("DisplayStatus", std::as_const(err));
    Report(ResParam("MSG ErrorNumberSourceDescription",
                    {std::to_string(err.Number), err.Source, err.Description}),
           false);
  }
  surface_.HidePanel();
  SetFrameRowHeight(pages_, 2, 0);
}

std::string StatusPages::PartnerPassword(long partner) const {
  if (pages_.fDocB) {
    ui::HtmlElement field =
        pages_.fDocB->GetElementById("partnerpassword" + std::to_string(partner));
    if (field) return field.value();
  }
  return partner == partner_ ? password_ : std::string();
}

DealerLogin StatusPages::LoginOf(long partner, const std::string& password) const {
  const std::string path =
      "/SETTINGS/PARTNER[normalize-space(ID)=" + xml::XPathLiteral(std::to_string(partner)) + "]/";
  const xml::Node& settings = edi_.Settings.docSettings;
  return {Trim(settings.selectSingleNode(path + "MANUFID").text()),
          Trim(settings.selectSingleNode(path + "DEALERID").text()), password,
          Module().LanguageCode};
}

std::string StatusPages::SortKey() const {
  return edi_.Settings.docSettings.selectSingleNode("SETTINGS/DISPLAY/SORT").text();
}

void StatusPages::DisplayStatusWebSite(long partner) {
  WriteLog("Entering DisplayStatusWebSite()");
  const std::string server = GetDealerServer(edi_.Settings.docSettings, std::to_string(partner));
  if (server.empty()) return;
  const std::string address =
      StatusLoginAddress(server, LoginOf(partner, PartnerPassword(partner)));
  // The panel goes nowhere but a blank page and this partner's own dealer site.
  if (!StatusPanelAllowed(address, server)) {
    WriteLog("The dealer site address is not on the dealer server " + server + ".");
    return;
  }
  surface_.ShowBlankPanel();
  if (!surface_.ShowSitePanel(address, server)) {
    WriteLog("The second panel refused the dealer site " + HidePassword(address) + ".");
  }
}

void StatusPages::DisplayStatusList(long partner, const std::string& month_offset,
                                    const std::string& sort, long page, long page_length) {
  WriteLog("Entering DisplayStatusList");
  // Partner 0 (the way back from a detail, the month and page links) keeps the partner the
  // list was opened for, with its server and password.
  if (partner != 0) {
    password_ = PartnerPassword(partner);
    partner_ = partner;
    server_ = GetDealerServer(edi_.Settings.docSettings, std::to_string(partner));
  }
  if (!Trim(month_offset).empty()) month_ = AddMonths(month_, ParseMonthOffset(month_offset));
  page_ = page;
  page_length_ = page_length;
  if (Err err = SetElement(edi_.Settings.docSettings, "SETTINGS/DISPLAY", 0, "SORT", sort, true)) {
    LogError("An error occured in DisplayStatusList().", std::as_const(err));
  }
  // No server: GetDealerServer has said why (or no partner was chosen yet).
  if (partner_ == 0 || server_.empty()) return;
  StartLoad(StatusListAddress(server_, LoginOf(partner_, password_), month_, SortKey(), page_,
                              page_length_),
            1);
}

void StatusPages::DisplayStatusOrder(const std::string& guid) {
  WriteLog("Entering DisplayStatusOrder()");
  // The detail comes from the server of the list it was chosen in.
  if (server_.empty()) return;
  const std::string menu =
      BuildMenuHtml({"lmenubacktopage" + std::to_string(page_), "", Res("BTN ReturnToList")});
  if (pages_.fDocC) pages_.fDocC->LoadHtml(menu);
  SetFrameRowHeight(pages_, 2, 35);
  StartLoad(StatusOrderAddress(server_, guid, Module().LanguageCode), 2);
}

void StatusPages::OpenOrderList(long partner) {
  const std::string sort = SortKey();
  DisplayStatusList(partner, "", sort.empty() ? kDefaultSort : sort, 1, kPageLength);
}

void StatusPages::MonthStep(long offset) {
  const std::string sort = SortKey();
  DisplayStatusList(0, std::to_string(offset), sort.empty() ? kDefaultSort : sort, 1, page_length_);
}

void StatusPages::GoToPage(long page) {
  const std::string sort = SortKey();
  DisplayStatusList(0, "", sort.empty() ? kDefaultSort : sort, page, page_length_);
}

void StatusPages::SortBy(const std::string& field) {
  if (Trim(field).empty()) return;
  const std::string ascending = Trim(field) + "+ASC";
  DisplayStatusList(0, "", SortKey() == ascending ? Trim(field) + "+DESC" : ascending, 1,
                    page_length_);
}

void StatusPages::StartLoad(const std::string& address, int mode) {
  mode_ = mode;
  ready_state_ = 1;
  address_ = address;
  answer_ = HttpResponse();
  HttpRequest request;
  request.url = address;
  std::string error;
  const bool started = fetch_.Start(
      std::move(request),
      [this](std::function<void()> task) { surface_.PostTask(std::move(task)); },
      [this](const HttpResponse& answer) {
        answer_ = answer;
        ready_state_ = 4;
        xp_onreadystatechange();
      },
      &error);
  if (!started) {
    ready_state_ = 0;
    WriteLog("The status request could not start: " + error);
    Report(ResParam("MSG CouldNotConnectToParam", {HidePassword(address)}), true);
  }
}

void StatusPages::CancelLoad() {
  fetch_.Cancel();
  if (ready_state_ == 1) ready_state_ = 0;
}

void StatusPages::xp_onreadystatechange() {
  WriteLog("Entering xp_onreadystatechange().");
  if (ready_state_ != 4) return;
  const std::string shown = HidePassword(address_);
  if (!answer_.completed) {
    WriteLog("The dealer server did not answer: " + answer_.error);
    Report(ResParam("MSG CouldNotConnectToParam", {shown}) + "\n" + answer_.error, true);
    return;
  }
  xml::Document loaded;
  std::string reason;
  long code = 0;
  if (answer_.status >= 400) {
    code = answer_.status;
    reason = "HTTP " + std::to_string(answer_.status);
  } else if (!loaded.loadXML(answer_.body)) {
    code = kErrComponent;
    reason = loaded.parseErrorReason();
  }
  if (!reason.empty()) {
    Report(ResParam("MSG ErrorOpeningParam", {shown}) + "\n" +
               ResParam("MSG ErrorNumberDescription", {std::to_string(code), reason}),
           false);
    return;
  }
  // The answer is copied into a document of the module's own before anything is added.
  xml::Document doc;
  bool copied = doc.loadXML(loaded.xml());
  if (copied && mode_ == 1) {
    copied = !PrepareStatusList(doc, month_, "/");
  }
  if (!copied) {
    Report(Res("MSG InvalidDataFromWebSite"), false);
    return;
  }
  Render(mode_ == 1 ? "ediorderlist" : "orderdetail", doc);
}

void StatusPages::Render(const std::string& key, xml::Document& doc) {
  std::string html;
  Err err;
  if (!edi_.StyleSheets.TransformXmlDoc(doc, key, Res("MSG InvalidDataFromWebSite"), "", "", html,
                                        err)) {
    LogError("xp_onreadystatechange", std::as_const(err));
    SetFrameBody(pages_.fDocB, ErrorHtml(Res("MSG InvalidDataFromWebSite"), err.Description));
    return;
  }
  surface_.HidePanel();
  SetFrameBody(pages_.fDocB, html, "view-" + key);
}

}  // namespace larkedi
