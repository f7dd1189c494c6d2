// The plugin object's life cycle and its two log operations.
#include <gtest/gtest.h>

#include "plugin/PluginLog.h"
#include "tests/support/PluginHarness.h"

namespace {

TEST(PluginCoreTest, LogBeforeLoadOnlyStoresTheText) {
  globalCvarManager.reset();
  PluginHarness harness;
  TallyLoomMMR& plugin = harness.Create();
  plugin.Log("early");
  EXPECT_EQ(plugin.statusMessage, "early");
  EXPECT_TRUE(harness.console().empty());
}

TEST(PluginCoreTest, LoadStampsTimeRegistersAndReportsReady) {
  PluginHarness harness;
  TallyLoomMMR& plugin = harness.Load();
  EXPECT_EQ(plugin.statusMessage, "Installed and loaded. Automatic export is ready.");
  EXPECT_EQ(plugin.lastError, "");
  EXPECT_EQ(plugin.loadedAt, "2026-12-06T21:00:00");
  EXPECT_EQ(
      harness.console(),
      std::vector<std::string>{"TallyLoom MMR: Installed and loaded. Automatic export is ready."});
  EXPECT_TRUE(harness.model().FindCvar("tallyloom_enabled"));
  EXPECT_TRUE(harness.model().HasCommand("tallyloom_status"));
  EXPECT_EQ(harness.model().PendingTimerCount(), 2u);  // startup and periodic
}

TEST(PluginCoreTest, LogErrorKeepsStatusAndUsesTheErrorPrefix) {
  PluginHarness harness;
  TallyLoomMMR& plugin = harness.Load();
  harness.ClearConsole();
  plugin.LogError("x");
  EXPECT_EQ(plugin.lastError, "x");
  EXPECT_EQ(plugin.statusMessage, "Installed and loaded. Automatic export is ready.");
  EXPECT_EQ(harness.console(), std::vector<std::string>{"TallyLoom MMR error: x"});
}

TEST(PluginCoreTest, UnloadRemovesHooksAndDrawableButKeepsVariables) {
  PluginHarness harness;
  harness.Load();
  harness.Unload();
  EXPECT_TRUE(harness.model().FindCvar("tallyloom_auto_export"));
  // Events and frames after the unload reach nothing.
  harness.model().FireEvent("Function TAGame.Mutator_Freeplay_TA.Init");
  harness.model().DrawFrame();
  EXPECT_EQ(harness.model().PendingTimerCount(), 2u);  // nothing new was set
}

TEST(PluginCoreTest, SettingsNameIsTheDisplayName) {
  PluginHarness harness;
  EXPECT_EQ(harness.Create().GetPluginName(), "TallyLoom MMR");
}

}  // namespace
