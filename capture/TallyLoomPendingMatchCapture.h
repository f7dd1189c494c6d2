// One ranked match on its way from the end of the match to its history lines.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

// How far the rating change of a capture is known.
enum class TallyLoomDeltaState : int {
  Pending = 0,  // queued; no reading has decided yet
  Exact = 1,    // before and after known, after settled
  Unknown = 2,  // finalised without a trustworthy delta
};

// "pending", "exact", and "unknown" for every other value (read from a
// damaged record).
inline const char* DeltaStateText(TallyLoomDeltaState state) {
  if (state == TallyLoomDeltaState::Pending) return "pending";
  return state == TallyLoomDeltaState::Exact ? "exact" : "unknown";
}

struct TallyLoomPendingMatchCapture {
  std::int32_t playlistId = 0;
  std::string playlistName;
  std::int32_t scoreBlue = 0;
  std::int32_t scoreOrange = 0;
  bool isWin = false;
  std::string platform;
  std::string playerId;
  std::string timestamp;  // local time of the match end
  std::string matchKey;
  std::optional<std::int32_t> mmrBefore;
  std::optional<std::int32_t> lastObservedMmr;  // latest successful post-match reading
  std::int32_t captureAttempts = 0;             // failed readings count too
  std::int32_t stableReadings = 0;              // readings in a row equal to lastObservedMmr
};
