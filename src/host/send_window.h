// Sending from the main window: the send button of the order totals strip runs SendOrders
// with the progress page in the main frame (one row per order, its bar grown step by step),
// then saves and reloads the stack. The sender lives as long as the window, so a partner's
// password is asked once per window.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "host/frm_edi.h"
#include "platform/ui/frame_model.h"
#include "presentation/frame_pages.h"
#include "sending/send_journal.h"
#include "sending/send_pipeline.h"

namespace larkedi {

/// Raises the style width of `element` from its current whole percentage (its style
/// width, else its width attribute, else 0) to `target` percent in steps of 1, each step
/// its own change of the page, `repaint` running after each. A bar already at or beyond
/// `target` is left alone.
void AnimateWidth(ui::HtmlElement element, int target, const std::function<void()>& repaint);

/// Draws a send run's progress into the frames: the "orderstogo" page in fDocB and, per
/// order, the elements ID + "OrderProgressLeft" (bar), "OrderProgressText" (word),
/// "OrderSpan" (result) and "ProgressSpan" (step). Data texts are escaped; resource texts
/// are written as they are.
class SendProgressPage final : public SendObserver {
 public:
  SendProgressPage(const FramePages& pages, const StyleSheetTable& table,
                   const xml::Node& docOrders, std::function<void()> repaint);

  void SendStarting() override;
  void OrderStep(const std::string& order_id, const std::string& step, int percent) override;
  void OrderDone(const SendRow& row) override;
  /// The run has ended normally: the cancel button becomes "BTN Return".
  void RunEnded();

  /// The page's markup of a row's message: `message_html` when the row has one, else the
  /// escaped message with its lines separated by "<BR>&nbsp;&nbsp;".
  static std::string MessageHtml(const SendRow& row);

 private:
  ui::HtmlElement Part(const std::string& order_id, const char* suffix) const;
  void Bar(const std::string& order_id, int percent);

  FramePages pages_;
  const StyleSheetTable& table_;
  xml::Node docOrders_;
  std::function<void()> repaint_;
};

class SendWindow {
 public:
  /// `redisplay` shows the order stack again (DisplayEDI); `repaint` lets the page's
  /// messages run. `edi` outlives this object.
  SendWindow(frmEDI& edi, const FramePages& pages, std::function<void()> redisplay,
             std::function<void()> repaint);
  ~SendWindow();
  SendWindow(const SendWindow&) = delete;
  SendWindow& operator=(const SendWindow&) = delete;

  /// The send command: sends the stack's marked orders with the progress page, saves and
  /// reloads the stack. True when the order loop ran to its end.
  bool SendOrders();

 private:
  frmEDI& edi_;
  FramePages pages_;
  std::function<void()> redisplay_;
  std::function<void()> repaint_;
  std::unique_ptr<SendJournal> journal_;
  std::unique_ptr<larkedi::SendOrders> sender_;
};

}  // namespace larkedi
