// The main window: it owns the module's documents for its lifetime, and its operations
// (settings, order stack, views, sending) share them. The operations are defined in the
// subsystem folders (settings/, orders/, ...); the window adds its pages on top.
#pragma once

#include <set>
#include <string>
#include <vector>

#include "platform/xml/xml.h"

namespace larkedi {

class frmEDI {
 public:
  frmEDI() = default;
  frmEDI(const frmEDI&) = delete;
  frmEDI& operator=(const frmEDI&) = delete;

  // ---- documents held for the window's lifetime ----
  xml::Document docSettings;
  xml::Document docInput;
  xml::Document docOrders;

  // ---- flags ----
  /// The load did not complete; the opening call raises Finished instead of showing.
  bool LoadFailed = false;
  /// A navigation command other than the order stack is running; a stack load aborts.
  bool bNavigating = false;
  /// The order stack view is the current page.
  bool bStackShown = false;
  /// The order stack was edited and must be saved on unload.
  bool bOrdersChanged = false;
  /// The frame page was navigated once: from then on the settings load no longer asks
  /// the partner web service for new free-EDI manufacturers.
  bool bWebServiceDone = false;

  /// Names of the stacked files the current docOrders was built from.
  std::set<std::string> LoadedSpoolFiles;
  /// Partners created since the window opened and not yet saved (their IDs).
  std::vector<int> NewPartners;

  // ---- settings ----
  /// (Re)loads docSettings from the settings file and completes it with the defaults,
  /// free-EDI partners (only before bWebServiceDone) and registered legacy methods.
  void FillSettings();
  /// Largest ID of the elements plus 1; 1 for an empty list.
  int NextID(const xml::NodeList& nodes) const;
  /// Appends an unsaved partner (code and name default from the resources); returns its ID.
  int CreateEmptyPartner(const std::string& code, const std::string& name);
  /// Appends a free-EDI partner for a manufacturer of the partner web service; returns its ID.
  int CreateFreeEDIPartner(const std::string& manufacturer_id, const std::string& name);
  /// True when the partner carries the freeedi attribute set.
  bool IsFreeEdiPartner(int partner_id) const;

  // ---- order stack ----
  /// True when .xme files were added to or removed from the spool folder since the stack
  /// was loaded.
  bool IsSpoolerChanged();

 private:
  void AddNewPartner(int id);
};

/// The settings file: <module folder>/<module name>.xml.
std::string SettingsPath();
/// Parses a settings text, drops METHOD and PARTNER elements marked dontsave="1" and writes
/// the settings file. False (logged) when the text does not parse or cannot be written.
bool SaveSettingsXML(const std::string& text);

/// Appends <name><![CDATA[text]]></name> to `parent`; returns the new element.
xml::Node AppendCDataElement(xml::Document& doc, xml::Node parent, const std::string& name,
                             const std::string& text);
/// Appends <name>text</name> to `parent`; returns the new element.
xml::Node AppendTextElement(xml::Document& doc, xml::Node parent, const std::string& name,
                            const std::string& text);

}  // namespace larkedi
