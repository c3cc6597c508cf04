// Rendering a dealer server's order list (ediorderlist) of N rows with the module's own
// style sheet: the time per row (counter sec_per_1000_rows) should stay flat as N grows.
#include <benchmark/benchmark.h>

#include <string>

#include "platform/xml/xml.h"
#include "presentation/render.h"
#include "support/module.h"

namespace {

using namespace larkedi;

std::string OrderList(int rows) {
  std::string text = "<DATA><CURRMONTHDISPLAY>January</CURRMONTHDISPLAY><ORDERS>";
  for (int i = 0; i < rows; ++i) {
    const std::string n = std::to_string(i);
    text += "<ORDER><GUID>" + std::string(24, '0') + n + "</GUID><PONUMBER>PO" + n +
            "</PONUMBER><DATE>2024-01-15</DATE><STATUS>Sent</STATUS><TOTAL>" + n +
            ".50</TOTAL></ORDER>";
  }
  return text + "</ORDERS><PAGE>1</PAGE><PAGECOUNT>3</PAGECOUNT></DATA>";
}

void BM_RenderEdiOrderList(benchmark::State& state) {
  // The module folder laid out by the build holds the shipped html/ folder.
  SetModuleFolder(LARKEDI_MODULE_OUT);
  const int rows = static_cast<int>(state.range(0));
  xml::Document list;
  if (!list.loadXML(OrderList(rows))) {
    state.SkipWithError("the order list does not parse");
    return;
  }
  for (auto _ : state) {
    std::string html;
    Err err;
    if (!RenderView("ediorderlist", {}, list, xml::Node(), html, err)) {
      state.SkipWithError(err.Description.c_str());
      break;
    }
    benchmark::DoNotOptimize(html);
  }
  state.counters["sec_per_1000_rows"] =
      benchmark::Counter(static_cast<double>(state.iterations()) * rows / 1000.0,
                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_RenderEdiOrderList)->Arg(1000)->Arg(5000)->Arg(20000)->Unit(benchmark::kMillisecond);

}  // namespace
