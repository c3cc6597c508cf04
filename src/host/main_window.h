// The main window's behaviour on its page: the load, the first page for the start value,
// the menu and its navigation commands, the order stack page and its events, the spool
// folder watch and the unload. It draws through a WindowSurface (the window server, or
// plain frame models in tests) and works on the documents of the frmEDI it is given.
#pragma once

#include <chrono>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "host/frm_edi.h"
#include "host/order_attachments.h"
#include "host/send_window.h"
#include "host/settings_pages.h"
#include "host/status_pages.h"
#include "host/window_shell.h"
#include "platform/err.h"
#include "platform/ui/frame_model.h"
#include "platform/ui/window_server.h"
#include "presentation/frame_pages.h"

namespace larkedi {

/// What the main window draws on and asks of its page.
class WindowSurface {
 public:
  virtual ~WindowSurface() = default;
  /// "fDocA", "fDocB", "fDocC"; null when the page has no such frame.
  virtual ui::FrameModel* Frame(const std::string& name) = 0;
  virtual ui::FrameModel& WindowModel() = 0;
  virtual void PrintPreview(const std::string& html) = 0;
  /// The address of the module's html/ folder as the page loads it; empty when none.
  virtual std::string HtmlAddress() const { return {}; }
  /// Closes the window; the owner then calls Form_Unload.
  virtual void RequestClose() = 0;
  /// Lets the page's queued messages run (dialog answers, redraws); here the tasks posted
  /// with PostTask.
  virtual void PumpMessages() { RunPostedTasks(); }
  /// Opens a file of the html/ folder in a page of its own (the help).
  virtual void OpenPage(const std::string& relative) { (void)relative; }

  // The second browser and the work handed back to the user-interface thread.
  /// Shows `address` of the site of `site` in the second panel in place of the frames, the
  /// panel keeping to that site; false when the address is not on it.
  virtual bool ShowSitePanel(const std::string& address, const std::string& site) {
    (void)address;
    (void)site;
    return false;
  }
  /// Shows a blank page in the second panel.
  virtual void ShowBlankPanel() {}
  /// Hides the second panel: the frames are shown again.
  virtual void HidePanel() {}
  /// Runs `task` later on the user-interface thread (any thread may call it).
  virtual void PostTask(std::function<void()> task) {
    std::lock_guard<std::mutex> lock(posted_mu_);
    posted_.push_back(std::move(task));
  }
  /// Runs the tasks PostTask queued so far (surfaces without a loop of their own).
  void RunPostedTasks() {
    std::deque<std::function<void()>> tasks;
    {
      std::lock_guard<std::mutex> lock(posted_mu_);
      tasks.swap(posted_);
    }
    for (auto& task : tasks) task();
  }

 private:
  std::mutex posted_mu_;
  std::deque<std::function<void()>> posted_;
};

/// A WindowSurface over the window server.
class ServerSurface final : public WindowSurface {
 public:
  ServerSurface(ui::WindowServer& server, ui::UiLoop& loop) : server_(server), loop_(loop) {}
  ui::FrameModel* Frame(const std::string& name) override { return server_.Frame(name); }
  ui::FrameModel& WindowModel() override { return server_.WindowModel(); }
  void PrintPreview(const std::string& html) override { server_.PrintPreview(html); }
  std::string HtmlAddress() const override {
    return server_.port() > 0 ? server_.FileUrl("") : std::string();
  }
  void RequestClose() override { server_.RequestClose(); }
  void PumpMessages() override { loop_.PumpMessages(); }
  bool ShowSitePanel(const std::string& address, const std::string& site) override {
    return server_.ShowSitePanel(address, site);
  }
  void ShowBlankPanel() override { server_.ShowPanel(server_.FileUrl("blank.htm")); }
  void HidePanel() override { server_.HidePanel(); }
  void PostTask(std::function<void()> task) override { loop_.Post(std::move(task)); }
  void OpenPage(const std::string& relative) override { server_.OpenPage(relative); }

 private:
  ui::WindowServer& server_;
  ui::UiLoop& loop_;
};

class MainWindow final : public StackObserver {
 public:
  /// `edi` and `surface` must outlive the window.
  MainWindow(frmEDI& edi, WindowSurface& surface);
  ~MainWindow() override;
  MainWindow(const MainWindow&) = delete;
  MainWindow& operator=(const MainWindow&) = delete;

  /// The page shown first: 1 order stack, 3 order status, 5 settings, other values home.
  int StartValue = 0;
  /// The design text the host handed in; emptied once the stack has taken it in.
  std::string StartupInput;
  /// Raised once, at the end of Form_Unload.
  std::function<void()> Finished;

  /// Loads the settings, takes the design handed in and prepares the page. False at the
  /// failure exit (edi.LoadFailed is then set; the reason was shown in a message box).
  bool Form_Load();
  /// The frame page is complete: hides the top row and shows the start value's page.
  void ShowFirstPage();
  /// Runs a menu command (1 home ... 7 close).
  void NavigateTo(int command);
  /// Marks the menu tool `index` (0-based) as the current one.
  void SetActiveTool(int index);
  /// Saves a changed stack and raises Finished (once). Empty Err, or why the save failed.
  Err Form_Unload();

  /// Handles one page event; the result of a click is whether the element's own action
  /// runs (only the order check boxes keep their new state).
  bool HandleEvent(const ui::PageEvent& event);

  /// The spool timer's tick: reloads and redraws the stack when the spool folder changed.
  void SpoolTimerTick();
  bool SpoolTimerEnabled() const { return timer_enabled_; }
  /// 60 s, or LARKEDI_SPOOL_TIMER_MS when set.
  static std::chrono::milliseconds SpoolInterval();

  /// The order stack list and totals (loading the stack when docOrders is empty).
  void DisplayEDI(bool bShowDialog);
  /// False while an operation started by the page runs.
  bool Enabled() const { return enabled_; }
  const FramePages& Pages() const { return pages_; }

  // The window's shell: stored geometry, host font, help, source view.
  /// Where the browser window opens (the stored geometry read by Form_Load).
  const std::optional<ui::WindowPlacement>& Placement() const { return shell_.Placement(); }
  WindowShell& Shell() { return shell_; }

  // StackObserver (forwarded by frmEDI)
  void PumpMessages() override { surface_.PumpMessages(); }
  void ShowSettingsView() override;
  void RedrawOrderStack() override { DisplayEDI(false); }

  // Order status views (StatusPages)
  /// Browser 1 shows the frames again (the status pages show browser 2, the panel).
  void SwitchBrowser(int n);
  StatusPages& Status() { return status_; }

 private:
  struct Action;
  static const std::vector<Action>& Actions();

  Err OrderCheck(long n, const ui::PageEvent& e);
  Err OrderMode(long n, const ui::PageEvent& e);
  Err OrderField(long n, const ui::PageEvent& e);
  Err OrderDetails(long n, const ui::PageEvent& e);
  Err OrderRemove(long n, const ui::PageEvent& e);
  Err CancelButton(long n, const ui::PageEvent& e);
  Err MenuReturn(long n, const ui::PageEvent& e);
  Err MenuPrint(long n, const ui::PageEvent& e);
  Err MenuTool(long n, const ui::PageEvent& e);
  // Order status views
  Err StatusButton(long n, const ui::PageEvent& e);
  Err StatusListButton(long n, const ui::PageEvent& e);
  Err StatusMonthStep(long n, const ui::PageEvent& e);
  Err StatusPage(long n, const ui::PageEvent& e);
  Err StatusOrder(long n, const ui::PageEvent& e);
  Err StatusSort(long n, const ui::PageEvent& e);
  Err StatusBackToPage(long n, const ui::PageEvent& e);

  /// Shows `view` of the style sheet table in fDocB ("settings", "status").
  void ShowView(const std::string& key, const std::string& error_key);
  void BuildMenu();
  void ShowError(const Err& err);

  // Sending: the send button of the totals strip runs the send with its progress page.
  Err SendOrdersButton(long n, const ui::PageEvent& e);
  std::unique_ptr<SendWindow> send_window_;

  frmEDI& edi_;
  WindowSurface& surface_;
  FramePages pages_;
  bool enabled_ = true;
  bool timer_enabled_ = false;
  bool unloaded_ = false;
  int active_tool_ = -1;
  std::vector<bool> tools_enabled_ = std::vector<bool>(7, true);

  // Attached files of the order stack page.
  Err AttachFile(long n, const ui::PageEvent& e);
  Err RemoveAttachedFile(long n, const ui::PageEvent& e);
  OrderAttachments attachments_{edi_.Orders, [this] { DisplayEDI(false); }};
  // Order status views
  StatusPages status_{edi_, surface_, pages_};
  // Settings, partner list and partner pages, the links and the bottom strip: the page
  // events go to SettingsPages.
  SettingsPages settings_pages_{edi_, pages_, [this] { DisplayEDI(false); }};
  Err EditPartnerList(long n, const ui::PageEvent& e) {
    return settings_pages_.EditPartnerList(n, e);
  }
  Err SortList(long n, const ui::PageEvent& e) { return settings_pages_.SortList(n, e); }
  Err NewCatalog(long n, const ui::PageEvent& e) { return settings_pages_.NewCatalog(n, e); }
  Err EditCatalog(long n, const ui::PageEvent& e) { return settings_pages_.EditCatalog(n, e); }
  Err RemoveCatalog(long n, const ui::PageEvent& e) { return settings_pages_.RemoveCatalog(n, e); }
  Err PartnerAssign(long n, const ui::PageEvent& e) { return settings_pages_.PartnerAssign(n, e); }
  Err EditPartner(long n, const ui::PageEvent& e) { return settings_pages_.EditPartner(n, e); }
  Err RemovePartner(long n, const ui::PageEvent& e) { return settings_pages_.RemovePartner(n, e); }
  Err MethodIdList(long n, const ui::PageEvent& e) { return settings_pages_.MethodIdList(n, e); }
  Err ConfigMethod(long n, const ui::PageEvent& e) { return settings_pages_.ConfigMethod(n, e); }
  Err NewPartner(long n, const ui::PageEvent& e) { return settings_pages_.NewPartner(n, e); }
  Err ExitPartner(long n, const ui::PageEvent& e) { return settings_pages_.ExitPartner(n, e); }
  Err SavePartner(long n, const ui::PageEvent& e) { return settings_pages_.SavePartner(n, e); }
  Err ShowSettings(long n, const ui::PageEvent& e) { return settings_pages_.ShowSettings(n, e); }
  Err KitFile(long n, const ui::PageEvent& e) { return settings_pages_.KitFile(n, e); }
  Err SetSpoolPath(long n, const ui::PageEvent& e) { return settings_pages_.SetSpoolPath(n, e); }
  Err SetArchivePath(long n, const ui::PageEvent& e) {
    return settings_pages_.SetArchivePath(n, e);
  }
  Err SaveButton(long n, const ui::PageEvent& e) { return settings_pages_.SaveButton(n, e); }
  Err OpenEdiSite(long n, const ui::PageEvent& e) { return settings_pages_.OpenEdiSite(n, e); }
  Err OpenDesignSite(long n, const ui::PageEvent& e) {
    return settings_pages_.OpenDesignSite(n, e);
  }
  Err OpenOrcanet(long n, const ui::PageEvent& e) { return settings_pages_.OpenOrcanet(n, e); }
  Err OpenSupport(long n, const ui::PageEvent& e) { return settings_pages_.OpenSupport(n, e); }
  /// The support mail link follows its own address.
  Err SendMailSupport(long, const ui::PageEvent&) { return {}; }
  WindowShell shell_;
};

}  // namespace larkedi
