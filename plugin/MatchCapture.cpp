// The end of a ranked match, read from the game and handed to the capture
// rules, and the timed readings that resolve its change of rating.
#include <fmt/format.h>

#include <chrono>
#include <cstdint>
#include <optional>

#include "capture/HistoryLine.h"
#include "export/ExportFiles.h"
#include "export/RankedPlaylists.h"
#include "export/Timestamp.h"
#include "platform/Env.h"
#include "plugin/SdkGameSource.h"
#include "plugin/TallyLoomMMR.h"

void TallyLoomMMR::HandleMatchEnded() {
  // The window restarts here, before any check: a call that stops below
  // still counts as the match's end.
  const std::chrono::nanoseconds now{platform::Env::Default()->MonotonicNanos()};
  if (!throttles_.matchEnd.Pass(now)) return;

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

  SdkGameSource source(*gameWrapper);
  const std::optional<TallyLoomAccount> account = source.ResolveAccount();
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

  capture.mmrBefore = captures_.MmrBefore(
      capture.playlistId, [&] { return ReadPlaylistRating(source, capture.playlistId).mmr; });
  CarryOut(captures_.Queue(capture));
}

void TallyLoomMMR::AdvanceCapture(const std::string& matchKey) {
  SdkGameSource source(*gameWrapper);
  CarryOut(captures_.Advance(
      matchKey, [&](std::int32_t playlistId) { return ReadPlaylistRating(source, playlistId); }));
}

void TallyLoomMMR::CarryOut(const CaptureStep& step) {
  tab_.Update([count = captures_.pendingCount()](TabRows& rows) { rows.pendingCaptures = count; });
  if (step.append) {
    const HistoryRecord& record = *step.append;
    const std::string line =
        ComposeHistoryLine(record.capture, record.state, record.mmrAfter, record.complete);
    if (std::optional<std::string> error = AppendMatchHistoryLine(line)) {
      LogError(*error, ErrorKind::kHistory);
    } else {
      tab_.Update([](TabRows& rows) { rows.Succeed(ErrorKind::kHistory); });
    }
  }
  if (step.finished) {
    tab_.Update([at = CurrentTimestamp()](TabRows& rows) { rows.lastMatchCapture = at; });
  }
  if (step.readAgainIn) {
    SetGuardedTimeout([this, key = step.matchKey] { AdvanceCapture(key); }, *step.readAgainIn);
  }
  if (!step.say.empty()) Log(step.say);

  // A capture already under way is finished and exported even when the
  // plugin was switched off after the match ended; the later export asks both.
  if (step.finished && IsAutoExportOn()) {
    ExportSnapshot(false, "Post-match export");
    SetGuardedTimeout(
        [this] {
          if (IsEnabled() && IsAutoExportOn()) {
            ExportSnapshot(false, "Delayed post-match export (MMR sync retry)");
          }
        },
        kDelayedPostMatchExportDelay);
  }
}
