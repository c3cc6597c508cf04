// Drawing the order stack page (DisplayEDI: the list and totals style sheets, the frame
// models and their patches) for N stacked designs, beside loading the same stack from the
// spool folder. The page should cost a fraction of the load it shows.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>

#include "design_generator.h"
#include "host/frm_edi.h"
#include "host/main_window.h"
#include "orders/stack_files.h"
#include "platform/env.h"
#include "platform/ui/dialogs.h"
#include "support/module.h"
#include "support/utility.h"
#include "support/xml_helpers.h"

namespace {

namespace fs = std::filesystem;
using namespace larkedi;

// Frame models as the window server keeps them, with the patches they send counted.
class CountingSurface final : public WindowSurface {
 public:
  CountingSurface() {
    window_.LoadHtml(
        "<html><body><div id=\"menubar\"></div><div id=\"frameset\" rows=\"0,*,0\"></div>"
        "</body></html>");
  }
  ui::FrameModel* Frame(const std::string& name) override {
    if (name == "fDocA") return &a_;
    if (name == "fDocB") return &b_;
    if (name == "fDocC") return &c_;
    return nullptr;
  }
  ui::FrameModel& WindowModel() override { return window_; }
  void PrintPreview(const std::string&) override {}
  void RequestClose() override {}

  std::size_t patch_bytes = 0;

 private:
  ui::FrameModel::PatchSink Count() {
    return [this](const ui::Patch& p) { patch_bytes += p.value.size(); };
  }
  ui::FrameModel a_{"fDocA", Count()}, b_{"fDocB", Count()}, c_{"fDocC", Count()};
  ui::FrameModel window_{"window", Count()};
};

// A module folder with the shipped html/ folder and N enciphered designs (three catalogs
// of 100 items each) for 50 partners; made once per size and kept in the temporary folder.
std::string Prepare(int count) {
  static std::map<int, std::string> made;
  if (auto it = made.find(count); it != made.end()) return it->second;
  const std::string dir =
      (fs::temp_directory_path() / ("larkedi-display-bench-" + std::to_string(count))).string();
  gen::DesignGenOptions options;
  options.min_catalogs = options.max_catalogs = 3;
  options.min_items = options.max_items = 100;
  std::string settings = "<SETTINGS><SPOOLPATH>" + dir + "/Send</SPOOLPATH><ARCHIVEPATH>" + dir +
                         "/Archive</ARCHIVEPATH><SORTORDER>NS</SORTORDER>"
                         "<TRANSFORMATION></TRANSFORMATION>";
  for (int p = 1; p <= 50; ++p) {
    settings += "<PARTNER><ID>" + std::to_string(p) + "</ID><NAME>Partner " + std::to_string(p) +
                "</NAME><KITFILEID>0</KITFILEID></PARTNER>";
  }
  const auto codes = options.catalogs;
  for (int c = 1; c <= static_cast<int>(codes.size()); ++c) {
    settings += "<CATALOG><ID>" + std::to_string(c) + "</ID><CODE>" + codes[c - 1] +
                "</CODE><PARTNERID>" + std::to_string(1 + c % 50) + "</PARTNERID></CATALOG>";
  }
  settings += "</SETTINGS>";
  const std::string fingerprint =
      std::to_string(std::hash<std::string>{}(gen::GenerateDesign(options, 1) + settings));
  std::string seen;
  std::ifstream(dir + "/prepared") >> seen;
  if (seen != fingerprint) {
    fs::remove_all(dir);
    fs::create_directories(dir + "/Send");
    SetModuleFolder(dir);
    Utility util;
    for (int i = 1; i <= count; ++i) {
      std::string text = gen::GenerateDesign(options, i);
      RemoveXmlHeader(text);
      StoreDesignFile(dir + "/Send", util.GetGUID() + ".xme", text);
    }
  }
  // The shipped pages and style sheets, as the build lays them out now.
  fs::remove_all(dir + "/html");
  fs::copy(fs::path(LARKEDI_MODULE_OUT) / "html", dir + "/html", fs::copy_options::recursive);
  Env::Default()->WriteFileAtomic(dir + "/larkEDI.xml", settings, nullptr);
  Env::Default()->WriteFileAtomic(dir + "/prepared", fingerprint + "\n", nullptr);
  return made.emplace(count, dir).first->second;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

double SecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Each round loads the stack (timed), then draws it (timed): the same documents, the
// machine in the same state. Medians of the rounds are reported.
void BM_DisplayEDI(benchmark::State& state) {
  const int count = static_cast<int>(state.range(0));
  const std::string dir = Prepare(count);
  SetModuleFolder(dir);
  ConsoleDialogs dialogs(ConsoleDialogs::Answer::No);
  ScopedDialogs scoped(&dialogs);
  frmEDI edi;
  edi.OpenHeadless();
  edi.StyleSheets.FillStyleSheets(edi.Settings.docSettings);
  CountingSurface surface;
  MainWindow window(edi, surface);
  std::vector<double> loads, displays, ratios;
  for (auto _ : state) {
    for (int round = 0; round < 3; ++round) {
      edi.Orders.docOrders = xml::Document();
      auto start = std::chrono::steady_clock::now();
      edi.Orders.LoadOrders(false);
      loads.push_back(SecondsSince(start));
      surface.patch_bytes = 0;
      start = std::chrono::steady_clock::now();
      window.DisplayEDI(false);
      displays.push_back(SecondsSince(start));
      ratios.push_back(displays.back() / loads.back());
    }
  }
  state.counters["load_ms"] = Median(loads) * 1e3;
  state.counters["display_ms"] = Median(displays) * 1e3;
  state.counters["display_to_load"] = Median(ratios);
  state.counters["page_MB"] = static_cast<double>(surface.patch_bytes) / 1e6;
  state.counters["designs"] = edi.Orders.docOrders.selectNodes("/Orders/Design").length();
  state.counters["groups"] = edi.Orders.docOrders.selectNodes("/Orders/Design/ORDERGROUP").length();
}

BENCHMARK(BM_DisplayEDI)->Arg(1000)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
