// Who the local player is and what the rating service knows of them.
#include <string>

#include "bakkesmod/wrappers/GameWrapper.h"
#include "export/RankedPlaylists.h"
#include "plugin/TallyLoomMMR.h"

std::optional<TallyLoomAccount> TallyLoomMMR::ResolveAccount() {
  UniqueIDWrapper uniqueId = gameWrapper->GetUniqueID();
  std::string playerId = uniqueId.str();
  if (playerId.empty()) {
    const std::uint64_t uid = uniqueId.GetUID();
    if (uid != 0) playerId = std::to_string(uid);
  }
  if (playerId.empty() || playerId == "0") return std::nullopt;

  std::string displayName;
  ServerWrapper game = gameWrapper->GetCurrentGameState();
  if (game) {
    PlayerControllerWrapper player = game.GetLocalPrimaryPlayer();
    if (player) {
      PriWrapper pri = player.GetPRI();
      if (pri) displayName = pri.GetPlayerName().ToString();
    }
  }

  TallyLoomAccount account;
  account.platform = PlatformOfPlayerId(playerId);
  account.playerId = std::move(playerId);
  account.displayName = std::move(displayName);
  return account;
}

bool TallyLoomMMR::TryGetPlaylistMmr(std::int32_t playlistId, std::int32_t& mmr, bool* syncing) {
  mmr = 0;
  if (syncing != nullptr) *syncing = false;
  if (!ResolveAccount()) return false;

  UniqueIDWrapper uniqueId = gameWrapper->GetUniqueID();
  MMRWrapper ratings = gameWrapper->GetMMRWrapper();
  const bool isSyncing = ratings.IsSyncing(uniqueId);
  if (syncing != nullptr) *syncing = isSyncing;
  const bool isSynced = ratings.IsSynced(uniqueId, playlistId);
  // An unsynced playlist is trusted only while no sync is running.
  if (!isSynced && isSyncing) return false;

  const std::optional<std::int32_t> whole =
      RoundMmrReading(ratings.GetPlayerMMR(uniqueId, playlistId));
  if (!whole) return false;
  mmr = *whole;
  return true;
}

std::vector<TallyLoomPlaylistMmr> TallyLoomMMR::CollectRankedPlaylists() {
  std::vector<TallyLoomPlaylistMmr> playlists;
  for (const std::int32_t playlistId : RankedPlaylistIds) {
    std::int32_t mmr = 0;
    if (!TryGetPlaylistMmr(playlistId, mmr)) continue;
    lastKnownMmr[playlistId] = mmr;
    playlists.push_back(TallyLoomPlaylistMmr{playlistId, GetPlaylistName(playlistId), mmr});
  }
  return playlists;
}
