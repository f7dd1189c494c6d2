// The plugin's hot paths beside their floors (bench/Operations.h): the
// freeplay frame, the snapshot export and the history append.
#include <benchmark/benchmark.h>

#include "bench/Operations.h"

namespace {

void Run(benchmark::State& state, const char* name, std::int64_t file_bytes = 0) {
  const std::unique_ptr<Operation> operation = MakeOperation(name, file_bytes);
  if (const std::string problem = operation->Problem(); !problem.empty()) {
    state.SkipWithError(problem.c_str());
    return;
  }
  for (auto _ : state) operation->Run();
}

void BM_FrameFloor(benchmark::State& state) { Run(state, "frame-floor"); }
BENCHMARK(BM_FrameFloor);
void BM_FreeplayFrame(benchmark::State& state) { Run(state, "frame"); }
BENCHMARK(BM_FreeplayFrame);
void BM_FrameGatedOff(benchmark::State& state) { Run(state, "frame-gated-off"); }
BENCHMARK(BM_FrameGatedOff);

void BM_RawReplace(benchmark::State& state) { Run(state, "export-floor"); }
BENCHMARK(BM_RawReplace);
void BM_ExportSnapshot(benchmark::State& state) { Run(state, "export"); }
BENCHMARK(BM_ExportSnapshot);
void BM_ExportWrite(benchmark::State& state) { Run(state, "export-write"); }
BENCHMARK(BM_ExportWrite);

void BM_RawAppend(benchmark::State& state) { Run(state, "append-floor", state.range(0)); }
BENCHMARK(BM_RawAppend)->Arg(0)->Arg(100 << 20);
void BM_AppendHistory(benchmark::State& state) { Run(state, "append", state.range(0)); }
BENCHMARK(BM_AppendHistory)->Arg(0)->Arg(100 << 20);
void BM_AppendWrite(benchmark::State& state) { Run(state, "append-write", state.range(0)); }
BENCHMARK(BM_AppendWrite)->Arg(0)->Arg(100 << 20);

}  // namespace
