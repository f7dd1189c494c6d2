// What one export leaves behind in the plugin's status fields, for each way it
// can end. The file's bytes are proven by the scenario tests.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/PluginHarness.h"

namespace {

const std::string kNoAccount =
    "Could not resolve the Rocket League account yet. Open freeplay, the main menu, or finish a "
    "ranked match.";
const std::string kNoMmr =
    "No ranked MMR is available yet. Make sure BakkesMod MMR is synced and you have ranked data "
    "in at least one playlist.";

class ExportSnapshotTest : public ::testing::Test {
 protected:
  void SetUp() override {
    plugin_ = &harness_.Load();
    harness_.ClearConsole();
    snapshot_ = harness_.ExportFolder() / "bakkesmod_mmr.json";
    // What an earlier successful export left.
    plugin_->lastSnapshotExportAt = "2026-12-06T20:59:00";
    plugin_->lastExportReason = "Menu export";
    plugin_->lastExportedPlaylistCount = 3;
    plugin_->statusMessage = "Automatic export exported 3 ranked playlists.";
    plugin_->lastKnownMmr = {{10, 1000}};
  }

  // The fields that only a written snapshot changes.
  void ExpectEarlierSuccessKept() {
    EXPECT_EQ(plugin_->lastSnapshotExportAt, "2026-12-06T20:59:00");
    EXPECT_EQ(plugin_->lastExportReason, "Menu export");
    EXPECT_EQ(plugin_->lastExportedPlaylistCount, 3);
    EXPECT_EQ(plugin_->statusMessage, "Automatic export exported 3 ranked playlists.");
  }

  PluginHarness harness_;
  TallyLoomMMR* plugin_ = nullptr;
  std::filesystem::path snapshot_;
};

TEST_F(ExportSnapshotTest, NoAccountTouchesNothingButTheError) {
  harness_.model().game().SetMmr(10, 1500.0f);
  plugin_->ExportSnapshot(true, "Manual export");
  EXPECT_EQ(plugin_->lastError, kNoAccount);
  EXPECT_EQ(harness_.console(), std::vector<std::string>{"TallyLoom MMR error: " + kNoAccount});
  ExpectEarlierSuccessKept();
  EXPECT_EQ(plugin_->lastKnownMmr, (std::unordered_map<std::int32_t, std::int32_t>{{10, 1000}}));
  EXPECT_FALSE(std::filesystem::exists(harness_.ExportFolder()));
}

TEST_F(ExportSnapshotTest, NoRankedDataWritesNoFile) {
  harness_.model().game().SetAccountText("76561198012345678");
  harness_.model().game().SetMmr(11, 100.0f);  // the service's "nothing known"
  plugin_->ExportSnapshot(false, "Menu export");
  EXPECT_EQ(plugin_->lastError, kNoMmr);
  EXPECT_EQ(harness_.console(), std::vector<std::string>{"TallyLoom MMR error: " + kNoMmr});
  ExpectEarlierSuccessKept();
  EXPECT_EQ(plugin_->lastKnownMmr, (std::unordered_map<std::int32_t, std::int32_t>{{10, 1000}}));
  EXPECT_FALSE(std::filesystem::exists(harness_.ExportFolder()));
}

TEST_F(ExportSnapshotTest, FailedWriteKeepsStatusAndFileButRemembersTheRatings) {
  harness_.model().game().SetAccountText("76561198012345678");
  harness_.model().game().SetMmr(10, 1500.0f);
  std::filesystem::create_directories(harness_.ExportFolder());
  PluginHarness::WriteFile(snapshot_, "earlier\r\n");
  const struct {
    platform::FaultOp op;
    std::string error;
  } cases[] = {
      {platform::FaultOp::kOpen, "Failed to open " + snapshot_.string()},
      {platform::FaultOp::kWrite, "Failed to write " + snapshot_.string()},
      {platform::FaultOp::kReplace, "Failed to replace TallyLoom export file."},
  };
  for (const auto& c : cases) {
    plugin_->lastKnownMmr = {{10, 1000}};
    harness_.faults().Fail(c.op, false);
    harness_.ClearConsole();
    plugin_->ExportSnapshot(false, "Startup export");
    EXPECT_EQ(plugin_->lastError, c.error);
    EXPECT_EQ(harness_.console(), std::vector<std::string>{"TallyLoom MMR error: " + c.error});
    ExpectEarlierSuccessKept();
    EXPECT_EQ(plugin_->lastKnownMmr.at(10), 1500) << c.error;
    EXPECT_EQ(PluginHarness::ReadFile(snapshot_), "earlier\r\n") << c.error;
  }
}

TEST_F(ExportSnapshotTest, SuccessSetsEveryStatusFieldAndClearsTheError) {
  harness_.model().game().SetAccountText("76561198012345678");
  harness_.model().game().SetMmr(13, 1187.5f);
  harness_.Advance(61);  // the startup and periodic exports run first
  harness_.ClearConsole();
  plugin_->lastError = "Failed to replace TallyLoom export file.";

  plugin_->ExportSnapshot(true, "Settings test export");
  EXPECT_EQ(plugin_->lastError, "");
  EXPECT_EQ(plugin_->lastSnapshotExportAt, "2026-12-06T21:01:01");
  EXPECT_EQ(plugin_->lastExportReason, "Settings test export");
  EXPECT_EQ(plugin_->lastExportedPlaylistCount, 1);
  EXPECT_EQ(plugin_->statusMessage, "Manual test export exported 1 ranked playlists.");
  EXPECT_EQ(plugin_->lastKnownMmr.at(13), 1188);
  EXPECT_NE(PluginHarness::ReadFile(snapshot_).find("\"timestamp\": \"2026-12-06T21:01:01\","),
            std::string::npos);

  harness_.model().game().SetMmr(30, 300.0f);
  plugin_->ExportSnapshot(false, "Delayed post-match export (MMR sync retry)");
  EXPECT_EQ(plugin_->lastExportReason, "Delayed post-match export (MMR sync retry)");
  EXPECT_EQ(plugin_->lastExportedPlaylistCount, 2);
  EXPECT_EQ(
      harness_.console(),
      (std::vector<std::string>{"TallyLoom MMR: Manual test export exported 1 ranked playlists.",
                                "TallyLoom MMR: Automatic export exported 2 ranked playlists."}));
}

}  // namespace
