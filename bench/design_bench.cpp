// Generating designs and completing their job information.
#include <benchmark/benchmark.h>

#include "design_generator.h"
#include "orders/design_builder.h"
#include "platform/xml/xml.h"

namespace {

void BM_GenerateDesign(benchmark::State& state) {
  larkedi::gen::DesignGenOptions options;
  options.min_catalogs = options.max_catalogs = 3;
  options.min_items = options.max_items = static_cast<int>(state.range(0));
  int index = 0;
  std::size_t bytes = 0;
  for (auto _ : state) {
    std::string text = larkedi::gen::GenerateDesign(options, ++index);
    bytes += text.size();
    benchmark::DoNotOptimize(text);
  }
  state.SetBytesProcessed(static_cast<int64_t>(bytes));
}
BENCHMARK(BM_GenerateDesign)->Arg(20)->Arg(300);

void BM_CompleteJobInfo(benchmark::State& state) {
  larkedi::gen::DesignGenOptions options;
  options.min_items = options.max_items = 20;
  const std::string text = larkedi::gen::GenerateDesign(options, 1);
  for (auto _ : state) {
    state.PauseTiming();
    larkedi::xml::Document doc;
    doc.loadXML(text);
    state.ResumeTiming();
    larkedi::CompleteJobInfo(doc.documentElement());
  }
}
BENCHMARK(BM_CompleteJobInfo);

}  // namespace
