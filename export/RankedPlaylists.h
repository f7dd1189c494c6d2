#pragma once

#include <cstdint>
#include <optional>
#include <string>

// The ranked playlists, in the order every exported list follows.
struct RankedPlaylist {
  std::int32_t id;
  const char* name;
};
inline constexpr RankedPlaylist kRankedPlaylists[] = {{10, "Ranked Duel 1v1"},
                                                      {11, "Ranked Doubles 2v2"},
                                                      {13, "Ranked Standard 3v3"},
                                                      {27, "Hoops"},
                                                      {28, "Rumble"},
                                                      {29, "Dropshot"},
                                                      {30, "Snow Day"}};

// The display name of a ranked playlist; "Unknown" for any other id.
std::string GetPlaylistName(std::int32_t playlistId);

// A rating-service reading as a whole MMR: readings below 0, in the band
// [99, 101) that the service reports for "no data", not a number, too large
// for 32 bits, or below 1 after rounding half away from zero give nothing.
std::optional<std::int32_t> RoundMmrReading(float reading);

// Whether a playlist's value may be read at all: an unsynced playlist only
// while no sync is running. A value read is then taken as RoundMmrReading
// takes it.
inline bool PlaylistReadable(bool playlistSynced, bool serviceSyncing) {
  return playlistSynced || !serviceSyncing;
}

// The player id from the game's unique id: its text form, else the decimal
// digits of its numeric id; nothing when that is empty or "0".
std::optional<std::string> PlayerIdOf(std::string idText, std::uint64_t numericId);

// "steam" for an id of 15 to 20 decimal digits, "epic" for anything else.
std::string PlatformOfPlayerId(const std::string& playerId);
