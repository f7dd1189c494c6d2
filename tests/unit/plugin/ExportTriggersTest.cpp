// The console surface the host keeps, and the reason each automatic trigger
// hands to the export. When each trigger fires is proven by the scenario tests.
#include <gtest/gtest.h>

#include "plugin/HookNames.h"
#include "tests/support/PluginHarness.h"

namespace {

TEST(ConsoleRegistrationTest, BothSwitchesAreSavedNumericZeroToOneDefaultOn) {
  PluginHarness harness;
  harness.Load();
  const struct {
    const char* name;
    const char* description;
  } switches[] = {
      {"tallyloom_enabled", "Enable the TallyLoom ranked sync plugin"},
      {"tallyloom_auto_export", "Automatically export ranked data for TallyLoom"},
  };
  for (const auto& expected : switches) {
    const std::optional<sdkhost::CvarInfo> info = harness.model().console().FindCvar(expected.name);
    ASSERT_TRUE(info) << expected.name;
    EXPECT_EQ(info->default_value, "1");
    EXPECT_EQ(info->description, expected.description);
    EXPECT_TRUE(info->searchable);
    EXPECT_TRUE(info->has_min);
    EXPECT_EQ(info->min, 0.0f);
    EXPECT_TRUE(info->has_max);
    EXPECT_EQ(info->max, 1.0f);
    EXPECT_TRUE(info->save_to_config);
  }
  EXPECT_TRUE(harness.model().console().HasCommand("tallyloom_export_mmr"));
  EXPECT_TRUE(harness.model().console().HasCommand("tallyloom_status"));
}

TEST(ConsoleRegistrationTest, SwitchesFollowTheirVariablesAcrossAReload) {
  PluginHarness harness;
  TallyLoomMMR* plugin = &harness.Load();
  auto status = [&] {
    harness.model().console().TypeIntoConsole({"tallyloom_status"});
    return plugin->Status().statusMessage;
  };
  EXPECT_EQ(status(), "Loaded=yes, auto export=yes, pending captures=0");
  harness.model().console().TypeIntoConsole({"tallyloom_auto_export", "0"});
  EXPECT_EQ(status(), "Loaded=yes, auto export=no, pending captures=0");
  harness.model().console().TypeIntoConsole({"tallyloom_enabled", "0"});
  EXPECT_EQ(status(), "Loaded=no, auto export=no, pending captures=0");
  harness.model().console().TypeIntoConsole({"tallyloom_enabled", "1"});

  // The host keeps the saved value and applies it to the new object's switch.
  harness.Unload();
  plugin = &harness.Load();
  EXPECT_EQ(status(), "Loaded=yes, auto export=no, pending captures=0");
}

TEST(ExportTriggersTest, EachAutomaticTriggerExportsWithItsOwnReason) {
  PluginHarness harness;
  TallyLoomMMR& plugin = harness.Load();
  harness.model().game().SetAccountText("76561198012345678");
  harness.model().game().SetMmr(10, 1500.0f);

  harness.Advance(1.5);
  EXPECT_EQ(plugin.Status().lastExportReason, "Startup export");
  harness.Advance(18.5);
  EXPECT_EQ(plugin.Status().lastExportReason, "Menu export");

  harness.model().game().SetState(sdkhost::GameState::kFreeplay);
  harness.model().registrations().FireEvent(kFreeplayInitEvent);
  harness.Advance(1.0);
  EXPECT_EQ(plugin.Status().lastExportReason, "Freeplay export");
  harness.model().registrations().DrawFrame();
  EXPECT_EQ(plugin.Status().lastExportReason, "Freeplay draw export");
  harness.Advance(19.0);
  EXPECT_EQ(plugin.Status().lastExportReason, "Freeplay poll export");

  harness.model().game().SetState(sdkhost::GameState::kTraining);
  harness.model().registrations().FireEvent(kTrainingStartEvent);
  harness.Advance(1.0);
  EXPECT_EQ(plugin.Status().lastExportReason, "Training export");

  harness.model().console().TypeIntoConsole({"tallyloom_export_mmr"});
  EXPECT_EQ(plugin.Status().lastExportReason, "Manual export");
  EXPECT_EQ(plugin.Status().statusMessage, "Manual test export exported 1 ranked playlists.");
}

}  // namespace
