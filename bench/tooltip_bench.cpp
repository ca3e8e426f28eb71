// Parsing, laying out and drawing each tooltip the certificate selection dialog shows, natively
// through the recording canvas: one fresh drawer per iteration, so the figure holds the whole
// work of showing a tip (style sheets, measure pass, draw pass). Target: under 5 ms a tip.
//   build/native/bench/tooltip_bench      (bench/run-tooltip-bench runs it with the GDI figures)
#include <benchmark/benchmark.h>

#include <string>

#include "htmltip/html_drawer.h"
#include "htmltip/recording_canvas.h"
#include "tests/htmltip/tooltip_texts.h"

namespace {

using namespace v7::htmltip;

HtmlColor BenchSystemColor(int index) { return HtmlRgb(index * 8, 128, 255 - index * 8); }

void DrawTip(benchmark::State &state, const v7test::SelectionDialogTip &tip) {
  size_t calls = 0;
  for (auto _ : state) {
    HtmlDrawer drawer(tip.generation, BenchSystemColor);
    HtmlRecordingCanvas canvas;
    canvas.AddImage(HtmlImageKind::kIcon, 17031, HtmlSize{32, 32});
    canvas.AddImage(HtmlImageKind::kIcon, 17049, HtmlSize{32, 32});
    HtmlSize size;
    drawer.MeasureHtml(canvas, tip.html, &size);
    drawer.DrawHtml(canvas, HtmlRect{10, 10, 10 + size.cx, 10 + size.cy});
    calls = canvas.calls().size();
    benchmark::DoNotOptimize(calls);
  }
  state.counters["canvas_calls"] = double(calls);
}

// Tables nested as deep as the longest text a drawer takes allows, each closed: the pass lays out
// the outer ones and steps over the rest of the nest. Target: under 50 ms.
void DrawNestedTables(benchmark::State &state) {
  std::u16string html;
  for (int i = 0; i < 990; i++) html += u"<table><tr><td>";
  html += u"x";
  for (int i = 0; i < 990; i++) html += u"</td></tr></table>";
  for (auto _ : state) {
    HtmlDrawer drawer(HtmlGeneration::kSecond, BenchSystemColor);
    HtmlRecordingCanvas canvas;
    HtmlSize size;
    drawer.MeasureHtml(canvas, html, &size);
    drawer.DrawHtml(canvas, HtmlRect{0, 0, size.cx, size.cy});
    benchmark::DoNotOptimize(size);
  }
}

}  // namespace

int main(int argc, char **argv) {
  for (const v7test::SelectionDialogTip &tip : v7test::SelectionDialogTips())
    benchmark::RegisterBenchmark(("tooltip/" + tip.name).c_str(), DrawTip, tip)->Unit(benchmark::kMicrosecond);
  benchmark::RegisterBenchmark("tables/nested-990", DrawNestedTables)->Unit(benchmark::kMillisecond);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
