#include "testing/temp_module.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "host/startup.h"
#include "platform/instance_lock.h"
#include "presentation/style_sheets.h"
#include "support/module.h"
#include "support/resx.h"

namespace fs = std::filesystem;

namespace larkedi::testing {

std::string MakeTempDir() {
  std::string templ = (fs::temp_directory_path() / "larkedi-test-XXXXXX").string();
  char* made = ::mkdtemp(templ.data());
  if (!made) ADD_FAILURE() << "mkdtemp failed";
  return templ;
}

void StubStandardStyleSheets(const std::string& html_dir) {
  for (const auto& [key, file] : StyleSheetTable::StandardEntries()) {
    if (!fs::exists(fs::path(html_dir) / file)) {
      WriteFileOrDie((fs::path(html_dir) / file).string(),
                     "<xsl:stylesheet version=\"1.0\" "
                     "xmlns:xsl=\"http://www.w3.org/1999/XSL/Transform\"/>");
    }
  }
}

void CopySourceHtml(const std::string& dir) {
  fs::copy(fs::path(LARKEDI_SOURCE_DIR) / "html", fs::path(dir) / "html",
           fs::copy_options::recursive);
  StubStandardStyleSheets((fs::path(dir) / "html").string());
}

TempModule::TempModule(bool with_html) : dir_(MakeTempDir()) {
  if (with_html) {
    fs::copy(fs::path(LARKEDI_SOURCE_DIR) / "html", fs::path(dir_) / "html",
             fs::copy_options::recursive);
  }
  fs::create_directories(fs::path(dir_) / "run");
  ::setenv("XDG_RUNTIME_DIR", (fs::path(dir_) / "run").c_str(), 1);
  ::setenv("LARKEDI_MODULE_DIR", dir_.c_str(), 1);
  SetModuleFolder(dir_);
  Module() = ModuleValues{};
  Resources() = clsResX{};
}

TempModule::~TempModule() {
  ReleaseInstanceLock(ModuleName() + "_APPLICATION_MUTEX");
  Module() = ModuleValues{};
  Resources() = clsResX{};
  SetModuleFolder("");
  ::unsetenv("LARKEDI_MODULE_DIR");
  std::error_code ec;
  fs::remove_all(dir_, ec);
}

std::string TempModule::path(const std::string& relative) const {
  return (fs::path(dir_) / relative).string();
}

void TempModule::EnableLogging() {
  WriteFileOrDie(path(ModuleName() + ".debug"), "");
  Restart();
}

void TempModule::Restart() {
  RunStartupSteps(/*headless=*/true);
}

std::string ReadFileOrEmpty(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

void WriteFileOrDie(const std::string& path, const std::string& data) {
  fs::create_directories(fs::path(path).parent_path());
  std::ofstream out(path, std::ios::binary);
  out << data;
  ASSERT_TRUE(out.good()) << path;
}

int RunCommand(const std::string& command, std::string* output) {
  std::string full = command + " 2>&1";
  FILE* pipe = ::popen(full.c_str(), "r");
  if (!pipe) return -1;
  std::string out;
  char buf[4096];
  while (std::size_t n = std::fread(buf, 1, sizeof buf, pipe)) out.append(buf, n);
  int status = ::pclose(pipe);
  if (output) *output = out;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string LarkediExe() {
  return std::string(LARKEDI_MODULE_OUT) + "/larkedi";
}
std::string SourceDir() {
  return LARKEDI_SOURCE_DIR;
}

ScopedEnvVar::ScopedEnvVar(const char* name, const char* value) : name_(name) {
  if (const char* old = std::getenv(name)) old_ = old, had_ = true;
  if (value) {
    ::setenv(name, value, 1);
  } else {
    ::unsetenv(name);
  }
  ::tzset();
}

ScopedEnvVar::~ScopedEnvVar() {
  if (had_) {
    ::setenv(name_.c_str(), old_.c_str(), 1);
  } else {
    ::unsetenv(name_.c_str());
  }
  ::tzset();
}

}  // namespace larkedi::testing
