// The order status views of the main window: the status page (the partners whose orders
// can be followed), a partner's dealer site in the second panel, and the order list and
// one order's detail fetched from the dealer server.
//
// The list and the detail are fetched without blocking the window: a platform thread
// waits for the dealer server, and the answer is rendered on the user-interface thread
// (xp_onreadystatechange). A new request drops the one still running, so only the latest
// is rendered. The dealer's password is kept in memory only, for the later pages of the
// list; it is never shown in a message or written to the log.
#pragma once

#include <string>

#include "host/frm_edi.h"
#include "platform/http_client.h"
#include "presentation/frame_pages.h"
#include "presentation/status_views.h"

namespace larkedi {

class WindowSurface;

class StatusPages {
 public:
  /// Rows of a list page, as the menu strip of the detail asks for them.
  static constexpr long kPageLength = 15;
  /// The sort key of a list opened without one.
  static constexpr const char* kDefaultSort = "SEQUENCE+DESC";

  /// `edi`, `surface` and `pages` must outlive the views.
  StatusPages(frmEDI& edi, WindowSurface& surface, const FramePages& pages);
  StatusPages(const StatusPages&) = delete;
  StatusPages& operator=(const StatusPages&) = delete;

  /// The status page in fDocB, the frames shown, the bottom strip closed.
  void DisplayStatus();
  /// Partner `partner`'s dealer site in the second panel, logged in with the password typed
  /// in "partnerpassword" + partner. Nothing happens when the partner has no dealer server
  /// (GetDealerServer has said why).
  void DisplayStatusWebSite(long partner);
  /// Starts loading the order list: partner 0 keeps the current status partner, its server
  /// and password; a month offset ("-1", "1") moves the status month; `sort` becomes the
  /// settings' SETTINGS/DISPLAY/SORT (not saved). The list is rendered when it arrives.
  void DisplayStatusList(long partner, const std::string& month_offset, const std::string& sort,
                         long page, long page_length);
  /// Starts loading the detail of the order `guid` from the status partner's server; the
  /// menu strip offers the way back to the list page.
  void DisplayStatusOrder(const std::string& guid);
  /// Renders the loaded list or detail (runs when the load has completed).
  void xp_onreadystatechange();
  /// Drops a list or detail still loading: the window shows another page now.
  void CancelLoad();

  // The page's status rows.
  /// "statuslist" + n: the first page of partner n's orders of the status month.
  void OpenOrderList(long partner);
  /// "statusprevmonth" / "statusnextmonth": the list of the month before or after.
  void MonthStep(long offset);
  /// "statuspage" + n, and "lmenubacktopage" + n from the detail.
  void GoToPage(long page);
  /// "statussort" + n: the first page sorted by `field` ascending, or descending when it is
  /// sorted by that field ascending already.
  void SortBy(const std::string& field);

  /// The status state, for the window and for checks.
  long StatusPartner() const { return partner_; }
  const std::string& StatusServer() const { return server_; }
  const StatusMonth& Month() const { return month_; }
  void SetMonth(const StatusMonth& month) { month_ = month; }
  long Page() const { return page_; }
  /// 1 while a list loads, 2 while a detail loads (the kind of the last load).
  int Mode() const { return mode_; }
  /// 0 nothing asked, 1 loading, 4 complete.
  int ReadyState() const { return ready_state_; }

 private:
  /// The password typed for `partner` on the status page, else the one kept for it.
  std::string PartnerPassword(long partner) const;
  DealerLogin LoginOf(long partner, const std::string& password) const;
  std::string SortKey() const;
  /// Starts loading `address` for `mode` (1 list, 2 detail).
  void StartLoad(const std::string& address, int mode);
  void Render(const std::string& key, xml::Document& doc);
  void Report(const std::string& text, bool critical);

  frmEDI& edi_;
  WindowSurface& surface_;
  const FramePages& pages_;

  long partner_ = 0;
  std::string server_;
  std::string password_;
  StatusMonth month_ = CurrentStatusMonth();
  long page_ = 1;
  long page_length_ = kPageLength;
  int mode_ = 0;

  // The status document: the running load and what it brought.
  int ready_state_ = 0;
  std::string address_;
  HttpResponse answer_;
  HttpFetch fetch_;
};

}  // namespace larkedi
