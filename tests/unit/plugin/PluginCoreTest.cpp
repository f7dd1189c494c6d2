// The plugin object's life cycle and its two log operations.
#include <gtest/gtest.h>

#include "sdk/model/GameEvents.h"
#include "tests/support/PluginHarness.h"

namespace {

TEST(PluginCoreTest, LogBeforeLoadOnlyStoresTheText) {
  PluginHarness harness;
  TallyLoomMMR& plugin = harness.Create();
  plugin.Log("early");
  plugin.LogError("early failure");
  EXPECT_EQ(plugin.Status().statusMessage, "early");
  EXPECT_EQ(plugin.Status().lastError, "early failure");
  EXPECT_TRUE(harness.console().empty());
}

TEST(PluginCoreTest, LoadStampsTimeRegistersAndReportsReady) {
  PluginHarness harness;
  TallyLoomMMR& plugin = harness.Load();
  EXPECT_EQ(plugin.Status().statusMessage, "Installed and loaded. Automatic export is ready.");
  EXPECT_EQ(plugin.Status().lastError, "");
  EXPECT_EQ(plugin.Status().loadedAt, "2026-12-06T21:00:00");
  EXPECT_EQ(
      harness.console(),
      std::vector<std::string>{"TallyLoom MMR: Installed and loaded. Automatic export is ready."});
  EXPECT_TRUE(harness.model().console().FindCvar("tallyloom_enabled"));
  EXPECT_TRUE(harness.model().console().HasCommand("tallyloom_status"));
  EXPECT_EQ(harness.model().time().PendingTimerCount(), 2u);  // startup and periodic
}

TEST(PluginCoreTest, LogErrorKeepsStatusAndUsesTheErrorPrefix) {
  PluginHarness harness;
  TallyLoomMMR& plugin = harness.Load();
  harness.ClearConsole();
  plugin.LogError("x");
  EXPECT_EQ(plugin.Status().lastError, "x");
  EXPECT_EQ(plugin.Status().statusMessage, "Installed and loaded. Automatic export is ready.");
  EXPECT_EQ(harness.console(), std::vector<std::string>{"TallyLoom MMR error: x"});
}

TEST(PluginCoreTest, UnloadRemovesEverythingRegisteredAndReloadRestoresSavedValues) {
  PluginHarness harness;
  harness.Load();
  ASSERT_TRUE(harness.model().console().SetCvarValue("tallyloom_auto_export", "0"));
  harness.Unload();
  // As the host does: variables, commands, hooks and the drawable go.
  EXPECT_FALSE(harness.model().console().FindCvar("tallyloom_auto_export"));
  EXPECT_FALSE(harness.model().console().FindCvar("tallyloom_enabled"));
  EXPECT_FALSE(harness.model().console().HasCommand("tallyloom_export_mmr"));
  EXPECT_FALSE(harness.model().console().HasCommand("tallyloom_status"));
  // Events and frames after the unload reach nothing.
  harness.model().registrations().FireEvent(std::string(sdkhost::kFreeplayInit.name));
  harness.model().registrations().DrawFrame();
  EXPECT_EQ(harness.model().time().PendingTimerCount(), 2u);  // nothing new was set

  // The saved value comes back with the variable, and reaches the new switch.
  TallyLoomMMR& again = harness.Load();
  EXPECT_EQ(harness.model().console().CvarValue("tallyloom_auto_export"), "0");
  EXPECT_EQ(harness.model().console().CvarValue("tallyloom_enabled"), "1");
  harness.model().console().TypeIntoConsole({"tallyloom_status"});
  EXPECT_EQ(again.Status().statusMessage, "Loaded=yes, auto export=no, pending captures=0");
}

TEST(PluginCoreTest, SettingsNameIsTheDisplayName) {
  PluginHarness harness;
  EXPECT_EQ(harness.Create().GetPluginName(), "TallyLoom MMR");
}

}  // namespace
