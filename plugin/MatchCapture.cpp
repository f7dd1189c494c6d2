// The end of a ranked match, read from the game and handed to the capture
// rules, and the timed readings that resolve its change of rating.
#include <chrono>
#include <cstdint>
#include <optional>

#include "capture/HistoryLine.h"
#include "capture/MatchEnd.h"
#include "export/ExportFiles.h"
#include "export/Timestamp.h"
#include "platform/Env.h"
#include "plugin/SdkGameSource.h"
#include "plugin/TallyLoomMMR.h"

void TallyLoomMMR::HandleMatchEnded() {
  // The window restarts here, before any check: a call that stops below
  // still counts as the match's end.
  const std::chrono::nanoseconds now{platform::Env::Default()->MonotonicNanos()};
  if (!throttles_.matchEnd.Pass(now)) return;

  // The game is asked in the order the rules judge it, and no further than
  // the fact that skips the match.
  MatchEndFacts facts;
  ServerWrapper server = gameWrapper->GetOnlineGame();
  if (!server) server = gameWrapper->GetGameEventAsServer();
  if (!server) server = gameWrapper->GetCurrentGameState();
  facts.match = static_cast<bool>(server);
  if (SkipOf(facts) == MatchEndSkip::kNoMatch) return;
  GameSettingPlaylistWrapper playlist = server.GetPlaylist();
  facts.ranked = playlist && playlist.GetbRanked() != 0;
  if (SkipOf(facts) == MatchEndSkip::kNotRanked) return;
  ArrayWrapper<TeamWrapper> teams = server.GetTeams();
  facts.teams = teams.Count();
  if (SkipOf(facts) == MatchEndSkip::kFewerThanTwoTeams) return;
  PlayerControllerWrapper player = server.GetLocalPrimaryPlayer();
  PriWrapper pri = player ? player.GetPRI() : PriWrapper(0);
  facts.localPlayer = player && pri;
  if (SkipOf(facts) == MatchEndSkip::kNoLocalPlayer) return;
  SdkGameSource source(*gameWrapper);
  facts.account = source.ResolveAccount();
  if (SkipOf(facts)) return;

  facts.playlistId = playlist.GetPlaylistId();
  facts.scoreBlue = teams.Get(0).GetScore();
  facts.scoreOrange = teams.Get(1).GetScore();
  const std::string timestamp = CurrentTimestamp();
  if (TeamWrapper winner = server.GetGameWinner()) facts.winnerTeam = winner.GetTeamNum();
  facts.localTeam = pri.GetTeamNum();

  TallyLoomPendingMatchCapture capture = CaptureOf(facts, timestamp);
  capture.mmrBefore = captures_.MmrBefore(
      capture.playlistId, [&] { return ReadPlaylistRating(source, capture.playlistId).mmr; });
  CarryOut(captures_.Queue(capture));
}

void TallyLoomMMR::AdvanceCapture(const std::string& matchKey) {
  SdkGameSource source(*gameWrapper);
  CarryOut(captures_.Advance(matchKey, IsAutoExportOn(), [&](std::int32_t playlistId) {
    return ReadPlaylistRating(source, playlistId);
  }));
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
  if (step.exportNow) ExportSnapshot(false, "Post-match export");
  if (step.delayedExportIn) {
    SetGuardedTimeout(
        [this] {
          if (DelayedPostMatchExportRuns(IsEnabled(), IsAutoExportOn())) {
            ExportSnapshot(false, "Delayed post-match export (MMR sync retry)");
          }
        },
        *step.delayedExportIn);
  }
}
