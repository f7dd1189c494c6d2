#include "capture/MatchEnd.h"

#include <fmt/format.h>

#include "export/RankedPlaylists.h"

std::optional<MatchEndSkip> SkipOf(const MatchEndFacts& facts) {
  if (!facts.match) return MatchEndSkip::kNoMatch;
  if (!facts.ranked) return MatchEndSkip::kNotRanked;
  if (facts.teams < 2) return MatchEndSkip::kFewerThanTwoTeams;  // more are ignored
  if (!facts.localPlayer) return MatchEndSkip::kNoLocalPlayer;
  if (!facts.account) return MatchEndSkip::kNoAccount;
  return std::nullopt;
}

TallyLoomPendingMatchCapture CaptureOf(const MatchEndFacts& facts, const std::string& timestamp) {
  TallyLoomPendingMatchCapture capture;
  capture.playlistId = facts.playlistId;
  capture.playlistName = GetPlaylistName(facts.playlistId);
  capture.scoreBlue = facts.scoreBlue;
  capture.scoreOrange = facts.scoreOrange;
  capture.platform = facts.account->platform;
  capture.playerId = facts.account->playerId;
  capture.timestamp = timestamp;
  // An identifier only: the timestamp holds colons itself, so it is never split.
  capture.matchKey = fmt::format("{}:{}:{}:{}:{}", capture.playlistId, capture.playerId, timestamp,
                                 capture.scoreBlue, capture.scoreOrange);
  // The winner the game names, else the goals seen from the local player's
  // side (team 0 is blue); a draw is a loss.
  if (facts.winnerTeam) {
    capture.isWin = *facts.winnerTeam == facts.localTeam;
  } else if (facts.localTeam == 0) {
    capture.isWin = facts.scoreBlue > facts.scoreOrange;
  } else {
    capture.isWin = facts.scoreOrange > facts.scoreBlue;
  }
  return capture;
}
