// The fault matrix. One session exports and captures the way a player's
// evening does: startup, manual, periodic, freeplay, frame and post-match
// exports, three ranked matches with their pending and final history lines.
// It is played once without faults (the reference), then once for every
// write of that session and every file operation that write performs, with
// the operation failing at that write, and again with it failing for a run of
// three writes in a row (the disk stays full, the desktop app keeps the file
// locked for a while).
//
// After every step of every faulted session the files must be what the
// reference left at that step, minus exactly the writes that failed: the
// snapshot the previous successful export wrote, byte for byte; the history
// file holding whole, strict JSON lines and nothing else; the failure's own
// text in the console, and in lastError until that file is written again;
// and the capture going on regardless, so that the next write of each file
// succeeds.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "plugin/HookNames.h"
#include "tests/reliability/FileChecks.h"
#include "tests/support/PluginHarness.h"

namespace {

using platform::FaultOp;

enum class Writer { kSnapshot, kHistory };

constexpr FaultOp kAllOps[] = {FaultOp::kMkdir, FaultOp::kOpen, FaultOp::kWrite, FaultOp::kClose,
                               FaultOp::kReplace};

const char* OpName(FaultOp op) {
  switch (op) {
    case FaultOp::kMkdir:
      return "mkdir";
    case FaultOp::kOpen:
      return "open";
    case FaultOp::kWrite:
      return "write";
    case FaultOp::kClose:
      return "close";
    case FaultOp::kReplace:
      return "replace";
    case FaultOp::kCrash:
      return "crash";
  }
  return "?";
}

// The history file is appended in place: it has no replace step. The folder
// is made only when an open finds it missing: in this session, at the first
// write, and at the writes after it while making it keeps failing.
bool Performs(Writer writer, FaultOp op) {
  return writer == Writer::kSnapshot || op != FaultOp::kReplace;
}

std::string FailureText(Writer writer, FaultOp op, const std::string& snapshotPath) {
  if (writer == Writer::kHistory) {
    return op == FaultOp::kMkdir
               ? "Failed to create TallyLoom folder for match history: Input/output error"
               : "Failed to append TallyLoom match history.";
  }
  switch (op) {
    case FaultOp::kMkdir:
      return "Failed to create TallyLoom folder: Input/output error";
    case FaultOp::kOpen:
      return "Failed to open " + snapshotPath;
    case FaultOp::kWrite:
    case FaultOp::kClose:
      return "Failed to write " + snapshotPath;
    case FaultOp::kReplace:
      return "Failed to replace TallyLoom export file.";
    case FaultOp::kCrash:
      break;
  }
  return "";
}

struct FaultPlan {
  FaultOp op;
  std::size_t first;  // the first write that fails
  std::size_t span;   // how many writes, from `first` on, run while the fault is armed
};

struct WriteRecord {
  Writer writer = Writer::kSnapshot;
  std::size_t consoleAt = 0;  // console lines logged before the write began
  std::uint64_t historySizeAtOpen = 0;
  std::string bytes;  // the snapshot after the write, or the history line it appended
};

std::optional<std::string> ReadIfPresent(const std::filesystem::path& path) {
  if (!std::filesystem::exists(path)) return std::nullopt;
  return PluginHarness::ReadFile(path);
}

// Every write of either file begins by opening it, so counting those opens
// numbers the writes of a session (an open again after making the folder is
// the same write); the kind of open tells the writer. At the write a plan
// names, it arms the harness's fault injection, and it clears it once the
// plan's run is over.
class WriteObserver : public platform::EnvWrapper {
 public:
  // Wraps and replaces the harness's environment for its lifetime.
  WriteObserver(PluginHarness* harness, std::optional<FaultPlan> plan)
      : EnvWrapper(platform::Env::Default()), harness_(harness), plan_(plan) {
    platform::Env::SetDefault(this);
  }
  ~WriteObserver() override { platform::Env::SetDefault(target()); }
  WriteObserver(const WriteObserver&) = delete;
  WriteObserver& operator=(const WriteObserver&) = delete;

  platform::Status CreateDirectories(const std::string& path) override {
    platform::Status status = EnvWrapper::CreateDirectories(path);
    // Only a folder made after an open that missed it brings the open again.
    opens_again_ = missed_folder_ && status.ok();
    return status;
  }

  platform::Status NewWritableFile(const std::string& path, platform::OpenMode mode,
                                   std::unique_ptr<platform::WritableFile>* result) override {
    if (!opens_again_) BeginWrite(path, mode);
    opens_again_ = false;
    platform::Status status = EnvWrapper::NewWritableFile(path, mode, result);
    missed_folder_ = status.IsNotFound();
    return status;
  }

  void BeginWrite(const std::string& path, platform::OpenMode mode) {
    FinishWrite();
    const std::size_t index = writes_.size();
    if (plan_ && index == plan_->first) harness_->faults().Fail(plan_->op, plan_->span > 1);
    if (plan_ && index == plan_->first + plan_->span) harness_->faults().Clear();
    WriteRecord record;
    record.consoleAt = harness_->console().size();
    if (mode == platform::OpenMode::kAppend) {
      record.writer = Writer::kHistory;
      std::error_code missing;
      const auto size = std::filesystem::file_size(path, missing);
      record.historySizeAtOpen = missing ? 0 : size;
    }
    writes_.push_back(record);
    recording_ = true;
  }

  // What the last write left on disk (meaningful when it succeeded).
  void FinishWrite() {
    if (!recording_) return;
    recording_ = false;
    WriteRecord& record = writes_.back();
    if (record.writer == Writer::kSnapshot) {
      record.bytes = ReadIfPresent(harness_->ExportFolder() / "bakkesmod_mmr.json").value_or("");
    } else {
      const std::string history =
          ReadIfPresent(harness_->ExportFolder() / "bakkesmod_match_history.jsonl").value_or("");
      record.bytes =
          history.substr(std::min<std::size_t>(record.historySizeAtOpen, history.size()));
    }
  }

  const std::vector<WriteRecord>& writes() const { return writes_; }

 private:
  PluginHarness* harness_;
  std::optional<FaultPlan> plan_;
  std::vector<WriteRecord> writes_;
  bool recording_ = false;
  bool missed_folder_ = false;  // the last open found the folder missing
  bool opens_again_ = false;    // the next open is the same write, again
};

// --- The session ---------------------------------------------------------------

constexpr const char* kPlayerId = "76561198012345678";

sdkhost::MatchSetup RankedMatch(int playlist, int blue, int orange) {
  sdkhost::MatchSetup match;
  match.playlist_id = playlist;
  match.score_blue = blue;
  match.score_orange = orange;
  if (blue != orange) match.winner = blue > orange ? 0 : 1;
  return match;
}

void SyncLater(PluginHarness& h, int playlist, float value, double seconds) {
  h.model().time().ScheduleAction(static_cast<std::int64_t>(seconds * 1e9), [&h, playlist, value] {
    h.model().game().SetMmr(playlist, value);
  });
}

struct Step {
  const char* what;
  std::function<void(PluginHarness&)> run;
};

const std::vector<Step>& SessionSteps() {
  using sdkhost::GameState;
  static const std::vector<Step> steps = {
      {"load, ratings in two playlists",
       [](PluginHarness& h) {
         h.Load();
         h.model().game().SetAccountText(kPlayerId);
         h.model().game().SetMmr(11, 1000.0f);
         h.model().game().SetMmr(13, 1500.4f);
       }},
      {"startup export", [](PluginHarness& h) { h.Advance(2); }},
      {"manual export",
       [](PluginHarness& h) {
         h.model().game().SetMmr(13, 1512.0f);
         h.model().console().TypeIntoConsole({"tallyloom_export_mmr"});
       }},
      {"a won doubles match ends",
       [](PluginHarness& h) {
         h.model().game().SetMatch(RankedMatch(11, 3, 1));
         h.model().registrations().FireEvent(kMatchEndedEvent);
         SyncLater(h, 11, 1009.0f, 1.0);
       }},
      {"its rating syncs: final line and post-match export",
       [](PluginHarness& h) { h.Advance(8); }},
      // The periodic exports come in the menus: in a match the timer exports nothing.
      {"back in the menus: periodic and delayed post-match exports",
       [](PluginHarness& h) {
         h.model().game().SetState(GameState::kMenu);
         h.Advance(16);
       }},
      {"freeplay starts and a frame is drawn",
       [](PluginHarness& h) {
         h.model().game().SetState(GameState::kFreeplay);
         h.model().game().SetPlayerName("Mara \"Q\" \\ \xC3\x9Cnal");
         h.model().registrations().FireEvent(kFreeplayInitEvent);
         h.Advance(1.5);
         h.model().registrations().DrawFrame();
       }},
      {"a lost match while the service keeps syncing, and the menus after it",
       [](PluginHarness& h) {
         h.model().game().SetMatch(RankedMatch(11, 0, 2));
         h.model().game().SetSyncing(true);
         h.model().registrations().FireEvent(kGameWinnerSetEvent);
         h.model().game().SetState(GameState::kMenu);
         h.Advance(21);
       }},
      {"the service stops syncing",
       [](PluginHarness& h) {
         h.model().game().SetSyncing(false);
         h.Advance(20);
       }},
      {"a Hoops match with no rating before it",
       [](PluginHarness& h) {
         h.model().game().SetMatch(RankedMatch(27, 2, 2));
         h.model().registrations().FireEvent(kMatchEndedEvent);
         SyncLater(h, 27, 1300.0f, 1.0);
         h.Advance(10);
       }},
      {"manual export at the end",
       [](PluginHarness& h) { h.model().console().TypeIntoConsole({"tallyloom_export_mmr"}); }},
  };
  return steps;
}

// What the desktop app and the user can see after one step.
struct StepView {
  std::optional<std::string> snapshot;
  std::string history;
  std::string lastError;
  std::vector<std::string> console;
  std::size_t writes = 0;
  std::size_t pendingCaptures = 0;
  std::string lastMatchCapture;
};

struct SessionRun {
  std::string snapshotPath;
  std::vector<StepView> steps;
  std::vector<WriteRecord> writes;
  int injected = 0;
};

SessionRun PlaySession(std::optional<FaultPlan> plan) {
  PluginHarness harness;
  WriteObserver observer(&harness, plan);
  SessionRun run;
  run.snapshotPath = (harness.ExportFolder() / "bakkesmod_mmr.json").string();
  for (const Step& step : SessionSteps()) {
    step.run(harness);
    observer.FinishWrite();
    StepView view;
    view.snapshot = ReadIfPresent(harness.ExportFolder() / "bakkesmod_mmr.json");
    view.history =
        ReadIfPresent(harness.ExportFolder() / "bakkesmod_match_history.jsonl").value_or("");
    view.lastError = harness.plugin()->Status().lastError;
    view.console = harness.console();
    view.writes = observer.writes().size();
    view.pendingCaptures = harness.plugin()->Status().pendingCaptures;
    view.lastMatchCapture = harness.plugin()->Status().lastMatchCapture;
    run.steps.push_back(std::move(view));
  }
  run.writes = observer.writes();
  run.injected = harness.faults().InjectedCount();
  return run;
}

// --- What a faulted session must show ----------------------------------------

class Expectation {
 public:
  Expectation(const SessionRun& reference, const FaultPlan& plan, const std::string& snapshotPath)
      : reference_(reference), plan_(plan), snapshotPath_(snapshotPath) {}

  bool Fails(std::size_t k) const {
    // Only the first write makes the folder, and each write after it while
    // making it keeps failing.
    if (plan_.op == FaultOp::kMkdir && plan_.first != 0) return false;
    return k >= plan_.first && k < plan_.first + plan_.span &&
           Performs(reference_.writes[k].writer, plan_.op);
  }
  std::string Text(std::size_t k) const {
    return FailureText(reference_.writes[k].writer, plan_.op, snapshotPath_);
  }
  int FailureCount() const {
    int count = 0;
    for (std::size_t k = 0; k < reference_.writes.size(); ++k) count += Fails(k) ? 1 : 0;
    return count;
  }

  std::optional<std::string> Snapshot(std::size_t writes) const {
    std::optional<std::string> last;
    for (std::size_t k = 0; k < writes; ++k) {
      if (reference_.writes[k].writer == Writer::kSnapshot && !Fails(k)) {
        last = reference_.writes[k].bytes;
      }
    }
    return last;
  }

  std::string History(std::size_t writes) const {
    std::string text;
    for (std::size_t k = 0; k < writes; ++k) {
      if (reference_.writes[k].writer == Writer::kHistory && !Fails(k)) {
        text += reference_.writes[k].bytes;
      }
    }
    return text;
  }

  // A failed write's text stands until the same file is written again; of
  // the two files' failures that stand, the later one shows.
  std::string LastError(std::size_t writes) const {
    std::map<Writer, std::string> standing;
    std::string shown;
    for (std::size_t k = 0; k < writes; ++k) {
      const Writer writer = reference_.writes[k].writer;
      const Writer other = writer == Writer::kSnapshot ? Writer::kHistory : Writer::kSnapshot;
      if (Fails(k)) {
        shown = standing[writer] = Text(k);
      } else {
        standing[writer].clear();
        shown = standing[other];
      }
    }
    return shown;
  }

  // The reference console with each failed write's error line: in place of
  // the export's success line, or before whatever followed the history line.
  std::vector<std::string> Console(const std::vector<std::string>& referenceConsole,
                                   std::size_t writes) const {
    std::vector<std::string> console = referenceConsole;
    std::size_t inserted = 0;
    for (std::size_t k = 0; k < writes; ++k) {
      if (!Fails(k)) continue;
      const std::size_t at = reference_.writes[k].consoleAt + inserted;
      const std::string line = "TallyLoom MMR error: " + Text(k);
      if (reference_.writes[k].writer == Writer::kSnapshot) {
        console.at(at) = line;
      } else {
        console.insert(console.begin() + static_cast<std::ptrdiff_t>(at), line);
        ++inserted;
      }
    }
    return console;
  }

 private:
  const SessionRun& reference_;
  FaultPlan plan_;
  std::string snapshotPath_;
};

struct MatrixCounts {
  int cases = 0;
  int faults = 0;
  int stepsChecked = 0;
  int snapshotsFailed = 0;
  int historyLinesFailed = 0;
  int recoveries = 0;   // failed writes followed by a successful write of the same file
  int differences = 0;  // steps whose files were not exactly the expected ones
};

class FaultMatrixTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { reference_ = new SessionRun(PlaySession(std::nullopt)); }
  static void TearDownTestSuite() {
    delete reference_;
    reference_ = nullptr;
  }

  // Plays every plan whose first failing write belongs to `writer`.
  static MatrixCounts PlayMatrix(Writer writer) {
    MatrixCounts counts;
    for (std::size_t first = 0; first < reference_->writes.size(); ++first) {
      if (reference_->writes[first].writer != writer) continue;
      for (FaultOp op : kAllOps) {
        if (!Performs(writer, op)) continue;
        // The folder exists from the first write on: no later write makes it.
        if (op == FaultOp::kMkdir && first != 0) continue;
        for (std::size_t span : {1u, 3u}) {
          const FaultPlan plan{op, first, span};
          SCOPED_TRACE(testing::Message() << OpName(op) << " fails at write " << first << " for "
                                          << span << " write(s)");
          PlayCase(plan, &counts);
          if (testing::Test::HasFatalFailure()) return counts;
        }
      }
    }
    return counts;
  }

  static void PlayCase(const FaultPlan& plan, MatrixCounts* counts) {
    const SessionRun run = PlaySession(plan);
    const Expectation expect(*reference_, plan, run.snapshotPath);
    ++counts->cases;
    counts->faults += run.injected;
    ASSERT_EQ(run.injected, expect.FailureCount()) << "each armed fault hit the write it was for";
    ASSERT_EQ(run.writes.size(), reference_->writes.size()) << "a fault changed what was written";

    for (std::size_t s = 0; s < run.steps.size(); ++s) {
      SCOPED_TRACE(SessionSteps()[s].what);
      const StepView& got = run.steps[s];
      const StepView& ref = reference_->steps[s];
      ASSERT_EQ(got.writes, ref.writes);
      if (got.snapshot) {
        EXPECT_EQ(reliability::SnapshotProblem(*got.snapshot), "");
      }
      EXPECT_EQ(reliability::HistoryProblem(got.history), "");
      const bool snapshotAsExpected = got.snapshot == expect.Snapshot(got.writes);
      const bool historyAsExpected = got.history == expect.History(got.writes);
      EXPECT_TRUE(snapshotAsExpected) << "the previous snapshot is intact";
      EXPECT_EQ(got.history, expect.History(got.writes)) << "every other line is there, whole";
      if (!snapshotAsExpected || !historyAsExpected) ++counts->differences;
      EXPECT_EQ(got.lastError, expect.LastError(got.writes));
      EXPECT_EQ(got.console, expect.Console(ref.console, got.writes));
      // The capture carries on whatever happens to its lines and exports;
      // the ratings it remembers show in the next capture's MMR before.
      EXPECT_EQ(got.pendingCaptures, ref.pendingCaptures);
      EXPECT_EQ(got.lastMatchCapture, ref.lastMatchCapture);
      ++counts->stepsChecked;
    }

    for (std::size_t k = 0; k < run.writes.size(); ++k) {
      if (!expect.Fails(k)) continue;
      const Writer writer = reference_->writes[k].writer;
      (writer == Writer::kSnapshot ? counts->snapshotsFailed : counts->historyLinesFailed)++;
      for (std::size_t next = k + 1; next < run.writes.size(); ++next) {
        if (reference_->writes[next].writer != writer || expect.Fails(next)) continue;
        ++counts->recoveries;
        break;
      }
    }
  }

  static void Report(const char* what, const MatrixCounts& c) {
    std::printf(
        "[ COUNTS   ] %s: %d cases, %d faults injected (%d exports and %d history lines failed), "
        "%d session steps checked, %d failures followed by a successful write of the same file, "
        "%d steps with files other than expected (lost or torn writes)\n",
        what, c.cases, c.faults, c.snapshotsFailed, c.historyLinesFailed, c.stepsChecked,
        c.recoveries, c.differences);
    RecordProperty("cases", c.cases);
    RecordProperty("faults", c.faults);
  }

  static SessionRun* reference_;
};

SessionRun* FaultMatrixTest::reference_ = nullptr;

TEST_F(FaultMatrixTest, TheReferenceSessionWritesBothFilesCleanly) {
  const SessionRun& ref = *reference_;
  int snapshots = 0, lines = 0;
  for (const WriteRecord& write : ref.writes) {
    (write.writer == Writer::kSnapshot ? snapshots : lines)++;
    if (write.writer == Writer::kSnapshot) {
      EXPECT_EQ(reliability::SnapshotProblem(write.bytes), "");
      // The export's success line comes right after its write began.
      EXPECT_TRUE(ref.steps.back().console.at(write.consoleAt).ends_with("ranked playlists."));
    } else {
      EXPECT_EQ(reliability::HistoryProblem(write.bytes), "");
      EXPECT_EQ(write.bytes.find("\r\n"), write.bytes.size() - 2) << "one line per write";
    }
  }
  // Startup, manual, three post-match, two delayed post-match, three
  // periodic, freeplay start, a freeplay frame and the last manual export;
  // three matches of two lines each.
  EXPECT_EQ(snapshots, 13);
  EXPECT_EQ(lines, 6);
  for (const StepView& step : ref.steps) EXPECT_EQ(step.lastError, "");
  EXPECT_EQ(ref.steps.back().pendingCaptures, 0u);
  EXPECT_EQ(ref.injected, 0);
}

TEST_F(FaultMatrixTest, EveryOperationOfTheSnapshotWriterFailsAtEveryExport) {
  const MatrixCounts counts = PlayMatrix(Writer::kSnapshot);
  // Four operations, failing once and for three writes, at each of 13
  // exports; making the folder fails at the first export, once and for three.
  EXPECT_EQ(counts.cases, 13 * 4 * 2 + 2);
  EXPECT_EQ(counts.differences, 0);
  Report("snapshot writer", counts);
}

TEST_F(FaultMatrixTest, EveryOperationOfTheHistoryWriterFailsAtEveryLine) {
  const MatrixCounts counts = PlayMatrix(Writer::kHistory);
  // Three operations (an append has no replace, and the folder exists before
  // the first line), once and for three writes, at each of six lines.
  EXPECT_EQ(counts.cases, 6 * 3 * 2);
  EXPECT_EQ(counts.differences, 0);
  Report("history writer", counts);
}

}  // namespace
