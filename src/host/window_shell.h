// The main window's shell around its pages: the window's place and size kept in the
// user's settings store between sessions, the host's font on the window page, the help,
// and the diagnostic source view.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "platform/ui/browser_command.h"
#include "platform/ui/frame_model.h"
#include "platform/ui/window_server.h"
#include "presentation/frame_pages.h"

namespace larkedi {

/// The stored window geometry, in twips (15 per pixel) as the settings store keeps it:
/// HKCU\Software\VB and VBA Program Settings\LarkEDI\display, values "left", "top",
/// "width", "height", "windowstate" (0 normal, 1 minimised, 2 maximised), and the size of
/// the screen the window was on ("screenwidth", "screenheight"; 0 when unknown).
struct StoredGeometry {
  long left = 0;
  long top = 0;
  long width = 0;
  long height = 0;
  long windowstate = 0;
  long screenwidth = 0;
  long screenheight = 0;
};

/// The settings store key of the window geometry.
std::string DisplayKey();
/// Reads the stored geometry; missing or unreadable values count as 0.
StoredGeometry ReadStoredGeometry();
/// Stores every value of `g`. False when the store could not be written.
bool WriteStoredGeometry(const StoredGeometry& g);
/// The geometry of a page's browser window, as it is stored.
StoredGeometry GeometryOfPage(const ui::PageGeometry& page);
/// Where a window opens for the stored geometry: maximised at the stored rectangle for
/// window state 2; otherwise the stored rectangle when neither width nor height is 0 and
/// it lies on the screen it was stored from (not left of or above it, not beyond its
/// width or height); otherwise nothing (the browser's own size).
std::optional<ui::WindowPlacement> PlacementOf(const StoredGeometry& g);

/// The host's font for the window's controls, from the host's settings store
/// (HKCU\Software\Orca Technologies\Larkspur\Design\Settings): "DefaultVBFontName"
/// (default "Ms Sans Serif"), "DefaultVBFontSize" (8 points), "DefaultVBRightToLeft"
/// (False). A stored value counts only when it is neither empty nor "-1".
struct HostFont {
  std::string name = "Ms Sans Serif";
  double size = 8;
  bool right_to_left = false;
};
HostFont ReadHostFont();
/// The host's language identifier: "Language" of the host's settings store; the user's
/// locale identifier when 0 or missing.
long GetLanguageLCID();
/// True for the Arabic and Hebrew locale identifiers.
bool IsRightToLeftLocale(long lcid);
/// The CSS font-family list for a face name: the face quoted (characters CSS would read
/// as syntax dropped), then the window's usual faces.
std::string CssFontFamily(const std::string& face);

class WindowShell {
 public:
  /// Opens a file of the html/ folder in a page of its own (the window's second page).
  std::function<void(const std::string& relative)> OpenPage;

  /// Reads the stored geometry and keeps where the next window opens.
  void RestoreSize();
  const std::optional<ui::WindowPlacement>& Placement() const { return placement_; }
  /// The page reported where its browser window is.
  void PageMoved(const ui::PageGeometry& geometry);
  /// Stores the last geometry the page reported (nothing when it reported none).
  void SaveSize();

  /// Puts the host's font (and right-to-left reading for a right-to-left host language)
  /// on the window page's "hostfont" element, which the page applies to its body.
  void SetFormFonts(ui::FrameModel& window);

  /// Opens html/Help/orderprocessing.html; a missing file is logged and shown.
  void DisplayHelp();

  /// The diagnostic view: the main frame's body becomes the page's own HTML, as text.
  void ShowPageSource(const FramePages& pages);

 private:
  std::optional<ui::WindowPlacement> placement_;
  std::optional<ui::PageGeometry> last_;
};

}  // namespace larkedi
