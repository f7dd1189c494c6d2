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

// Refuses to cut a file back, as a file system may.
class NoCutBack : public platform::EnvWrapper {
 public:
  using EnvWrapper::EnvWrapper;
  platform::Status TruncateFile(const std::string&, std::uint64_t) override {
    return platform::Status::Error("truncate: refused");
  }
};

// Whatever the file ends with, the next line starts a line of its own and
// nothing already there is lost: each case is a file as an append finds it.
TEST_F(FaultInjectionTest, EveryAppendedLineStartsALineOfItsOwn) {
  const struct {
    const char* before;
    const char* after;
  } cases[] = {
      {"", "next\r\n"},
      {"whole\r\n", "whole\r\nnext\r\n"},
      // A crash in the middle of a line: the partial line stays, alone.
      {"whole\r\n{\"part", "whole\r\n{\"part\r\nnext\r\n"},
      // Cut between CR and LF: the line lacks only its LF.
      {"line\r", "line\r\nnext\r\n"},
      // Someone else's bare line feed is a line end too.
      {"unix\n", "unix\nnext\r\n"},
  };
  for (const auto& c : cases) {
    PluginHarness::WriteFile(path_, c.before);
    ASSERT_TRUE(platform::AppendTextLine(&env_, path_, "next").ok());
    EXPECT_EQ(PluginHarness::ReadFile(path_), c.after) << "before: " << c.before;
  }
}

TEST_F(FaultInjectionTest, ATornLineThatCannotBeCutBackIsEndedByTheNextAppend) {
  NoCutBack env(&env_);
  ASSERT_TRUE(platform::AppendTextLine(&env, path_, "first").ok());
  env_.Fail(platform::FaultOp::kWrite, false);
  EXPECT_FALSE(platform::AppendTextLine(&env, path_, "torn line").ok());
  EXPECT_EQ(PluginHarness::ReadFile(path_), "first\r\ntorn ");  // half of the write
  ASSERT_TRUE(platform::AppendTextLine(&env, path_, "second").ok());
  EXPECT_EQ(PluginHarness::ReadFile(path_), "first\r\ntorn \r\nsecond\r\n");
}

// Files whose end cannot be looked at: reading refused (the length is still
// known), or a pipe (nothing is). Counts the cut-backs.
class BlindEnv : public platform::EnvWrapper {
 public:
  BlindEnv(platform::Env* target, bool size_known) : EnvWrapper(target), size_known_(size_known) {}
  platform::Status NewWritableFile(const std::string& path, platform::OpenMode mode,
                                   std::unique_ptr<platform::WritableFile>* result) override {
    std::unique_ptr<platform::WritableFile> file;
    const platform::Status status = EnvWrapper::NewWritableFile(path, mode, &file);
    if (status.ok()) *result = std::make_unique<Blind>(std::move(file), size_known_);
    return status;
  }
  platform::Status TruncateFile(const std::string& path, std::uint64_t size) override {
    ++cut_backs;
    return EnvWrapper::TruncateFile(path, size);
  }
  int cut_backs = 0;

 private:
  class Blind : public platform::WritableFile {
   public:
    Blind(std::unique_ptr<WritableFile> file, bool size_known)
        : file_(std::move(file)), size_known_(size_known) {}
    platform::Status Append(std::string_view bytes) override { return file_->Append(bytes); }
    platform::Status Close() override { return file_->Close(); }
    platform::Status Size(std::uint64_t* size) override {
      return size_known_ ? file_->Size(size) : platform::Status::Error("lseek: Illegal seek");
    }
    platform::Status ReadByteAt(std::uint64_t, char*) override {
      return platform::Status::Error("read: Bad file descriptor");
    }

   private:
    std::unique_ptr<WritableFile> file_;
    bool size_known_;
  };
  bool size_known_;
};

// Without the look the line is appended as the plain append always did (after
// a partial line it joins it); a failed write is cut back only when the length
// before it is known, and reported either way.
TEST_F(FaultInjectionTest, WhenTheEndCannotBeSeenTheLineIsAppendedAsItIs) {
  for (const bool size_known : {true, false}) {
    BlindEnv env(&env_, size_known);
    PluginHarness::WriteFile(path_, "{\"part");
    ASSERT_TRUE(platform::AppendTextLine(&env, path_, "next").ok());
    EXPECT_EQ(PluginHarness::ReadFile(path_), "{\"partnext\r\n");
    env_.Fail(platform::FaultOp::kWrite, false);
    EXPECT_EQ(platform::AppendTextLine(&env, path_, "torn line").failed,
              platform::FileStep::kWrite);
    EXPECT_EQ(env.cut_backs, size_known ? 1 : 0);
    EXPECT_EQ(PluginHarness::ReadFile(path_),
              size_known ? "{\"partnext\r\n" : "{\"partnext\r\ntorn ");
  }
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
