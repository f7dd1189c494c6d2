#include "script/ScriptCommand.h"

#include <array>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <exception>
#include <limits>
#include <new>
#include <type_traits>
#include <utility>

#include "script/ScriptWords.h"

namespace hostscript {
namespace {

using Words = std::vector<std::string>;

constexpr std::int64_t kNanosecondsPerSecond = 1'000'000'000;
constexpr std::size_t kFractionDigits = 9;  // Nanoseconds are the ninth decimal of a second.
constexpr std::size_t kShownWordBytes = 48;

enum class NumberStatus { kOk, kMalformed, kOutOfRange };

bool IsDigits(std::string_view text) {
  if (text.empty()) return false;
  for (const char c : text) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

// Decimal digits only, no sign, no base prefix, at most `max`. Leading zeros are harmless.
NumberStatus ParseUnsigned(std::string_view text, std::uint64_t max, std::uint64_t* value) {
  if (!IsDigits(text)) return NumberStatus::kMalformed;
  std::uint64_t result = 0;
  for (const char c : text) {
    const auto digit = static_cast<std::uint64_t>(c - '0');
    if (digit > max || result > (max - digit) / 10) return NumberStatus::kOutOfRange;
    result = result * 10 + digit;
  }
  *value = result;
  return NumberStatus::kOk;
}

NumberStatus ParseInt32(std::string_view text, std::int32_t* value) {
  const bool negative = !text.empty() && text.front() == '-';
  if (negative) text.remove_prefix(1);
  const std::uint64_t max = negative ? std::uint64_t{1} << 31 : (std::uint64_t{1} << 31) - 1;
  std::uint64_t magnitude = 0;
  const NumberStatus status = ParseUnsigned(text, max, &magnitude);
  if (status != NumberStatus::kOk) return status;
  const auto signedMagnitude = static_cast<std::int64_t>(magnitude);
  *value = static_cast<std::int32_t>(negative ? -signedMagnitude : signedMagnitude);
  return NumberStatus::kOk;
}

// Seconds as `digits[.digits]` or `.digits`, converted exactly (no floating point, so `0.1` is
// exactly 100000000 ns) and rounded half up at the nanosecond.
NumberStatus ParseDuration(std::string_view text, std::int64_t* nanoseconds) {
  const std::size_t dot = text.find('.');
  const std::string_view whole = text.substr(0, dot);
  const std::string_view fraction =
      dot == std::string_view::npos ? std::string_view() : text.substr(dot + 1);
  if (dot == std::string_view::npos) {
    if (!IsDigits(whole)) return NumberStatus::kMalformed;
  } else if (!IsDigits(fraction) || (!whole.empty() && !IsDigits(whole))) {
    return NumberStatus::kMalformed;  // Also `5.`, `.` and a second dot.
  }

  constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
  std::uint64_t seconds = 0;
  if (!whole.empty() &&
      ParseUnsigned(whole, static_cast<std::uint64_t>(kMax / kNanosecondsPerSecond), &seconds) !=
          NumberStatus::kOk) {
    return NumberStatus::kOutOfRange;
  }
  std::int64_t subsecond = 0;
  for (std::size_t i = 0; i < kFractionDigits; ++i) {
    subsecond = subsecond * 10 + (i < fraction.size() ? fraction[i] - '0' : 0);
  }
  // Half up: only the first digit past the nanosecond decides.
  if (fraction.size() > kFractionDigits && fraction[kFractionDigits] >= '5') ++subsecond;

  const std::int64_t wholeNanoseconds = static_cast<std::int64_t>(seconds) * kNanosecondsPerSecond;
  if (subsecond > kMax - wholeNanoseconds) return NumberStatus::kOutOfRange;
  *nanoseconds = wholeNanoseconds + subsecond;
  return NumberStatus::kOk;
}

// A double-to-float conversion of a finite value beyond float range is undefined behaviour in C++,
// so do by hand what IEEE rounding would: anything at or past the midpoint between FLT_MAX and
// 2^128 rounds (ties to even) to infinity, anything below it to FLT_MAX or less.
float NarrowToFloat(double value) {
  constexpr double kFloatOverflow = 0x1.ffffffp127;
  if (std::isfinite(value) && std::fabs(value) >= kFloatOverflow) {
    constexpr float kInfinity = std::numeric_limits<float>::infinity();
    return value > 0 ? kInfinity : -kInfinity;
  }
  return static_cast<float>(value);
}

// Anything strtod accepts, as long as it takes the whole word.
bool ParseMmrValue(const std::string& text, float* value) {
  // strtod would skip leading white space; a quoted " 1" is more likely a mistake than intended.
  if (text.empty() ||
      std::string_view(" \t\n\v\f\r").find(text.front()) != std::string_view::npos) {
    return false;
  }
  // strtod reports range errors through errno; keep the caller's errno as it was.
  const int savedErrno = errno;
  char* end = nullptr;
  const double parsed = std::strtod(text.c_str(), &end);
  errno = savedErrno;
  // Also rejects embedded NULs, at which strtod stops.
  if (end != text.c_str() + text.size()) return false;
  *value = NarrowToFloat(parsed);
  return true;
}

std::string Shown(std::string_view word) {
  if (word.size() <= kShownWordBytes) return QuoteWord(word);
  return QuoteWord(word.substr(0, kShownWordBytes)) + "...";
}

template <typename T>
struct Keyword {
  std::string_view name;
  T value;
};

template <typename T, std::size_t N>
const Keyword<T>* FindKeyword(const std::array<Keyword<T>, N>& table, std::string_view word) {
  for (const Keyword<T>& keyword : table) {
    if (keyword.name == word) return &keyword;
  }
  return nullptr;
}

// "a, b, c", listed in messages about unknown keywords.
template <typename T, std::size_t N>
std::string KeywordList(const std::array<Keyword<T>, N>& table) {
  std::string list;
  for (const Keyword<T>& keyword : table) {
    if (!list.empty()) list += ", ";
    list += keyword.name;
  }
  return list;
}

constexpr std::array<Keyword<GameState>, 5> kStates{{
    {"menu", GameState::kMenu},
    {"freeplay", GameState::kFreeplay},
    {"training", GameState::kTraining},
    {"online", GameState::kOnline},
    {"replay", GameState::kReplay},
}};

constexpr std::array<Keyword<bool>, 2> kOnOff{{{"on", true}, {"off", false}}};

constexpr std::array<Keyword<DropTarget>, 4> kDropTargets{{
    {"playlist", DropTarget::kPlaylist},
    {"teams", DropTarget::kTeams},
    {"player", DropTarget::kPlayer},
    {"pri", DropTarget::kPri},
}};

constexpr std::array<Keyword<HoldSharing>, 4> kHoldSharings{{
    {"none", HoldSharing::kNone},
    {"read", HoldSharing::kRead},
    {"write", HoldSharing::kWrite},
    {"all", HoldSharing::kAll},
}};

constexpr std::array<Keyword<FaultPoint>, 6> kFaultPoints{{
    {"mkdir", FaultPoint::kMkdir},
    {"open", FaultPoint::kOpen},
    {"write", FaultPoint::kWrite},
    {"close", FaultPoint::kClose},
    {"replace", FaultPoint::kReplace},
    {"crash", FaultPoint::kCrash},
}};

constexpr std::array<Keyword<bool>, 2> kPluginActions{{{"load", true}, {"unload", false}}};

constexpr std::array<Keyword<std::string_view>, 4> kEventShortForms{{
    {"match-ended", "Function TAGame.GameEvent_Soccar_TA.OnMatchEnded"},
    {"winner-set", "Function TAGame.GameEvent_Soccar_TA.OnGameWinnerSet"},
    {"freeplay-init", "Function TAGame.Mutator_Freeplay_TA.Init"},
    {"training-start", "Function TAGame.GameEvent_TrainingEditor_TA.StartPlayTest"},
}};

// State shared by the per-command parsers: the words, the usage line for count errors, and where
// the message goes.
class Parser {
 public:
  Parser(const Words& words, std::string_view usage, std::string* error)
      : words_(words), usage_(usage), error_(error) {}

  std::size_t size() const { return words_.size(); }
  const std::string& operator[](std::size_t index) const { return words_[index]; }

  bool Fail(const std::string& message) {
    *error_ = words_[0] + ": " + message;
    return false;
  }

  bool Usage() { return Fail("wrong number of arguments (usage: " + std::string(usage_) + ")"); }

  bool ExpectCount(std::size_t count) { return words_.size() == count || Usage(); }

  template <typename T, std::size_t N>
  bool Choice(std::size_t index, const std::array<Keyword<T>, N>& table, std::string_view what,
              T* value) {
    const auto* keyword = FindKeyword(table, words_[index]);
    if (keyword == nullptr) {
      return Fail("unknown " + std::string(what) + " " + Shown(words_[index]) + " (" +
                  KeywordList(table) + ")");
    }
    *value = keyword->value;
    return true;
  }

  bool Int32(std::size_t index, std::string_view what, std::int32_t* value) {
    return Number(ParseInt32(words_[index], value), index, what, "-2147483648..2147483647");
  }

  bool Uint64(std::size_t index, std::string_view what, std::uint64_t* value) {
    return Number(ParseUnsigned(words_[index], std::numeric_limits<std::uint64_t>::max(), value),
                  index, what, "0..18446744073709551615");
  }

  bool TeamNumber(std::size_t index, std::string_view what, std::uint8_t* value) {
    std::uint64_t wide = 0;
    if (!Number(ParseUnsigned(words_[index], 255, &wide), index, what, "0..255")) return false;
    *value = static_cast<std::uint8_t>(wide);
    return true;
  }

  bool Duration(std::size_t index, std::int64_t* nanoseconds) {
    return Number(ParseDuration(words_[index], nanoseconds), index, "duration",
                  "0..9223372036.854775807");
  }

 private:
  bool Number(NumberStatus status, std::size_t index, std::string_view what,
              std::string_view range) {
    switch (status) {
      case NumberStatus::kOk:
        return true;
      case NumberStatus::kMalformed:
        return Fail("bad " + std::string(what) + " " + Shown(words_[index]));
      case NumberStatus::kOutOfRange:
        break;
    }
    return Fail(std::string(what) + " out of range " + Shown(words_[index]) + " (" +
                std::string(range) + ")");
  }

  const Words& words_;
  std::string_view usage_;
  std::string* error_;
};

bool ParseWait(Parser& p, Command* out) {
  WaitCommand wait;
  if (!p.ExpectCount(2) || !p.Duration(1, &wait.nanoseconds)) return false;
  *out = wait;
  return true;
}

bool ParseState(Parser& p, Command* out) {
  StateCommand state;
  if (!p.ExpectCount(2) || !p.Choice(1, kStates, "state", &state.state)) return false;
  *out = state;
  return true;
}

bool ParseAccount(Parser& p, Command* out) {
  AccountCommand account;
  if (p.size() == 2) {
    if (p[1] == "uid") return p.Fail("uid needs a number (usage: account uid N)");
    if (p[1] != "none") {
      account.kind = AccountKind::kText;
      account.text = p[1];
    }
  } else if (p.size() == 3 && p[1] == "uid") {
    account.kind = AccountKind::kUid;
    if (!p.Uint64(2, "uid", &account.uid)) return false;
  } else {
    return p.Usage();
  }
  *out = std::move(account);
  return true;
}

bool ParseName(Parser& p, Command* out) {
  if (!p.ExpectCount(2)) return false;
  *out = NameCommand{p[1]};
  return true;
}

bool ParseMmr(Parser& p, Command* out) {
  if (p.size() != 3 && p.size() != 5) return p.Usage();
  MmrCommand mmr;
  if (!p.Int32(1, "playlist", &mmr.playlist)) return false;
  if (p[2] == "unsynced") {
    if (p.size() != 3) return p.Fail("unsynced takes no delay (usage: mmr PLAYLIST unsynced)");
  } else {
    float value = 0;
    if (!ParseMmrValue(p[2], &value)) return p.Fail("bad value " + Shown(p[2]));
    mmr.value = value;
  }
  if (p.size() == 5) {
    if (p[3] != "after") return p.Fail("expected \"after\" but got " + Shown(p[3]));
    std::int64_t after = 0;
    if (!p.Duration(4, &after)) return false;
    mmr.afterNanoseconds = after;
  }
  *out = mmr;
  return true;
}

bool ParseSyncing(Parser& p, Command* out) {
  SyncingCommand syncing;
  if (!p.ExpectCount(2) || !p.Choice(1, kOnOff, "setting", &syncing.on)) return false;
  *out = syncing;
  return true;
}

bool ParseMatch(Parser& p, Command* out) {
  if (p.size() < 4) return p.Usage();
  MatchCommand match;
  if (!p.Int32(1, "playlist", &match.playlist) || !p.Int32(2, "blue goals", &match.blueGoals) ||
      !p.Int32(3, "orange goals", &match.orangeGoals)) {
    return false;
  }
  bool seenCasual = false;
  bool seenTeam = false;
  bool seenWinner = false;
  for (std::size_t i = 4; i < p.size();) {
    const std::string& option = p[i];
    if (option != "casual" && option != "team" && option != "winner") {
      return p.Fail("unknown option " + Shown(option) + " (casual, team T, winner T|none)");
    }
    bool& seen = option == "casual" ? seenCasual : option == "team" ? seenTeam : seenWinner;
    if (seen) return p.Fail("option " + Shown(option) + " given twice");
    seen = true;
    if (option == "casual") {
      match.ranked = false;
      ++i;
      continue;
    }
    if (i + 1 >= p.size()) return p.Fail(option + " needs a value");
    const std::size_t valueIndex = i + 1;
    i += 2;
    if (option == "team") {
      if (!p.TeamNumber(valueIndex, "team", &match.team)) return false;
    } else if (p[valueIndex] == "none") {
      match.winner = WinnerKind::kNone;
    } else {
      match.winner = WinnerKind::kTeam;
      if (!p.TeamNumber(valueIndex, "winner", &match.winnerTeam)) return false;
    }
  }
  *out = match;
  return true;
}

bool ParseEvent(Parser& p, Command* out) {
  if (!p.ExpectCount(2)) return false;
  if (p[1].empty()) return p.Fail("empty event name");
  const auto* shortForm = FindKeyword(kEventShortForms, p[1]);
  *out = EventCommand{shortForm != nullptr ? std::string(shortForm->value) : p[1]};
  return true;
}

bool ParseDrop(Parser& p, Command* out) {
  DropCommand drop;
  if (!p.ExpectCount(2) || !p.Choice(1, kDropTargets, "target", &drop.target)) return false;
  *out = drop;
  return true;
}

bool ParseFault(Parser& p, Command* out) {
  if (p.size() != 2 && p.size() != 3) return p.Usage();
  if (p[1] == "clear") {
    if (!p.ExpectCount(2)) return false;
    *out = FaultClearCommand{};
    return true;
  }
  const auto* point = FindKeyword(kFaultPoints, p[1]);
  if (point == nullptr) {
    return p.Fail("unknown fault " + Shown(p[1]) + " (" + KeywordList(kFaultPoints) + ", clear)");
  }
  FaultCommand fault;
  fault.point = point->value;
  if (p.size() == 3) {
    if (p[2] != "always") return p.Fail("expected \"always\" but got " + Shown(p[2]));
    if (fault.point == FaultPoint::kCrash) return p.Fail("a crash happens once");
    fault.always = true;
  }
  *out = fault;
  return true;
}

bool ParsePlugin(Parser& p, Command* out) {
  PluginCommand plugin;
  if (!p.ExpectCount(2) || !p.Choice(1, kPluginActions, "action", &plugin.load)) return false;
  *out = plugin;
  return true;
}

bool ParseSettings(Parser& p, Command* out) {
  if (!p.ExpectCount(1)) return false;
  *out = SettingsCommand{};
  return true;
}

bool ParseClick(Parser& p, Command* out) {
  if (!p.ExpectCount(2)) return false;
  *out = ClickCommand{p[1]};
  return true;
}

bool ParseScreenshot(Parser& p, Command* out) {
  if (!p.ExpectCount(2)) return false;
  if (p[1].empty()) return p.Fail("empty file name");
  *out = ScreenshotCommand{p[1]};
  return true;
}

bool ParseHold(Parser& p, Command* out) {
  HoldCommand hold;
  if (!p.ExpectCount(3)) return false;
  if (p[1].empty()) return p.Fail("empty file name");
  if (!p.Choice(2, kHoldSharings, "sharing", &hold.sharing)) return false;
  hold.file = p[1];
  *out = hold;
  return true;
}

bool ParseRelease(Parser& p, Command* out) {
  if (!p.ExpectCount(2)) return false;
  if (p[1].empty()) return p.Fail("empty file name");
  *out = ReleaseCommand{p[1]};
  return true;
}

bool ParseQuit(Parser& p, Command* out) {
  if (!p.ExpectCount(1)) return false;
  *out = QuitCommand{};
  return true;
}

bool ParseHelp(Parser& p, Command* out) {
  if (p.size() > 2) return p.Usage();
  *out = HelpCommand{p.size() == 2 ? p[1] : std::string()};
  return true;
}

struct CommandSyntax {
  CommandHelp help;
  bool (*parse)(Parser& p, Command* out);
};

// The one table of the language: the parser and `help` both read it.
constexpr std::array<CommandSyntax, 18> kCommands{{
    {{"wait", "wait SECONDS", "advance virtual time: timers fire and frames are drawn"}, ParseWait},
    {{"state", "state menu|freeplay|training|online|replay",
      "what the game reports being in (no event fires)"},
     ParseState},
    {{"account", "account none | account uid N | account ID", "the local player's unique id"},
     ParseAccount},
    {{"name", "name TEXT", "the local player's name, seen only through the current game"},
     ParseName},
    {{"mmr", "mmr PLAYLIST VALUE [after SECONDS] | mmr PLAYLIST unsynced",
      "what the rating service holds for a playlist, now or later"},
     ParseMmr},
    {{"syncing", "syncing on|off", "whether the rating service is syncing"}, ParseSyncing},
    {{"match", "match PLAYLIST BLUE ORANGE [casual] [team T] [winner T|none]",
      "an online match (ranked unless casual); switches to state online"},
     ParseMatch},
    {{"event", "event NAME",
      "the game runs function NAME (match-ended, winner-set, freeplay-init, training-start)"},
     ParseEvent},
    {{"drop", "drop playlist|teams|player|pri", "the current game loses that link"}, ParseDrop},
    {{"fault", "fault mkdir|open|write|close|replace [always] | fault crash | fault clear",
      "the next (or every) such file operation fails; crash: the next write stores half its "
      "bytes and the process ends at once"},
     ParseFault},
    {{"plugin", "plugin load|unload", "unload the plugin as the host does, or load it again"},
     ParsePlugin},
    {{"settings", "settings", "print what the plugin's settings tab shows"}, ParseSettings},
    {{"click", "click LABEL", "click the tab's checkbox or button with that label"}, ParseClick},
    {{"screenshot", "screenshot FILE", "write the window as PNG (with --window)"}, ParseScreenshot},
    {{"hold", "hold FILE none|read|write|all",
      "the desktop app keeps FILE of the export folder open, sharing it so"},
     ParseHold},
    {{"release", "release FILE", "the desktop app closes FILE"}, ParseRelease},
    {{"help", "help [COMMAND]", "the commands, or one command, with their usage"}, ParseHelp},
    {{"quit", "quit", "end the session"}, ParseQuit},
}};

bool Parse(const Words& words, Command* out, std::string* error) {
  if (words.empty()) {
    *error = "empty command";
    return false;
  }
  for (const CommandSyntax& syntax : kCommands) {
    if (syntax.help.name == words[0]) {
      Parser parser(words, syntax.help.usage, error);
      return syntax.parse(parser, out);
    }
  }
  *out = ConsoleCommand{words};
  return true;
}

}  // namespace

bool ParseCommand(const std::vector<std::string>& words, Command* out, std::string* error) {
  std::string scratchError;
  if (error == nullptr) error = &scratchError;
  try {
    // Parse into a local so that a failure leaves *out untouched.
    Command parsed;
    if (!Parse(words, &parsed, error)) return false;
    if (out != nullptr) *out = std::move(parsed);
    return true;
  } catch (const std::bad_alloc&) {
    *error = "out of memory";
  } catch (const std::exception& e) {
    *error = std::string("cannot parse command: ") + e.what();
  }
  return false;
}

std::vector<CommandHelp> CommandTable() {
  std::vector<CommandHelp> table;
  for (const CommandSyntax& syntax : kCommands) table.push_back(syntax.help);
  return table;
}

std::string_view CommandName(const Command& command) {
  return std::visit(
      [](const auto& alternative) { return std::decay_t<decltype(alternative)>::kName; }, command);
}

}  // namespace hostscript
