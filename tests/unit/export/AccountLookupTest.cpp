// Who the local player is and which ratings count, as the plugin asks the game
// through the host SDK.
#include <gtest/gtest.h>

#include "tests/support/PluginHarness.h"

namespace {

class AccountLookupTest : public ::testing::Test {
 protected:
  void SetUp() override { plugin_ = &harness_.Create(); }
  sdkhost::HostModel& model() { return harness_.model(); }

  PluginHarness harness_;
  TallyLoomMMR* plugin_ = nullptr;
};

TEST_F(AccountLookupTest, TextIdFirstThenNumericIdAndNeverZero) {
  EXPECT_FALSE(plugin_->ResolveAccount());  // no id at all

  model().game().SetAccountUid(76561198000000042ull);
  auto account = plugin_->ResolveAccount();
  ASSERT_TRUE(account);
  EXPECT_EQ(account->playerId, "76561198000000042");
  EXPECT_EQ(account->platform, "steam");

  model().game().SetAccountUid(18446744073709551615ull);  // twenty digits, no sign
  EXPECT_EQ(plugin_->ResolveAccount()->playerId, "18446744073709551615");

  model().game().SetAccountText("0123456789abcdef0123456789abcdef");
  account = plugin_->ResolveAccount();
  ASSERT_TRUE(account);
  EXPECT_EQ(account->playerId, "0123456789abcdef0123456789abcdef");
  EXPECT_EQ(account->platform, "epic");

  model().game().SetAccountText("0");
  EXPECT_FALSE(plugin_->ResolveAccount());
  model().game().SetAccountText("");  // empty text, numeric id 0
  EXPECT_FALSE(plugin_->ResolveAccount());
  model().game().SetAccountText("00");
  account = plugin_->ResolveAccount();
  ASSERT_TRUE(account);
  EXPECT_EQ(account->platform, "epic");
  model().game().SetAccountText(" Mixed Case ");  // taken as the game gives it
  EXPECT_EQ(plugin_->ResolveAccount()->playerId, " Mixed Case ");
}

TEST_F(AccountLookupTest, DisplayNameNeedsEveryLinkOfTheCurrentGame) {
  model().game().SetAccountText("76561198012345678");
  model().game().SetPlayerName("Mara");
  EXPECT_EQ(plugin_->ResolveAccount()->displayName, "");  // menus: no current game

  model().game().SetState(sdkhost::GameState::kTraining);
  EXPECT_EQ(plugin_->ResolveAccount()->displayName, "Mara");
  ASSERT_TRUE(model().game().Drop(sdkhost::Link::kPlaylist));  // not part of the chain
  EXPECT_EQ(plugin_->ResolveAccount()->displayName, "Mara");
  ASSERT_TRUE(model().game().Drop(sdkhost::Link::kPri));
  auto account = plugin_->ResolveAccount();
  ASSERT_TRUE(account);  // a missing name never stops the account
  EXPECT_EQ(account->displayName, "");

  model().game().SetState(sdkhost::GameState::kFreeplay);
  ASSERT_TRUE(model().game().Drop(sdkhost::Link::kPlayer));
  EXPECT_EQ(plugin_->ResolveAccount()->displayName, "");
}

TEST_F(AccountLookupTest, SyncRulesAndTheSyncingFlag) {
  std::int32_t mmr = 77;
  bool syncing = true;
  model().game().SetSyncing(true);
  model().game().SetMmr(10, 1500.0f);
  // No account: nothing is asked, both outputs hold defined values.
  EXPECT_FALSE(plugin_->TryGetPlaylistMmr(10, mmr, &syncing));
  EXPECT_EQ(mmr, 0);
  EXPECT_FALSE(syncing);

  model().game().SetAccountText("76561198012345678");
  // Synced while a sync runs: read.
  EXPECT_TRUE(plugin_->TryGetPlaylistMmr(10, mmr, &syncing));
  EXPECT_EQ(mmr, 1500);
  EXPECT_TRUE(syncing);
  // Not synced while a sync runs: no data, and the flag says why.
  model().game().SetMmrUnsynced(10);
  EXPECT_FALSE(plugin_->TryGetPlaylistMmr(10, mmr, &syncing));
  EXPECT_EQ(mmr, 0);
  EXPECT_TRUE(syncing);
  // Not synced with no sync running: the value is trusted.
  model().game().SetSyncing(false);
  EXPECT_TRUE(plugin_->TryGetPlaylistMmr(10, mmr, &syncing));
  EXPECT_EQ(mmr, 1500);
  EXPECT_FALSE(syncing);
  // A reading that counts as no data fails after the flag was set.
  model().game().SetSyncing(true);
  model().game().SetMmr(11, 100.0f);
  EXPECT_FALSE(plugin_->TryGetPlaylistMmr(11, mmr, &syncing));
  EXPECT_TRUE(syncing);
  model().game().SetMmr(10, 1500.0f);                // synced again
  EXPECT_TRUE(plugin_->TryGetPlaylistMmr(10, mmr));  // the flag is optional
}

TEST_F(AccountLookupTest, CollectionKeepsTableOrderAndRemembersWhatItFound) {
  model().game().SetAccountText("76561198012345678");
  model().game().SetMmr(28, 640.0f);
  model().game().SetMmr(13, 1187.5f);
  model().game().SetMmr(12, 900.0f);  // not a ranked playlist
  plugin_->lastKnownMmr = {{10, 1000}, {13, 1}};

  const std::vector<TallyLoomPlaylistMmr> playlists = plugin_->CollectRankedPlaylists();
  ASSERT_EQ(playlists.size(), 2u);
  EXPECT_EQ(playlists[0].playlistId, 13);
  EXPECT_EQ(playlists[0].playlistName, "Ranked Standard 3v3");
  EXPECT_EQ(playlists[0].mmr, 1188);
  EXPECT_EQ(playlists[1].playlistId, 28);
  EXPECT_EQ(playlists[1].playlistName, "Rumble");
  EXPECT_EQ(playlists[1].mmr, 640);
  // Found playlists are inserted or overwritten; the others keep what they had.
  const std::unordered_map<std::int32_t, std::int32_t> expected = {
      {10, 1000}, {13, 1188}, {28, 640}};
  EXPECT_EQ(plugin_->lastKnownMmr, expected);

  model().game().SetAccountText("0");
  EXPECT_TRUE(plugin_->CollectRankedPlaylists().empty());
  EXPECT_EQ(plugin_->lastKnownMmr, expected);
}

}  // namespace
