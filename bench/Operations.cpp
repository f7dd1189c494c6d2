#include "bench/Operations.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <fstream>

#include "bakkesmod/wrappers/GameWrapper.h"
#include "bench/BenchSupport.h"
#include "capture/HistoryLine.h"
#include "export/ExportFiles.h"
#include "export/ExportFolder.h"
#include "export/SnapshotFile.h"
#include "platform/Env.h"
#include "platform/TextFiles.h"
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

void FillHistory(const std::filesystem::path& path, std::int64_t bytes) {
  std::filesystem::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  const std::string line = std::string(510, 'x') + "\r\n";
  for (std::int64_t written = 0; written < bytes; written += 512) out << line;
}

// --- The frame path -----------------------------------------------------------

// A drawable doing the least that any such callback must: read two switches,
// ask the host one question, read the clock.
class FrameFloor final : public Operation {
 public:
  FrameFloor() : model_(&clock_), game_(model_.NewGameWrapper(1)) {
    model_.game().SetState(sdkhost::GameState::kFreeplay);
    platform::Env::SetDefault(nullptr);
    game_->RegisterDrawable([this, game = game_.get()](CanvasWrapper) {
      if (!std::atomic_ref<bool>(*first_).load(std::memory_order_acquire) ||
          !std::atomic_ref<bool>(*second_).load(std::memory_order_acquire)) {
        return;
      }
      if (!game->IsInFreeplay()) return;
      last_.store(platform::Env::Default()->MonotonicNanos(), std::memory_order_relaxed);
    });
  }
  void Run() override { model_.registrations().DrawFrame(); }

 private:
  platform::VirtualClock clock_;
  sdkhost::HostModel model_;
  std::shared_ptr<GameWrapper> game_;
  std::shared_ptr<bool> first_ = std::make_shared<bool>(true);
  std::shared_ptr<bool> second_ = std::make_shared<bool>(true);
  std::atomic<std::int64_t> last_{0};
};

class PluginFrame final : public Operation {
 public:
  explicit PluginFrame(bool auto_export) {
    bench_.SetUpRatings();
    bench_.model().game().SetState(sdkhost::GameState::kFreeplay);
    // The first qualifying frame exports; every frame after it is inside the
    // throttle for the next 10 seconds.
    bench_.model().registrations().DrawFrame();
    if (!auto_export) bench_.model().console().SetCvarValue("tallyloom_auto_export", "0");
  }
  void Run() override { bench_.model().registrations().DrawFrame(); }

 private:
  BenchPlugin bench_;
};

// --- The snapshot export ------------------------------------------------------------

// The folder exists (one mkdir finds it); write the temporary file, move it
// over the target.
class ExportFloor final : public Operation {
 public:
  ExportFloor()
      : folder_((scratch_.path() / ".tallyloom").string()),
        target_(folder_ + "/bakkesmod_mmr.json"),
        temporary_(target_ + ".tmp"),
        bytes_(SnapshotBytes()) {
    ::mkdir(folder_.c_str(), 0755);
  }
  void Run() override {
    ::mkdir(folder_.c_str(), 0755);
    const int fd = ::open(temporary_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    WriteAll(fd, bytes_);
    ::close(fd);
    ::rename(temporary_.c_str(), target_.c_str());
  }

 private:
  ScratchFolder scratch_;
  std::string folder_, target_, temporary_, bytes_;
};

class PluginExport final : public Operation {
 public:
  PluginExport() {
    bench_.SetUpRatings();
    Run();
  }
  // As the console command runs it: the plugin's whole export.
  void Run() override { bench_.model().console().TypeIntoConsole({"tallyloom_export_mmr"}); }
  std::string Problem() override {
    return bench_.plugin().Status().exportedPlaylists == 7 ? "" : "export failed";
  }

 private:
  BenchPlugin bench_;
};

// The plugin's writer alone: the same bytes as the floor, replaced as every
// export replaces them (no account, ratings or composing).
class PluginExportWrite final : public Operation {
 public:
  PluginExportWrite()
      : target_(ExportFilePath(kSnapshotFileName)),
        content_(ComposeSnapshot({"steam", "76561198012345678", "Bench Player"}, Playlists(),
                                 "2026-12-06T21:00:00")) {
    Run();
  }
  void Run() override { error_ = WriteFileAtomically(target_, content_).value_or(""); }
  std::string Problem() override { return error_; }

 private:
  static std::vector<TallyLoomPlaylistMmr> Playlists() {
    std::vector<TallyLoomPlaylistMmr> playlists;
    for (int id : {10, 11, 13, 27, 28, 29, 30}) playlists.push_back({id, "Ranked Duel 1v1", 1234});
    return playlists;
  }
  BenchPlugin bench_;
  std::string target_, content_, error_;
};

// --- The history append -------------------------------------------------------------

// The folder exists (one mkdir finds it); open for appending, write, close.
class AppendFloor final : public Operation {
 public:
  explicit AppendFloor(std::int64_t file_bytes)
      : folder_(scratch_.path() / ".tallyloom"),
        path_(folder_ / "bakkesmod_match_history.jsonl"),
        bytes_(platform::ToTextModeBytes(
            ComposeHistoryLine(BenchCapture(), TallyLoomDeltaState::Pending, std::nullopt, false) +
            "\n")) {
    FillHistory(path_, file_bytes);
  }
  void Run() override {
    ::mkdir(folder_.c_str(), 0755);
    const int fd = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    WriteAll(fd, bytes_);
    ::close(fd);
  }

 private:
  ScratchFolder scratch_;
  std::filesystem::path folder_, path_;
  std::string bytes_;
};

// The history writer alone: a composed line appended as the plugin appends
// every line (the line-end check included).
class PluginAppendWrite final : public Operation {
 public:
  explicit PluginAppendWrite(std::int64_t file_bytes)
      : path_(ExportFilePath(kMatchHistoryFileName)),
        line_(
            ComposeHistoryLine(BenchCapture(), TallyLoomDeltaState::Pending, std::nullopt, false)) {
    FillHistory(bench_.ExportFolder() / "bakkesmod_match_history.jsonl", file_bytes);
  }
  void Run() override {
    if (!platform::AppendTextLine(platform::Env::Default(), path_, line_).ok()) failed_ = true;
  }
  std::string Problem() override { return failed_ ? "append failed" : ""; }

 private:
  BenchPlugin bench_;
  std::string path_, line_;
  bool failed_ = false;
};

class PluginAppend final : public Operation {
 public:
  explicit PluginAppend(std::int64_t file_bytes) : capture_(BenchCapture()) {
    FillHistory(bench_.ExportFolder() / "bakkesmod_match_history.jsonl", file_bytes);
  }
  void Run() override {
    error_ = AppendMatchHistoryLine(
                 ComposeHistoryLine(capture_, TallyLoomDeltaState::Pending, std::nullopt, false))
                 .value_or("");
  }
  std::string Problem() override { return error_; }

 private:
  BenchPlugin bench_;
  TallyLoomPendingMatchCapture capture_;
  std::string error_;
};

}  // namespace

std::unique_ptr<Operation> MakeOperation(const std::string& name, std::int64_t file_bytes) {
  if (name == "frame") return std::make_unique<PluginFrame>(true);
  if (name == "frame-gated-off") return std::make_unique<PluginFrame>(false);
  if (name == "frame-floor") return std::make_unique<FrameFloor>();
  if (name == "export") return std::make_unique<PluginExport>();
  if (name == "export-floor") return std::make_unique<ExportFloor>();
  if (name == "export-write") return std::make_unique<PluginExportWrite>();
  if (name == "append") return std::make_unique<PluginAppend>(file_bytes);
  if (name == "append-floor") return std::make_unique<AppendFloor>(file_bytes);
  if (name == "append-write") return std::make_unique<PluginAppendWrite>(file_bytes);
  return nullptr;
}

const std::vector<std::string>& OperationNames() {
  static const std::vector<std::string> names = {"frame",        "frame-floor",  "export",
                                                 "export-write", "export-floor", "append",
                                                 "append-write", "append-floor"};
  return names;
}
