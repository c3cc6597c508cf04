// The command-line tests' module: the one-partner settings, the `larkedi` command run in it
// with no terminal, the design files it is handed, and the designs it stacked.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "host/host_fixture.h"
#include "testing/temp_module.h"
#include "testing/test_window.h"

namespace larkedi::testing {

// A design file: design `number` (kit "<number>.kit") with a catalog per code, each with
// `items` items whose texts do not compress away, so a large design has a real size.
inline std::string Designs(const std::string& number, const std::vector<std::string>& catalogs,
                           int items = 1) {
  std::string d = "<Designs><Design><JobInfo><Header><ComputerName>PC</ComputerName><Number>" +
                  number + "</Number><GlobalID/></Header><FileName>" + number +
                  ".kit</FileName></JobInfo>";
  for (const std::string& c : catalogs) {
    d += "<Catalog><Identification><Name>" + c + "</Name></Identification>";
    for (int i = 1; i <= items; ++i) {
      d += "<Item><LineItemNumber>" + std::to_string(i) + "</LineItemNumber><Code>" + number + "-" +
           c + "-" + std::to_string(i * 7919 % 10007) + "</Code><Qty>2</Qty><Text>" +
           std::to_string(i * 104729 % 99991) + " drawer " + std::to_string(i * 31337 % 65521) +
           "</Text></Item>";
    }
    d += "</Catalog>";
  }
  return d + "</Design></Designs>";
}

class CommandTest : public ::testing::Test {
 protected:
  void SetUp() override { WriteOnePartnerSettings(module_, "Acme"); }

  // `larkedi <args>` with no terminal; its exit status, standard error joining `out`.
  int Lark(const std::string& args, std::string* out = nullptr) {
    return RunCommand(
        LarkediExe() + " --module-dir '" + module_.dir() + "' " + args + " </dev/null", out);
  }
  // Stacks `design` with `stack add`; its exit status.
  int Add(const std::string& design, std::string* out = nullptr) {
    WriteFileOrDie(module_.path("in.xml"), design);
    return Lark("--yes stack add " + module_.path("in.xml"), out);
  }
  // The stacked design files.
  std::vector<std::string> Stacked() {
    std::vector<std::string> files;
    if (!std::filesystem::is_directory(module_.path("Send"))) return files;
    for (const auto& e : std::filesystem::directory_iterator(module_.path("Send"))) {
      if (e.path().extension() == ".xme") files.push_back(e.path().string());
    }
    return files;
  }

  TempModule module_;
};

}  // namespace larkedi::testing
