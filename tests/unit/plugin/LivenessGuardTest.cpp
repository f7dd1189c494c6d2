// Timers may outlive the plugin object that set them: the simulated host lets
// them fire after an unload, the worst case a plugin can survive. These tests
// let them fire after the object is gone, and after a new object took its
// place (run them under ASan to see any misuse).
#include <gtest/gtest.h>

#include <new>

#include "tests/support/PluginHarness.h"

namespace {

TEST(LivenessGuardTest, TimersOfADestroyedPluginDoNothing) {
  PluginHarness harness;
  TallyLoomMMR& plugin = harness.Load();
  int fired = 0;
  TallyLoomMMRTestAccess::SetGuardedTimeout(
      plugin, [&fired] { ++fired; }, 5.0f);
  harness.Unload();
  harness.ClearConsole();
  harness.Advance(60);  // past the startup, periodic and test timers
  EXPECT_EQ(fired, 0);
  EXPECT_TRUE(harness.console().empty());
  EXPECT_EQ(harness.model().time().PendingTimerCount(), 0u);  // the periodic chain ended
}

TEST(LivenessGuardTest, TimersWhileAliveStillRun) {
  PluginHarness harness;
  TallyLoomMMR& plugin = harness.Load();
  int fired = 0;
  TallyLoomMMRTestAccess::SetGuardedTimeout(
      plugin, [&fired] { ++fired; }, 0.5f);
  harness.Advance(1);
  EXPECT_EQ(fired, 1);
}

TEST(LivenessGuardTest, ANewObjectAtTheSameAddressDoesNotInheritOldTimers) {
  // Build both objects in one buffer so that the second sits exactly where the
  // first one was.
  alignas(TallyLoomMMR) static unsigned char storage[sizeof(TallyLoomMMR)];
  PluginHarness harness;
  auto* first = new (storage) TallyLoomMMR();
  first->cvarManager = harness.model().NewCVarManager(1);
  first->gameWrapper = harness.model().NewGameWrapper(1);
  int first_fired = 0;
  TallyLoomMMRTestAccess::SetGuardedTimeout(
      *first, [&first_fired] { ++first_fired; }, 1.0f);
  first->~TallyLoomMMR();

  auto* second = new (storage) TallyLoomMMR();
  ASSERT_EQ(static_cast<void*>(second), static_cast<void*>(first));
  second->cvarManager = harness.model().NewCVarManager(2);
  second->gameWrapper = harness.model().NewGameWrapper(2);
  int second_fired = 0;
  TallyLoomMMRTestAccess::SetGuardedTimeout(
      *second, [&second_fired] { ++second_fired; }, 1.0f);
  harness.Advance(2);
  EXPECT_EQ(first_fired, 0);
  EXPECT_EQ(second_fired, 1);
  second->~TallyLoomMMR();
}

TEST(LivenessGuardTest, ReloadLeavesExactlyOnePeriodicChain) {
  PluginHarness harness;
  harness.Load();
  harness.Unload();
  harness.Load();
  // Old startup and periodic timers are still queued; each fires and dies.
  harness.Advance(100);
  EXPECT_EQ(harness.model().time().PendingTimerCount(), 1u);
}

}  // namespace
