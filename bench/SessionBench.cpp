// Whole sessions: a day of play through tallyloom-host, and what memory does
// as matches pile up.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <fstream>
#include <string>

#include "bench/BenchSupport.h"
#include "sdk/model/GameEvents.h"

extern char** environ;

namespace {

constexpr int kFramesPerSecond = 60;
constexpr int kDaySeconds = 24 * 60 * 60;

// 24 virtual hours in the menus with a ranked doubles match every ten minutes
// whose new rating syncs five seconds after it ends.
std::string DayScript() {
  std::string script = "account 76561198012345678\nmmr 11 1000\n";
  int mmr = 1000;
  for (int minute = 0; minute < 24 * 60; minute += 10) {
    mmr += (minute / 10) % 2 == 0 ? 9 : -8;
    script += "wait 590\nmatch 11 3 1\nevent match-ended\nevent winner-set\n";
    script += "mmr 11 " + std::to_string(mmr) + " after 5\nwait 10\nstate menu\n";
  }
  return script;
}

void BM_HostDay(benchmark::State& state) {
  ScratchFolder scratch;
  const std::string script = (scratch.path() / "day.tlh").string();
  std::ofstream(script) << DayScript();
  const std::string host = TALLYLOOM_HOST_PATH;
  const std::string profile = (scratch.path() / "profile").string();
  const std::string fps = std::to_string(kFramesPerSecond);
  for (auto _ : state) {
    const char* argv[] = {host.c_str(), "--profile",           profile.c_str(),
                          "--clock",    "2026-12-06T00:00:00", "--fps",
                          fps.c_str(),  script.c_str(),        nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const auto start = std::chrono::steady_clock::now();
    if (posix_spawn(&pid, host.c_str(), &actions, nullptr, const_cast<char**>(argv), environ) !=
        0) {
      state.SkipWithError("cannot start tallyloom-host");
      break;
    }
    int status = 0;
    waitpid(pid, &status, 0);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    posix_spawn_file_actions_destroy(&actions);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) state.SkipWithError("session failed");
    state.SetIterationTime(seconds);
    state.counters["frames_per_wall_second"] =
        static_cast<double>(kDaySeconds) * kFramesPerSecond / seconds;
    state.counters["wall_seconds"] = seconds;
  }
}
BENCHMARK(BM_HostDay)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

std::int64_t PeakRssKib() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("VmHWM:", 0) == 0) return std::stoll(line.substr(6));
  }
  return -1;
}

// One ranked match from its end to its final line and post-match exports.
void PlayMatch(BenchPlugin& bench, int index) {
  sdkhost::MatchSetup match;
  match.playlist_id = 11;
  match.score_blue = 3;
  match.score_orange = 1;
  match.winner = 0;
  bench.model().game().SetMatch(match);
  bench.model().registrations().FireEvent(std::string(sdkhost::kMatchEnded.name));
  bench.model().game().SetMmr(11, 1000.0f + static_cast<float>(index % 2 == 0 ? 9 : 0));
  bench.model().game().SetState(sdkhost::GameState::kMenu);
  bench.model().time().Advance(40'000'000'000);  // attempts, exports and the delayed export
}

void BM_MatchMemory(benchmark::State& state) {
  for (auto _ : state) {
    BenchPlugin bench;
    bench.SetUpRatings();
    for (int i = 0; i < 100; ++i) PlayMatch(bench, i);
    const std::int64_t after100 = PeakRssKib();
    for (int i = 100; i < 10'000; ++i) PlayMatch(bench, i);
    const std::int64_t after10000 = PeakRssKib();
    state.counters["peak_rss_kib_after_100"] = static_cast<double>(after100);
    state.counters["peak_rss_kib_after_10000"] = static_cast<double>(after10000);
    state.counters["growth_kib"] = static_cast<double>(after10000 - after100);
    state.counters["pending_at_end"] = static_cast<double>(bench.plugin().Status().pendingCaptures);
  }
}
BENCHMARK(BM_MatchMemory)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
