// What the two writers cost beside the bare system calls their work needs.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "bench/BenchSupport.h"
#include "capture/HistoryLine.h"
#include "export/SnapshotFile.h"
#include "platform/TextMode.h"

namespace {

void WriteAll(int fd, const std::string& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n <= 0) std::abort();
    done += static_cast<std::size_t>(n);
  }
}

// The snapshot's bytes on disk for seven playlists, as the plugin writes them.
std::string SnapshotBytes() {
  TallyLoomAccount account{"steam", "76561198012345678", "Bench Player"};
  std::vector<TallyLoomPlaylistMmr> playlists;
  for (int id : {10, 11, 13, 27, 28, 29, 30}) playlists.push_back({id, "Ranked Duel 1v1", 1234});
  return platform::ToTextModeBytes(ComposeSnapshot(account, playlists, "2026-12-06T21:00:00"));
}

TallyLoomPendingMatchCapture BenchCapture() {
  TallyLoomPendingMatchCapture capture;
  capture.playlistId = 11;
  capture.playlistName = "Ranked Doubles 2v2";
  capture.scoreBlue = 3;
  capture.scoreOrange = 1;
  capture.isWin = true;
  capture.platform = "steam";
  capture.playerId = "76561198012345678";
  capture.timestamp = "2026-12-06T21:14:05";
  capture.matchKey = "11:76561198012345678:2026-12-06T21:14:05:3:1";
  capture.mmrBefore = 1000;
  return capture;
}

// The floor of an export: the folder exists (one mkdir finds it), write the
// temporary file, move it over the target.
void BM_RawReplace(benchmark::State& state) {
  ScratchFolder scratch;
  const std::string folder = (scratch.path() / ".tallyloom").string();
  const std::string target = folder + "/bakkesmod_mmr.json";
  const std::string temporary = target + ".tmp";
  const std::string bytes = SnapshotBytes();
  ::mkdir(folder.c_str(), 0755);
  for (auto _ : state) {
    ::mkdir(folder.c_str(), 0755);
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    WriteAll(fd, bytes);
    ::close(fd);
    ::rename(temporary.c_str(), target.c_str());
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(bytes.size()));
}
BENCHMARK(BM_RawReplace);

void BM_ExportSnapshot(benchmark::State& state) {
  BenchPlugin bench;
  bench.SetUpRatings();
  bench.plugin().ExportSnapshot(false, "Bench export");
  if (bench.plugin().lastExportedPlaylistCount != 7) state.SkipWithError("export failed");
  for (auto _ : state) bench.plugin().ExportSnapshot(false, "Bench export");
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(SnapshotBytes().size()));
}
BENCHMARK(BM_ExportSnapshot);

void FillHistory(const std::filesystem::path& path, std::int64_t bytes) {
  std::filesystem::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  const std::string line = std::string(510, 'x') + "\r\n";
  for (std::int64_t written = 0; written < bytes; written += 512) out << line;
}

// The floor of an append: the folder exists, open for appending, write, close.
void BM_RawAppend(benchmark::State& state) {
  ScratchFolder scratch;
  const std::filesystem::path folder = scratch.path() / ".tallyloom";
  const std::filesystem::path path = folder / "bakkesmod_match_history.jsonl";
  FillHistory(path, state.range(0));
  const std::string bytes = platform::ToTextModeBytes(
      ComposeHistoryLine(BenchCapture(), TallyLoomDeltaState::Pending, std::nullopt, false) + "\n");
  for (auto _ : state) {
    ::mkdir(folder.c_str(), 0755);
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    WriteAll(fd, bytes);
    ::close(fd);
  }
}
BENCHMARK(BM_RawAppend)->Arg(0)->Arg(100 << 20);

void BM_AppendHistory(benchmark::State& state) {
  BenchPlugin bench;
  FillHistory(bench.ExportFolder() / "bakkesmod_match_history.jsonl", state.range(0));
  const TallyLoomPendingMatchCapture capture = BenchCapture();
  for (auto _ : state) {
    bench.plugin().AppendMatchHistory(capture, TallyLoomDeltaState::Pending, std::nullopt, false);
  }
  if (!bench.plugin().lastError.empty()) state.SkipWithError("append failed");
}
BENCHMARK(BM_AppendHistory)->Arg(0)->Arg(100 << 20);

}  // namespace
