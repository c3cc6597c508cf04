// The public classes the host drives. Each opens the process's one main window (see
// window_host.h) and raises its own Finished when that window has finished. A modal call
// returns when the window has closed; a modeless one returns once the window is open and
// the host runs the window through WindowHost::RunOnce until Finished comes.
#pragma once

#include <functional>
#include <string>

namespace larkedi {

/// Start values of the opening calls: the first page shown.
constexpr int kStartHome = 0;
constexpr int kStartOrders = 1;
constexpr int kStartStatus = 3;
constexpr int kStartSettings = 5;

/// What the public classes share: the Finished event passed on from the window.
class PublicWindowClass {
 public:
  PublicWindowClass();
  virtual ~PublicWindowClass();
  PublicWindowClass(const PublicWindowClass&) = delete;
  PublicWindowClass& operator=(const PublicWindowClass&) = delete;

  /// Raised when the window this object opened has finished (or at once when it was not
  /// opened).
  std::function<void()> Finished;

 protected:
  void RaiseFinished() {
    if (Finished) Finished();
  }
  /// Loads the window (frmEDI, its page, the window server) for this object; false when
  /// the load failed (Finished was raised).
  bool OpenWindow(int start_value, const std::string& input);

 private:
  int handler_ = 0;
};

class Interface final : public PublicWindowClass {
 public:
  /// Opens the window on the page of `startupvalue`, modeless. When another process has
  /// the window, it was brought forward at start-up: Finished is raised at once.
  void show(int startupvalue = kStartHome);
  /// Opens the window with the design text `sXml` (kept for the window's load when not
  /// blank) on the page of `StartScr`: modeless when `xParams` is "Modeless" exactly,
  /// else modal. False only when another process has the window (Finished is raised);
  /// true otherwise, also when the load failed (Finished was raised, nothing shown).
  bool Activate(const std::string& sXml, const std::string& xParams, int& StartScr);
  bool Activate(const std::string& sXml, const std::string& xParams) {
    int start = kStartHome;
    return Activate(sXml, xParams, start);
  }

  /// The whole text of the settings file; empty (with a message) when it is missing.
  std::string Settings() const;
  /// Replaces the settings file by `text` without its dontsave="1" methods and partners.
  /// Failures are logged, never raised to the host.
  void Settings(std::string& text);
};

class config final : public PublicWindowClass {
 public:
  /// Opens the window on the settings page, modal, with the Home, Orders and Status
  /// tools switched off. The arguments are not used; the result is always false.
  bool Activate(const std::string& sXml, const std::string& xParams);
};

class Spooler final : public PublicWindowClass {
 public:
  /// The same as config.Activate.
  void Configure();
};

}  // namespace larkedi
