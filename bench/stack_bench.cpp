// Loading the order stack from N stacked designs, beside the floor on the same files
// (deciphering and parsing each file and nothing else).
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>

#include "design_generator.h"
#include "host/frm_edi.h"
#include "orders/stack_files.h"
#include "platform/env.h"
#include "platform/ui/dialogs.h"
#include "presentation/style_sheets.h"
#include "sending/ckutil.h"
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

// What a prepared folder was made from: the generator's first design, the bench's settings
// and scripts. A folder left by an earlier run is reused only when this matches.
std::string Fingerprint(const gen::DesignGenOptions& options, const std::string& settings) {
  return std::to_string(std::hash<std::string>{}(gen::GenerateDesign(options, 1) + settings));
}

// A module folder with N enciphered designs (three catalogs of 100 items each), 50 partners
// and 500 settings catalogs; made once per size and kept in the temporary folder for the
// next run. With `scripts`, every partner has a MANUFID and a small validation script
// (Validate/<MANUFID>.js) that reads one node of its catalog.
const Stack& Prepare(int count, bool scripts = false) {
  static std::map<std::pair<int, bool>, Stack> made;
  auto it = made.find({count, scripts});
  if (it != made.end()) return it->second;
  Stack s;
  s.dir = (fs::temp_directory_path() /
           ("larkedi-stack-bench-" + std::to_string(count) + (scripts ? "-js" : "")))
              .string();
  gen::DesignGenOptions options;
  options.min_catalogs = options.max_catalogs = 3;
  options.min_items = options.max_items = 100;
  std::string settings = "<SETTINGS><SPOOLPATH>" + s.dir + "/Send</SPOOLPATH><ARCHIVEPATH>" +
                         s.dir +
                         "/Archive</ARCHIVEPATH><SORTORDER>NS</SORTORDER>"
                         "<TRANSFORMATION></TRANSFORMATION>";
  std::vector<std::pair<std::string, std::string>> scripts_to_write;
  for (int p = 1; p <= 50; ++p) {
    const std::string manuf = "MANUF" + std::to_string(p);
    settings += "<PARTNER><ID>" + std::to_string(p) + "</ID><NAME>Partner " + std::to_string(p) +
                "</NAME><KITFILEID>0</KITFILEID>" +
                (scripts ? "<MANUFID>" + manuf + "</MANUFID>" : std::string()) + "</PARTNER>";
    if (scripts) {
      scripts_to_write.emplace_back(
          manuf + ".js",
          "function Validate() {\n"
          "  var name = docCatalog.selectSingleNode(\"/Catalog/Identification/Name\");\n"
          "  if (name === null) return;\n"
          "}\n");
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
  std::string scripts_text;
  for (const auto& [file, text] : scripts_to_write) scripts_text += file + text;
  const std::string fingerprint = Fingerprint(options, settings + scripts_text);
  // The module's language texts, which validation reports its outcome with.
  const auto copy_language_texts = [&s] {
    fs::create_directories(s.dir + "/html");
    fs::copy_file(fs::path(LARKEDI_MODULE_OUT) / "html" / "LkEDI.resx", s.dir + "/html/LkEDI.resx",
                  fs::copy_options::overwrite_existing);
  };
  {
    std::ifstream marker(s.dir + "/prepared");
    std::string seen;
    if (marker >> seen >> s.plain_bytes && seen == fingerprint) {
      // A load may have rewritten the settings; every run starts from the same ones.
      Env::Default()->WriteFileAtomic(s.dir + "/larkEDI.xml", settings, nullptr);
      copy_language_texts();
      return made.emplace(std::make_pair(count, scripts), s).first->second;
    }
  }
  s.plain_bytes = 0;
  fs::remove_all(s.dir);
  fs::create_directories(s.dir + "/Send");
  copy_language_texts();
  if (scripts) fs::create_directories(s.dir + "/Validate");
  for (const auto& [key, file] : StyleSheetTable::StandardEntries()) {
    (void)key;
    const std::string text =
        "<xsl:stylesheet version=\"1.0\" xmlns:xsl=\"http://www.w3.org/1999/XSL/Transform\"/>";
    Env::Default()->WriteFileAtomic(s.dir + "/html/" + file, text, nullptr);
  }
  for (const auto& [file, text] : scripts_to_write) {
    Env::Default()->WriteFileAtomic(s.dir + "/Validate/" + file, text, nullptr);
  }
  Env::Default()->WriteFileAtomic(s.dir + "/larkEDI.xml", settings, nullptr);
  SetModuleFolder(s.dir);
  Utility util;
  for (int i = 1; i <= count; ++i) {
    std::string text = gen::GenerateDesign(options, i);
    const std::string name = util.GetGUID() + ".xme";
    RemoveXmlHeader(text);
    s.plain_bytes += text.size();
    StoreDesignFile(s.dir + "/Send", name, text);
  }
  Env::Default()->WriteFileAtomic(
      s.dir + "/prepared", fingerprint + " " + std::to_string(s.plain_bytes) + "\n", nullptr);
  return made.emplace(std::make_pair(count, scripts), s).first->second;
}

// Rounds per measurement, of which the median is reported: machines of this kind are
// noisy, and a single round of the largest stack can land on a slow patch.
int Rounds(int count) {
  return count <= 100 ? 5 : 3;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

double Seconds(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// A field of /proc/self/status ("VmRSS:", "VmHWM:") in bytes.
double StatusBytes(const char* field) {
  std::ifstream in("/proc/self/status");
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind(field, 0) == 0) {
      std::istringstream value(line.substr(std::string(field).size()));
      double kb = 0;
      value >> kb;
      return kb * 1024.0;
    }
  }
  return 0;
}

// Hands freed memory back to the system and restarts the peak at the present size, so a
// measurement sees only what the code under test adds.
void ResetPeak() {
  malloc_trim(0);
  std::ofstream("/proc/self/clear_refs") << "5";
}

// The floor: deciphering and parsing each stacked file, nothing kept.
double FloorPass(const Stack& s, const std::vector<std::string>& files) {
  CKUtil ck;
  const auto start = std::chrono::steady_clock::now();
  for (const auto& name : files) {
    xml::Document doc;
    doc.loadXML(DesignFileText(ck.DeCryptFile(s.dir + "/Send/" + name)));
    benchmark::DoNotOptimize(doc);
  }
  return Seconds(start);
}

// Each round times the floor and then the load on the same files, so both see the machine
// in the same state; the ratio is the median of the rounds' ratios.
void LoadOrdersOf(benchmark::State& state, bool scripts) {
  const int count = static_cast<int>(state.range(0));
  const Stack& s = Prepare(count, scripts);
  SetModuleFolder(s.dir);
  const auto files = ListXmeFiles(s.dir + "/Send");
  ConsoleDialogs dialogs(ConsoleDialogs::Answer::No);
  ScopedDialogs scoped(&dialogs);
  frmEDI edi;
  edi.OpenHeadless();
  std::vector<double> floors, loads, ratios, peaks;
  for (auto _ : state) {
    for (int round = 0; round < Rounds(count); ++round) {
      // Both passes start from a heap with the last load's memory handed back.
      edi.Orders.docOrders = xml::Document();
      ResetPeak();
      floors.push_back(FloorPass(s, files));

      ResetPeak();
      const double before = StatusBytes("VmRSS:");
      const auto start = std::chrono::steady_clock::now();
      edi.Orders.LoadOrders(false);
      loads.push_back(Seconds(start));
      peaks.push_back(StatusBytes("VmHWM:") - before);
      ratios.push_back(loads.back() / floors.back());
      benchmark::DoNotOptimize(edi.Orders.docOrders);
    }
  }
  const double peak_added = Median(peaks);
  // Wall time: with scripts, part of the work is the worker's.
  state.counters["floor_ms_per_design"] = Median(floors) * 1e3 / count;
  state.counters["ms_per_design"] = Median(loads) * 1e3 / count;
  state.counters["ratio_to_floor"] = Median(ratios);
  // The load's own peak: the most the process held during the load beyond what it held
  // before (the script worker, a process of its own, is not in it).
  state.counters["peak_per_plain_byte"] = peak_added / static_cast<double>(s.plain_bytes);
  state.counters["load_peak_MB"] = peak_added / 1e6;
  state.counters["designs"] = edi.Orders.docOrders.selectNodes("/Orders/Design").length();
  state.counters["plain_MB"] = static_cast<double>(s.plain_bytes) / 1e6;
}

void BM_LoadOrders(benchmark::State& state) {
  LoadOrdersOf(state, false);
}

// The same with one small validation script per manufacturer.
void BM_LoadOrdersWithScripts(benchmark::State& state) {
  LoadOrdersOf(state, true);
}

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
