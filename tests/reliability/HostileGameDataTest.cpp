// Game data that the host's script language cannot express: a match with
// more than two teams. Only teams 0 and 1 give the score; the winner may be
// any team, and a local player on a team beyond the two counts as orange.
// Also, for every link that can be missing, whether the snapshot still
// carries the player's name: it needs the current game, its local player
// and that player's replication info, and nothing else.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "plugin/HookNames.h"
#include "tests/support/PluginHarness.h"

namespace {

class HostileGameDataTest : public ::testing::Test {
 protected:
  void SetUp() override {
    h_.Load();
    h_.model().console().TypeIntoConsole({"tallyloom_auto_export", "0"});
    h_.model().game().SetAccountText("76561198012345678");
    h_.model().game().SetPlayerName("Mara");
    h_.model().game().SetMmr(11, 1000.0f);
  }

  // Plays one match end and its capture (two equal readings: exact, delta 0)
  // and returns what it appended to the history file.
  std::string Capture(const sdkhost::MatchSetup& match) {
    const std::string before = History();
    h_.model().game().SetMatch(match);
    h_.model().registrations().FireEvent(kMatchEndedEvent);
    h_.Advance(10);
    return History().substr(before.size());
  }

  std::string History() const {
    return PluginHarness::ReadFile(h_.ExportFolder() / "bakkesmod_match_history.jsonl");
  }

  PluginHarness h_;
};

sdkhost::MatchSetup FourTeams(int blue, int orange, std::uint8_t local,
                              std::optional<std::uint8_t> winner) {
  sdkhost::MatchSetup match;
  match.playlist_id = 11;
  match.score_blue = blue;
  match.score_orange = orange;
  match.local_team = local;
  match.winner = winner;
  match.extra_teams = 2;  // teams 2 and 3
  return match;
}

std::string Line(const char* time, int blue, int orange, bool win, bool final) {
  const std::string t = std::string("2026-12-06T21:00:") + time;
  const std::string key =
      "11:76561198012345678:" + t + ":" + std::to_string(blue) + ":" + std::to_string(orange);
  return "{\"timestamp\":\"" + t +
         "\",\"playlist_id\":\"11\",\"playlist_name\":\"Ranked Doubles 2v2\","
         "\"schema_version\":3,\"plugin_version\":\"2.0.0.7\",\"match_key\":\"" +
         key + "\",\"score_blue\":" + std::to_string(blue) +
         ",\"score_orange\":" + std::to_string(orange) + ",\"is_win\":" + (win ? "true" : "false") +
         (final ? ",\"mmr\":1000,\"mmr_before\":1000,\"mmr_after\":1000,\"mmr_delta\":0,"
                  "\"mmr_delta_valid\":true,\"delta_state\":\"exact\",\"capture_attempts\":2,"
                  "\"capture_complete\":true"
                : ",\"mmr\":1000,\"mmr_before\":1000,\"mmr_after\":null,\"mmr_delta\":null,"
                  "\"mmr_delta_valid\":false,\"delta_state\":\"pending\",\"capture_attempts\":0,"
                  "\"capture_complete\":false") +
         ",\"platform\":\"steam\",\"player_id\":\"76561198012345678\"}\r\n";
}

TEST_F(HostileGameDataTest, MoreThanTwoTeams) {
  // Blue has more goals, but the game names team 3 the winner.
  EXPECT_EQ(Capture(FourTeams(2, 1, 0, 3)),
            Line("00", 2, 1, false, false) + Line("00", 2, 1, false, true));
  // The local player on team 3, no winner: seen from orange's side.
  EXPECT_EQ(Capture(FourTeams(1, 2, 3, std::nullopt)),
            Line("10", 1, 2, true, false) + Line("10", 1, 2, true, true));
  EXPECT_EQ(Capture(FourTeams(2, 1, 2, std::nullopt)),
            Line("20", 2, 1, false, false) + Line("20", 2, 1, false, true));
  // The winner is the local player's own extra team.
  EXPECT_EQ(Capture(FourTeams(0, 5, 2, 2)),
            Line("30", 0, 5, true, false) + Line("30", 0, 5, true, true));
  EXPECT_EQ(h_.plugin()->Status().lastError, "");
}

TEST_F(HostileGameDataTest, TheNameNeedsTheGameItsPlayerAndTheReplicationInfo) {
  const std::string nameLine = "  \"display_name\": \"Mara\",\r\n";
  const auto exportHasName = [&] {
    h_.model().console().TypeIntoConsole({"tallyloom_export_mmr"});
    const std::string snapshot = PluginHarness::ReadFile(h_.ExportFolder() / "bakkesmod_mmr.json");
    EXPECT_NE(snapshot.find("\"playlists\""), std::string::npos) << "the export was written";
    return snapshot.find(nameLine) != std::string::npos;
  };
  const struct {
    sdkhost::Link link;
    bool named;
  } links[] = {{sdkhost::Link::kPlaylist, true},
               {sdkhost::Link::kTeams, true},
               {sdkhost::Link::kPlayer, false},
               {sdkhost::Link::kPri, false}};

  for (const sdkhost::GameState state :
       {sdkhost::GameState::kFreeplay, sdkhost::GameState::kTraining,
        sdkhost::GameState::kOnline}) {
    SCOPED_TRACE(static_cast<int>(state));
    sdkhost::MatchSetup match;
    match.playlist_id = 11;
    h_.model().game().SetMatch(match);
    h_.model().game().SetState(state);
    EXPECT_TRUE(exportHasName());
    for (const auto& missing : links) {
      SCOPED_TRACE(static_cast<int>(missing.link));
      h_.model().game().SetState(state);  // whole again
      ASSERT_TRUE(h_.model().game().Drop(missing.link));
      EXPECT_EQ(exportHasName(), missing.named);
    }
  }
  for (const sdkhost::GameState state : {sdkhost::GameState::kMenu, sdkhost::GameState::kReplay}) {
    h_.model().game().SetState(state);
    EXPECT_FALSE(exportHasName()) << "no current game";
  }
  EXPECT_EQ(h_.plugin()->Status().lastError, "");
}

}  // namespace
