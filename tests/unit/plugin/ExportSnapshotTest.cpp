// What one export of the plugin leaves in the tab and in the remembered
// ratings, for each way it can end. The exporter's own outcomes are in
// export/SnapshotExportTest; the file's bytes are proven by the scenarios.
#include <gtest/gtest.h>

#include <filesystem>

#include "sdk/model/GameEvents.h"
#include "tests/support/PluginHarness.h"

namespace {

class ExportSnapshotTest : public ::testing::Test {
 protected:
  void SetUp() override {
    plugin_ = &harness_.Load();
    harness_.model().game().SetAccountText("76561198012345678");
    harness_.model().game().SetMmr(10, 1000.0f);
    harness_.Advance(2);  // the startup export: an earlier success
    earlier_ = plugin_->Status();
    ASSERT_EQ(earlier_.lastExportReason, "Startup export");
    harness_.ClearConsole();
  }

  void Export() { harness_.model().console().TypeIntoConsole({"tallyloom_export_mmr"}); }
  // What the plugin remembers for the playlist: the MMR before of a ranked
  // match that ends now, while the service already reports another value.
  std::string Remembered(int playlist) {
    harness_.model().game().SetMmr(playlist, 4321.0f);
    harness_.model().game().SetMatch({.playlist_id = playlist, .score_blue = 1, .winner = 0});
    harness_.model().registrations().FireEvent(std::string(sdkhost::kMatchEnded.name));
    const std::string history =
        PluginHarness::ReadFile(harness_.ExportFolder() / "bakkesmod_match_history.jsonl");
    const std::size_t at = history.rfind("\"mmr_before\":") + 13;
    return history.substr(at, history.find(',', at) - at);
  }
  // The rows that only a written snapshot changes.
  void ExpectEarlierSuccessKept() const {
    const TabRows now = plugin_->Status();
    EXPECT_EQ(now.lastSnapshotExportAt, earlier_.lastSnapshotExportAt);
    EXPECT_EQ(now.lastExportReason, earlier_.lastExportReason);
    EXPECT_EQ(now.exportedPlaylists, earlier_.exportedPlaylists);
    EXPECT_EQ(now.statusMessage, earlier_.statusMessage);
  }

  PluginHarness harness_;
  TallyLoomMMR* plugin_ = nullptr;
  TabRows earlier_;
};

TEST_F(ExportSnapshotTest, AFailureStandsAndKeepsTheRowsButTheRatingsReadAreRemembered) {
  harness_.model().game().SetMmr(10, 1500.0f);
  const std::string snapshot = (harness_.ExportFolder() / "bakkesmod_mmr.json").string();
  harness_.faults().Fail(platform::FaultOp::kReplace, false);
  Export();
  const std::string error = "Failed to replace TallyLoom export file.";
  EXPECT_EQ(plugin_->Status().lastError, error);
  EXPECT_EQ(harness_.console(), std::vector<std::string>{"TallyLoom MMR error: " + error});
  ExpectEarlierSuccessKept();

  // Without an account nothing is read (the exporter's own tests), and the
  // memory stays: the next match starts from the rating the failed export read.
  harness_.model().game().SetAccountText("0");
  harness_.model().game().SetMmr(10, 1600.0f);
  Export();
  EXPECT_EQ(plugin_->Status().lastError.rfind("Could not resolve", 0), 0u);
  ExpectEarlierSuccessKept();
  harness_.model().game().SetAccountText("76561198012345678");
  EXPECT_EQ(Remembered(10), "1500");
}

TEST_F(ExportSnapshotTest, SuccessSetsEveryRowAndEndsTheFailureThatStood) {
  harness_.faults().Fail(platform::FaultOp::kReplace, false);
  Export();
  ASSERT_NE(plugin_->Status().lastError, "");
  harness_.model().game().SetMmr(13, 1187.5f);
  harness_.ClearConsole();

  Export();
  const TabRows rows = plugin_->Status();
  EXPECT_EQ(rows.lastError, "");
  EXPECT_EQ(rows.lastSnapshotExportAt, "2026-12-06T21:00:02");
  EXPECT_EQ(rows.lastExportReason, "Manual export");
  EXPECT_EQ(rows.exportedPlaylists, 2);
  EXPECT_EQ(rows.statusMessage, "Manual test export exported 2 ranked playlists.");
  EXPECT_EQ(
      harness_.console(),
      std::vector<std::string>{"TallyLoom MMR: Manual test export exported 2 ranked playlists."});
  EXPECT_EQ(Remembered(13), "1188");
}

}  // namespace
