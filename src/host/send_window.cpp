#include "host/send_window.h"

#include <cstdlib>
#include <utility>

#include "platform/ui/dialogs.h"
#include "support/log.h"
#include "support/module.h"
#include "support/resx.h"
#include "support/xml_helpers.h"

namespace larkedi {
namespace {

int WholePercent(const std::string& text) {
  return std::atoi(text.c_str());
}

std::string LinesHtml(const std::string& text) {
  std::string out;
  size_t begin = 0;
  while (true) {
    const size_t end = text.find('\n', begin);
    out += ui::EscapeHtml(text.substr(begin, end == std::string::npos ? end : end - begin));
    if (end == std::string::npos) break;
    out += "<BR>&nbsp;&nbsp;";
    begin = end + 1;
  }
  return out;
}

}  // namespace

void AnimateWidth(ui::HtmlElement element, int target, const std::function<void()>& repaint) {
  if (!element) return;
  std::string current = element.styleWidth();
  if (current.empty()) current = element.getAttribute("width");
  if (target > 100) target = 100;
  for (int width = WholePercent(current) + 1; width <= target; ++width) {
    element.setStyleWidth(std::to_string(width) + "%");
    if (repaint) repaint();
  }
}

SendProgressPage::SendProgressPage(const FramePages& pages, const StyleSheetTable& table,
                                   const xml::Node& docOrders, std::function<void()> repaint)
    : pages_(pages), table_(table), docOrders_(docOrders), repaint_(std::move(repaint)) {}

void SendProgressPage::SendStarting() {
  std::string html;
  Err err;
  if (table_.TransformXmlDoc(docOrders_, "orderstogo", Res("MSG ErrorLoadingOrdersToGoXSLFile"), "",
                             "", html, err)) {
    SetFrameBody(pages_.fDocB, html, "view-orderstogo");
  } else {
    LogError("SendOrders: the progress page", err);
    SetFrameBody(pages_.fDocB,
                 ErrorHtml(Res("MSG ErrorLoadingOrdersToGoXSLFile"), err.Description));
  }
  // The totals strip is hidden while the orders go.
  SetFrameRowHeight(pages_, 2, 0);
  if (repaint_) repaint_();
}

ui::HtmlElement SendProgressPage::Part(const std::string& order_id, const char* suffix) const {
  if (!pages_.fDocB) return {};
  return pages_.fDocB->GetElementById(order_id + suffix);
}

void SendProgressPage::Bar(const std::string& order_id, int percent) {
  AnimateWidth(Part(order_id, "OrderProgressLeft"), percent, repaint_);
}

void SendProgressPage::OrderStep(const std::string& order_id, const std::string& step,
                                 int percent) {
  if (percent >= 0) Bar(order_id, percent);
  if (ui::HtmlElement span = Part(order_id, "ProgressSpan")) span.setInnerHTML(step);
  if (repaint_) repaint_();
}

std::string SendProgressPage::MessageHtml(const SendRow& row) {
  return row.message_html.empty() ? LinesHtml(row.message) : row.message_html;
}

void SendProgressPage::OrderDone(const SendRow& row) {
  Bar(row.order_id, 100);
  const bool sent = row.result == SendResult::Sent || row.result == SendResult::AlreadySent;
  ui::HtmlElement result = Part(row.order_id, "OrderSpan");
  ui::HtmlElement step = Part(row.order_id, "ProgressSpan");
  if (sent) {
    result.setInnerHTML(
        "&nbsp;&nbsp;" + Res("MSG OrderSentSuccessfully") + "&nbsp;" +
        ResParam("MSG SequenceNumberOnServerIsParam", {ui::EscapeHtml(row.sequence)}));
    step.setInnerHTML(Res("MSG Done"));
  } else {
    Part(row.order_id, "OrderProgressLeft").setAttribute("bgcolor", "#FF0000");
    Part(row.order_id, "OrderProgressText").setInnerHTML(ui::EscapeHtml(row.word));
    // A transformation failure's text begins with its own blank.
    const bool transform = row.word == "Transformation error";
    result.setInnerHTML((transform ? "&nbsp;" : "&nbsp;&nbsp;") + MessageHtml(row));
    step.setInnerHTML("&nbsp;");
  }
  if (repaint_) repaint_();
}

void SendProgressPage::RunEnded() {
  if (!pages_.fDocB) return;
  if (ui::HtmlElement button = pages_.fDocB->GetElementById("CancelButton")) {
    button.setInnerHTML(Res("BTN Return"));
  }
}

SendWindow::SendWindow(frmEDI& edi, const FramePages& pages, std::function<void()> redisplay,
                       std::function<void()> repaint)
    : edi_(edi), pages_(pages), redisplay_(std::move(redisplay)), repaint_(std::move(repaint)) {}

SendWindow::~SendWindow() = default;

bool SendWindow::SendOrders() {
  if (!sender_) {
    journal_ = std::make_unique<SendJournal>(ModuleFolder());
    sender_ = std::make_unique<larkedi::SendOrders>(edi_.Orders, *journal_);
  }
  // An empty stack document (the home page was shown) is loaded first, as the stack page
  // shows it.
  if (edi_.Orders.docOrders.selectSingleNode("/*").isNull()) edi_.Orders.LoadOrders(false);

  bool ran = false;
  {
    // No other process changes the stack while its orders go.
    OrderStack::Transaction transaction(edi_.Orders);
    if (const Err& status = transaction.status()) {
      CurrentDialogs().MsgBox(ResParam("MSG ErrorOccuredInParam", {"SendOrders"}) + "\n" +
                                  ResParam("MSG ErrorNumberDescription",
                                           {std::to_string(status.Number), status.Description}),
                              MsgButtons::OK, MsgIcon::Information, ModuleTitle());
      return false;
    }
    SendProgressPage page(pages_, edi_.StyleSheets, edi_.Orders.docOrders, repaint_);
    ran = sender_->Run(&page);
    if (ran) {
      // The stack is read again from the spool folder: what was sent has left it.
      edi_.Orders.LoadOrders(false);
      page.RunEnded();
    }
  }
  if (ran) {
    // The totals strip comes back with the reloaded stack; the rows stay readable above it.
    DisplayTotals(pages_, edi_.StyleSheets, edi_.Orders.docOrders);
    if (repaint_) repaint_();
    return true;
  }
  // The spool folder changed (the run emptied the stack and said so), nothing was marked
  // to send, or the journal could not be opened: the stack is shown as it is now.
  const bool spool_changed = edi_.Orders.docOrders.selectSingleNode("/*").isNull();
  redisplay_();
  if (!spool_changed) {
    const Err& err = sender_->error();
    CurrentDialogs().MsgBox(
        ResParam("MSG ErrorOccuredInParam", {"SendOrders"}) + "\n" +
            ResParam("MSG ErrorNumberDescription", {std::to_string(err.Number), err.Description}),
        MsgButtons::OK, MsgIcon::Information, ModuleTitle());
  }
  return false;
}

}  // namespace larkedi
