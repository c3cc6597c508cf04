// Test helpers: a throw-away module folder and small file utilities.
#pragma once

#include <string>

namespace larkedi::testing {

/// A fresh module folder under the system temp folder with a copy of the source html/
/// (unless `with_html` is false). While it lives, the module runs from it, its runtime
/// folder (locks, window tag) is private, and the module-wide values are reset.
class TempModule {
 public:
  explicit TempModule(bool with_html = true);
  ~TempModule();
  TempModule(const TempModule&) = delete;
  TempModule& operator=(const TempModule&) = delete;

  const std::string& dir() const { return dir_; }
  std::string path(const std::string& relative) const;
  /// Turns logging on (creates the .debug marker) and runs start-up again.
  void EnableLogging();
  /// Runs the start-up steps again (headless).
  void Restart();

 private:
  std::string dir_;
};

std::string ReadFileOrEmpty(const std::string& path);
void WriteFileOrDie(const std::string& path, const std::string& data);
/// A new empty folder under the system temp folder.
std::string MakeTempDir();
/// Runs a shell command; returns its exit status and fills `output` with stdout+stderr.
int RunCommand(const std::string& command, std::string* output = nullptr);
/// Path of the built larkedi executable.
std::string LarkediExe();
/// Path of the source tree.
std::string SourceDir();
/// Writes an empty style sheet into `html_dir` for every standard view whose sheet is missing
/// there: the views' style sheets are filled into the table by every load; stand-ins will do.
void StubStandardStyleSheets(const std::string& html_dir);
/// Copies the source html/ to `dir`/html, with stand-ins for the standard sheets it lacks.
void CopySourceHtml(const std::string& dir);

/// Sets (or, given nullptr, unsets) an environment variable for the life of the object;
/// TZ changes are applied at once.
class ScopedEnvVar {
 public:
  ScopedEnvVar(const char* name, const char* value);
  ~ScopedEnvVar();
  ScopedEnvVar(const ScopedEnvVar&) = delete;
  ScopedEnvVar& operator=(const ScopedEnvVar&) = delete;

 private:
  std::string name_, old_;
  bool had_ = false;
};

}  // namespace larkedi::testing
