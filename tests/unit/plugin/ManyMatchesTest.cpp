// A long session: ten thousand ranked matches, each resolved, leave nothing
// behind in memory.
#include <gtest/gtest.h>

#include "sdk/model/GameEvents.h"
#include "tests/support/PluginHarness.h"

namespace {

TEST(ManyMatchesTest, TenThousandMatchesLeaveNoPendingCapture) {
  PluginHarness harness;
  TallyLoomMMR& plugin = harness.Load();
  harness.model().game().SetAccountText("76561198012345678");
  harness.model().game().SetMmr(11, 1000.0f);
  sdkhost::MatchSetup match;
  match.playlist_id = 11;
  match.score_blue = 3;
  match.score_orange = 1;
  match.winner = 0;
  for (int i = 0; i < 10'000; ++i) {
    harness.model().game().SetMatch(match);
    harness.model().registrations().FireEvent(std::string(sdkhost::kMatchEnded.name));
    harness.model().game().SetMmr(11, 1000.0f + static_cast<float>(i % 2 == 0 ? 9 : 0));
    harness.model().game().SetState(sdkhost::GameState::kMenu);
    harness.Advance(40);
  }
  EXPECT_EQ(plugin.Status().pendingCaptures, 0u);
  EXPECT_EQ(plugin.Status().lastError, "");
  // Two lines per match, every one of them whole.
  const std::string history =
      PluginHarness::ReadFile(harness.ExportFolder() / "bakkesmod_match_history.jsonl");
  std::size_t lines = 0;
  for (char c : history) lines += c == '\n';
  EXPECT_EQ(lines, 20'000u);
}

}  // namespace
