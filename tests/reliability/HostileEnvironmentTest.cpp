// The profile folder as a player's machine may really have it: empty, a
// file, very long, not ASCII, missing (HOME only, or neither), deleted or
// replaced while the game runs, or holding a stale temporary file. Wherever
// the folder can be made, both files come out byte for byte as in an
// ordinary profile; wherever it cannot, the plugin says why, keeps what the
// desktop app already has, and writes again as soon as the folder is usable.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "plugin/HookNames.h"
#include "tests/reliability/FileChecks.h"
#include "tests/support/PluginHarness.h"

namespace {

namespace fs = std::filesystem;

constexpr const char* kSnapshot = "bakkesmod_mmr.json";
constexpr const char* kHistory = "bakkesmod_match_history.jsonl";

// The same small session in every test: an export, then a won doubles match
// whose new rating syncs a second later, captured 7 s after its end.
class Session {
 public:
  explicit Session(PluginHarness& h) : h_(h) {}

  void Start() {
    h_.Load();
    h_.model().console().TypeIntoConsole({"tallyloom_auto_export", "0"});
    h_.model().game().SetAccountText("76561198012345678");
    h_.model().game().SetMmr(11, 1000.0f);
    h_.ClearConsole();
  }
  void Export() { h_.model().console().TypeIntoConsole({"tallyloom_export_mmr"}); }
  void MatchEnds() {
    sdkhost::MatchSetup match;
    match.playlist_id = 11;
    match.score_blue = 3;
    match.score_orange = 1;
    match.winner = 0;
    h_.model().game().SetMatch(match);
    h_.model().registrations().FireEvent(kMatchEndedEvent);
    h_.model().time().ScheduleAction(1'000'000'000,
                                     [this] { h_.model().game().SetMmr(11, 1009.0f); });
  }
  void RatingSyncs() { h_.Advance(8); }
  void PlayAll() {
    Start();
    Export();
    MatchEnds();
    RatingSyncs();
  }

 private:
  PluginHarness& h_;
};

struct Files {
  std::string snapshot;
  std::string history;
};

Files ReadFiles(const fs::path& folder) {
  return {PluginHarness::ReadFile(folder / kSnapshot), PluginHarness::ReadFile(folder / kHistory)};
}

// What the session writes into an ordinary profile.
const Files& OrdinaryFiles() {
  static const Files files = [] {
    PluginHarness h;
    Session(h).PlayAll();
    return ReadFiles(h.ExportFolder());
  }();
  return files;
}

// Puts the plugin's whole file system under a folder of its own, so that a
// profile at the root ("\.tallyloom" for an empty USERPROFILE) can be
// followed without writing to the real root. Records every path asked for.
class RootedEnv : public platform::EnvWrapper {
 public:
  explicit RootedEnv(fs::path root) : EnvWrapper(platform::Env::Default()), root_(root) {
    platform::Env::SetDefault(this);
  }
  ~RootedEnv() override { platform::Env::SetDefault(target()); }

  platform::Status CreateDirectories(const std::string& path) override {
    asked_.push_back("mkdir " + path);
    return EnvWrapper::CreateDirectories(Map(path));
  }
  platform::Status NewWritableFile(const std::string& path, platform::OpenMode mode,
                                   std::unique_ptr<platform::WritableFile>* result) override {
    asked_.push_back((mode == platform::OpenMode::kAppend ? "append " : "write ") + path);
    return EnvWrapper::NewWritableFile(Map(path), mode, result);
  }
  platform::Status TruncateFile(const std::string& path, std::uint64_t size) override {
    asked_.push_back("truncate " + path);
    return EnvWrapper::TruncateFile(Map(path), size);
  }
  platform::Status RenameFile(const std::string& from, const std::string& to) override {
    asked_.push_back("replace " + to + " with " + from);
    return EnvWrapper::RenameFile(Map(from), Map(to));
  }
  const std::vector<std::string>& asked() const { return asked_; }

 private:
  std::string Map(const std::string& path) const { return root_.string() + path; }
  fs::path root_;
  std::vector<std::string> asked_;
};

class HostileEnvironmentTest : public ::testing::Test {
 protected:
  // Before any harness of a test exists: a harness takes over the process's
  // environment until it goes.
  static void SetUpTestSuite() { OrdinaryFiles(); }
  void SetUp() override {
    if (const char* home = std::getenv("HOME")) saved_home_ = home;
    saved_cwd_ = fs::current_path();
  }
  void TearDown() override {
    fs::current_path(saved_cwd_);
    setenv("HOME", saved_home_.c_str(), 1);
  }
  void UseProfile(const fs::path& folder) { setenv("USERPROFILE", folder.c_str(), 1); }

  PluginHarness h_;
  Session session_{h_};
  std::string saved_home_;
  fs::path saved_cwd_;
};

TEST_F(HostileEnvironmentTest, EmptyProfileWritesAtTheRootOfTheDrive) {
  setenv("USERPROFILE", "", 1);
  setenv("HOME", h_.profile().c_str(), 1);  // present, but an empty USERPROFILE still wins
  RootedEnv rooted(h_.profile() / "drive");
  session_.PlayAll();

  const std::vector<std::string> expected = {
      "write /.tallyloom/bakkesmod_mmr.json.tmp",  // the export: the folder is missing,
      "mkdir /.tallyloom",                         // so it is made and the write tried again
      "write /.tallyloom/bakkesmod_mmr.json.tmp",
      "replace /.tallyloom/bakkesmod_mmr.json with /.tallyloom/bakkesmod_mmr.json.tmp",
      "append /.tallyloom/bakkesmod_match_history.jsonl",  // the pending line
      "append /.tallyloom/bakkesmod_match_history.jsonl",  // the final line
  };
  EXPECT_EQ(rooted.asked(), expected);
  const Files files = ReadFiles(h_.profile() / "drive" / ".tallyloom");
  EXPECT_EQ(files.snapshot, OrdinaryFiles().snapshot);
  EXPECT_EQ(files.history, OrdinaryFiles().history);
  EXPECT_EQ(h_.plugin()->Status().lastError, "");
}

TEST_F(HostileEnvironmentTest, HomeOnlyAndNeitherVariable) {
  unsetenv("USERPROFILE");
  setenv("HOME", (h_.profile() / "home").c_str(), 1);
  session_.Start();
  session_.Export();
  EXPECT_EQ(PluginHarness::ReadFile(h_.profile() / "home" / ".tallyloom" / kSnapshot),
            OrdinaryFiles().snapshot);

  // Without either, the folder is relative to the game's current directory.
  unsetenv("HOME");
  fs::create_directories(h_.profile() / "game");
  fs::current_path(h_.profile() / "game");
  session_.MatchEnds();
  session_.RatingSyncs();
  EXPECT_EQ(PluginHarness::ReadFile(h_.profile() / "game" / ".tallyloom" / kHistory),
            OrdinaryFiles().history);
  EXPECT_EQ(h_.plugin()->Status().lastError, "");
}

TEST_F(HostileEnvironmentTest, ProfileThatIsAFileUntilThePlayerFixesIt) {
  PluginHarness::WriteFile(h_.profile() / "blocked", "not a folder");
  UseProfile(h_.profile() / "blocked");
  session_.Start();
  session_.Export();
  EXPECT_EQ(h_.plugin()->Status().lastError, "Failed to create TallyLoom folder: Not a directory");
  session_.MatchEnds();
  EXPECT_EQ(h_.plugin()->Status().lastError,
            "Failed to create TallyLoom folder for match history: Not a directory");

  // The folder is looked up afresh for every write: no reload needed.
  fs::remove(h_.profile() / "blocked");
  session_.RatingSyncs();
  session_.Export();
  const Files files = ReadFiles(h_.profile() / "blocked" / ".tallyloom");
  // The pending line was refused; the final line and the export are there.
  const std::string& ordinary = OrdinaryFiles().history;
  EXPECT_EQ(files.history, ordinary.substr(ordinary.find("\r\n") + 2));
  EXPECT_EQ(reliability::SnapshotProblem(files.snapshot), "");
  EXPECT_EQ(h_.plugin()->Status().lastError, "");
  EXPECT_EQ(h_.console(),
            (std::vector<std::string>{
                "TallyLoom MMR error: Failed to create TallyLoom folder: Not a directory",
                "TallyLoom MMR error: Failed to create TallyLoom folder for match history: Not a "
                "directory",
                "TallyLoom MMR: Queued ranked match capture for Ranked Doubles 2v2 (3-1).",
                "TallyLoom MMR: Captured exact win delta of 9 for Ranked Doubles 2v2.",
                "TallyLoom MMR: Manual test export exported 1 ranked playlists.",
            }));
}

// Builds a folder path of `length` bytes below `base` out of 200-byte names.
fs::path LongPath(const fs::path& base, std::size_t length) {
  std::string path = base.string();
  while (path.size() + 201 <= length) path += "/" + std::string(200, 'p');
  if (path.size() < length) path += "/" + std::string(length - path.size() - 1, 'q');
  return path;
}

TEST_F(HostileEnvironmentTest, VeryLongProfilePaths) {
  session_.Start();

  // Long, but every path fits: as in any other profile.
  UseProfile(LongPath(h_.profile(), 3000));
  session_.Export();
  EXPECT_EQ(PluginHarness::ReadFile(LongPath(h_.profile(), 3000) / ".tallyloom" / kSnapshot),
            OrdinaryFiles().snapshot);

  // The folder fits the system's path limit, the files in it do not.
  const fs::path nearLimit = LongPath(h_.profile(), 4070);
  UseProfile(nearLimit);
  session_.Export();
  EXPECT_EQ(h_.plugin()->Status().lastError,
            "Failed to open " + (nearLimit / ".tallyloom" / kSnapshot).string());
  session_.MatchEnds();
  EXPECT_EQ(h_.plugin()->Status().lastError, "Failed to append TallyLoom match history.");

  // The folder itself is too long, or one name in it is.
  UseProfile(LongPath(h_.profile(), 5000));
  session_.Export();
  EXPECT_EQ(h_.plugin()->Status().lastError,
            "Failed to create TallyLoom folder: File name too long");
  UseProfile(h_.profile() / std::string(300, 'n'));
  session_.RatingSyncs();
  EXPECT_EQ(h_.plugin()->Status().lastError,
            "Failed to create TallyLoom folder for match history: File name too long");
  EXPECT_EQ(h_.plugin()->Status().pendingCaptures, 0u);  // the capture finished all the same
}

// UTF-8 (a CJK user name and an emoji), and a Latin-1 byte that is not
// UTF-8 at all, as an ANSI code page would hand it over.
class HostileProfileNameTest : public HostileEnvironmentTest,
                               public ::testing::WithParamInterface<std::string> {};

TEST_P(HostileProfileNameTest, BothFilesAsInAnyProfile) {
  UseProfile(h_.profile() / GetParam());
  session_.PlayAll();
  const Files files = ReadFiles(h_.profile() / GetParam() / ".tallyloom");
  EXPECT_EQ(files.snapshot, OrdinaryFiles().snapshot);
  EXPECT_EQ(files.history, OrdinaryFiles().history);
  EXPECT_EQ(h_.plugin()->Status().lastError, "");
}

INSTANTIATE_TEST_SUITE_P(OutsideAscii, HostileProfileNameTest,
                         ::testing::Values("\xE7\x8E\xA9\xE5\xAE\xB6 \xF0\x9F\x9A\x80", "Jos\xE9"),
                         [](const ::testing::TestParamInfo<std::string>& info) {
                           return info.index == 0 ? "Utf8" : "Latin1";
                         });

TEST_F(HostileEnvironmentTest, FolderDeletedOrReplacedWhileTheGameRuns) {
  session_.Start();
  session_.Export();
  session_.MatchEnds();

  // The player deletes the folder while the capture waits: the final line
  // and the next export bring folder and files back.
  fs::remove_all(h_.ExportFolder());
  session_.RatingSyncs();
  const std::string& ordinary = OrdinaryFiles().history;
  EXPECT_EQ(PluginHarness::ReadFile(h_.ExportFolder() / kHistory),
            ordinary.substr(ordinary.find("\r\n") + 2));
  EXPECT_FALSE(fs::exists(h_.ExportFolder() / kSnapshot));
  session_.Export();
  EXPECT_EQ(reliability::SnapshotProblem(PluginHarness::ReadFile(h_.ExportFolder() / kSnapshot)),
            "");

  // Something puts a file where the folder was.
  fs::remove_all(h_.ExportFolder());
  PluginHarness::WriteFile(h_.ExportFolder(), "in the way");
  session_.Export();
  EXPECT_EQ(h_.plugin()->Status().lastError, "Failed to create TallyLoom folder: Not a directory");
  fs::remove(h_.ExportFolder());
  session_.Export();
  EXPECT_EQ(h_.plugin()->Status().lastError, "");
  EXPECT_TRUE(fs::is_regular_file(h_.ExportFolder() / kSnapshot));
}

TEST_F(HostileEnvironmentTest, StaleTemporaryFiles) {
  session_.Start();
  session_.Export();
  const std::string snapshot = PluginHarness::ReadFile(h_.ExportFolder() / kSnapshot);
  const fs::path temporary = h_.ExportFolder() / "bakkesmod_mmr.json.tmp";

  // Left by an earlier failure, longer than the new content: nothing of it
  // survives the next export.
  PluginHarness::WriteFile(temporary, std::string(64 * 1024, '#') + "\n");
  session_.Export();
  EXPECT_EQ(PluginHarness::ReadFile(h_.ExportFolder() / kSnapshot), snapshot);
  EXPECT_FALSE(fs::exists(temporary));

  // A folder under the temporary file's name: every export fails with the
  // target's name, and the snapshot stays as it was until it is gone.
  fs::create_directories(temporary / "inside");
  session_.Export();
  EXPECT_EQ(h_.plugin()->Status().lastError,
            "Failed to open " + (h_.ExportFolder() / kSnapshot).string());
  EXPECT_EQ(PluginHarness::ReadFile(h_.ExportFolder() / kSnapshot), snapshot);
  fs::remove_all(temporary);
  session_.Export();
  EXPECT_EQ(h_.plugin()->Status().lastError, "");
  EXPECT_EQ(PluginHarness::ReadFile(h_.ExportFolder() / kSnapshot), snapshot);
}

}  // namespace
