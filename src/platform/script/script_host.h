// Runs manufacturer validation scripts (JavaScript) in a sandboxed worker process.
//
// One worker process serves every script of a validation run: it is forked on the first
// Run (or by Start) and loops, running each script in a fresh interpreter with its own
// memory cap, so nothing of one script survives into the next. The worker makes the next
// interpreter while the module reads an answer, so making it costs the module no time. The worker
// has no file, process or network access (the interpreter offers none, every inherited descriptor
// is closed and its limits forbid new files and processes). A script that runs past the time limit
// or takes the worker down costs only that worker: it is killed and the next Run starts a new one.
//
// A script sees three named objects, `docCatalog`, `docDesign` and `docError` (DOM
// documents, docs/validation-scripts.md), and the members of docCatalog (then docDesign)
// as globals; the host executes the statement `Validate()`. A document reaches the worker
// only when the script first uses it, so a script that reads its catalog alone never pays
// for the design. Changes the script makes to the documents are handed back when it ends,
// also after a script error; after a time-out or a worker crash there are none.
//
// Nothing here throws.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include "platform/xml/xml.h"

namespace larkedi::script {

constexpr long kDefaultTimeoutMs = 10000;
constexpr std::size_t kDefaultMemoryLimit = 128u * 1024 * 1024;

/// Error numbers a run reports (those of the original script runtime where one exists).
constexpr long kErrScriptSyntax = 1002;       // Syntax error
constexpr long kErrScriptUndefined = 500;     // Variable is undefined (ReferenceError)
constexpr long kErrScriptNoMember = 438;      // Object doesn't support this property or method
constexpr long kErrScriptRuntime = 5;         // Invalid procedure call or argument (other errors)
constexpr long kErrScriptOutOfMemory = 7;     // Out of memory
constexpr long kErrScriptPermission = 70;     // Permission denied (MsgBox without allow-UI)
constexpr long kErrScriptTimeout = 9000;      // stopped after the time limit
constexpr long kErrScriptHostFailure = 9000;  // the worker could not run or ended

/// Outcome of one script run, as the script control's Error object described it.
struct ScriptResult {
  bool ok = false;
  long errorNumber = 0;
  std::string errorSource;  // "JavaScript compilation error", "JavaScript runtime error", ...
  std::string errorDescription;
  long errorLine = 0;  // 1-based line in the script; 0 when unknown
  bool timedOut = false;
};

/// One of the three documents of a run, as the worker sees it.
struct ScriptDocument {
  /// The document's text as the script starts (empty: an empty document). Called at most
  /// once per Run, and only when the script uses the document.
  std::function<std::string()> text;
  /// Sent with the script instead of on first use: for a document nearly every script
  /// reads, this saves the worker a round trip to ask for it.
  bool eager = false;
  /// After Run: true when the script left the document different from how it received it,
  /// with its text in `result`.
  bool changed = false;
  std::string result;
};

class ScriptHost {
 public:
  ScriptHost();
  /// Ends the worker (it is told to stop, then killed if it does not).
  ~ScriptHost();
  ScriptHost(const ScriptHost&) = delete;
  ScriptHost& operator=(const ScriptHost&) = delete;

  /// Back to the initial state: time limit `timeoutMs`, default memory limit, allow-UI off.
  /// Scripts never share state anyway (each run gets a fresh interpreter).
  void Reset(long timeoutMs = kDefaultTimeoutMs);
  void SetTimeout(long timeoutMs);
  long timeout() const { return timeout_ms_; }
  /// Heap cap of one script's interpreter (and, outside sanitizer builds, the base of the
  /// worker's address-space limit). Applies from the next worker started.
  void SetMemoryLimit(std::size_t bytes);
  /// Title of the message boxes a script shows when it passes none.
  void SetDialogTitle(std::string title) { dialog_title_ = std::move(title); }

  /// Runs `scriptText` and then the statement `Validate()`. With `allowUI` the script's
  /// MsgBox calls reach CurrentDialogs(); without it MsgBox is error 70.
  ScriptResult Run(const std::string& scriptText, xml::Document& docCatalog,
                   xml::Document& docDesign, xml::Document& docError, bool allowUI);
  /// The same over documents given as text on demand; changes come back in each
  /// document's `changed`/`result`, and the caller decides what to load.
  ScriptResult Run(const std::string& scriptText, ScriptDocument& docCatalog,
                   ScriptDocument& docDesign, ScriptDocument& docError, bool allowUI);

  /// Starts the worker ahead of the first Run (which otherwise starts it). True when one
  /// runs afterwards.
  bool Start();

  /// Process id of the current worker, -1 when none runs (tests and diagnostics).
  pid_t WorkerPid() const;
  /// Ends the current worker now; the next Run starts a new one.
  void StopWorker();

 private:
  struct Worker;
  struct RunDocuments {
    ScriptDocument* doc[3] = {nullptr, nullptr, nullptr};
    bool made[3] = {false, false, false};  // text[i] was asked of doc[i] already
    std::string text[3];
  };
  bool StartWorker(std::string* error);
  ScriptResult RunOnce(const std::string& request, RunDocuments& docs, bool allowUI, bool* retry);

  long timeout_ms_ = kDefaultTimeoutMs;
  std::size_t memory_limit_ = kDefaultMemoryLimit;
  std::string dialog_title_;
  std::unique_ptr<Worker> worker_;
};

namespace detail {
/// The worker's loop over the socket `fd` (runs in the forked child, never returns).
[[noreturn]] void WorkerMain(int fd, std::size_t memory_limit);
}  // namespace detail

}  // namespace larkedi::script
