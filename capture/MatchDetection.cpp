// Recognises the end of a ranked match and describes it for the capture queue.
#include <fmt/format.h>

#include <cstdint>
#include <optional>

#include "bakkesmod/wrappers/GameWrapper.h"
#include "export/RankedPlaylists.h"
#include "export/Timestamp.h"
#include "platform/Env.h"
#include "plugin/TallyLoomMMR.h"

namespace {

constexpr float kRepeatWindowSeconds = 8.0f;

// Both match-end events fire for one match; a second call within the window
// is the same match. Process-wide and never reset while the library is loaded.
std::optional<std::int64_t> lastMatchEndHandledAt;

}  // namespace

void TallyLoomMMR::HandleMatchEnded() {
  const std::int64_t now = platform::Env::Default()->MonotonicNanos();
  if (lastMatchEndHandledAt) {
    const float seconds = static_cast<float>(now - *lastMatchEndHandledAt) / 1000000000.0f;
    if (seconds < kRepeatWindowSeconds) return;
  }
  // The window restarts here, before any check: a call that stops below still
  // counts as the match's end.
  lastMatchEndHandledAt = now;

  ServerWrapper server = gameWrapper->GetOnlineGame();
  if (!server) server = gameWrapper->GetGameEventAsServer();
  if (!server) server = gameWrapper->GetCurrentGameState();
  if (!server) return;

  GameSettingPlaylistWrapper playlist = server.GetPlaylist();
  if (!playlist || playlist.GetbRanked() == 0) return;

  ArrayWrapper<TeamWrapper> teams = server.GetTeams();
  if (teams.Count() < 2) return;

  PlayerControllerWrapper player = server.GetLocalPrimaryPlayer();
  if (!player) return;
  PriWrapper pri = player.GetPRI();
  if (!pri) return;

  const std::optional<TallyLoomAccount> account = ResolveAccount();
  if (!account) return;

  TallyLoomPendingMatchCapture capture;
  capture.playlistId = playlist.GetPlaylistId();
  capture.playlistName = GetPlaylistName(capture.playlistId);
  capture.scoreBlue = teams.Get(0).GetScore();
  capture.scoreOrange = teams.Get(1).GetScore();
  capture.platform = account->platform;
  capture.playerId = account->playerId;
  capture.timestamp = CurrentTimestamp();
  capture.matchKey = fmt::format("{}:{}:{}:{}:{}", capture.playlistId, capture.playerId,
                                 capture.timestamp, capture.scoreBlue, capture.scoreOrange);

  TeamWrapper winner = server.GetGameWinner();
  if (winner) {
    capture.isWin = winner.GetTeamNum() == pri.GetTeamNum();
  } else if (pri.GetTeamNum() == 0) {
    capture.isWin = capture.scoreBlue > capture.scoreOrange;
  } else {
    capture.isWin = capture.scoreOrange > capture.scoreBlue;
  }

  // The cache comes first: the service may already report the new rating.
  if (auto cached = lastKnownMmr.find(capture.playlistId); cached != lastKnownMmr.end()) {
    capture.mmrBefore = cached->second;
  } else {
    std::int32_t mmr = 0;
    if (TryGetPlaylistMmr(capture.playlistId, mmr)) capture.mmrBefore = mmr;
  }

  QueuePendingMatchCapture(capture);
}
