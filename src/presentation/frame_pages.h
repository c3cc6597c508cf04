// The services through which the views put content into the main window's frames: the
// frame models fDocA (top), fDocB (main area) and fDocC (bottom strip), and the window
// page whose "frameset" element carries the frame rows. Also the order stack views drawn
// from the order stack document, and the reading of a page element's id.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/err.h"
#include "platform/ui/frame_model.h"
#include "platform/xml/xml.h"
#include "presentation/style_sheets.h"

namespace larkedi {

/// The frames of the main window. Any pointer may be null (a frame the page has not got);
/// the services then leave that frame alone.
struct FramePages {
  ui::FrameModel* fDocA = nullptr;
  ui::FrameModel* fDocB = nullptr;
  ui::FrameModel* fDocC = nullptr;
  /// The window page; its element "frameset" holds the "rows" attribute.
  ui::FrameModel* window = nullptr;
  /// The address of the module's html/ folder as the page loads it (the window server's
  /// own, ending in "/"); image references are made absolute against it. Empty leaves them
  /// as they are.
  std::string html_address;

  /// Frame 0, 1 or 2; null for any other index.
  ui::FrameModel* FrameAt(int index) const;
};

/// A page element's id read as the pages use it: the action name is the lower-cased id
/// without its digits, the number is the id's digits read as an integer (0 when none).
std::string GetIdName(std::string_view id);
long GetIdNumber(std::string_view id);

/// `path` with every byte other than letters, digits, "-._~" and "/" percent-encoded, so
/// it can stand as the path of an address (a quote, blank or "&" in a folder name cannot
/// end the attribute it is written into).
std::string PercentEncodePath(std::string_view path);
/// Makes the relative image references of `html` that end in `extension` (".gif", ".jpg";
/// any letter case) absolute by putting `base` (an address ending in "/") in front of
/// them. A reference is a quoted attribute or url() value: from the extension, at most 100
/// characters back to its opening quote; a ":" met first means it is absolute already, and
/// a value that starts with "/" is already an address on the window's server. The search
/// goes on after the reference just rewritten, so a `base` holding a quote is inserted once.
std::string FixImagePaths(const std::string& html, const std::string& extension,
                          const std::string& base);
/// Opens `html` in the window's print page (through `preview`) after making its image
/// references absolute: the print page has an address of its own.
void PrintPage(const FramePages& pages, const std::string& html,
               const std::function<void(const std::string&)>& preview);

/// Replaces entry `row` of the frame rows by `height`; the other entries stay.
void SetFrameRowHeight(const FramePages& pages, int row, int height);
/// The current "rows" text of the frame set.
std::string FrameRows(const FramePages& pages);

/// A whole frame document around `body` (the module's style sheet linked, not inlined).
std::string FrameDocument(const std::string& body, const std::string& body_class = "");
/// Writes `body` as the frame's whole content.
void SetFrameBody(ui::FrameModel* frame, const std::string& body,
                  const std::string& body_class = "");
/// The frame's body becomes `text`, centred in bold italics. `text` is markup.
void ShowFrameMessage(const FramePages& pages, int frame, const std::string& text);
/// The red error form: the resource text, then the reason shown as text.
std::string ErrorHtml(const std::string& resource_text, const std::string& reason);

/// The HTML of a menu strip from (id, href, caption) triples; empty when `items` does not
/// hold whole triples. Captions are shown as text.
std::string BuildMenuHtml(const std::vector<std::string>& items);

/// Loads a page of the module's html folder into frame `frame` (hiding the bottom strip);
/// text inputs of a form named like a SETTINGS child take that child's values. False with
/// `err` set when the page cannot be read.
bool LoadPage(const FramePages& pages, int frame, const std::string& file_name,
              const xml::Node& docSettings, Err& err);

/// The order stack list of `docOrders` in fDocB ("OST ThereAreNoOrdersStacked" when it
/// holds no design); a style sheet failure is shown in fDocB in the red error form. Then
/// the totals (DisplayTotals).
void ShowOrderStack(const FramePages& pages, const StyleSheetTable& table,
                    const xml::Node& docOrders);
/// The totals strip in fDocC, its row 35 high. A failing style sheet is reported in a
/// frame, never raised.
void DisplayTotals(const FramePages& pages, const StyleSheetTable& table,
                   const xml::Node& docOrders);
/// One order's detail in fDocB and the two-entry menu ("lmenureturn", "lmenuprint") in
/// fDocC. Empty Err, or the failure of the detail style sheet (nothing is drawn then).
Err DisplayOrder(const FramePages& pages, const StyleSheetTable& table, const xml::Node& docOrders,
                 long orderId);

}  // namespace larkedi
