// One export as the exporter sees it: the game read through a table, the
// account once, and each way the export can end. The file's bytes are proven
// by the scenario tests.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "export/SnapshotExport.h"
#include "tests/support/PluginHarness.h"

namespace {

const std::string kNoAccount =
    "Could not resolve the Rocket League account yet. Open freeplay, the main menu, or finish a "
    "ranked match.";
const std::string kNoMmr =
    "No ranked MMR is available yet. Make sure BakkesMod MMR is synced and you have ranked data "
    "in at least one playlist.";

class TableGame : public GameSource {
 public:
  std::optional<TallyLoomAccount> account;
  std::map<std::int32_t, std::int32_t> ratings;
  int accountLookups = 0;
  std::vector<std::int32_t> readsOf;

  std::optional<TallyLoomAccount> ResolveAccount() override {
    ++accountLookups;
    return account;
  }
  RatingReading ReadRating(std::int32_t playlistId) override {
    readsOf.push_back(playlistId);
    auto it = ratings.find(playlistId);
    if (it == ratings.end()) return {};
    return {it->second, false};
  }
};

TEST(SnapshotExportTest, TheAccountOnceThenEveryRankedPlaylistInTableOrder) {
  TableGame game;
  game.account = TallyLoomAccount{"steam", "76561198012345678", ""};
  game.ratings = {{28, 640}, {13, 1188}, {12, 900}};  // 12 is not a ranked playlist
  const SnapshotReading reading = ReadSnapshot(game);
  EXPECT_EQ(game.accountLookups, 1);
  EXPECT_EQ(game.readsOf, (std::vector<std::int32_t>{10, 11, 13, 27, 28, 29, 30}));
  ASSERT_EQ(reading.playlists.size(), 2u);
  EXPECT_EQ(reading.playlists[0].playlistId, 13);
  EXPECT_EQ(reading.playlists[0].playlistName, "Ranked Standard 3v3");
  EXPECT_EQ(reading.playlists[0].mmr, 1188);
  EXPECT_EQ(reading.playlists[1].playlistId, 28);
  EXPECT_EQ(reading.playlists[1].playlistName, "Rumble");

  // Without an account no rating is read.
  TableGame nobody;
  nobody.ratings = {{13, 1188}};
  EXPECT_TRUE(ReadSnapshot(nobody).playlists.empty());
  EXPECT_TRUE(nobody.readsOf.empty());
}

TEST(SnapshotExportTest, EachWayAnExportEnds) {
  PluginHarness harness;  // a profile folder, clocks and faults
  const std::filesystem::path snapshot = harness.ExportFolder() / "bakkesmod_mmr.json";
  SnapshotReading reading;
  ExportOutcome outcome = WriteSnapshot(reading, true);
  EXPECT_FALSE(outcome.written);
  EXPECT_EQ(outcome.message, kNoAccount);

  reading.account = TallyLoomAccount{"steam", "76561198012345678", ""};
  outcome = WriteSnapshot(reading, true);
  EXPECT_FALSE(outcome.written);
  EXPECT_EQ(outcome.message, kNoMmr);
  EXPECT_FALSE(std::filesystem::exists(harness.ExportFolder()));

  reading.playlists = {{10, "Ranked Duel 1v1", 1500}};
  std::filesystem::create_directories(harness.ExportFolder());
  PluginHarness::WriteFile(snapshot, "earlier\r\n");
  const struct {
    platform::FaultOp op;
    std::string error;
  } failures[] = {
      {platform::FaultOp::kOpen, "Failed to open " + snapshot.string()},
      {platform::FaultOp::kWrite, "Failed to write " + snapshot.string()},
      {platform::FaultOp::kReplace, "Failed to replace TallyLoom export file."},
  };
  for (const auto& failure : failures) {
    harness.faults().Fail(failure.op, false);
    outcome = WriteSnapshot(reading, false);
    EXPECT_FALSE(outcome.written);
    EXPECT_EQ(outcome.message, failure.error);
    EXPECT_EQ(PluginHarness::ReadFile(snapshot), "earlier\r\n") << failure.error;
  }

  harness.Advance(61);
  outcome = WriteSnapshot(reading, true);
  EXPECT_TRUE(outcome.written);
  EXPECT_EQ(outcome.message, "Manual test export exported 1 ranked playlists.");
  EXPECT_EQ(outcome.timestamp, "2026-12-06T21:01:01");
  EXPECT_NE(PluginHarness::ReadFile(snapshot).find("\"timestamp\": \"2026-12-06T21:01:01\","),
            std::string::npos);
  reading.playlists.push_back({30, "Snow Day", 300});
  EXPECT_EQ(WriteSnapshot(reading, false).message, "Automatic export exported 2 ranked playlists.");
}

}  // namespace
