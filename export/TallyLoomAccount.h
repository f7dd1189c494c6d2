#pragma once

#include <cstdint>
#include <string>

// The local player's account as exported.
struct TallyLoomAccount {
  std::string platform;  // "steam" or "epic"
  std::string playerId;  // never empty, never "0"
  std::string displayName;
};

// One ranked playlist with data.
struct TallyLoomPlaylistMmr {
  std::int32_t playlistId = 0;
  std::string playlistName;
  std::int32_t mmr = 0;  // at least 1
};
