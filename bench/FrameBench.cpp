// The per-frame path: the plugin's drawable on a freeplay frame inside its
// 10-second throttle, beside a floor drawable doing the least that any such
// callback must (read two switches, ask the host one question, read the clock).
#include <benchmark/benchmark.h>

#include <atomic>
#include <memory>

#include "bakkesmod/wrappers/GameWrapper.h"
#include "bench/BenchSupport.h"
#include "platform/Env.h"

namespace {

void BM_FrameFloor(benchmark::State& state) {
  platform::VirtualClock clock;
  sdkhost::HostModel model(&clock);
  model.game().SetState(sdkhost::GameState::kFreeplay);
  platform::Env::SetDefault(nullptr);
  auto game = model.NewGameWrapper(1);
  auto first = std::make_shared<bool>(true);
  auto second = std::make_shared<bool>(true);
  std::atomic<std::int64_t> last{0};
  game->RegisterDrawable([&, game = game.get()](CanvasWrapper) {
    if (!std::atomic_ref<bool>(*first).load(std::memory_order_acquire) ||
        !std::atomic_ref<bool>(*second).load(std::memory_order_acquire)) {
      return;
    }
    if (!game->IsInFreeplay()) return;
    last.store(platform::Env::Default()->MonotonicNanos(), std::memory_order_relaxed);
  });
  for (auto _ : state) model.registrations().DrawFrame();
  benchmark::DoNotOptimize(last.load());
}
BENCHMARK(BM_FrameFloor);

void RunPluginFrames(benchmark::State& state, bool autoExport) {
  BenchPlugin bench;
  bench.SetUpRatings();
  bench.model().game().SetState(sdkhost::GameState::kFreeplay);
  // The first qualifying frame exports; every frame after it is inside the
  // throttle for the next 10 seconds.
  bench.model().registrations().DrawFrame();
  if (!autoExport) bench.model().console().SetCvarValue("tallyloom_auto_export", "0");
  for (auto _ : state) bench.model().registrations().DrawFrame();
}

void BM_FreeplayFrame(benchmark::State& state) { RunPluginFrames(state, true); }
BENCHMARK(BM_FreeplayFrame);

void BM_FrameGatedOff(benchmark::State& state) { RunPluginFrames(state, false); }
BENCHMARK(BM_FrameGatedOff);

}  // namespace
