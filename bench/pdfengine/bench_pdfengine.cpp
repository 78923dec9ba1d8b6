// Cost of laying out and writing a report-shaped document: a table of five
// columns with the given number of rows, one in ten with a message that wraps
// over several lines. Rendered in memory, so disk speed does not count.
#include <benchmark/benchmark.h>

#include <string>

#include "pdfengine/PdfDocument.h"
#include "platform/Text.h"

namespace {

using namespace riffo::pdf;

void BM_RenderReport(benchmark::State& state) {
  const int rows = static_cast<int>(state.range(0));
  std::u16string longMessage = u"[500] ";
  for (int i = 0; i < 40; ++i) longMessage += u"silence block at 00:00:10.00 ";
  int pages = 0;
  for (auto _ : state) {
    TPdfDocument doc;
    doc.SetTitle(u"Benchmark");
    doc.BeginDoc();
    doc.SetFont(u"Georgia", 11, fsRegular);
    doc.HeaderText(u"www.example", TTextAlign::Right);
    doc.FooterLine();
    doc.FooterPageNumber(u"Page %d/%d", TTextAlign::Right);
    doc.HeaderLine();
    doc.SetFontSize(8);
    for (double percent : {3.0, 17.0, 7.0, 7.0, 50.0})
      doc.AddColumn(percent, TTextAlign::Left, true);
    doc.ColumnHeaders({u"#", u"Module", u"Stream", u"Type", u"Message"});
    for (int i = 0; i < rows; ++i)
      doc.Row({riffo::Utf8ToUtf16(std::to_string(i + 1)), u"Sonolint", u"", u"Warning",
               i % 10 == 0 ? longMessage : u"[302] WAVE fmt - FormatTag = 1"});
    const std::string pdf = doc.Render();
    if (pdf.empty()) state.SkipWithError(doc.LastError().c_str());
    pages = doc.PageCount();
    benchmark::DoNotOptimize(pdf.data());
  }
  state.counters["pages"] = pages;
  state.counters["rows/s"] = benchmark::Counter(static_cast<double>(rows) * state.iterations(),
                                                benchmark::Counter::kIsRate);
}
BENCHMARK(BM_RenderReport)->Arg(100)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
