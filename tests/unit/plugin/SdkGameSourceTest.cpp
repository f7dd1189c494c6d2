// Who the local player is and which ratings count, as the plugin asks the game
// through the host SDK.
#include <gtest/gtest.h>

#include "plugin/SdkGameSource.h"
#include "tests/support/PluginHarness.h"

namespace {

class SdkGameSourceTest : public ::testing::Test {
 protected:
  sdkhost::HostModel& model() { return harness_.model(); }

  PluginHarness harness_;
  std::shared_ptr<GameWrapper> game_ = harness_.model().NewGameWrapper(1);
  SdkGameSource source_{*game_};
};

TEST_F(SdkGameSourceTest, TextIdFirstThenNumericIdAndNeverZero) {
  EXPECT_FALSE(source_.ResolveAccount());  // no id at all

  model().game().SetAccountUid(76561198000000042ull);
  auto account = source_.ResolveAccount();
  ASSERT_TRUE(account);
  EXPECT_EQ(account->playerId, "76561198000000042");
  EXPECT_EQ(account->platform, "steam");

  model().game().SetAccountUid(18446744073709551615ull);  // twenty digits, no sign
  EXPECT_EQ(source_.ResolveAccount()->playerId, "18446744073709551615");

  model().game().SetAccountText("0123456789abcdef0123456789abcdef");
  account = source_.ResolveAccount();
  ASSERT_TRUE(account);
  EXPECT_EQ(account->playerId, "0123456789abcdef0123456789abcdef");
  EXPECT_EQ(account->platform, "epic");

  model().game().SetAccountText("0");
  EXPECT_FALSE(source_.ResolveAccount());
  model().game().SetAccountText("");  // empty text, numeric id 0
  EXPECT_FALSE(source_.ResolveAccount());
  model().game().SetAccountText("00");
  account = source_.ResolveAccount();
  ASSERT_TRUE(account);
  EXPECT_EQ(account->platform, "epic");
  model().game().SetAccountText(" Mixed Case ");  // taken as the game gives it
  EXPECT_EQ(source_.ResolveAccount()->playerId, " Mixed Case ");
}

TEST_F(SdkGameSourceTest, DisplayNameNeedsEveryLinkOfTheCurrentGame) {
  model().game().SetAccountText("76561198012345678");
  model().game().SetPlayerName("Mara");
  EXPECT_EQ(source_.ResolveAccount()->displayName, "");  // menus: no current game

  model().game().SetState(sdkhost::GameState::kTraining);
  EXPECT_EQ(source_.ResolveAccount()->displayName, "Mara");
  ASSERT_TRUE(model().game().Drop(sdkhost::Link::kPlaylist));  // not part of the chain
  EXPECT_EQ(source_.ResolveAccount()->displayName, "Mara");
  ASSERT_TRUE(model().game().Drop(sdkhost::Link::kPri));
  auto account = source_.ResolveAccount();
  ASSERT_TRUE(account);  // a missing name never stops the account
  EXPECT_EQ(account->displayName, "");

  model().game().SetState(sdkhost::GameState::kFreeplay);
  ASSERT_TRUE(model().game().Drop(sdkhost::Link::kPlayer));
  EXPECT_EQ(source_.ResolveAccount()->displayName, "");
}

TEST_F(SdkGameSourceTest, SyncRulesAndTheSyncingFlag) {
  model().game().SetSyncing(true);
  model().game().SetMmr(10, 1500.0f);
  // No account: the service is not asked.
  RatingReading reading = ReadPlaylistRating(source_, 10);
  EXPECT_FALSE(reading.mmr);
  EXPECT_FALSE(reading.syncing);

  model().game().SetAccountText("76561198012345678");
  // Synced while a sync runs: read.
  reading = ReadPlaylistRating(source_, 10);
  EXPECT_EQ(reading.mmr, 1500);
  EXPECT_TRUE(reading.syncing);
  // Not synced while a sync runs: no data, and the flag says why.
  model().game().SetMmrUnsynced(10);
  reading = ReadPlaylistRating(source_, 10);
  EXPECT_FALSE(reading.mmr);
  EXPECT_TRUE(reading.syncing);
  // Not synced with no sync running: the value is trusted.
  model().game().SetSyncing(false);
  reading = ReadPlaylistRating(source_, 10);
  EXPECT_EQ(reading.mmr, 1500);
  EXPECT_FALSE(reading.syncing);
  // A reading that counts as no data, while syncing.
  model().game().SetSyncing(true);
  model().game().SetMmr(11, 100.0f);
  reading = ReadPlaylistRating(source_, 11);
  EXPECT_FALSE(reading.mmr);
  EXPECT_TRUE(reading.syncing);
}

}  // namespace
