#include "plugin/SdkGameSource.h"

#include <cstdint>
#include <string>
#include <utility>

#include "export/RankedPlaylists.h"

std::optional<TallyLoomAccount> SdkGameSource::ResolveAccount() {
  UniqueIDWrapper uniqueId = game_.GetUniqueID();
  std::string idText = uniqueId.str();
  // The numeric id is asked for only when the text form is empty.
  const std::uint64_t numericId = idText.empty() ? uniqueId.GetUID() : 0;
  std::optional<std::string> playerId = PlayerIdOf(std::move(idText), numericId);
  if (!playerId) return std::nullopt;

  // The name only from the current game's local player: none in the menus.
  std::string displayName;
  if (ServerWrapper game = game_.GetCurrentGameState()) {
    if (PlayerControllerWrapper player = game.GetLocalPrimaryPlayer()) {
      if (PriWrapper pri = player.GetPRI()) displayName = pri.GetPlayerName().ToString();
    }
  }
  return TallyLoomAccount{PlatformOfPlayerId(*playerId), std::move(*playerId),
                          std::move(displayName)};
}

RatingReading SdkGameSource::ReadRating(std::int32_t playlistId) {
  UniqueIDWrapper uniqueId = game_.GetUniqueID();
  MMRWrapper ratings = game_.GetMMRWrapper();
  RatingReading reading;
  reading.syncing = ratings.IsSyncing(uniqueId);
  if (PlaylistReadable(ratings.IsSynced(uniqueId, playlistId), reading.syncing)) {
    reading.mmr = RoundMmrReading(ratings.GetPlayerMMR(uniqueId, playlistId));
  }
  return reading;
}
