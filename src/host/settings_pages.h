// The settings page, the partner list and the partner page of the main window: their views
// and the page events that edit partners, catalogs, folders and options. The data changes
// are members of SettingsDocument; this class reads the page, asks the user, and decides
// what is shown next. MainWindow holds one and forwards its events here.
#pragma once

#include <functional>
#include <string>

#include "host/frm_edi.h"
#include "platform/err.h"
#include "platform/ui/window_server.h"
#include "presentation/frame_pages.h"
#include "settings/web_sites.h"

namespace larkedi {

class SettingsPages {
 public:
  /// `edi` and `pages` must outlive this object; `display_edi` shows the order stack view.
  SettingsPages(frmEDI& edi, const FramePages& pages, std::function<void()> display_edi);
  SettingsPages(const SettingsPages&) = delete;
  SettingsPages& operator=(const SettingsPages&) = delete;

  /// The view the partner page returns to: 0 order stack, 1 settings, 2 partner list.
  int PartnerReturnView = 0;

  // Views of fDocB over the whole settings document.
  /// Reloads the settings from the file and shows the settings page.
  void DisplaySettings();
  /// Reloads the settings from the file and shows the partner list.
  void DisplayPartnerList();
  /// Shows partner `id`'s page; with `warning`, every partner under the warning that new
  /// partners are not saved yet (the ID is not needed then). A missing partner is reported.
  void DisplayPartner(long id, bool warning);
  /// Opens the configuration dialog of the transmission method `method_id` for partner `id`
  /// (0: the partner's method in the settings). Order-form modules have none.
  void DisplayMethod(long id, long method_id = 0);

  // Page events (n: the number of the element's id).
  Err EditPartnerList(long n, const ui::PageEvent& e);
  Err SortList(long n, const ui::PageEvent& e);
  Err NewCatalog(long n, const ui::PageEvent& e);
  Err EditCatalog(long n, const ui::PageEvent& e);
  Err RemoveCatalog(long n, const ui::PageEvent& e);
  Err PartnerAssign(long n, const ui::PageEvent& e);
  Err EditPartner(long n, const ui::PageEvent& e);
  Err RemovePartner(long n, const ui::PageEvent& e);
  Err MethodIdList(long n, const ui::PageEvent& e);
  Err ConfigMethod(long n, const ui::PageEvent& e);
  Err NewPartner(long n, const ui::PageEvent& e);
  Err ExitPartner(long n, const ui::PageEvent& e);
  Err SavePartner(long n, const ui::PageEvent& e);
  Err ShowSettings(long n, const ui::PageEvent& e);
  Err KitFile(long n, const ui::PageEvent& e);
  Err SetSpoolPath(long n, const ui::PageEvent& e);
  Err SetArchivePath(long n, const ui::PageEvent& e);
  Err SaveButton(long n, const ui::PageEvent& e);
  Err OpenEdiSite(long n, const ui::PageEvent& e);
  Err OpenDesignSite(long n, const ui::PageEvent& e);
  Err OpenOrcanet(long n, const ui::PageEvent& e);
  Err OpenSupport(long n, const ui::PageEvent& e);

  /// The folder choice of the settings page: 0 the spool folder, 1 the archive folder. The
  /// other folder, however written, is refused with a message.
  void SetPath(int which);
  /// Copies the text inputs of the fDocB form `form_id` into the settings and saves them.
  Err SaveForm(const std::string& form_id);

 private:
  /// Shows the settings view `key` in fDocB after reloading the settings.
  void ShowSettingsView(const char* key, const char* body_class);
  /// Writes the stack's unsaved edits before docOrders is emptied or rebuilt; the error
  /// when they could not be written (docOrders must then be kept).
  Err SaveStackEdits();
  /// Empties docOrders (after SaveStackEdits), so the next order stack view rebuilds it.
  void ResetOrders();
  /// Shows the view the partner page was opened from.
  void ShowReturnView();
  /// The message box of an operation's failure, and the log.
  void Report(const Err& err);
  /// The method chosen in the page's list of partner `n`; 0 when none is.
  int ChosenMethod(long n);
  void OpenSite(WebSite site);

  frmEDI& edi_;
  const FramePages& pages_;
  std::function<void()> display_edi_;
};

}  // namespace larkedi
