#include "host/Narration.h"
#include "host/Overloaded.h"

#include <fmt/format.h>

#include <type_traits>

namespace host {
namespace {

std::string Team(int team) {
  if (team == 0) return "blue";
  if (team == 1) return "orange";
  return fmt::format("team {}", team);
}

std::string EventText(const std::string& function) {
  if (function == "Function TAGame.GameEvent_Soccar_TA.OnMatchEnded") return "the match ends";
  if (function == "Function TAGame.GameEvent_Soccar_TA.OnGameWinnerSet") {
    return "the match's winner is set";
  }
  if (function == "Function TAGame.Mutator_Freeplay_TA.Init") return "freeplay starts";
  if (function == "Function TAGame.GameEvent_TrainingEditor_TA.StartPlayTest") {
    return "a training pack starts";
  }
  return "runs " + function;
}

}  // namespace

std::string RatingNarration(int playlist, float value) {
  return fmt::format("game: the rating service has {} for playlist {}", value, playlist);
}

std::string Narration(const hostscript::Command& command) {
  using namespace hostscript;
  return std::visit(
      Overloaded{
          [](const WaitCommand&) { return std::string(); },
          [](const StateCommand& c) -> std::string {
            switch (c.state) {
              case GameState::kMenu:
                return "game: in the main menu";
              case GameState::kFreeplay:
                return "game: in freeplay";
              case GameState::kTraining:
                return "game: in a training pack";
              case GameState::kOnline:
                return "game: back in the online match";
              case GameState::kReplay:
                return "game: watching a replay";
            }
            return {};
          },
          [](const AccountCommand& c) -> std::string {
            switch (c.kind) {
              case AccountKind::kNone:
                return "game: nobody is signed in";
              case AccountKind::kUid:
                return fmt::format("game: signed in with the numeric id {}", c.uid);
              case AccountKind::kText:
                return fmt::format("game: signed in as {}", c.text);
            }
            return {};
          },
          [](const NameCommand& c) {
            return fmt::format("game: the player is named \"{}\"", c.name);
          },
          [](const MmrCommand& c) -> std::string {
            if (!c.value) return fmt::format("game: playlist {} is no longer synced", c.playlist);
            if (c.afterNanoseconds) return {};  // told when it comes in
            return RatingNarration(c.playlist, *c.value);
          },
          [](const SyncingCommand& c) -> std::string {
            return c.on ? "game: the rating service starts syncing"
                        : "game: the rating service stops syncing";
          },
          [](const MatchCommand& c) {
            std::string winner;
            switch (c.winner) {
              case WinnerKind::kUnspecified:
                winner = c.blueGoals == c.orangeGoals  ? "a draw"
                         : c.blueGoals > c.orangeGoals ? "blue wins"
                                                       : "orange wins";
                break;
              case WinnerKind::kNone:
                winner = "no winner";
                break;
              case WinnerKind::kTeam:
                winner = Team(c.winnerTeam) + " wins";
                break;
            }
            return fmt::format(
                "game: {} online match in playlist {}: blue {} - {} orange, {}, "
                "the player on {}",
                c.ranked ? "a ranked" : "a casual", c.playlist, c.blueGoals, c.orangeGoals, winner,
                Team(c.team));
          },
          [](const EventCommand& c) { return "game: " + EventText(c.function); },
          [](const DropCommand& c) -> std::string {
            switch (c.target) {
              case DropTarget::kPlaylist:
                return "game: the current game has no playlist";
              case DropTarget::kTeams:
                return "game: the current game has one team only";
              case DropTarget::kPlayer:
                return "game: the current game has no local player";
              case DropTarget::kPri:
                return "game: the local player has no replication info";
            }
            return {};
          },
          [](const FaultCommand& c) -> std::string {
            const char* step = "";
            switch (c.point) {
              case FaultPoint::kMkdir:
                step = "folder creation";
                break;
              case FaultPoint::kOpen:
                step = "file open";
                break;
              case FaultPoint::kWrite:
                step = "file write";
                break;
              case FaultPoint::kClose:
                step = "file close";
                break;
              case FaultPoint::kReplace:
                step = "file replace";
                break;
              case FaultPoint::kCrash:
                return std::string("host: the game will die in the middle of the next file write");
            }
            return fmt::format("host: {} {} will fail", c.always ? "every" : "the next", step);
          },
          [](const FaultClearCommand&) { return std::string("host: no more file faults"); },
          [](const PluginCommand& c) {
            return std::string(c.load ? "host: plugin load TallyLoomMMR"
                                      : "host: plugin unload TallyLoomMMR");
          },
          [](const SettingsCommand&) { return std::string(); },
          [](const ClickCommand& c) { return fmt::format("settings: click \"{}\"", c.label); },
          [](const ScreenshotCommand&) { return std::string(); },
          [](const HoldCommand& c) {
            return fmt::format("desktop app: opens {} and keeps it open", c.file);
          },
          [](const ReleaseCommand& c) { return fmt::format("desktop app: closes {}", c.file); },
          [](const HelpCommand&) { return std::string(); },
          [](const QuitCommand&) { return std::string(); },
          [](const ConsoleCommand& c) {
            std::string line = "console: >";
            for (const std::string& word : c.words) line += " " + word;
            return line;
          },
      },
      command);
}

}  // namespace host
