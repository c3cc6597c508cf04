// The public class the host drives. The members that open the main window come with the
// window; the settings text is available without it.
#pragma once

#include <string>

namespace larkedi {

class Interface {
 public:
  /// The whole text of the settings file; empty (with a message) when it is missing.
  std::string Settings() const;
  /// Replaces the settings file by `text` without its dontsave="1" methods and partners.
  /// Failures are logged, never raised to the host.
  void Settings(std::string& text);
};

}  // namespace larkedi
