// Commands that set up the game: what it reports, the local player, the rating
// service, an online match, the functions it runs and the links it loses.
// Each is one struct; CommandParts.h says what a command is made of.
#pragma once

#include <fmt/format.h>

#include <cstdint>
#include <optional>
#include <string>

#include "script/CommandParts.h"
#include "sdk/model/Game.h"
#include "sdk/model/GameEvents.h"

namespace hostscript {

// `state menu|freeplay|training|online|replay`
struct StateCommand {
  static constexpr CommandHelp kHelp{"state", "state menu|freeplay|training|online|replay",
                                     "what the game reports being in (no event fires)"};
  sdkhost::GameState state = sdkhost::GameState::kMenu;

  static bool Parse(Arguments& args, StateCommand* out) {
    static constexpr std::array<Keyword<sdkhost::GameState>, 5> kStates{{
        {"menu", sdkhost::GameState::kMenu},
        {"freeplay", sdkhost::GameState::kFreeplay},
        {"training", sdkhost::GameState::kTraining},
        {"online", sdkhost::GameState::kOnline},
        {"replay", sdkhost::GameState::kReplay},
    }};
    return args.ExpectCount(2) && args.Choice(1, kStates, "state", &out->state);
  }

  template <class Runner>
  Outcome Run(Runner& run) const {
    if (state == sdkhost::GameState::kOnline && !run.model().game().HasMatch()) {
      return run.Fail("state online: no match has been set up (use match first)");
    }
    run.Tell(Story());
    run.model().game().SetState(state);
    return Outcome::kContinue;
  }

  std::string Story() const {
    switch (state) {
      case sdkhost::GameState::kMenu:
        return "game: in the main menu";
      case sdkhost::GameState::kFreeplay:
        return "game: in freeplay";
      case sdkhost::GameState::kTraining:
        return "game: in a training pack";
      case sdkhost::GameState::kOnline:
        return "game: back in the online match";
      case sdkhost::GameState::kReplay:
        return "game: watching a replay";
    }
    return {};
  }

  bool operator==(const StateCommand&) const = default;
};

// `account ID`, `account uid N`, `account none`
struct AccountCommand {
  static constexpr Placeholder kPlaceholders[]{{"N", ArgumentKind::kNumber},
                                               {"ID", ArgumentKind::kWord}};
  static constexpr CommandHelp kHelp{"account", "account none | account uid N | account ID",
                                     "the local player's unique id", kPlaceholders};
  enum class Kind {
    kNone,  // no id at all
    kUid,   // a numeric id in `uid`, with an empty text form
    kText,  // the text form `text`, possibly empty
  };
  Kind kind = Kind::kNone;
  std::uint64_t uid = 0;
  std::string text{};

  static bool Parse(Arguments& args, AccountCommand* out) {
    if (args.size() == 2) {
      if (args[1] == "uid") return args.Fail("uid needs a number (usage: account uid N)");
      if (args[1] != "none") *out = {Kind::kText, 0, args[1]};
      return true;
    }
    if (args.size() != 3 || args[1] != "uid") return args.Usage();
    out->kind = Kind::kUid;
    return args.Uint64(2, "uid", &out->uid);
  }

  template <class Runner>
  Outcome Run(Runner& run) const {
    switch (kind) {
      case Kind::kNone:
        run.Tell("game: nobody is signed in");
        run.model().game().SetAccountUid(0);
        break;
      case Kind::kUid:
        run.Tell(fmt::format("game: signed in with the numeric id {}", uid));
        run.model().game().SetAccountUid(uid);
        break;
      case Kind::kText:
        run.Tell(fmt::format("game: signed in as {}", text));
        run.model().game().SetAccountText(text);
        break;
    }
    return Outcome::kContinue;
  }

  bool operator==(const AccountCommand&) const = default;
};

// `name TEXT`
struct NameCommand {
  static constexpr Placeholder kPlaceholders[]{{"TEXT", ArgumentKind::kWord}};
  static constexpr CommandHelp kHelp{"name", "name TEXT",
                                     "the local player's name, seen only through the current game",
                                     kPlaceholders};
  std::string name{};

  static bool Parse(Arguments& args, NameCommand* out) {
    if (!args.ExpectCount(2)) return false;
    out->name = args[1];
    return true;
  }

  template <class Runner>
  Outcome Run(Runner& run) const {
    run.Tell(fmt::format("game: the player is named \"{}\"", name));
    run.model().game().SetPlayerName(name);
    return Outcome::kContinue;
  }

  bool operator==(const NameCommand&) const = default;
};

// `mmr P V`, `mmr P V after S`, `mmr P unsynced`
struct MmrCommand {
  static constexpr Placeholder kPlaceholders[]{{"PLAYLIST", ArgumentKind::kNumber},
                                               {"VALUE", ArgumentKind::kMmrValue},
                                               {"SECONDS", ArgumentKind::kSeconds}};
  static constexpr CommandHelp kHelp{
      "mmr", "mmr PLAYLIST VALUE [after SECONDS] | mmr PLAYLIST unsynced",
      "what the rating service holds for a playlist, now or later", kPlaceholders};
  std::int32_t playlist = 0;
  std::optional<float> value{};                    // none for `unsynced`
  std::optional<std::int64_t> afterNanoseconds{};  // only with `after S`

  static bool Parse(Arguments& args, MmrCommand* out) {
    if (args.size() != 3 && args.size() != 5) return args.Usage();
    if (!args.Int32(1, "playlist", &out->playlist)) return false;
    if (args[2] == "unsynced") {
      if (args.size() != 3)
        return args.Fail("unsynced takes no delay (usage: mmr PLAYLIST unsynced)");
    } else {
      float value = 0;
      if (!args.MmrValue(2, &value)) return false;
      out->value = value;
    }
    if (args.size() == 5) {
      if (args[3] != "after") return args.Fail("expected \"after\" but got " + args.Shown(args[3]));
      std::int64_t after = 0;
      if (!args.Duration(4, &after)) return false;
      out->afterNanoseconds = after;
    }
    return true;
  }

  template <class Runner>
  Outcome Run(Runner& run) const {
    if (!value) {
      run.Tell(fmt::format("game: playlist {} is no longer synced", playlist));
      run.model().game().SetMmrUnsynced(playlist);
    } else if (afterNanoseconds) {
      // Told when it comes in. The session owns the timeline, so it outlives
      // the action.
      auto& session = run.session();
      session.model().time().ScheduleAction(*afterNanoseconds,
                                            [&session, playlist = playlist, value = *value] {
                                              session.Tell(RatingStory(playlist, value));
                                              session.model().game().SetMmr(playlist, value);
                                            });
    } else {
      run.Tell(RatingStory(playlist, *value));
      run.model().game().SetMmr(playlist, *value);
    }
    return Outcome::kContinue;
  }

  static std::string RatingStory(std::int32_t playlist, float value) {
    return fmt::format("game: the rating service has {} for playlist {}", value, playlist);
  }

  bool operator==(const MmrCommand&) const = default;
};

// `syncing on|off`
struct SyncingCommand {
  static constexpr CommandHelp kHelp{"syncing", "syncing on|off",
                                     "whether the rating service is syncing"};
  bool on = false;

  static bool Parse(Arguments& args, SyncingCommand* out) {
    static constexpr std::array<Keyword<bool>, 2> kOnOff{{{"on", true}, {"off", false}}};
    return args.ExpectCount(2) && args.Choice(1, kOnOff, "setting", &out->on);
  }

  template <class Runner>
  Outcome Run(Runner& run) const {
    run.Tell(on ? "game: the rating service starts syncing"
                : "game: the rating service stops syncing");
    run.model().game().SetSyncing(on);
    return Outcome::kContinue;
  }

  bool operator==(const SyncingCommand&) const = default;
};

// `match P BLUE ORANGE [casual] [team T] [winner T|none]`, options in any
// order, each at most once.
struct MatchCommand {
  static constexpr Placeholder kPlaceholders[]{{"PLAYLIST", ArgumentKind::kNumber},
                                               {"BLUE", ArgumentKind::kNumber},
                                               {"ORANGE", ArgumentKind::kNumber},
                                               {"T", ArgumentKind::kTeam}};
  static constexpr CommandHelp kHelp{
      "match", "match PLAYLIST BLUE ORANGE [casual] [team T] [winner T|none]",
      "an online match (ranked unless casual); switches to state online", kPlaceholders};
  enum class Winner {
    kByGoals,  // no `winner` option
    kNone,     // `winner none`
    kTeam,     // `winner T`, T in `winnerTeam`
  };
  std::int32_t playlist = 0;
  std::int32_t blueGoals = 0;
  std::int32_t orangeGoals = 0;
  bool ranked = true;     // `casual` clears it
  std::uint8_t team = 0;  // the local player's team
  Winner winner = Winner::kByGoals;
  std::uint8_t winnerTeam = 0;

  static bool Parse(Arguments& args, MatchCommand* out) {
    if (args.size() < 4) return args.Usage();
    if (!args.Int32(1, "playlist", &out->playlist) ||
        !args.Int32(2, "blue goals", &out->blueGoals) ||
        !args.Int32(3, "orange goals", &out->orangeGoals)) {
      return false;
    }
    bool seenCasual = false, seenTeam = false, seenWinner = false;
    for (std::size_t i = 4; i < args.size();) {
      const std::string& option = args[i];
      if (option != "casual" && option != "team" && option != "winner") {
        return args.Fail("unknown option " + args.Shown(option) +
                         " (casual, team T, winner T|none)");
      }
      bool& seen = option == "casual" ? seenCasual : option == "team" ? seenTeam : seenWinner;
      if (seen) return args.Fail("option " + args.Shown(option) + " given twice");
      seen = true;
      if (option == "casual") {
        out->ranked = false;
        ++i;
        continue;
      }
      if (i + 1 >= args.size()) return args.Fail(option + " needs a value");
      const std::size_t valueIndex = i + 1;
      i += 2;
      if (option == "team") {
        if (!args.TeamNumber(valueIndex, "team", &out->team)) return false;
      } else if (args[valueIndex] == "none") {
        out->winner = Winner::kNone;
      } else {
        out->winner = Winner::kTeam;
        if (!args.TeamNumber(valueIndex, "winner", &out->winnerTeam)) return false;
      }
    }
    return true;
  }

  template <class Runner>
  Outcome Run(Runner& run) const {
    sdkhost::MatchSetup match;
    match.playlist_id = playlist;
    match.ranked = ranked;
    match.score_blue = blueGoals;
    match.score_orange = orangeGoals;
    match.local_team = team;
    if (winner == Winner::kByGoals) match.winner = sdkhost::WinnerByGoals(blueGoals, orangeGoals);
    if (winner == Winner::kTeam) match.winner = winnerTeam;
    const std::string result = match.winner              ? TeamName(*match.winner) + " wins"
                               : winner == Winner::kNone ? "no winner"
                                                         : "a draw";
    run.Tell(
        fmt::format("game: {} online match in playlist {}: blue {} - {} orange, {}, "
                    "the player on {}",
                    ranked ? "a ranked" : "a casual", playlist, blueGoals, orangeGoals, result,
                    TeamName(team)));
    run.model().game().SetMatch(match);
    return Outcome::kContinue;
  }

  static std::string TeamName(int team) {
    if (team == 0) return "blue";
    if (team == 1) return "orange";
    return fmt::format("team {}", team);
  }

  bool operator==(const MatchCommand&) const = default;
};

// `event NAME`; the short names of the hooked functions (match-ended, ...)
// are expanded to the functions' names.
struct EventCommand {
  static constexpr Placeholder kPlaceholders[]{{"NAME", ArgumentKind::kWord}};
  static constexpr CommandHelp kHelp{
      "event", "event NAME",
      "the game runs function NAME (match-ended, winner-set, freeplay-init, training-start)",
      kPlaceholders};
  std::string function{};

  static bool Parse(Arguments& args, EventCommand* out) {
    if (!args.ExpectCount(2)) return false;
    if (args[1].empty()) return args.Fail("empty event name");
    out->function = args[1];
    for (const sdkhost::GameFunction& hooked : sdkhost::kHookedFunctions) {
      if (hooked.short_name == args[1]) out->function = hooked.name;
    }
    return true;
  }

  template <class Runner>
  Outcome Run(Runner& run) const {
    std::string story = "runs " + function;
    for (const sdkhost::GameFunction& hooked : sdkhost::kHookedFunctions) {
      if (hooked.name == function) story = hooked.meaning;
    }
    run.Tell("game: " + story);
    run.model().registrations().FireEvent(function);
    return Outcome::kContinue;
  }

  bool operator==(const EventCommand&) const = default;
};

// `drop playlist|teams|player|pri`
struct DropCommand {
  static constexpr CommandHelp kHelp{"drop", "drop playlist|teams|player|pri",
                                     "the current game loses that link"};
  sdkhost::Link link = sdkhost::Link::kPlaylist;

  static bool Parse(Arguments& args, DropCommand* out) {
    static constexpr std::array<Keyword<sdkhost::Link>, 4> kLinks{{
        {"playlist", sdkhost::Link::kPlaylist},
        {"teams", sdkhost::Link::kTeams},
        {"player", sdkhost::Link::kPlayer},
        {"pri", sdkhost::Link::kPri},
    }};
    return args.ExpectCount(2) && args.Choice(1, kLinks, "target", &out->link);
  }

  template <class Runner>
  Outcome Run(Runner& run) const {
    if (!run.model().game().Drop(link)) {
      return run.Fail("drop: there is no current game (state menu or replay)");
    }
    run.Tell(Story());
    return Outcome::kContinue;
  }

  std::string Story() const {
    switch (link) {
      case sdkhost::Link::kPlaylist:
        return "game: the current game has no playlist";
      case sdkhost::Link::kTeams:
        return "game: the current game has one team only";
      case sdkhost::Link::kPlayer:
        return "game: the current game has no local player";
      case sdkhost::Link::kPri:
        return "game: the local player has no replication info";
    }
    return {};
  }

  bool operator==(const DropCommand&) const = default;
};

}  // namespace hostscript
