// The settings tab drawn by the host's settings window into the host's Dear
// ImGui context, read and clicked through real mouse input.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "host/SettingsDriver.h"
#include "plugin/PluginVersion.h"
#include "sdk/model/GameThread.h"
#include "settings/SettingsTab.h"
#include "settings/SettingsWindowBase.h"
#include "tests/support/PluginHarness.h"

namespace {

using Lines = std::vector<std::string>;

const std::string kVersionRow = std::string("Plugin version: ") + kPluginVersion;

const char kHelp[] =
    "TallyLoom writes ranked snapshots and per-match history to your .tallyloom folder "
    "automatically. The desktop app watches those files, so users should not need to run console "
    "commands during normal use.";

Lines SplitLines(const std::string& text) {
  Lines lines;
  std::string line;
  for (char c : text) {
    if (c == '\n') {
      lines.push_back(line);
      line.clear();
    } else {
      line += c;
    }
  }
  if (!line.empty()) lines.push_back(line);
  return lines;
}

bool HasLine(const std::string& text, const std::string& wanted) {
  for (const std::string& line : SplitLines(text)) {
    if (line == wanted) return true;
  }
  return false;
}

// A plugin in a harness, with its tab in the host's settings window.
class SettingsTabTest : public ::testing::Test {
 protected:
  void Attach(TallyLoomMMR& plugin) {
    plugin.SetImGuiContext(reinterpret_cast<std::uintptr_t>(driver_.context()));
    driver_.SetTab(&plugin);
  }
  void TearDown() override { driver_.SetTab(nullptr); }

  std::string Folder() const { return harness_.ExportFolder().string(); }
  void GiveAccount() {
    harness_.model().game().SetAccountText("76561198012345678");
    harness_.model().game().SetMmr(11, 1000.0f);
  }

  PluginHarness harness_;
  host::SettingsDriver driver_;
};

TEST_F(SettingsTabTest, BeforeLoadShowsDefaultsAndFallbacksWithoutStatusOrError) {
  // Nothing has run: neither switch exists, nothing is stamped or logged.
  TallyLoomMMR& plugin = harness_.Create();
  Attach(plugin);
  EXPECT_EQ(SplitLines(driver_.DrawAndRead()),
            (Lines{"[x] Enable TallyLoom plugin", "[ ] Enable automatic ranked-data export",
                   "--------------------------------", kVersionRow, "Loaded at: Not recorded",
                   "Install status: Installed and loaded in BakkesMod",
                   "Snapshot file: " + Folder() + "/bakkesmod_mmr.json",
                   "Match history file: " + Folder() + "/bakkesmod_match_history.jsonl",
                   "Last snapshot export: Not yet exported", "Last export reason: Not yet exported",
                   "Last match capture: No ranked matches captured yet",
                   "Pending match captures: 0", "Last exported playlists: 0",
                   "[ Run test export now ] [ Log plugin status ]", kHelp}));

  // With no console variable behind it, the toggle still reports the box's
  // new state, and the box goes on showing the (absent) switch.
  std::string fired;
  ASSERT_TRUE(driver_.Click("Enable TallyLoom plugin", &fired));
  EXPECT_TRUE(HasLine(fired, "Status: TallyLoom plugin disabled.")) << fired;
  EXPECT_EQ(plugin.Status().statusMessage, "TallyLoom plugin disabled.");
  EXPECT_TRUE(harness_.console().empty());
  EXPECT_TRUE(HasLine(driver_.DrawAndRead(), "[x] Enable TallyLoom plugin"));
}

// The tab drawn from a view of our own making, with actions that do nothing.
class ViewOnlyTab : public SettingsWindowBase {
 public:
  void RenderSettings() override {
    TabView copy = view;
    DrawSettingsTab(copy, TabActions{[](const char*, bool, const char*) {}, [] {}, [] {}});
  }
  TabView view;
};

TEST_F(SettingsTabTest, StatusAndErrorRowsFollowTheirTexts) {
  ViewOnlyTab tab;
  tab.SetImGuiContext(reinterpret_cast<std::uintptr_t>(driver_.context()));
  driver_.SetTab(&tab);
  tab.view.rows.statusMessage = "Working.";
  tab.view.rows.lastError = "Failed to open somewhere";
  tab.view.rows.exportedPlaylists = -3;  // shown as the signed number it is
  Lines lines = SplitLines(driver_.DrawAndRead());
  ASSERT_EQ(lines.size(), 17u);
  EXPECT_EQ(lines[12], "Last exported playlists: -3");
  EXPECT_EQ(lines[13], "Status: Working.");
  EXPECT_EQ(lines[14], "Last error: Failed to open somewhere");

  tab.view.rows.statusMessage.clear();
  lines = SplitLines(driver_.DrawAndRead());
  ASSERT_EQ(lines.size(), 16u);
  EXPECT_EQ(lines[13], "Last error: Failed to open somewhere");
}

TEST_F(SettingsTabTest, EachCheckboxSetsItsVariableAndReportsInTheSameFrame) {
  TallyLoomMMR& plugin = harness_.Load();
  Attach(plugin);
  struct Case {
    const char* label;
    const char* variable;
    const char* off;
    const char* on;
  };
  for (const Case& c : {Case{"Enable TallyLoom plugin", "tallyloom_enabled",
                             "TallyLoom plugin disabled.", "TallyLoom plugin enabled."},
                        Case{"Enable automatic ranked-data export", "tallyloom_auto_export",
                             "Automatic export disabled.", "Automatic export enabled."}}) {
    SCOPED_TRACE(c.label);
    harness_.ClearConsole();
    std::string fired;
    ASSERT_TRUE(driver_.Click(c.label, &fired));
    // The frame in which the box fires already shows the unticked box and
    // the status it logged; the variable, and through it the switch, follow.
    EXPECT_TRUE(HasLine(fired, std::string("[ ] ") + c.label)) << fired;
    EXPECT_TRUE(HasLine(fired, std::string("Status: ") + c.off)) << fired;
    EXPECT_EQ(harness_.model().console().CvarValue(c.variable), "0");
    EXPECT_EQ(harness_.console(), Lines{std::string("TallyLoom MMR: ") + c.off});

    ASSERT_TRUE(driver_.Click(c.label, &fired));
    EXPECT_TRUE(HasLine(fired, std::string("[x] ") + c.label)) << fired;
    EXPECT_EQ(harness_.model().console().CvarValue(c.variable), "1");
    EXPECT_EQ(harness_.console(), (Lines{std::string("TallyLoom MMR: ") + c.off,
                                         std::string("TallyLoom MMR: ") + c.on}));
  }
}

TEST_F(SettingsTabTest, ButtonsActOnceAndShowFromTheNextFrame) {
  GiveAccount();
  TallyLoomMMR& plugin = harness_.Load();
  Attach(plugin);
  harness_.model().console().SetCvarValue("tallyloom_enabled", "0");
  harness_.model().console().SetCvarValue("tallyloom_auto_export", "0");
  harness_.ClearConsole();

  // The test export is not gated by either switch. The click only hands it to
  // the game thread: nothing is exported until that thread runs it.
  std::string fired;
  ASSERT_TRUE(driver_.Click("Run test export now", &fired));
  EXPECT_TRUE(HasLine(fired, "Last export reason: Not yet exported")) << fired;
  EXPECT_TRUE(harness_.console().empty());
  EXPECT_FALSE(std::filesystem::exists(harness_.ExportFolder() / "bakkesmod_mmr.json"));
  harness_.model().time().RunPosted();
  EXPECT_EQ(harness_.console(),
            Lines{"TallyLoom MMR: Manual test export exported 1 ranked playlists."});
  const std::string next = driver_.DrawAndRead();
  EXPECT_TRUE(HasLine(next, "Last export reason: Settings test export")) << next;
  EXPECT_TRUE(HasLine(next, "Last snapshot export: 2026-12-06T21:00:00")) << next;
  EXPECT_TRUE(HasLine(next, "Last exported playlists: 1")) << next;
  EXPECT_TRUE(HasLine(next, "Status: Manual test export exported 1 ranked playlists.")) << next;
  EXPECT_FALSE(PluginHarness::ReadFile(harness_.ExportFolder() / "bakkesmod_mmr.json").empty());

  // The status button runs the plugin's own command from inside the drawing.
  harness_.ClearConsole();
  ASSERT_TRUE(driver_.Click("Log plugin status", &fired));
  EXPECT_TRUE(HasLine(fired, "Status: Manual test export exported 1 ranked playlists.")) << fired;
  EXPECT_EQ(harness_.console(),
            Lines{"TallyLoom MMR: Loaded=no, auto export=no, pending captures=0"});
  EXPECT_TRUE(
      HasLine(driver_.DrawAndRead(), "Status: Loaded=no, auto export=no, pending captures=0"));
}

// The host draws the tab on its render thread while the game thread works.
// With an export held in the middle of writing the snapshot, the tab still
// draws, showing the last finished export, and its status button still runs
// the plugin's command: neither waits for the game thread's file I/O.
TEST_F(SettingsTabTest, DrawsAndRunsTheStatusCommandWhileAnExportIsWriting) {
  GiveAccount();
  TallyLoomMMR& plugin = harness_.Load();
  Attach(plugin);
  harness_.ClearConsole();
  harness_.faults().HoldNextWrite();
  std::thread game([this] {
    sdkhost::EnforceGameThread();          // the game may be called from here only
    harness_.Advance(2);                   // the startup export at 1.5, held in its write
    harness_.faults().ReleaseHeldWrite();  // in case no write came: the test fails, not hangs
  });
  const bool held = harness_.faults().WaitForHeldWrite();
  EXPECT_TRUE(held) << "the startup export wrote nothing";
  if (held) {
    const std::string during = driver_.DrawAndRead();
    EXPECT_TRUE(HasLine(during, "Last snapshot export: Not yet exported")) << during;
    EXPECT_TRUE(driver_.Click("Log plugin status"));
  }
  harness_.faults().ReleaseHeldWrite();
  game.join();
  sdkhost::StopEnforcingGameThread();

  EXPECT_EQ(harness_.console(),
            (Lines{"TallyLoom MMR: Loaded=yes, auto export=yes, pending captures=0",
                   "TallyLoom MMR: Automatic export exported 1 ranked playlists."}));
  EXPECT_TRUE(HasLine(driver_.DrawAndRead(), "Last export reason: Startup export"));
}

// A live settings window draws all the time, so the plugin's tab may arrive in
// a tab bar that has shown another tab: Dear ImGui then shows its content only
// a frame later. Reading and clicking must still act on the laid-out tab.
TEST_F(SettingsTabTest, ReadsAndClicksRightAfterTheTabArrivesInALiveWindow) {
  TallyLoomMMR& plugin = harness_.Load();
  for (int round = 0; round < 2; ++round) {
    host::SettingsDriver live;
    for (int i = 0; i < 3; ++i) live.DrawIdle();  // the window, before the plugin
    plugin.SetImGuiContext(reinterpret_cast<std::uintptr_t>(live.context()));
    live.SetTab(&plugin);
    if (round == 0) {
      EXPECT_TRUE(HasLine(live.DrawAndRead(), kVersionRow));
    } else {
      harness_.ClearConsole();
      EXPECT_TRUE(live.Click("Log plugin status"));
      EXPECT_EQ(harness_.console(),
                Lines{"TallyLoom MMR: Loaded=yes, auto export=yes, pending captures=0"});
    }
    live.SetTab(nullptr);
  }
}

TEST_F(SettingsTabTest, OnlyTheTabsOwnWidgetsCanBeClicked) {
  TallyLoomMMR& plugin = harness_.Load();
  Attach(plugin);
  harness_.ClearConsole();
  for (const char* label : {"Nope", kVersionRow.c_str(), "TallyLoom MMR", "plugins",
                            "enable tallyloom plugin", "[ Log plugin status ]"}) {
    EXPECT_FALSE(driver_.Click(label)) << label;
  }
  EXPECT_TRUE(harness_.console().empty());
  EXPECT_EQ(harness_.model().console().CvarValue("tallyloom_enabled"), "1");
}

}  // namespace
