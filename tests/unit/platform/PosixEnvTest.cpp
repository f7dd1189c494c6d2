// The real POSIX side of the seam: what the plugin's files look like on disk
// and how the file system's failures are described.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "platform/Env.h"
#include "tests/support/PluginHarness.h"

namespace {

class PosixEnvTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "tallyloom-env-XXXXXX").string();
    root_ = mkdtemp(pattern.data());
  }
  void TearDown() override { std::filesystem::remove_all(root_); }

  platform::Env* env_ = platform::NewOsEnv();
  std::filesystem::path root_;
};

TEST_F(PosixEnvTest, EnvironmentTellsEmptyFromAbsent) {
  setenv("TALLYLOOM_TEST_EMPTY", "", 1);
  unsetenv("TALLYLOOM_TEST_ABSENT");
  EXPECT_EQ(env_->ReadEnvironmentVariable("TALLYLOOM_TEST_EMPTY"), std::optional<std::string>(""));
  EXPECT_EQ(env_->ReadEnvironmentVariable("TALLYLOOM_TEST_ABSENT"), std::nullopt);
}

TEST_F(PosixEnvTest, CreateDirectoriesMakesParentsAndAcceptsExisting) {
  const auto deep = root_ / "a" / "b" / "c";
  ASSERT_TRUE(env_->CreateDirectories(deep.string()).ok());
  EXPECT_TRUE(std::filesystem::is_directory(deep));
  EXPECT_TRUE(env_->CreateDirectories(deep.string()).ok());
}

TEST_F(PosixEnvTest, CreateDirectoriesDescribesWhyItFailed) {
  PluginHarness::WriteFile(root_ / "file", "x");
  const platform::Status under_file = env_->CreateDirectories((root_ / "file" / "sub").string());
  ASSERT_FALSE(under_file.ok());
  EXPECT_EQ(under_file.message(), "Not a directory");
  const platform::Status is_file = env_->CreateDirectories((root_ / "file").string());
  ASSERT_FALSE(is_file.ok());
  EXPECT_FALSE(is_file.message().empty());
}

TEST_F(PosixEnvTest, ReplaceMovesOverAnExistingFile) {
  const auto from = (root_ / "new").string(), to = (root_ / "old").string();
  PluginHarness::WriteFile(from, "new");
  PluginHarness::WriteFile(to, "old");
  ASSERT_TRUE(env_->RenameFile(from, to).ok());
  EXPECT_EQ(PluginHarness::ReadFile(to), "new");
  EXPECT_FALSE(std::filesystem::exists(from));
  EXPECT_FALSE(env_->RenameFile(from, to).ok());  // nothing left to move
}

TEST_F(PosixEnvTest, OpenFailsInAMissingFolder) {
  std::unique_ptr<platform::WritableFile> file;
  EXPECT_FALSE(
      env_->NewWritableFile((root_ / "missing" / "f").string(), platform::OpenMode::kAppend, &file)
          .ok());
}

TEST_F(PosixEnvTest, ClocksAreSane) {
  const std::int64_t a = env_->MonotonicNanos();
  EXPECT_LE(a, env_->MonotonicNanos());
  std::tm local{};
  ASSERT_TRUE(env_->ToLocalTime(env_->NowUnixSeconds(), &local));
  EXPECT_GE(local.tm_year, 120);
}

}  // namespace
