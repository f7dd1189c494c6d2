// Where the files go, what time stamps look like, and the write-then-replace
// routine with each of its failures.
#include <gtest/gtest.h>

#include <cstdlib>

#include "export/ExportFiles.h"
#include "export/ExportFolder.h"
#include "export/Timestamp.h"
#include "tests/support/PluginHarness.h"

namespace {

class ExportFolderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (const char* home = std::getenv("HOME")) saved_home_ = home;
  }
  void TearDown() override { setenv("HOME", saved_home_.c_str(), 1); }
  PluginHarness harness_;
  std::string saved_home_;
};

TEST_F(ExportFolderTest, ProfileFolderRule) {
  setenv("USERPROFILE", "/users/player", 1);
  setenv("HOME", "/home/other", 1);
  EXPECT_EQ(GetExportFolder(), "/users/player/.tallyloom");
  setenv("USERPROFILE", "", 1);  // present but empty still wins: the root
  EXPECT_EQ(GetExportFolder(), "/.tallyloom");
  unsetenv("USERPROFILE");
  EXPECT_EQ(GetExportFolder(), "/home/other/.tallyloom");
  unsetenv("HOME");
  EXPECT_EQ(GetExportFolder(), "./.tallyloom");
  setenv("HOME", "/home/other", 1);
  EXPECT_EQ(ExportFilePath(kSnapshotFileName), "/home/other/.tallyloom/bakkesmod_mmr.json");
  EXPECT_EQ(ExportFilePath(kMatchHistoryFileName),
            "/home/other/.tallyloom/bakkesmod_match_history.jsonl");
}

TEST_F(ExportFolderTest, TimestampIsLocalWholeSecondsWithoutZone) {
  EXPECT_EQ(CurrentTimestamp(), "2026-12-06T21:00:00");
  harness_.Advance(0.999);
  EXPECT_EQ(CurrentTimestamp(), "2026-12-06T21:00:00");  // same second, same text
  harness_.Advance(3600 * 3 + 0.001);
  EXPECT_EQ(CurrentTimestamp(), "2026-12-07T00:00:01");
  setenv("TZ", "Europe/Berlin", 1);
  tzset();
  EXPECT_EQ(CurrentTimestamp(), "2026-12-07T01:00:01");
  setenv("TZ", "UTC", 1);
  tzset();
}

class WriteFileAtomicallyTest : public ::testing::Test {
 protected:
  void SetUp() override { target_ = harness_.ExportFolder() / "bakkesmod_mmr.json"; }
  // Nothing on success, else the failure's text.
  std::optional<std::string> Write(const std::string& content) {
    return WriteFileAtomically(target_.string(), content);
  }
  PluginHarness harness_;
  std::filesystem::path target_;
};

TEST_F(WriteFileAtomicallyTest, WritesCrLfAndReplacesWhole) {
  ASSERT_EQ(Write("a\nb\nc\n"), std::nullopt);
  EXPECT_EQ(PluginHarness::ReadFile(target_), "a\r\nb\r\nc\r\n");
  ASSERT_EQ(Write("short\n"), std::nullopt);
  EXPECT_EQ(PluginHarness::ReadFile(target_), "short\r\n");
  EXPECT_FALSE(std::filesystem::exists(target_.string() + ".tmp"));
}

TEST_F(WriteFileAtomicallyTest, StaleTemporaryFileIsTruncatedAndReused) {
  std::filesystem::create_directories(harness_.ExportFolder());
  PluginHarness::WriteFile(target_.string() + ".tmp", std::string(4096, 'z'));
  ASSERT_EQ(Write("fresh\n"), std::nullopt);
  EXPECT_EQ(PluginHarness::ReadFile(target_), "fresh\r\n");
}

TEST_F(WriteFileAtomicallyTest, EveryFailureKeepsTheOldFileAndNamesTheTarget) {
  ASSERT_EQ(Write("old\n"), std::nullopt);
  const struct {
    platform::FaultOp op;
    std::string text;
    bool temporary_left;
  } cases[] = {
      {platform::FaultOp::kOpen, "Failed to open " + target_.string(), false},
      {platform::FaultOp::kWrite, "Failed to write " + target_.string(), true},
      {platform::FaultOp::kClose, "Failed to write " + target_.string(), true},
      {platform::FaultOp::kReplace, "Failed to replace TallyLoom export file.", true},
  };
  for (const auto& c : cases) {
    std::filesystem::remove(target_.string() + ".tmp");
    harness_.faults().Fail(c.op, false);
    EXPECT_EQ(Write("new content\n"), c.text);
    EXPECT_EQ(PluginHarness::ReadFile(target_), "old\r\n") << c.text;
    EXPECT_EQ(std::filesystem::exists(target_.string() + ".tmp"), c.temporary_left) << c.text;
  }
  ASSERT_EQ(Write("new content\n"), std::nullopt);
  EXPECT_EQ(PluginHarness::ReadFile(target_), "new content\r\n");

  // The folder is made only when it is missing, so only then can making it fail.
  std::filesystem::remove_all(target_.parent_path());
  harness_.faults().Fail(platform::FaultOp::kMkdir, false);
  EXPECT_EQ(Write("newer\n"), "Failed to create TallyLoom folder: Input/output error");
  EXPECT_FALSE(std::filesystem::exists(target_.parent_path()));
  ASSERT_EQ(Write("newer\n"), std::nullopt);
  EXPECT_EQ(PluginHarness::ReadFile(target_), "newer\r\n");
}

TEST_F(WriteFileAtomicallyTest, ProfileThatIsAFileFailsWithTheFileSystemsReason) {
  PluginHarness::WriteFile(harness_.profile() / "blocker", "x");
  setenv("USERPROFILE", (harness_.profile() / "blocker").c_str(), 1);
  EXPECT_EQ(WriteFileAtomically(ExportFilePath(kSnapshotFileName), "x\n"),
            "Failed to create TallyLoom folder: Not a directory");
}

// The history file shares the folder rule: made when the first line comes.
TEST_F(WriteFileAtomicallyTest, TheFirstHistoryLineMakesTheFolderAndAWholeLine) {
  ASSERT_FALSE(std::filesystem::exists(harness_.ExportFolder()));
  ASSERT_EQ(AppendMatchHistoryLine("{\"a\":1}"), std::nullopt);
  ASSERT_EQ(AppendMatchHistoryLine("{\"b\":2}"), std::nullopt);
  EXPECT_EQ(PluginHarness::ReadFile(harness_.ExportFolder() / "bakkesmod_match_history.jsonl"),
            "{\"a\":1}\r\n{\"b\":2}\r\n");
  harness_.faults().Fail(platform::FaultOp::kWrite, false);
  EXPECT_EQ(AppendMatchHistoryLine("{}"), "Failed to append TallyLoom match history.");
}

}  // namespace
