#include "host/window_shell.h"

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <sstream>

#include "platform/env.h"
#include "platform/ui/dialogs.h"
#include "support/log.h"
#include "support/module.h"
#include "support/registry.h"
#include "support/resx.h"
#include "support/utility.h"
#include "support/xml_helpers.h"

namespace larkedi {
namespace {

constexpr long kTwipsPerPixel = 15;
const char kHelpFile[] = "Help/orderprocessing.html";

long StoredNumber(const std::string& name) {
  std::string text;
  clsRegistry reg;
  if (reg.ReadRegValue(HKEY_CURRENT_USER, DisplayKey(), name, text) != REG_OK) return 0;
  const double v = clsRegistry::Val(text);
  return std::isfinite(v) && std::fabs(v) < 1e9 ? std::lround(v) : 0;
}

// KeyValue of the host's settings store: the stored text, empty when unset.
std::string HostSetting(const std::string& key, const std::string& section) {
  std::string path = "Software\\Orca Technologies\\Larkspur";
  if (!section.empty()) path += "\\" + section;
  std::string text;
  clsRegistry reg;
  if (reg.ReadRegValue(HKEY_CURRENT_USER, path, key, text) != REG_OK) return {};
  return text;
}

bool Usable(const std::string& value) {
  const std::string v = Trim(value);
  return !v.empty() && v != "-1";
}

std::string FontSizeText(double points) {
  std::ostringstream out;
  out << points << "pt";
  return out.str();
}

}  // namespace

std::string DisplayKey() {
  return "Software\\VB and VBA Program Settings\\LarkEDI\\display";
}

StoredGeometry ReadStoredGeometry() {
  StoredGeometry g;
  g.left = StoredNumber("left");
  g.top = StoredNumber("top");
  g.width = StoredNumber("width");
  g.height = StoredNumber("height");
  g.windowstate = StoredNumber("windowstate");
  g.screenwidth = StoredNumber("screenwidth");
  g.screenheight = StoredNumber("screenheight");
  return g;
}

bool WriteStoredGeometry(const StoredGeometry& g) {
  clsRegistry reg;
  bool ok = true;
  const std::pair<const char*, long> values[] = {{"windowstate", g.windowstate},
                                                 {"left", g.left},
                                                 {"top", g.top},
                                                 {"width", g.width},
                                                 {"height", g.height},
                                                 {"screenwidth", g.screenwidth},
                                                 {"screenheight", g.screenheight}};
  for (const auto& [name, value] : values) {
    ok = reg.SetNewValue(HKEY_CURRENT_USER, DisplayKey(), kRegTypeText, name,
                         std::to_string(value)) == REG_OK &&
         ok;
  }
  return ok;
}

StoredGeometry GeometryOfPage(const ui::PageGeometry& page) {
  StoredGeometry g;
  g.left = page.left * kTwipsPerPixel;
  g.top = page.top * kTwipsPerPixel;
  g.width = page.width * kTwipsPerPixel;
  g.height = page.height * kTwipsPerPixel;
  g.windowstate = page.maximized ? 2 : 0;
  g.screenwidth = page.screen_width * kTwipsPerPixel;
  g.screenheight = page.screen_height * kTwipsPerPixel;
  return g;
}

std::optional<ui::WindowPlacement> PlacementOf(const StoredGeometry& g) {
  ui::WindowPlacement p;
  p.left = static_cast<int>(g.left / kTwipsPerPixel);
  p.top = static_cast<int>(g.top / kTwipsPerPixel);
  p.width = static_cast<int>(g.width / kTwipsPerPixel);
  p.height = static_cast<int>(g.height / kTwipsPerPixel);
  if (g.windowstate == 2) {
    p.maximized = true;
    return p;
  }
  if (g.width <= 0 || g.height <= 0 || g.left < 0 || g.top < 0) return std::nullopt;
  if (g.screenwidth > 0 && g.left + g.width > g.screenwidth) return std::nullopt;
  if (g.screenheight > 0 && g.top + g.height > g.screenheight) return std::nullopt;
  return p;
}

HostFont ReadHostFont() {
  HostFont font;
  const std::string section = "Design\\Settings";
  if (std::string v = HostSetting("DefaultVBFontName", section); Usable(v)) font.name = Trim(v);
  if (std::string v = HostSetting("DefaultVBFontSize", section); Usable(v)) {
    const double size = clsRegistry::Val(v);
    if (std::isfinite(size) && size > 0 && size < 200) font.size = size;
  }
  if (std::string v = HostSetting("DefaultVBRightToLeft", section); Usable(v)) {
    font.right_to_left = clsRegistry::Val(v) != 0;
  }
  return font;
}

long GetLanguageLCID() {
  static const long lcid = [] {
    long id = std::lround(clsRegistry::Val(HostSetting("Language", "")));
    if (id != 0) return id;
    for (const char* var : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
      const char* v = std::getenv(var);
      if (v && *v) return static_cast<long>(LocaleIdFromName(v));
    }
    return 1033L;
  }();
  return lcid;
}

bool IsRightToLeftLocale(long lcid) {
  static const long kRtl[] = {1025, 1037,  2049,  3073,  4097,  5121,  6145,  7169, 8193,
                              9217, 10241, 11265, 12289, 13313, 14337, 15361, 16385};
  for (long id : kRtl) {
    if (id == lcid) return true;
  }
  return false;
}

std::string CssFontFamily(const std::string& face) {
  std::string clean;
  for (char c : face) {
    const unsigned char u = static_cast<unsigned char>(c);
    // Letters, digits, blanks, hyphens and any non-ASCII letter stay; quotes, semicolons,
    // braces and the like would end the value.
    if (std::isalnum(u) || c == ' ' || c == '-' || c == '_' || u >= 0x80) clean += c;
  }
  clean = Trim(clean);
  std::string family = clean.empty() ? std::string() : "\"" + clean + "\", ";
  return family + "verdana, arial, helvetica, sans-serif";
}

void WindowShell::RestoreSize() {
  placement_ = PlacementOf(ReadStoredGeometry());
}

void WindowShell::PageMoved(const ui::PageGeometry& geometry) {
  if (geometry.width <= 0 || geometry.height <= 0) return;
  last_ = geometry;
}

void WindowShell::SaveSize() {
  if (!last_) return;
  if (!WriteStoredGeometry(GeometryOfPage(*last_))) {
    WriteLog("Error in SaveSize: the window geometry could not be stored.");
  }
}

void WindowShell::SetFormFonts(ui::FrameModel& window) {
  ui::HtmlElement element = window.GetElementById("hostfont");
  if (!element) return;
  const HostFont font = ReadHostFont();
  element.setAttribute("data-family", CssFontFamily(font.name));
  element.setAttribute("data-size", FontSizeText(font.size));
  const bool rtl = font.right_to_left && IsRightToLeftLocale(GetLanguageLCID());
  element.setAttribute("data-dir", rtl ? "rtl" : "ltr");
}

void WindowShell::DisplayHelp() {
  WriteLog("Entering DisplayHelp().");
  const std::string path = ModulePath(std::string("html/") + kHelpFile);
  if (!Env::Default()->Exists(path)) {
    const std::string text =
        Res("MSG FailedToLaunchHelp") + "\n" + ResParam("MSG FileDoesNotExistParam", {path});
    WriteLog(text);
    CurrentDialogs().MsgBox(text, MsgButtons::OK, MsgIcon::Information, ModuleTitle());
    return;
  }
  if (OpenPage) {
    OpenPage(kHelpFile);
  } else {
    LogError(Res("MSG FailedToLaunchHelp"),
             Err::Raise(1000, "DisplayHelp", "The window has no page to show the help in."));
    CurrentDialogs().MsgBox(Res("MSG FailedToLaunchHelp"), MsgButtons::OK, MsgIcon::Information,
                            ModuleTitle());
  }
}

void WindowShell::ShowPageSource(const FramePages& pages) {
  if (!pages.fDocB) return;
  const std::string source = pages.fDocB->Html();
  pages.fDocB->body().setInnerHTML("<pre>" + ui::EscapeHtml(source) + "</pre>");
}

}  // namespace larkedi
