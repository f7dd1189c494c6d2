// Fault injection itself, and what the text-file helpers leave behind when a
// write or close fails: never a partial line.
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/TextFiles.h"
#include "platform/testing/FaultInjectionEnv.h"
#include "platform/testing/VirtualClockEnv.h"
#include "tests/support/PluginHarness.h"

namespace {

class FaultInjectionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "tallyloom-fault-XXXXXX").string();
    root_ = mkdtemp(pattern.data());
    path_ = (root_ / "history").string();
  }
  void TearDown() override { std::filesystem::remove_all(root_); }

  platform::FaultInjectionEnv env_{platform::NewOsEnv()};
  std::filesystem::path root_;
  std::string path_;
};

TEST_F(FaultInjectionTest, OnceFailsOnlyTheNextOperation) {
  env_.Fail(platform::FaultOp::kMkdir, false);
  EXPECT_FALSE(env_.CreateDirectories((root_ / "d").string()).ok());
  EXPECT_TRUE(env_.CreateDirectories((root_ / "d").string()).ok());
  EXPECT_EQ(env_.InjectedCount(), 1);
}

TEST_F(FaultInjectionTest, AlwaysFailsUntilCleared) {
  env_.Fail(platform::FaultOp::kReplace, true);
  PluginHarness::WriteFile(root_ / "a", "a");
  EXPECT_FALSE(env_.RenameFile((root_ / "a").string(), (root_ / "b").string()).ok());
  EXPECT_FALSE(env_.RenameFile((root_ / "a").string(), (root_ / "b").string()).ok());
  env_.Clear();
  EXPECT_TRUE(env_.RenameFile((root_ / "a").string(), (root_ / "b").string()).ok());
}

TEST_F(FaultInjectionTest, EachWriteStepReportsWhereItFailed) {
  const struct {
    platform::FaultOp op;
    platform::FileStep step;
  } cases[] = {{platform::FaultOp::kOpen, platform::FileStep::kOpen},
               {platform::FaultOp::kWrite, platform::FileStep::kWrite},
               {platform::FaultOp::kClose, platform::FileStep::kClose}};
  for (const auto& c : cases) {
    env_.Fail(c.op, false);
    EXPECT_EQ(platform::WriteTextFile(&env_, path_, "x\n").failed, c.step);
    env_.Fail(c.op, false);
    EXPECT_EQ(platform::AppendTextLine(&env_, path_ + "2", "x").failed, c.step);
  }
}

TEST_F(FaultInjectionTest, TornAppendIsRolledBackToWholeLines) {
  ASSERT_TRUE(platform::AppendTextLine(&env_, path_, "first").ok());
  for (platform::FaultOp op : {platform::FaultOp::kWrite, platform::FaultOp::kClose}) {
    env_.Fail(op, false);
    const platform::FileResult result = platform::AppendTextLine(&env_, path_, "torn line");
    EXPECT_FALSE(result.ok());
    EXPECT_EQ(PluginHarness::ReadFile(path_), "first\r\n");
  }
  ASSERT_TRUE(platform::AppendTextLine(&env_, path_, "second").ok());
  EXPECT_EQ(PluginHarness::ReadFile(path_), "first\r\nsecond\r\n");
}

TEST_F(FaultInjectionTest, TornAppendToANewFileLeavesItEmpty) {
  env_.Fail(platform::FaultOp::kWrite, false);
  EXPECT_FALSE(platform::AppendTextLine(&env_, path_, "line").ok());
  EXPECT_EQ(PluginHarness::ReadFile(path_), "");
}

// Counts how often the append looks at a file's last byte.
class TailReads : public platform::EnvWrapper {
 public:
  using EnvWrapper::EnvWrapper;
  platform::Status ReadByteAt(const std::string& path, std::uint64_t offset, char* byte) override {
    ++reads;
    return EnvWrapper::ReadByteAt(path, offset, byte);
  }
  platform::Status TruncateFile(const std::string& path, std::uint64_t size) override {
    if (refuse_truncate) return platform::Status::Error("truncate: refused");
    return EnvWrapper::TruncateFile(path, size);
  }
  int reads = 0;
  bool refuse_truncate = false;
};

TEST_F(FaultInjectionTest, APartialLastLineStandsAloneAndTheNextLinesAreWhole) {
  TailReads env(&env_);
  platform::KnownLineEnd known;
  // A file that a crash left in the middle of a line: it stays as it is, and
  // the next line begins with a line end of its own.
  PluginHarness::WriteFile(path_, "whole\r\n{\"part");
  ASSERT_TRUE(platform::AppendTextLine(&env, path_, "next", &known).ok());
  EXPECT_EQ(PluginHarness::ReadFile(path_), "whole\r\n{\"part\r\nnext\r\n");
  EXPECT_EQ(env.reads, 1);
  // In the steady state the end is known: nothing is read.
  ASSERT_TRUE(platform::AppendTextLine(&env, path_, "more", &known).ok());
  ASSERT_TRUE(platform::AppendTextLine(&env, path_, "again", &known).ok());
  EXPECT_EQ(env.reads, 1);
  EXPECT_EQ(PluginHarness::ReadFile(path_), "whole\r\n{\"part\r\nnext\r\nmore\r\nagain\r\n");

  // Someone else changed the file: its end is looked at again, and a whole
  // last line gets nothing extra.
  PluginHarness::WriteFile(path_, "other\r\n");
  ASSERT_TRUE(platform::AppendTextLine(&env, path_, "after", &known).ok());
  EXPECT_EQ(env.reads, 2);
  EXPECT_EQ(PluginHarness::ReadFile(path_), "other\r\nafter\r\n");
}

TEST_F(FaultInjectionTest, ATornLineThatCannotBeCutBackIsEndedByTheNextAppend) {
  TailReads env(&env_);
  platform::KnownLineEnd known;
  ASSERT_TRUE(platform::AppendTextLine(&env, path_, "first", &known).ok());
  env.refuse_truncate = true;
  env_.Fail(platform::FaultOp::kWrite, false);
  EXPECT_FALSE(platform::AppendTextLine(&env, path_, "torn line", &known).ok());
  EXPECT_EQ(PluginHarness::ReadFile(path_), "first\r\ntorn ");  // half of the write
  env.refuse_truncate = false;
  ASSERT_TRUE(platform::AppendTextLine(&env, path_, "second", &known).ok());
  EXPECT_EQ(PluginHarness::ReadFile(path_), "first\r\ntorn \r\nsecond\r\n");
  // Nor does a file cut in the middle of its CR LF lose a line.
  PluginHarness::WriteFile(path_, "line\r");
  ASSERT_TRUE(platform::AppendTextLine(&env, path_, "next", &known).ok());
  EXPECT_EQ(PluginHarness::ReadFile(path_), "line\r\r\nnext\r\n");
}

TEST(VirtualClockTest, MovesOnlyForwardAndDrivesBothClocks) {
  platform::VirtualClock clock;
  platform::VirtualClockEnv env(platform::NewOsEnv(), &clock, 1000);
  clock.AdvanceTo(2'500'000'000);
  clock.AdvanceTo(1'000'000'000);  // ignored
  EXPECT_EQ(clock.NowNanos(), 2'500'000'000);
  EXPECT_EQ(env.NowUnixSeconds(), 1002);
  EXPECT_EQ(env.MonotonicNanos(), platform::VirtualClock::kMonotonicOrigin + 2'500'000'000);
}

}  // namespace
