// Standalone pages of the module's views: the same style sheets the main window uses,
// applied to a document, with the module's CSS inlined, so a view can be saved, opened in
// any browser or checked by a program.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/xml/xml.h"
#include "presentation/style_sheets.h"
#include "support/log.h"

namespace larkedi {

/// The view names RenderView accepts, with their arguments:
/// "orderstacklist", "orderstacktotals", "orderdetail ID", "orderstogo", "settings",
/// "partnerlist", "partner ID [warning]", "status", "ediorderlist" and "home".
const std::vector<std::string>& RenderableViews();

/// A copy of the settings document without the partners whose orders go through an
/// order-form module (their orders cannot be followed on a dealer site): the input of the
/// status page.
xml::Document StatusSettingsCopy(const xml::Node& docSettings);

/// Checks, before a view is rendered on its own, that its input holds what the view shows:
/// the settings views need a settings document (root SETTINGS), "partner" a partner of
/// that ID (unless "warning" asks for every partner), "orderdetail" over an order stack an
/// order group of that ID, the other order views an order stack (root Orders) and
/// "ediorderlist" a dealer server's list (root DATA). The window shows a "not found" page
/// instead; a standalone page of nothing is an error. False with `err` (kErrGeneral and the
/// reason) otherwise; true for an unknown view, which RenderView reports itself.
bool CheckRenderInput(std::string_view view, const std::vector<std::string>& args,
                      const xml::Node& docOrders, const xml::Node& docSettings, Err& err);

/// Renders `view` as one HTML page.
/// - `docOrders`: the order stack (root Orders) for the order views; for "ediorderlist"
///   the dealer server's order list (root DATA); "orderdetail" also accepts the dealer
///   server's order detail.
/// - `docSettings`: the settings document (root SETTINGS) for "settings", "partnerlist",
///   "partner" and "status".
/// - `args`: "orderdetail" takes the order ID; "partner" takes the partner ID and, as a
///   second argument, "warning" for the page listing every partner after a save that left
///   new partners unsaved.
/// The partner page is rendered over the whole settings document (the partner's own
/// element alone does not carry the list of methods).
/// False with `err` set on an unknown view, a missing argument or document, or a style
/// sheet that does not load or run.
bool RenderView(const StyleSheetTable& table, std::string_view view,
                const std::vector<std::string>& args, const xml::Node& docOrders,
                const xml::Node& docSettings, std::string& html, Err& err);

/// The same with a style sheet table filled from the module's html folder.
bool RenderView(std::string_view view, const std::vector<std::string>& args,
                const xml::Node& docOrders, const xml::Node& docSettings, std::string& html,
                Err& err);

}  // namespace larkedi
