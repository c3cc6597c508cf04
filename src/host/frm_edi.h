// The main window: it owns the module's documents for its lifetime, and its operations
// (settings, order stack, views, sending) share them. The operations are defined in the
// subsystem folders (settings/, orders/, ...); the window adds its pages on top.
#pragma once

#include <functional>
#include <memory>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/xml/xml.h"
#include "presentation/style_sheets.h"
#include "sending/ckutil.h"

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

  /// Takes the design text of StartupInput in as the window's load does: parses it into
  /// docInput, completes the first design's job information, validates it for start-up and
  /// puts the validated design back, StartupInput becoming docInput's text. False at the
  /// failure exit (text that does not parse, a design that is not a child of the root, a
  /// design validation aborts); `status` receives the validation status.
  bool TakeInStartupInput(int& status);
  /// Rebuilds docOrders from the spool folder and StartupInput (consumed). True when the
  /// input registered a catalog the settings did not know.
  bool LoadOrders(bool bShowDialog);
  /// Completes one design element of the stack (IDs, file name, header defaults, catalog
  /// identification and registration, kit file).
  void LoadOrdersSub(xml::Node design, const std::string& fileName, int designId, bool& newCatalog);
  /// Fills empty JobInfo/FileName texts from Document/FilePath (trimmed).
  void CompleteDesignFileNames(xml::Document& doc);
  /// Builds the ORDERGROUP elements of every design of docOrders.
  void LoadOrderGroups();
  /// Writes back the designs that still have grouped catalogs, archives the others and
  /// drops designs without catalogs from docOrders.
  void SaveOrders();
  /// Asks, then removes the order group and its catalogs, saves and reloads. False when
  /// the question was answered No.
  bool RemoveOrder(long groupId);
  /// Drops a sent group, and the catalogs no other group of the same send lists.
  void RemoveSentOrder(xml::Node group, const xml::NodeList& sendList);
  /// Packs the folder's *.xme files into its yearly archive, then deletes them.
  void ArchiveFolder(const std::string& folder);

  /// The style sheet table, refilled by every stack load.
  StyleSheetTable StyleSheets;
  /// The compression object.
  CKUtil ckUtil;
  /// Catalog IDs of the stack, counted over every design of the last load.
  int CatalogCounter = 0;
  /// Codes of the catalogs the last LoadOrders added to the settings.
  std::vector<std::string> RegisteredCatalogs;
  /// Designs of the input that could not be stored in the spool folder by the last load.
  int StoreFailures = 0;

  // ---- hooks the window fills; without a window they do nothing ----
  /// Shows a progress or status text.
  std::function<void(const std::string&)> ShowStatus;
  /// Lets pending window messages run (the stack load yields between files).
  std::function<void()> PumpMessages;
  /// Shows the settings view with the settings tool marked current (new catalogs).
  std::function<void()> ShowSettingsView;
  /// Redraws the order stack view after a removal.
  std::function<void()> RedrawOrderStack;

 private:
  void AddNewPartner(int id);
  /// Appends a partner with the next ID (listed as new); code and, for a partner that is
  /// not free-EDI, name default from the resources. Returns the ID, 0 without SETTINGS.
  int AppendPartner(bool free_edi, const std::string& code, const std::string& name,
                    const std::string& manufacturer_id, const std::string& dealer_id);
  void Status(const std::string& text) {
    if (ShowStatus) ShowStatus(text);
  }
  void Yield() {
    if (PumpMessages) PumpMessages();
  }
  void IndexSettingsForLoad();

  // Grouping: the settings lookups are made once (BeginGrouping), then each design is
  // grouped in `//Design` order, the counter running over all of them. LoadOrders groups
  // every design as it takes it in, while its nodes are still in the processor's cache.
  struct Grouping;
  struct GroupingDeleter {
    void operator()(Grouping* grouping) const;
  };
  using GroupingPtr = std::unique_ptr<Grouping, GroupingDeleter>;
  GroupingPtr BeginGrouping();
  void GroupDesign(Grouping& grouping, xml::Node design);
  /// Groups `top` (a design just added to docOrders) and the designs inside it, in
  /// document order.
  void GroupDesignTree(Grouping& grouping, const xml::Node& top);

  // Lookups of one stack load, so completing a design does not search the settings.
  bool settingsIndexed_ = false;
  std::unordered_map<std::string, xml::Node> catalogByCode_;  // ASCII-folded CODE
  std::unordered_map<std::string, xml::Node> partnerById_;    // ID text
  long highestCatalogId_ = 0;
  std::string computerName_;
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
