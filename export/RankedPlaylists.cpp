#include "export/RankedPlaylists.h"

#include <algorithm>
#include <cmath>
#include <limits>

std::string GetPlaylistName(std::int32_t playlistId) {
  for (const RankedPlaylist& playlist : kRankedPlaylists) {
    if (playlist.id == playlistId) return playlist.name;
  }
  return "Unknown";
}

std::optional<std::int32_t> RoundMmrReading(float reading) {
  if (std::isnan(reading) || reading < 0.0f) return std::nullopt;
  if (reading >= 99.0f && reading < 101.0f) return std::nullopt;
  // Checked in double before converting, so that no value is out of range.
  const double rounded = std::round(static_cast<double>(reading));
  if (!(rounded <= static_cast<double>(std::numeric_limits<std::int32_t>::max()))) {
    return std::nullopt;
  }
  const auto whole = static_cast<std::int32_t>(rounded);
  if (whole <= 0) return std::nullopt;
  return whole;
}

std::optional<std::string> PlayerIdOf(std::string idText, std::uint64_t numericId) {
  if (idText.empty() && numericId != 0) idText = std::to_string(numericId);
  if (idText.empty() || idText == "0") return std::nullopt;
  return idText;
}

std::string PlatformOfPlayerId(const std::string& playerId) {
  const bool steamLength = playerId.size() >= 15 && playerId.size() <= 20;
  const bool allDigits =
      !playerId.empty() &&
      std::all_of(playerId.begin(), playerId.end(), [](char c) { return c >= '0' && c <= '9'; });
  return steamLength && allDigits ? "steam" : "epic";
}
