// Where the files go, what time stamps look like, and the write-then-replace
// routine with each of its failures.
#include <gtest/gtest.h>

#include <cstdlib>

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
  void SetUp() override {
    plugin_ = &harness_.Load();
    target_ = harness_.ExportFolder() / "bakkesmod_mmr.json";
  }
  bool Write(const std::string& content) {
    return plugin_->WriteFileAtomically(target_.string(), content);
  }
  PluginHarness harness_;
  TallyLoomMMR* plugin_ = nullptr;
  std::filesystem::path target_;
};

TEST_F(WriteFileAtomicallyTest, WritesCrLfAndReplacesWhole) {
  plugin_->lastError = "old error";
  ASSERT_TRUE(Write("a\nb\nc\n"));
  EXPECT_EQ(PluginHarness::ReadFile(target_), "a\r\nb\r\nc\r\n");
  EXPECT_EQ(plugin_->lastError, "");
  ASSERT_TRUE(Write("short\n"));
  EXPECT_EQ(PluginHarness::ReadFile(target_), "short\r\n");
  EXPECT_FALSE(std::filesystem::exists(target_.string() + ".tmp"));
  EXPECT_EQ(plugin_->statusMessage, "Installed and loaded. Automatic export is ready.");
}

TEST_F(WriteFileAtomicallyTest, StaleTemporaryFileIsTruncatedAndReused) {
  std::filesystem::create_directories(harness_.ExportFolder());
  PluginHarness::WriteFile(target_.string() + ".tmp", std::string(4096, 'z'));
  ASSERT_TRUE(Write("fresh\n"));
  EXPECT_EQ(PluginHarness::ReadFile(target_), "fresh\r\n");
}

TEST_F(WriteFileAtomicallyTest, EveryFailureKeepsTheOldFileAndNamesTheTarget) {
  ASSERT_TRUE(Write("old\n"));
  const std::string folderError = "Failed to create TallyLoom folder: Input/output error";
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
    harness_.ClearConsole();
    EXPECT_FALSE(Write("new content\n"));
    EXPECT_EQ(plugin_->lastError, c.text);
    EXPECT_EQ(harness_.console(), std::vector<std::string>{"TallyLoom MMR error: " + c.text});
    EXPECT_EQ(PluginHarness::ReadFile(target_), "old\r\n") << c.text;
    EXPECT_EQ(std::filesystem::exists(target_.string() + ".tmp"), c.temporary_left) << c.text;
  }
  ASSERT_TRUE(Write("new content\n"));
  EXPECT_EQ(PluginHarness::ReadFile(target_), "new content\r\n");
  EXPECT_EQ(plugin_->lastError, "");

  // The folder is made only when it is missing, so only then can making it fail.
  std::filesystem::remove_all(target_.parent_path());
  harness_.faults().Fail(platform::FaultOp::kMkdir, false);
  EXPECT_FALSE(Write("newer\n"));
  EXPECT_EQ(plugin_->lastError, folderError);
  EXPECT_FALSE(std::filesystem::exists(target_.parent_path()));
  ASSERT_TRUE(Write("newer\n"));
  EXPECT_EQ(PluginHarness::ReadFile(target_), "newer\r\n");
}

TEST_F(WriteFileAtomicallyTest, ProfileThatIsAFileFailsWithTheFileSystemsReason) {
  PluginHarness::WriteFile(harness_.profile() / "blocker", "x");
  setenv("USERPROFILE", (harness_.profile() / "blocker").c_str(), 1);
  EXPECT_FALSE(plugin_->WriteFileAtomically(ExportFilePath(kSnapshotFileName), "x\n"));
  EXPECT_EQ(plugin_->lastError, "Failed to create TallyLoom folder: Not a directory");
}

}  // namespace
