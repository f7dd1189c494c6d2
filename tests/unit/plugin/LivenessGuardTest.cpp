// Timers may outlive the plugin object that set them: the simulated host lets
// them fire after an unload, the worst case a plugin can survive. These tests
// let them fire after the object is gone, and after a new object took its
// place (run them under ASan to see any misuse).
#include <gtest/gtest.h>

#include <new>

#include "plugin/HookNames.h"
#include "tests/support/PluginHarness.h"

namespace {

const std::string kExported = "TallyLoom MMR: Automatic export exported 1 ranked playlists.";

class LivenessGuardTest : public ::testing::Test {
 protected:
  void SetUp() override {
    harness_.model().game().SetAccountText("76561198012345678");
    harness_.model().game().SetMmr(11, 1000.0f);
  }
  // A freeplay start: an export 1.0 s later, whatever the switches say then.
  void StartFreeplay() { harness_.model().registrations().FireEvent(kFreeplayInitEvent); }
  PluginHarness harness_;
};

TEST_F(LivenessGuardTest, TimersOfADestroyedPluginDoNothing) {
  harness_.Load();
  StartFreeplay();
  harness_.Unload();
  harness_.ClearConsole();
  harness_.Advance(60);  // past the freeplay, startup and periodic timers
  EXPECT_TRUE(harness_.console().empty());
  EXPECT_EQ(harness_.model().time().PendingTimerCount(), 0u);  // the periodic chain ended
}

TEST_F(LivenessGuardTest, TimersWhileAliveStillRun) {
  harness_.Load();
  harness_.ClearConsole();
  StartFreeplay();
  harness_.Advance(1);
  EXPECT_EQ(harness_.console(), std::vector<std::string>{kExported});
}

TEST_F(LivenessGuardTest, ANewObjectAtTheSameAddressDoesNotInheritOldTimers) {
  // Build both objects in one buffer so that the second sits exactly where the
  // first one was.
  alignas(TallyLoomMMR) static unsigned char storage[sizeof(TallyLoomMMR)];
  LibraryThrottles throttles;
  auto* first = new (storage) TallyLoomMMR(throttles);
  first->cvarManager = harness_.model().NewCVarManager(1);
  first->gameWrapper = harness_.model().NewGameWrapper(1);
  first->onLoad();  // its startup export is due at 1.5
  first->~TallyLoomMMR();
  harness_.model().ForgetOwner(1);

  harness_.Advance(1);
  auto* second = new (storage) TallyLoomMMR(throttles);
  ASSERT_EQ(static_cast<void*>(second), static_cast<void*>(first));
  second->cvarManager = harness_.model().NewCVarManager(2);
  second->gameWrapper = harness_.model().NewGameWrapper(2);
  second->onLoad();  // its startup export is due at 2.5
  harness_.ClearConsole();
  harness_.Advance(1);
  EXPECT_TRUE(harness_.console().empty());
  harness_.Advance(1);
  EXPECT_EQ(harness_.console(), std::vector<std::string>{kExported});
  second->onUnload();
  second->~TallyLoomMMR();
}

TEST_F(LivenessGuardTest, ReloadLeavesExactlyOnePeriodicChain) {
  harness_.Load();
  harness_.Unload();
  harness_.Load();
  // Old startup and periodic timers are still queued; each fires and dies.
  harness_.Advance(100);
  EXPECT_EQ(harness_.model().time().PendingTimerCount(), 1u);
}

}  // namespace
