#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace hostscript {

// Durations (`wait S`, `mmr P V after S`) are whole nanoseconds, converted exactly from the decimal
// text and rounded half up.

// `wait S`
struct WaitCommand {
  static constexpr std::string_view kName = "wait";
  std::int64_t nanoseconds = 0;
  bool operator==(const WaitCommand&) const = default;
};

enum class GameState { kMenu, kFreeplay, kTraining, kOnline, kReplay };

// `state menu|freeplay|training|online|replay`
struct StateCommand {
  static constexpr std::string_view kName = "state";
  GameState state = GameState::kMenu;
  bool operator==(const StateCommand&) const = default;
};

enum class AccountKind {
  kNone,  // `account none`: no id at all.
  kUid,   // `account uid N`: numeric id in `uid`.
  kText,  // `account ID`: text id in `text`, possibly empty.
};

struct AccountCommand {
  static constexpr std::string_view kName = "account";
  AccountKind kind = AccountKind::kNone;
  std::uint64_t uid = 0;
  std::string text{};
  bool operator==(const AccountCommand&) const = default;
};

// `name TEXT`
struct NameCommand {
  static constexpr std::string_view kName = "name";
  std::string name{};
  bool operator==(const NameCommand&) const = default;
};

// `mmr P V`, `mmr P V after S`, `mmr P unsynced`
struct MmrCommand {
  static constexpr std::string_view kName = "mmr";
  std::int32_t playlist = 0;
  // Empty for `unsynced`. Otherwise whatever strtod read (nan, inf, -0.0 included), narrowed to
  // float; finite values beyond float range become +-inf on purpose.
  std::optional<float> value{};
  // Present only with `after S`.
  std::optional<std::int64_t> afterNanoseconds{};
  bool operator==(const MmrCommand&) const = default;
};

// `syncing on|off`
struct SyncingCommand {
  static constexpr std::string_view kName = "syncing";
  bool on = false;
  bool operator==(const SyncingCommand&) const = default;
};

enum class WinnerKind {
  kUnspecified,  // No `winner` option: the side with more goals, nobody on a draw.
  kNone,         // `winner none`
  kTeam,         // `winner T`, T in `winnerTeam`.
};

// `match P BLUE ORANGE [casual] [team T] [winner T|none]`, options in any order, each at most once.
struct MatchCommand {
  static constexpr std::string_view kName = "match";
  std::int32_t playlist = 0;
  std::int32_t blueGoals = 0;
  std::int32_t orangeGoals = 0;
  bool ranked = true;     // `casual` clears it.
  std::uint8_t team = 0;  // The local player's team.
  WinnerKind winner = WinnerKind::kUnspecified;
  std::uint8_t winnerTeam = 0;
  bool operator==(const MatchCommand&) const = default;
};

// `event NAME`; the short forms (match-ended, winner-set, freeplay-init, training-start) are
// already expanded to full function names.
struct EventCommand {
  static constexpr std::string_view kName = "event";
  std::string function{};
  bool operator==(const EventCommand&) const = default;
};

enum class DropTarget { kPlaylist, kTeams, kPlayer, kPri };

// `drop playlist|teams|player|pri`
struct DropCommand {
  static constexpr std::string_view kName = "drop";
  DropTarget target = DropTarget::kPlaylist;
  bool operator==(const DropCommand&) const = default;
};

enum class FaultPoint { kMkdir, kOpen, kWrite, kClose, kReplace, kCrash };

// `fault mkdir|open|write|close|replace [always]`, `fault crash`
struct FaultCommand {
  static constexpr std::string_view kName = "fault";
  FaultPoint point = FaultPoint::kMkdir;
  bool always = false;  // Without `always` the fault fires once.
  bool operator==(const FaultCommand&) const = default;
};

// `fault clear`
struct FaultClearCommand {
  static constexpr std::string_view kName = "fault";
  bool operator==(const FaultClearCommand&) const = default;
};

// `plugin load`, `plugin unload`
struct PluginCommand {
  static constexpr std::string_view kName = "plugin";
  bool load = true;
  bool operator==(const PluginCommand&) const = default;
};

// `settings`
struct SettingsCommand {
  static constexpr std::string_view kName = "settings";
  bool operator==(const SettingsCommand&) const = default;
};

// `click LABEL`
struct ClickCommand {
  static constexpr std::string_view kName = "click";
  std::string label{};
  bool operator==(const ClickCommand&) const = default;
};

// `screenshot FILE`; FILE is never empty.
struct ScreenshotCommand {
  static constexpr std::string_view kName = "screenshot";
  std::string file{};
  bool operator==(const ScreenshotCommand&) const = default;
};

enum class HoldSharing { kNone, kRead, kWrite, kAll };

// `hold FILE none|read|write|all`: the desktop app opens FILE of the export folder and keeps it
// open, letting others share it not at all, for reading, for writing only, or for reading, writing
// and deleting.
struct HoldCommand {
  static constexpr std::string_view kName = "hold";
  std::string file{};
  HoldSharing sharing = HoldSharing::kAll;
  bool operator==(const HoldCommand&) const = default;
};

// `release FILE`: the desktop app closes FILE again.
struct ReleaseCommand {
  static constexpr std::string_view kName = "release";
  std::string file{};
  bool operator==(const ReleaseCommand&) const = default;
};

// `help [COMMAND]`; an empty topic asks for every command.
struct HelpCommand {
  static constexpr std::string_view kName = "help";
  std::string topic{};
  bool operator==(const HelpCommand&) const = default;
};

// `quit`
struct QuitCommand {
  static constexpr std::string_view kName = "quit";
  bool operator==(const QuitCommand&) const = default;
};

// Any line whose first word is not one of the commands above. All words are kept, the first one
// included; whether it names a console variable or command is decided when the script runs.
struct ConsoleCommand {
  static constexpr std::string_view kName = "console";
  std::vector<std::string> words{};
  bool operator==(const ConsoleCommand&) const = default;
};

using Command =
    std::variant<WaitCommand, StateCommand, AccountCommand, NameCommand, MmrCommand, SyncingCommand,
                 MatchCommand, EventCommand, DropCommand, FaultCommand, FaultClearCommand,
                 PluginCommand, SettingsCommand, ClickCommand, ScreenshotCommand, HoldCommand,
                 ReleaseCommand, HelpCommand, QuitCommand, ConsoleCommand>;

// Parses the words of one line (see SplitWords) into a command. `words` must not be empty: blank
// lines are no command. Never throws. On failure returns false with *error set to a message that
// names the command and the offending word, e.g. `wait: bad duration "abc"`; *out is then left
// unchanged.
bool ParseCommand(const std::vector<std::string>& words, Command* out, std::string* error);

// One command of the language: its keyword, its usage and what it does.
struct CommandHelp {
  std::string_view name;
  std::string_view usage;
  std::string_view summary;
};

// Every command, in the order `help` lists them; from the table the parser uses.
std::vector<CommandHelp> CommandTable();

// The script keyword of a command (its kName: "wait", "fault" for both fault forms, ...), or
// "console" for a ConsoleCommand.
std::string_view CommandName(const Command& command);

}  // namespace hostscript
