// What the order stack tells the window it belongs to, and asks of it. A stack without a
// window (the command line, tests) uses the defaults: nothing shown, nothing aborted.
#pragma once

#include <string>

namespace larkedi {

class StackObserver {
 public:
  virtual ~StackObserver() = default;

  /// A progress or status text ("" clears it).
  virtual void ShowStatus(const std::string& /*text*/) {}
  /// Lets pending window messages run; the stack load calls it between files.
  virtual void PumpMessages() {}
  /// True when the load must stop at once (the user navigated away meanwhile).
  virtual bool LoadAborted() { return false; }
  /// A stack load begins: the window refills its style sheet table.
  virtual void LoadStarting() {}
  /// The text of the cabinet-sort style sheet, for sorting the designs handed in; empty
  /// when there is none (the designs are then taken unsorted).
  virtual std::string SortStyleSheet() { return {}; }
  /// The load registered new catalogs: show the settings view with its tool marked.
  virtual void ShowSettingsView() {}
  /// An order was removed: redraw the order stack view.
  virtual void RedrawOrderStack() {}
};

}  // namespace larkedi
