// Loading the order stack from N stacked designs, beside the floor on the same files
// (deciphering and parsing each file and nothing else).
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <map>

#include "design_generator.h"
#include "host/frm_edi.h"
#include "orders/stack_files.h"
#include "platform/env.h"
#include "platform/ui/dialogs.h"
#include "presentation/style_sheets.h"
#include "support/module.h"
#include "support/utility.h"
#include "support/xml_helpers.h"

namespace {

namespace fs = std::filesystem;
using namespace larkedi;

struct Stack {
  std::string dir;
  std::size_t plain_bytes = 0;
};

// A module folder with N enciphered designs (three catalogs of 100 items each), 50 partners
// and 500 settings catalogs; made once per size. With `scripts`, every partner has a
// MANUFID and a small validation script (Validate/<MANUFID>.js) that reads one node.
const Stack& Prepare(int count, bool scripts = false) {
  static std::map<std::pair<int, bool>, Stack> made;
  auto it = made.find({count, scripts});
  if (it != made.end()) return it->second;
  Stack s;
  s.dir = (fs::temp_directory_path() /
           ("larkedi-stack-bench-" + std::to_string(count) + (scripts ? "-js" : "")))
              .string();
  fs::remove_all(s.dir);
  fs::create_directories(s.dir + "/Send");
  fs::create_directories(s.dir + "/html");
  if (scripts) fs::create_directories(s.dir + "/Validate");
  for (const auto& [key, file] : StyleSheetTable::StandardEntries()) {
    (void)key;
    const std::string text =
        "<xsl:stylesheet version=\"1.0\" xmlns:xsl=\"http://www.w3.org/1999/XSL/Transform\"/>";
    Env::Default()->WriteFileAtomic(s.dir + "/html/" + file, text, nullptr);
  }
  gen::DesignGenOptions options;
  options.min_catalogs = options.max_catalogs = 3;
  options.min_items = options.max_items = 100;
  std::string settings = "<SETTINGS><SPOOLPATH>" + s.dir + "/Send</SPOOLPATH><ARCHIVEPATH>" +
                         s.dir +
                         "/Archive</ARCHIVEPATH><SORTORDER>NS</SORTORDER>"
                         "<TRANSFORMATION></TRANSFORMATION>";
  for (int p = 1; p <= 50; ++p) {
    const std::string manuf = "MANUF" + std::to_string(p);
    settings += "<PARTNER><ID>" + std::to_string(p) + "</ID><NAME>Partner " + std::to_string(p) +
                "</NAME><KITFILEID>0</KITFILEID>" +
                (scripts ? "<MANUFID>" + manuf + "</MANUFID>" : std::string()) + "</PARTNER>";
    if (scripts) {
      Env::Default()->WriteFileAtomic(
          s.dir + "/Validate/" + manuf + ".js",
          "function Validate() {\n"
          "  var name = docCatalog.selectSingleNode(\"/Catalog/Identification/Name\");\n"
          "  if (name === null) return;\n"
          "}\n",
          nullptr);
    }
  }
  const auto codes = options.catalogs;
  for (int c = 1; c <= 500; ++c) {
    const std::string code =
        c <= static_cast<int>(codes.size()) ? codes[c - 1] : "CAT" + std::to_string(c);
    settings += "<CATALOG><ID>" + std::to_string(c) + "</ID><CODE>" + code + "</CODE><PARTNERID>" +
                std::to_string(1 + c % 50) + "</PARTNERID></CATALOG>";
  }
  settings += "</SETTINGS>";
  Env::Default()->WriteFileAtomic(s.dir + "/larkEDI.xml", settings, nullptr);
  SetModuleFolder(s.dir);
  CKUtil ck;
  Utility util;
  for (int i = 1; i <= count; ++i) {
    std::string text = gen::GenerateDesign(options, i);
    const std::string name = util.GetGUID() + ".xme";
    RemoveXmlHeader(text);
    s.plain_bytes += text.size();
    Err err;
    StoreDesignFile(ck, s.dir + "/Send", name, text, err);
  }
  return made.emplace(std::make_pair(count, scripts), s).first->second;
}

// Seconds per design of the floor, by stack size, for the ratio.
std::map<int, double>& FloorSeconds() {
  static std::map<int, double> floor;
  return floor;
}

double Seconds(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

long PeakKb() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return u.ru_maxrss;
}

void LoadOrdersOf(benchmark::State& state, bool scripts) {
  const int count = static_cast<int>(state.range(0));
  const Stack& s = Prepare(count, scripts);
  SetModuleFolder(s.dir);
  ScriptedDialogs dialogs;
  ScopedDialogs scoped(&dialogs);
  frmEDI edi;
  edi.bWebServiceDone = true;
  edi.FillSettings();
  double seconds = 0;
  for (auto _ : state) {
    Module().StartupInput.clear();
    const auto start = std::chrono::steady_clock::now();
    edi.LoadOrders(false);
    seconds = Seconds(start);
    benchmark::DoNotOptimize(edi.docOrders);
  }
  const double per_design = seconds / count;
  if (FloorSeconds().count(count)) {
    state.counters["ratio_to_floor"] = per_design / FloorSeconds()[count];
  }
  state.counters["rss_per_plain_byte"] =
      static_cast<double>(PeakKb()) * 1024.0 / static_cast<double>(s.plain_bytes);
  state.counters["s_per_design"] =
      benchmark::Counter(static_cast<double>(count), benchmark::Counter::kIsIterationInvariantRate |
                                                         benchmark::Counter::kInvert);
  state.counters["designs"] = edi.docOrders.selectNodes("/Orders/Design").length();
  state.counters["plain_MB"] = static_cast<double>(s.plain_bytes) / 1e6;
  state.counters["peak_rss_MB"] = static_cast<double>(PeakKb()) / 1024.0;
}

void BM_LoadOrders(benchmark::State& state) {
  LoadOrdersOf(state, false);
}

// The same with one small validation script per manufacturer.
void BM_LoadOrdersWithScripts(benchmark::State& state) {
  LoadOrdersOf(state, true);
}

void BM_DecipherAndParseFloor(benchmark::State& state) {
  const int count = static_cast<int>(state.range(0));
  const Stack& s = Prepare(count);
  CKUtil ck;
  const auto files = ListXmeFiles(s.dir + "/Send");
  double seconds = 0;
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    for (const auto& name : files) {
      xml::Document doc;
      doc.loadXML(DesignFileText(ck.DeCryptFile(s.dir + "/Send/" + name)));
      benchmark::DoNotOptimize(doc);
    }
    seconds = Seconds(start);
  }
  FloorSeconds()[count] = seconds / count;
  state.counters["plain_MB"] = static_cast<double>(s.plain_bytes) / 1e6;
  state.counters["s_per_design"] =
      benchmark::Counter(static_cast<double>(count), benchmark::Counter::kIsIterationInvariantRate |
                                                         benchmark::Counter::kInvert);
  state.counters["peak_rss_MB"] = static_cast<double>(PeakKb()) / 1024.0;
}

BENCHMARK(BM_DecipherAndParseFloor)
    ->Arg(100)
    ->Arg(1000)
    ->Arg(5000)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);
BENCHMARK(BM_LoadOrders)
    ->Arg(100)
    ->Arg(1000)
    ->Arg(5000)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);
BENCHMARK(BM_LoadOrdersWithScripts)
    ->Arg(100)
    ->Arg(1000)
    ->Arg(5000)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

}  // namespace
