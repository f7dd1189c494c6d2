// What every script command is made of. A command is one struct (see
// GameCommands.h, FileCommands.h, SessionCommands.h) with:
//
//   kHelp               its keyword, usage and one line of help (`help` lists them),
//                       and what each placeholder of the usage is (kPlaceholders);
//   its fields          what the line says, in the model's own types;
//   Parse(args, out)    reads the line's words into the fields, or fails with a
//                       message that names the command and the word;
//   Run(runner)         what the command does to the session, and what the host
//                       prints of it.
//
// Run is a template only so that the parser compiles and links without the
// host's and the model's code (the fuzz target builds the parser alone; it
// sees their headers, for the model's types, and nothing else). Its `Runner`
// is always host::CommandRunner (host/CommandRunner.h), which has:
//
//   model(), session(), faults(), desktop()
//                       the parts of the session a command acts on;
//   Tell(story)         the story of what it did, a timed line printed only
//                       with --narrate, marked as the host's ("game: ...");
//   PrintLine(text)     a timed line printed always, for a command whose
//                       output is a line;
//   Print(block)        text printed as it is (help, the settings tab);
//   Fail(message)       returns kError: the line is an error, printed as
//                       FILE:LINE: message.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace hostscript {

// What a placeholder of a usage (an upper-case word such as SECONDS) stands
// for: the reader of Arguments that Parse applies to its word. Declared next
// to the usage, so that a test can put a fitting word in its place and check
// that every form `help` shows parses.
enum class ArgumentKind {
  kNumber,    // a decimal integer (Int32, Uint64)
  kTeam,      // a team's number, 0..255 (TeamNumber)
  kSeconds,   // a duration (Duration)
  kMmrValue,  // a rating as std::from_chars reads a number (MmrValue)
  kWord,      // any word, taken as it is
  kFile,      // a file's name, never empty (FileName)
};

struct Placeholder {
  std::string_view name;  // as the usage writes it
  ArgumentKind kind;
};

// One command of the language: its keyword, its usage and what it does.
struct CommandHelp {
  std::string_view name;
  std::string_view usage;
  std::string_view summary;
  // Each placeholder of the usage, once; none for a usage of keywords only.
  std::span<const Placeholder> placeholders{};
};

// Every command, in the order `help` lists them.
std::vector<CommandHelp> CommandTable();

// What running a command leads to.
enum class Outcome { kContinue, kQuit, kError };

// A keyword of a command and the value it stands for.
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

// The words of one line as a command's parser reads them: by position, each
// check failing with the message every command shares, e.g.
// `wait: bad duration "abc"`. Every check returns false once it has failed.
class Arguments {
 public:
  Arguments(const std::vector<std::string>& words, std::string_view usage, std::string* error)
      : words_(words), usage_(usage), error_(error) {}

  std::size_t size() const { return words_.size(); }
  const std::string& operator[](std::size_t index) const { return words_[index]; }

  // "COMMAND: message".
  bool Fail(const std::string& message);
  // "COMMAND: wrong number of arguments (usage: ...)".
  bool Usage();
  bool ExpectCount(std::size_t count) { return words_.size() == count || Usage(); }

  template <typename T, std::size_t N>
  bool Choice(std::size_t index, const std::array<Keyword<T>, N>& table, std::string_view what,
              T* value) {
    const Keyword<T>* keyword = FindKeyword(table, words_[index]);
    if (keyword == nullptr) {
      return Fail("unknown " + std::string(what) + " " + Shown(words_[index]) + " (" +
                  KeywordList(table) + ")");
    }
    *value = keyword->value;
    return true;
  }

  // A file's name, which may not be empty.
  bool FileName(std::size_t index, std::string* file) {
    if (words_[index].empty()) return Fail("empty file name");
    *file = words_[index];
    return true;
  }
  // Decimal integers: digits, and a minus sign for the signed ones; no plus
  // sign, no base prefix, no spaces.
  bool Int32(std::size_t index, std::string_view what, std::int32_t* value);
  bool Uint64(std::size_t index, std::string_view what, std::uint64_t* value);
  bool TeamNumber(std::size_t index, std::string_view what, std::uint8_t* value);
  // Seconds as `digits[.digits]` or `.digits`, converted exactly to whole
  // nanoseconds (no floating point, so 0.1 is exactly 100000000), rounded
  // half up.
  bool Duration(std::size_t index, std::int64_t* nanoseconds);
  // A decimal number as std::from_chars reads one (nan, inf and exponents
  // included), narrowed to a float; finite values beyond a float's range
  // become +-inf on purpose.
  bool MmrValue(std::size_t index, float* value);

  // A word as messages show it: quoted, and cut after 48 bytes.
  static std::string Shown(std::string_view word);

 private:
  enum class Number { kOk, kMalformed, kOutOfRange };
  static Number Status(std::errc error);
  bool Checked(Number status, std::size_t index, std::string_view what, std::string_view range);

  const std::vector<std::string>& words_;
  std::string_view usage_;
  std::string* error_;
};

}  // namespace hostscript
