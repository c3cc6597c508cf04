// Module-wide values: where the module lives, its name, and the values set at start-up.
#pragma once

#include <string>

namespace larkedi {

/// The values one process shares between all parts of the module.
struct ModuleValues {
  /// Start mode asked by the opening call (1 orders, 3 status, 5 settings, other home).
  int StartupValue = 0;
  /// Design text handed in by the host, consumed by the window's load.
  std::string StartupInput;
  /// Another process runs the module and its window was brought forward.
  bool bAnotherInstance = false;
  /// Logging is on (the marker file exists); decided once at start-up.
  bool LogEnabled = false;
  /// Language of the loaded resource file.
  std::string LanguageCode = "en";
  /// Resource sub-folder: the language code followed by '/'.
  std::string LanguageFolder = "en/";
  /// Full path of the resource file that was found; empty when none was.
  std::string ResXPath;
};

/// The process's module-wide values.
ModuleValues& Module();

/// The module folder: LARKEDI_MODULE_DIR when set, else the folder of the running
/// executable. No trailing '/'.
std::string ModuleFolder();
/// Overrides the module folder for the rest of the process (tests, command-line option).
void SetModuleFolder(const std::string& folder);
/// The module name: "larkEDI".
std::string ModuleName();
/// A path inside the module folder.
std::string ModulePath(const std::string& relative);
/// The caption of the module's message boxes: "LarkEDI".
std::string ModuleTitle();

}  // namespace larkedi
