// Test helpers for the main window on plain frame models: a surface that records what the
// window asks of its page, and the small settings file and design the window tests open.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "host/frm_edi.h"
#include "host/main_window.h"
#include "testing/scripted_dialogs.h"
#include "testing/temp_module.h"

namespace larkedi::testing {

/// A WindowSurface over three frame models ("fDocA", "fDocB", "fDocC") and a window model
/// holding the menu bar and the frame set. It records the message pumps and the second
/// panel's address; posted tasks wait in a queue of its own.
class TestSurface final : public WindowSurface {
 public:
  struct Options {
    /// PumpMessages runs the queued tasks, as a surface without a loop of its own does;
    /// when false a pump only counts and the tasks wait for RunAnswer.
    bool pump_runs_tasks = true;
    /// ShowSitePanel accepts every address (the panel then holds it); when false it refuses
    /// like a surface without a second browser.
    bool accept_site_panel = false;
  };

  TestSurface() : TestSurface(Options{}) {}
  explicit TestSurface(Options options);

  ui::FrameModel* Frame(const std::string& name) override;
  ui::FrameModel& WindowModel() override { return window_; }
  void PrintPreview(const std::string&) override {}
  void RequestClose() override {}
  void PumpMessages() override;
  bool ShowSitePanel(const std::string& address, const std::string& site) override;
  void ShowBlankPanel() override { panel = "about:blank"; }
  void HidePanel() override { panel.clear(); }
  void PostTask(std::function<void()> task) override;

  /// Waits for a posted task (bounded, so a lost answer fails instead of hanging) and runs
  /// every queued task. The number run.
  int RunAnswer(std::chrono::milliseconds wait = std::chrono::seconds(20));

  int pumps = 0;
  std::string panel;
  ui::FrameModel a_{"fDocA"}, b_{"fDocB"}, c_{"fDocC"}, window_{"window"};

 private:
  int RunQueued();

  Options options_;
  std::mutex mu_;
  std::condition_variable cv_;
  std::deque<std::function<void()>> tasks_;
};

/// A click on the element `id` of the frame (or "window") `frame`.
ui::PageEvent Click(const std::string& frame, const std::string& id);

/// A main window over a TestSurface in a module of its own, its dialogs answered from
/// `dialogs_`.
class WindowTest : public ::testing::Test {
 protected:
  explicit WindowTest(TestSurface::Options options = {}) : surface_(options) {}

  TempModule module_;
  ScriptedDialogs dialogs_;
  ScopedDialogs scoped_{&dialogs_};
  frmEDI edi_;
  TestSurface surface_;
  MainWindow window_{edi_, surface_};
};

/// A design list of one design of `kit` on `catalog`, one item, as the designer hands it in.
std::string OneDesignInput(const std::string& kit, const std::string& catalog);

/// Writes the module's settings file with one method, the module's Send and Archive folders,
/// one partner "ACME" named `partner_name` (XML text) and its catalog "ABC".
void WriteOnePartnerSettings(const TempModule& module, const std::string& partner_name);

}  // namespace larkedi::testing
