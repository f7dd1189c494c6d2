// An export that fails in a way no error text foresees (an exception from the
// system layer, memory running out) is reported and must not take the
// automatic exports down with it: the 20-second timer goes on.
#include <gtest/gtest.h>

#include <stdexcept>

#include "tests/support/PluginHarness.h"

namespace {

// Throws from the wall clock, which every export reads for its timestamp, and
// (when asked) from the monotonic clock, which every freeplay frame reads.
class ThrowingClockEnv : public platform::EnvWrapper {
 public:
  using EnvWrapper::EnvWrapper;
  std::int64_t NowUnixSeconds() override {
    if (throws) throw std::runtime_error("clock unavailable");
    return EnvWrapper::NowUnixSeconds();
  }
  std::int64_t MonotonicNanos() override {
    if (monotonic_throws) throw std::runtime_error("monotonic clock unavailable");
    return EnvWrapper::MonotonicNanos();
  }
  bool throws = false;
  bool monotonic_throws = false;
};

// Puts an environment in place for one scope.
class ScopedEnv {
 public:
  explicit ScopedEnv(platform::Env* env) : previous_(platform::Env::Default()) {
    platform::Env::SetDefault(env);
  }
  ~ScopedEnv() { platform::Env::SetDefault(previous_); }

 private:
  platform::Env* previous_;
};

TEST(ExportFailureTest, PeriodicExportsGoOnAfterAnUnexpectedFailure) {
  PluginHarness harness;
  TallyLoomMMR& plugin = harness.Load();
  ThrowingClockEnv env(platform::Env::Default());
  ScopedEnv installed(&env);
  harness.model().game().SetAccountText("76561198012345678");
  harness.model().game().SetMmr(11, 1000.0f);
  harness.Advance(2);  // the startup export
  harness.ClearConsole();

  env.throws = true;
  harness.Advance(20);  // the run at 20 s fails
  EXPECT_EQ(harness.console(),
            std::vector<std::string>{"TallyLoom MMR error: Unexpected failure: clock unavailable"});
  EXPECT_EQ(plugin.Status().lastError, "Unexpected failure: clock unavailable");

  env.throws = false;
  harness.ClearConsole();
  harness.Advance(20);  // the run at 40 s exports again
  EXPECT_EQ(harness.console(), std::vector<std::string>{
                                   "TallyLoom MMR: Automatic export exported 1 ranked playlists."});
  EXPECT_EQ(plugin.Status().lastExportReason, "Menu export");
}

TEST(ExportFailureTest, AFreeplayFrameThatFailsIsReportedNotThrownAtTheHost) {
  PluginHarness harness;
  TallyLoomMMR& plugin = harness.Load();
  ThrowingClockEnv env(platform::Env::Default());
  ScopedEnv installed(&env);
  harness.model().game().SetState(sdkhost::GameState::kFreeplay);
  env.monotonic_throws = true;
  harness.ClearConsole();
  EXPECT_NO_THROW(harness.model().registrations().DrawFrame());
  EXPECT_EQ(plugin.Status().lastError, "Unexpected failure: monotonic clock unavailable");
  EXPECT_EQ(harness.console(),
            std::vector<std::string>{"TallyLoom MMR error: Unexpected failure: monotonic clock "
                                     "unavailable"});
}

}  // namespace
