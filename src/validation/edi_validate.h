// Manufacturer validation: runs each manufacturer's script (Validate/<MANUFID>.js) or the
// partner's validation module (an automation object named by PROGID) over the catalogs of a
// design, and records the outcome on the design and its order groups.
#pragma once

#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/script/script_host.h"
#include "platform/xml/xml.h"

namespace larkedi {

class CatalogIndex;

/// Severity of a validation outcome; compared numerically.
enum EdiValidateStatus : int {
  EDI_VALIDATE_OK = 0,
  EDI_VALIDATE_WARNING = 1,
  EDI_VALIDATE_ABORT = 2,
};

/// Name of a status as the command line prints it ("OK", "WARNING", "ABORT").
const char* EdiValidateStatusName(int status);

class clsEdiValidate {
 public:
  /// The time a manufacturer script may run before it is stopped.
  static constexpr long kDefaultScriptTimeoutMs = 10000;

  explicit clsEdiValidate(long scriptTimeoutMs = kDefaultScriptTimeoutMs);
  ~clsEdiValidate();
  clsEdiValidate(const clsEdiValidate&) = delete;
  clsEdiValidate& operator=(const clsEdiValidate&) = delete;

  /// Validates every design of the order stack against a private copy of its SETTINGS and
  /// writes each design's VALIDSTATUS. True when the design loop was reached.
  bool ValidateOrders(xml::Document& docOrders, bool bShowDialog);
  /// Per-catalog variant: script then module for each catalog. `nodeDesign` may be made to
  /// designate a changed design.
  EdiValidateStatus ValidateDesign(xml::Node& nodeDesign, xml::Document& docSettings,
                                   bool bStartupInput = false);
  /// Modules once per partner, then scripts once per catalog; updates the order groups.
  /// `nodeDesign` may be made to designate a changed design (in another document).
  EdiValidateStatus ValidateDesign2(xml::Node& nodeDesign, xml::Document& docSettings,
                                    bool bShowDialog, bool bStartupInput = false);

  /// Starts the script worker now when a partner of `docSettings` has a validation script,
  /// so that it is made from a small process: started later from a module holding a large
  /// order stack, it would copy that memory page by page as either process writes to it.
  /// True when a worker runs afterwards.
  bool PrepareScripts(const xml::Document& docSettings);

  /// Highest level reported since the last reset.
  int OverallStatus() const { return overall_status_; }
  /// One line per manufacturer script that could not be run to its end by this validator
  /// (did not compile, threw, ran out of time or memory): "<MANUFID>.js: <what happened>".
  /// Such a script counts as no finding; the lines let the caller say so.
  const std::vector<std::string>& ScriptFailures() const { return script_failures_; }

 private:
  int ValidatePartnersCatalog2(xml::Node& nodeDesign, const xml::Node& partner, bool bShowDialog,
                               bool bStartupInput);
  int ValidateCatalog(const xml::Node& catalog, xml::Node& nodeDesign, const xml::Node& partner,
                      std::vector<std::string>& partnerKeys, bool bStartupInput);
  int HandleScript(const std::string& manufId, const xml::Node& catalog, xml::Node& nodeDesign,
                   bool bStartupInput);
  int HandleError(const std::string& manufId, const xml::Node& error, bool bStartupInput);
  /// The common end of a catalog check: the diagnostic copy named after the check, then the
  /// ERROR the check reported (attached in send mode) or the checked design taken over
  /// (only when `designChanged`: a design the check left alone stays in place).
  int FinishCatalog(const std::string& checkName, const std::string& manufId,
                    xml::Document& docWork, xml::Document& docError, const xml::Node& catalog,
                    xml::Node& nodeDesign, bool bStartupInput, int level,
                    bool designChanged = true);
  void ResetScriptHost(const std::string& language, long timeoutMs, bool allowUI);
  /// True when `key` was already present; otherwise adds it and returns false.
  static bool AddUniqueKey(std::vector<std::string>& keys, const std::string& key);

  script::ScriptHost myScriptCtl;
  /// The settings lookups of ValidateOrders' private settings copy, made once for a
  /// whole order stack; null outside ValidateOrders.
  std::unique_ptr<CatalogIndex> settings_index_;
  /// The private settings copy held LINKEDCATALOG elements before validation added any.
  bool stray_linked_ = false;
  bool allow_ui_ = false;
  std::string script_folder_;
  long script_timeout_ms_ = kDefaultScriptTimeoutMs;
  int overall_status_ = 0;
  std::vector<std::string> script_failures_;
  /// Manufacturers whose script ran out of time with this validator: not run again.
  std::set<std::string> timed_out_;
};

}  // namespace larkedi
