#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "script/Command.h"
#include "script/ScriptReader.h"
#include "script/ScriptWords.h"

namespace hostscript {
namespace {

using namespace std::string_literals;
using Words = std::vector<std::string>;

constexpr std::int64_t kSecond = 1'000'000'000;
constexpr std::int64_t kMaxNanoseconds = std::numeric_limits<std::int64_t>::max();

Words SplitOk(std::string_view line) {
  Words words;
  std::string error;
  EXPECT_TRUE(SplitWords(line, &words, &error)) << line << " -> " << error;
  return words;
}

Command ParseOk(std::string_view line) {
  Command command;
  std::string error;
  EXPECT_TRUE(ParseCommand(SplitOk(line), &command, &error)) << line << " -> " << error;
  return command;
}

std::string ParseError(std::string_view line) {
  Command command;
  std::string error;
  EXPECT_FALSE(ParseCommand(SplitOk(line), &command, &error)) << line;
  return error;
}

// ---------------------------------------------------------------------------------------------
// Words

TEST(SplitWordsTest, SplitsQuotesAndCommentsLikeAShell) {
  const struct {
    std::string_view line;
    Words words;
  } kCases[] = {
      {"", {}},
      {" \t  ", {}},
      {"wait 1.5", {"wait", "1.5"}},
      {"  a\t\tb  ", {"a", "b"}},
      {"a b\r", {"a", "b"}},
      {"# comment", {}},
      {R"(  a # rest "is ignored)", {"a"}},
      {"a#b #c", {"a#b"}},
      {R"("#" '#' \#)", {"#", "#", "#"}},
      {R"(''#x)", {"#x"}},
      {R"(ab"c d"'e')", {"abc de"}},
      {R"("")", {""}},
      {R"(a "" '' b)", {"a", "", "", "b"}},
      {R"('a \n "b' c)", {R"(a \n "b)", "c"}},
      {R"("\" \\ \t \n \r")", {"\" \\ \t \n \r"}},
      {R"("\x41\x6a\x6A")", {"Ajj"}},
      {R"(a\ b \"c \\)", {"a b", "\"c", "\\"}},
      {R"("it's" 'say "hi"')", {"it's", R"(say "hi")"}},
  };
  for (const auto& c : kCases) EXPECT_EQ(SplitOk(c.line), c.words) << c.line;
}

TEST(SplitWordsTest, RejectsMalformedQuotingWithAPosition) {
  const struct {
    std::string_view line;
    std::string_view error;
  } kCases[] = {
      {R"(name "abc)", "unterminated double quote (column 6)"},
      {R"(name "abc\")", "unterminated double quote (column 6)"},
      {R"(name "abc\)", "unterminated double quote (column 6)"},
      {"name 'abc", "unterminated single quote (column 6)"},
      {R"(abc\)", "trailing backslash (column 4)"},
      {"abc\\\r", "trailing backslash (column 4)"},
      {R"("\q")", R"(unknown escape \q in quoted word (column 2))"},
      {"\"\\\xff\"", R"(unknown escape \ followed by byte 0xff in quoted word (column 2))"},
      {R"("\x4")", R"(\x needs two hex digits (column 2))"},
      {R"("\xg0")", R"(\x needs two hex digits (column 2))"},
      {R"(a "\x)", R"(\x needs two hex digits (column 4))"},
      {"a\rb", "stray carriage return (column 2)"},
  };
  for (const auto& c : kCases) {
    Words words;
    std::string error;
    EXPECT_FALSE(SplitWords(c.line, &words, &error)) << c.line;
    EXPECT_EQ(error, c.error) << c.line;
  }
}

TEST(SplitWordsTest, KeepsEveryByteValue) {
  EXPECT_EQ(SplitOk(R"("a\x00b" \x)"), (Words{"a\0b"s, "x"}));
  EXPECT_EQ(SplitOk("a\0b c"s), (Words{"a\0b"s, "c"}));
  EXPECT_EQ(SplitOk("caf\xc3\xa9 '\xff\x80' \"\x90\""), (Words{"caf\xc3\xa9", "\xff\x80", "\x90"}));
  EXPECT_EQ(SplitOk(R"("\xff\xFE")"), (Words{"\xff\xfe"}));
}

TEST(SplitWordsTest, QuoteWordReadsBackAndPrints) {
  const std::string kWords[] = {
      "",
      "plain",
      "two words",
      "#hash",
      R"(q" b\ 's')",
      "tab\tnl\ncr\r",
      "nul\0x"s,
      "\x01\x1f\x7f\x80\xff",
  };
  for (const std::string& word : kWords) {
    const std::string quoted = QuoteWord(word);
    EXPECT_EQ(SplitOk(quoted + " " + quoted), (Words{word, word})) << quoted;
    for (const char c : quoted) {
      const auto byte = static_cast<unsigned char>(c);
      EXPECT_TRUE(byte >= 0x20 && byte != 0x7f) << quoted;
    }
  }
}

// ---------------------------------------------------------------------------------------------
// Commands

// The forms whose parsing does more than pick a keyword.
TEST(ParseCommandTest, ReadsEachFormIntoTheModelsTerms) {
  using Account = AccountCommand::Kind;
  const struct {
    std::string_view line;
    Command expected;
  } kCases[] = {
      {"wait 20", WaitCommand{20 * kSecond}},
      {"state online", StateCommand{sdkhost::GameState::kOnline}},
      {"account none", AccountCommand{.kind = Account::kNone}},
      {"account uid 18446744073709551615",
       AccountCommand{.kind = Account::kUid, .uid = 18446744073709551615u}},
      {"account Epic|abc-1", AccountCommand{.kind = Account::kText, .text = "Epic|abc-1"}},
      {R"(account "")", AccountCommand{.kind = Account::kText, .text = ""}},
      {"account 'none x'", AccountCommand{.kind = Account::kText, .text = "none x"}},
      {R"(name "")", NameCommand{""}},
      {"mmr -1 unsynced", MmrCommand{.playlist = -1}},
      {"mmr 13 600 after 2.5",
       MmrCommand{.playlist = 13, .value = 600.0f, .afterNanoseconds = 2'500'000'000}},
      {"mmr -2147483648 0", MmrCommand{.playlist = -2147483648, .value = 0.0f}},
      {"mmr 007 -5", MmrCommand{.playlist = 7, .value = -5.0f}},
      {"event winner-set", EventCommand{"Function TAGame.GameEvent_Soccar_TA.OnGameWinnerSet"}},
      {"event 'Function TAGame.Car_TA.OnJump'", EventCommand{"Function TAGame.Car_TA.OnJump"}},
      {"drop pri", DropCommand{sdkhost::Link::kPri}},
      {"fault write always", FaultCommand{.op = platform::FaultOp::kWrite, .always = true}},
      {"fault crash", FaultCommand{.op = platform::FaultOp::kCrash}},
      {"fault clear", FaultCommand{.clear = true}},
      {"hold h.jsonl write", HoldCommand{"h.jsonl", host::HeldFile::Sharing::kWrite}},
      {"help mmr", HelpCommand{"mmr"}},
      {"tallyloom_enabled 1", ConsoleCommand{{"tallyloom_enabled", "1"}}},
      {"Wait 1", ConsoleCommand{{"Wait", "1"}}},
      {R"("" x)", ConsoleCommand{{"", "x"}}},
  };
  for (const auto& c : kCases) EXPECT_EQ(ParseOk(c.line), c.expected) << c.line;
}

// A word of each kind that its reader takes, and one that it refuses while a
// reader of a neighbouring kind would take it (none: it takes every word).
struct KindSample {
  std::string_view taken;
  std::optional<std::string_view> refused;
};

KindSample SampleOf(ArgumentKind kind) {
  switch (kind) {
    case ArgumentKind::kNumber:
      return {"1000", "1.5"};
    case ArgumentKind::kTeam:
      return {"1", "256"};
    case ArgumentKind::kSeconds:
      return {"1.5", "-1"};
    case ArgumentKind::kMmrValue:
      return {"-1187.5", "x"};
    case ArgumentKind::kWord:
      return {"x", std::nullopt};
    case ArgumentKind::kFile:
      return {"f.json", ""};
  }
  return {};
}

// Every form that `help` shows is one the parser takes: each usage line with a
// word of its declared kind for each placeholder, each choice of each word
// ("menu|freeplay"), and each optional part ("[after SECONDS]") left out and
// put in. A placeholder given a word of another kind makes the line fail, so
// a declared kind that is not the one the parser reads is caught too.
TEST(ParseCommandTest, EveryFormThatHelpShowsParses) {
  const auto isPlaceholder = [](std::string_view word) {
    return !word.empty() &&
           std::all_of(word.begin(), word.end(), [](char c) { return c >= 'A' && c <= 'Z'; });
  };
  struct Choice {
    std::string word;
    std::optional<std::string_view> refused;  // in its place the line fails
  };
  struct Part {
    int group = -1;  // the optional part it belongs to, -1 for none
    std::vector<Choice> choices;
  };
  const auto parses = [](const Words& line) {
    Command command;
    std::string error;
    return ParseCommand(line, &command, &error) && !std::holds_alternative<ConsoleCommand>(command);
  };
  int forms = 0;
  for (const CommandHelp& entry : CommandTable()) {
    std::vector<std::string_view> used;
    std::string usage(entry.usage);
    for (std::size_t bar; (bar = usage.find(" | ")) != std::string::npos;)
      usage.replace(bar, 3, "\n");
    std::istringstream alternatives(usage);
    for (std::string form; std::getline(alternatives, form);) {
      std::vector<Part> parts;
      int groups = 0;
      bool inGroup = false;
      bool complete = true;  // every placeholder of the form has a kind
      for (std::string word : SplitOk(form)) {
        if (word.starts_with('[')) inGroup = true, ++groups, word.erase(0, 1);
        Part part{inGroup ? groups : -1, {}};
        if (word.ends_with(']')) inGroup = false, word.pop_back();
        std::istringstream choices(word);
        for (std::string choice; std::getline(choices, choice, '|');) {
          if (!isPlaceholder(choice)) {
            part.choices.push_back({choice, std::nullopt});
            continue;
          }
          const auto placeholder =
              std::ranges::find(entry.placeholders, choice, &Placeholder::name);
          if (placeholder == entry.placeholders.end()) {
            ADD_FAILURE() << entry.name << ": " << choice << " has no kind in kPlaceholders";
            complete = false;
            continue;
          }
          used.push_back(placeholder->name);
          const KindSample sample = SampleOf(placeholder->kind);
          part.choices.push_back({std::string(sample.taken), sample.refused});
        }
        parts.push_back(part);
      }
      if (!complete) continue;
      for (std::size_t vary = 0; vary <= parts.size(); ++vary) {
        const std::size_t count = vary < parts.size() ? parts[vary].choices.size() : 1;
        const int group = vary < parts.size() ? parts[vary].group : -1;
        for (std::size_t choice = 0; choice < count; ++choice) {
          Words line;
          std::optional<std::string_view> refused;  // for the word that varies
          std::size_t refusedAt = 0;
          for (std::size_t i = 0; i < parts.size(); ++i) {
            if (parts[i].group != -1 && parts[i].group != group) continue;
            const Choice& chosen = parts[i].choices[i == vary ? choice : 0];
            if (i == vary) {
              refused = chosen.refused;
              refusedAt = line.size();
            }
            line.push_back(chosen.word);
          }
          EXPECT_TRUE(parses(line)) << form << ": " << ::testing::PrintToString(line);
          ++forms;
          if (refused) {
            Words wrong = line;
            wrong[refusedAt] = *refused;
            EXPECT_FALSE(parses(wrong)) << form << ": " << ::testing::PrintToString(wrong);
          }
        }
      }
    }
    for (const Placeholder& declared : entry.placeholders) {
      EXPECT_TRUE(std::ranges::find(used, declared.name) != used.end())
          << entry.name << ": " << declared.name << " is declared but not in the usage";
    }
  }
  EXPECT_GT(forms, 60);
}

TEST(ParseCommandTest, MatchOptionsComeInAnyOrderOnce) {
  const struct {
    std::string_view line;
    MatchCommand expected;
  } kCases[] = {
      {"match 11 3 1", {.playlist = 11, .blueGoals = 3, .orangeGoals = 1}},
      {"match 6 -1 0 casual", {.playlist = 6, .blueGoals = -1, .ranked = false}},
      {"match 11 2 2 winner none team 1",
       {.playlist = 11,
        .blueGoals = 2,
        .orangeGoals = 2,
        .team = 1,
        .winner = MatchCommand::Winner::kNone}},
      {"match 11 0 4 team 255 winner 1 casual",
       {.playlist = 11,
        .orangeGoals = 4,
        .ranked = false,
        .team = 255,
        .winner = MatchCommand::Winner::kTeam,
        .winnerTeam = 1}},
      {"match 11 0 0 winner 0",
       {.playlist = 11, .winner = MatchCommand::Winner::kTeam, .winnerTeam = 0}},
  };
  for (const auto& c : kCases) EXPECT_EQ(ParseOk(c.line), Command{c.expected}) << c.line;
}

TEST(ParseCommandTest, RejectsBadFormsNamingCommandAndWord) {
  const std::string kWaitUsage = "wait: wrong number of arguments (usage: wait SECONDS)";
  const std::string kAccountUsage =
      "account: wrong number of arguments (usage: account none | account uid N | account ID)";
  const std::string kMmrUsage =
      "mmr: wrong number of arguments (usage: mmr PLAYLIST VALUE [after SECONDS] | mmr PLAYLIST "
      "unsynced)";
  const std::string kFaultUsage =
      "fault: wrong number of arguments (usage: fault mkdir|open|write|close|replace [always] | "
      "fault crash | fault clear)";
  const struct {
    std::string_view line;
    std::string error;
  } kCases[] = {
      {"wait", kWaitUsage},
      {"wait 1 2", kWaitUsage},
      {"wait abc", R"(wait: bad duration "abc")"},
      {R"(wait "\x01")", R"(wait: bad duration "\x01")"},
      {"state lobby", R"(state: unknown state "lobby" (menu, freeplay, training, online, replay))"},
      {"state Menu", R"(state: unknown state "Menu" (menu, freeplay, training, online, replay))"},
      {"state",
       "state: wrong number of arguments (usage: state menu|freeplay|training|online|"
       "replay)"},
      {"account", kAccountUsage},
      {"account a b", kAccountUsage},
      {"account none x", kAccountUsage},
      {"account uid 1 2", kAccountUsage},
      {"account uid", "account: uid needs a number (usage: account uid N)"},
      {"account uid -1", R"(account: bad uid "-1")"},
      {"account uid +1", R"(account: bad uid "+1")"},
      {"account uid 0x10", R"(account: bad uid "0x10")"},
      {"account uid 18446744073709551616",
       R"(account: uid out of range "18446744073709551616" (0..18446744073709551615))"},
      {"name", "name: wrong number of arguments (usage: name TEXT)"},
      {"name a b", "name: wrong number of arguments (usage: name TEXT)"},
      {"mmr 1", kMmrUsage},
      {"mmr 1 2 after", kMmrUsage},
      {"mmr x 1", R"(mmr: bad playlist "x")"},
      {"mmr +1 1", R"(mmr: bad playlist "+1")"},
      {"mmr - 1", R"(mmr: bad playlist "-")"},
      {"mmr 2147483648 1", R"(mmr: playlist out of range "2147483648" (-2147483648..2147483647))"},
      {"mmr 99999999999x 1", R"(mmr: bad playlist "99999999999x")"},
      {"mmr -2147483649 1",
       R"(mmr: playlist out of range "-2147483649" (-2147483648..2147483647))"},
      {"mmr 1 abc", R"(mmr: bad value "abc")"},
      {"mmr 1 1.5x", R"(mmr: bad value "1.5x")"},
      {"mmr 1 ''", R"(mmr: bad value "")"},
      {"mmr 1 ' 1'", R"(mmr: bad value " 1")"},
      {R"(mmr 1 "1\x002")", R"(mmr: bad value "1\x002")"},
      {"mmr 1 unsynced after 1", "mmr: unsynced takes no delay (usage: mmr PLAYLIST unsynced)"},
      {"mmr 1 2 before 3", R"(mmr: expected "after" but got "before")"},
      {"mmr 1 2 after -1", R"(mmr: bad duration "-1")"},
      {"syncing yes", R"(syncing: unknown setting "yes" (on, off))"},
      {"match 1 2",
       "match: wrong number of arguments (usage: match PLAYLIST BLUE ORANGE [casual] "
       "[team T] [winner T|none])"},
      {"match 1 2 x", R"(match: bad orange goals "x")"},
      {"match 1 2 3 ranked", R"(match: unknown option "ranked" (casual, team T, winner T|none))"},
      {"match 1 2 3 casual casual", R"(match: option "casual" given twice)"},
      {"match 1 2 3 winner 1 winner 2", R"(match: option "winner" given twice)"},
      {"match 1 2 3 team", "match: team needs a value"},
      {"match 1 2 3 team 256", R"(match: team out of range "256" (0..255))"},
      {"match 1 2 3 team -1", R"(match: bad team "-1")"},
      {"match 1 2 3 team 99999999999999999999x", R"(match: bad team "99999999999999999999x")"},
      {"match 1 2 3 winner blue", R"(match: bad winner "blue")"},
      {"event", "event: wrong number of arguments (usage: event NAME)"},
      {"event ''", "event: empty event name"},
      {"drop car", R"(drop: unknown target "car" (playlist, teams, player, pri))"},
      {"fault", kFaultUsage},
      {"fault write always now", kFaultUsage},
      {"fault clear always", kFaultUsage},
      {"fault read",
       R"(fault: unknown fault "read" (mkdir, open, write, close, replace, crash, clear))"},
      {"fault write once", R"(fault: expected "always" but got "once")"},
      {"fault crash always", "fault: a crash happens once"},
      {"plugin reload", R"(plugin: unknown action "reload" (load, unload))"},
      {"settings now", "settings: wrong number of arguments (usage: settings)"},
      {"click", "click: wrong number of arguments (usage: click LABEL)"},
      {"click a b", "click: wrong number of arguments (usage: click LABEL)"},
      {"screenshot ''", "screenshot: empty file name"},
      {"hold f", "hold: wrong number of arguments (usage: hold FILE none|read|write|all)"},
      {"hold f share", R"(hold: unknown sharing "share" (none, read, write, all))"},
      {"release", "release: wrong number of arguments (usage: release FILE)"},
      {"quit now", "quit: wrong number of arguments (usage: quit)"},
  };
  for (const auto& c : kCases) EXPECT_EQ(ParseError(c.line), c.error) << c.line;
}

TEST(ParseCommandTest, FailureLeavesOutputAloneAndShortensLongWords) {
  Command command = QuitCommand{};
  std::string error;
  EXPECT_FALSE(ParseCommand({}, &command, &error));
  EXPECT_FALSE(error.empty());
  EXPECT_FALSE(ParseCommand({"wait", "x"}, &command, &error));
  EXPECT_EQ(command, Command{QuitCommand{}});

  EXPECT_EQ(ParseError("wait " + std::string(200, '7') + "x"),
            "wait: bad duration \"" + std::string(48, '7') + "\"...");
}

TEST(ParseCommandTest, ConvertsDurationsExactlyToNanoseconds) {
  const struct {
    std::string_view text;
    std::int64_t nanoseconds;
  } kCases[] = {
      {"0", 0},
      {"20", 20 * kSecond},
      {"1.5", 1'500'000'000},
      {"0.001", 1'000'000},
      {".5", 500'000'000},
      {"0.1", 100'000'000},
      {"000010.100", 10'100'000'000},
      {"0.000000001", 1},
      {"0.0000000005", 1},
      {"0.0000000004", 0},
      {"0.00000000049999", 0},
      {"0.0000000014999", 1},
      {"1.9999999995", 2 * kSecond},
      {"9223372036.854775807", kMaxNanoseconds},
      {"9223372036.8547758074999", kMaxNanoseconds},
  };
  for (const auto& c : kCases) {
    EXPECT_EQ(ParseOk("wait " + std::string(c.text)), Command{WaitCommand{c.nanoseconds}})
        << c.text;
  }

  for (const std::string_view bad : {"-1", "+1", "1e3", "nan", "inf", "1.", ".", "1.2.3", "''",
                                     "0x10", "' 1'", "1,5", "\xef\xbc\x91"}) {
    EXPECT_EQ(ParseError("wait " + std::string(bad)).rfind("wait: bad duration ", 0), 0u) << bad;
  }
  for (const std::string_view huge : {"9223372036.8547758075", "9223372036.854775808", "9223372037",
                                      "99999999999999999999999999"}) {
    EXPECT_EQ(
        ParseError("wait " + std::string(huge)),
        "wait: duration out of range \"" + std::string(huge) + "\" (0..9223372036.854775807)");
  }
}

TEST(ParseCommandTest, MmrValuesAreDecimalNumbersNarrowedToFloat) {
  constexpr float kInf = std::numeric_limits<float>::infinity();
  constexpr float kFloatMax = std::numeric_limits<float>::max();
  const struct {
    std::string_view text;
    float value;
  } kCases[] = {
      {"1234.5", 1234.5f},
      {"-0.0", -0.0f},
      {"inf", kInf},
      {"-inf", -kInf},
      {"INFINITY", kInf},
      {"1e30", 1e30f},
      {"1e39", kInf},
      {"-1e39", -kInf},
      {"1e-50", 0.0f},
      {"3.4028234e38", kFloatMax},
      {"3.40282356e38", kFloatMax},
      {"3.40282357e38", kInf},
      {"-3.40282357e38", -kInf},
  };
  for (const auto& c : kCases) {
    const Command command = ParseOk("mmr 0 " + std::string(c.text));
    const auto* mmr = std::get_if<MmrCommand>(&command);
    ASSERT_NE(mmr, nullptr) << c.text;
    ASSERT_TRUE(mmr->value.has_value()) << c.text;
    // Bit patterns, so -0.0 is told apart from 0.0.
    EXPECT_EQ(std::bit_cast<std::uint32_t>(*mmr->value), std::bit_cast<std::uint32_t>(c.value))
        << c.text << " gave " << *mmr->value;
  }

  for (const std::string_view nan : {"nan", "-nan", "NAN", "nan(0x1)"}) {
    const Command command = ParseOk("mmr 0 " + std::string(nan));
    const auto& mmr = std::get<MmrCommand>(command);
    ASSERT_TRUE(mmr.value.has_value()) << nan;
    EXPECT_TRUE(std::isnan(*mmr.value)) << nan;
  }
  // No sign but the minus, no hexadecimal, nothing beyond a double's range.
  for (const std::string_view refused : {"+2", "0x1.8p1", "1e400", "1e-400"}) {
    EXPECT_EQ(ParseError("mmr 0 " + std::string(refused)),
              "mmr: bad value \"" + std::string(refused) + "\"");
  }
}

// ---------------------------------------------------------------------------------------------
// Reader

// A stream buffer that serves `text` and then fails as a vanished device would.
class FailingBuffer : public std::streambuf {
 public:
  explicit FailingBuffer(std::string text) : text_(std::move(text)) {
    setg(text_.data(), text_.data(), text_.data() + text_.size());
  }

 protected:
  int_type underflow() override { throw std::runtime_error("device lost"); }

 private:
  std::string text_;
};

TEST(ScriptReaderTest, NumbersLinesAndSkipsBlankAndCommentLines) {
  std::istringstream in("# header\n\nwait 1\r\n   \r\n  # indented\nquit");
  ScriptReader reader(in, "a.tls");
  Command command;
  int line = 0;
  ScriptError error;
  ASSERT_EQ(reader.Next(&command, &line, &error), ScriptReader::Result::kCommand);
  EXPECT_EQ(line, 3);
  EXPECT_EQ(command, Command{WaitCommand{kSecond}});
  ASSERT_EQ(reader.Next(&command, &line, &error), ScriptReader::Result::kCommand);
  EXPECT_EQ(line, 6);
  EXPECT_EQ(command, Command{QuitCommand{}});
  EXPECT_EQ(reader.Next(&command, &line, &error), ScriptReader::Result::kEnd);
  EXPECT_EQ(reader.Next(nullptr, nullptr, nullptr), ScriptReader::Result::kEnd);

  for (const std::string_view empty : {"", "\n\n", "# only\n   # comments"}) {
    std::istringstream blank{std::string(empty)};
    ScriptReader blankReader(blank, "-");
    EXPECT_EQ(blankReader.Next(&command, &line, &error), ScriptReader::Result::kEnd) << empty;
  }
}

TEST(ScriptReaderTest, ErrorsCarrySourceAndLineAndReadingGoesOn) {
  std::istringstream in("wait 1\nwait x\nname \"open\nquit\n");
  ScriptReader reader(in, "s.tls");
  Command command;
  int line = 0;
  ScriptError error;
  EXPECT_EQ(reader.Next(&command, &line, &error), ScriptReader::Result::kCommand);

  command = SettingsCommand{};
  ASSERT_EQ(reader.Next(&command, &line, &error), ScriptReader::Result::kError);
  EXPECT_EQ(line, 2);
  EXPECT_EQ(error.line, 2);
  EXPECT_EQ(error.source, "s.tls");
  EXPECT_EQ(FormatError(error), R"(s.tls:2: wait: bad duration "x")");
  EXPECT_EQ(command, Command{SettingsCommand{}});

  ASSERT_EQ(reader.Next(&command, &line, &error), ScriptReader::Result::kError);
  EXPECT_EQ(FormatError(error), "s.tls:3: unterminated double quote (column 6)");

  ASSERT_EQ(reader.Next(&command, &line, &error), ScriptReader::Result::kCommand);
  EXPECT_EQ(line, 4);
  EXPECT_EQ(reader.Next(&command, &line, &error), ScriptReader::Result::kEnd);

  EXPECT_EQ(FormatError({"-", 7, "quit: wrong number of arguments (usage: quit)"}),
            "-:7: quit: wrong number of arguments (usage: quit)");
}

TEST(ScriptReaderTest, RejectsOverlongLinesAndResumesAfterThem) {
  constexpr std::size_t kMax = ScriptReader::kMaxLineBytes;
  std::istringstream in(std::string(kMax, 'a') + "\n" + std::string(kMax + 1, 'b') + "\n" +
                        std::string(kMax, 'c') + "\r\nquit\n");
  ScriptReader reader(in, "big");
  Command command;
  int line = 0;
  ScriptError error;
  ASSERT_EQ(reader.Next(&command, &line, &error), ScriptReader::Result::kCommand);
  EXPECT_EQ(command, Command{ConsoleCommand{{std::string(kMax, 'a')}}});
  ASSERT_EQ(reader.Next(&command, &line, &error), ScriptReader::Result::kError);
  EXPECT_EQ(FormatError(error), "big:2: line too long (more than 1048576 bytes)");
  // The CR of a CRLF ending does not count towards the limit.
  ASSERT_EQ(reader.Next(&command, &line, &error), ScriptReader::Result::kCommand);
  EXPECT_EQ(line, 3);
  ASSERT_EQ(reader.Next(&command, &line, &error), ScriptReader::Result::kCommand);
  EXPECT_EQ(command, Command{QuitCommand{}});
  EXPECT_EQ(line, 4);
}

TEST(ScriptReaderTest, FailingStreamEndsWithAReadError) {
  FailingBuffer buffer("wait 1\nqu");
  std::istream in(&buffer);
  ScriptReader reader(in, "dev");
  Command command;
  int line = 0;
  ScriptError error;
  ASSERT_EQ(reader.Next(&command, &line, &error), ScriptReader::Result::kCommand);
  ASSERT_EQ(reader.Next(&command, &line, &error), ScriptReader::Result::kError);
  EXPECT_EQ(FormatError(error), "dev:2: read error");
  EXPECT_EQ(reader.Next(&command, &line, &error), ScriptReader::Result::kEnd);
}

}  // namespace
}  // namespace hostscript
