// What the exporter and the capture rules need of the game: who the local
// player is, and one playlist's rating as the rating service reports it. The
// plugin implements it over the host SDK; tests implement it with tables.
#pragma once

#include <cstdint>
#include <optional>

#include "export/TallyLoomAccount.h"

// One reading of the rating service for one playlist.
struct RatingReading {
  std::optional<std::int32_t> mmr;  // a whole MMR the plugin trusts (RankedPlaylists.h)
  bool syncing = false;             // whether the service said it was syncing
};

class GameSource {
 public:
  virtual ~GameSource() = default;

  // The local player, or nothing while the game does not know them yet.
  virtual std::optional<TallyLoomAccount> ResolveAccount() = 0;
  // The rating of `playlistId` for the local player, whose account the
  // caller has resolved.
  virtual RatingReading ReadRating(std::int32_t playlistId) = 0;
};

// One playlist's reading behind the account gate: without an account the
// service is not asked, and the reading has no MMR.
inline RatingReading ReadPlaylistRating(GameSource& game, std::int32_t playlistId) {
  if (!game.ResolveAccount()) return {};
  return game.ReadRating(playlistId);
}
