// The main window. It composes the objects that own the module's state for the window's
// lifetime (the settings, the order stack, the style sheet table) and holds only the
// window's own flags. Without a page (the command line, tests) it runs the same operations
// headless.
#pragma once

#include "orders/order_stack.h"
#include "orders/stack_observer.h"
#include "presentation/style_sheets.h"
#include "settings/settings_document.h"

namespace larkedi {

class frmEDI final : public StackObserver {
 public:
  frmEDI();
  frmEDI(const frmEDI&) = delete;
  frmEDI& operator=(const frmEDI&) = delete;

  /// The settings document and partner creation.
  SettingsDocument Settings;
  /// The style sheet table, refilled by every stack load.
  StyleSheetTable StyleSheets;
  /// The order stack; it reads Settings and reports to this window.
  OrderStack Orders;

  /// The load did not complete; the opening call raises Finished instead of showing.
  bool LoadFailed = false;
  /// A navigation command other than the order stack is running; a stack load aborts.
  bool bNavigating = false;
  /// The order stack view is the current page.
  bool bStackShown = false;
  /// The window's page (MainWindow) while one is open: the stack's requests to show or
  /// redraw a view and to let the page's messages run go to it.
  StackObserver* View = nullptr;

  /// Loads the settings as a command without a page does: the partner web service is not
  /// asked for new manufacturers. Empty Err, or the failure to save completed settings.
  Err OpenHeadless();

  // StackObserver
  bool LoadAborted() override { return bNavigating; }
  void LoadStarting() override;
  std::string SortStyleSheet() override;
  void PumpMessages() override {
    if (View) View->PumpMessages();
  }
  void ShowSettingsView() override {
    if (View) View->ShowSettingsView();
  }
  void RedrawOrderStack() override {
    if (View) View->RedrawOrderStack();
  }
};

}  // namespace larkedi
