#include "script/Command.h"

#include <exception>
#include <new>
#include <utility>

namespace hostscript {
namespace {

using Words = std::vector<std::string>;

// A command with a keyword of its own (every one but ConsoleCommand).
template <class T>
concept Keyworded = requires {
  T::kHelp;
};

// Parses `words` as a T when their first word is T's keyword.
template <class T>
bool ParseAs(const Words& words, Command* out, std::string* error, bool* named) {
  if constexpr (Keyworded<T>) {
    if (*named || words[0] != T::kHelp.name) return false;
    *named = true;
    Arguments args(words, T::kHelp.usage, error);
    T parsed{};
    if (!T::Parse(args, &parsed)) return false;
    *out = std::move(parsed);
    return true;
  } else {
    return false;
  }
}

template <class... Ts>
bool ParseAny(std::variant<Ts...>*, const Words& words, Command* out, std::string* error) {
  bool named = false;
  const bool parsed = (ParseAs<Ts>(words, out, error, &named) || ...);
  if (named) return parsed;
  *out = ConsoleCommand{words};
  return true;
}

template <class... Ts>
std::vector<CommandHelp> HelpOf(std::variant<Ts...>*) {
  std::vector<CommandHelp> table;
  (
      [&] {
        if constexpr (Keyworded<Ts>) table.push_back(Ts::kHelp);
      }(),
      ...);
  return table;
}

}  // namespace

bool ParseCommand(const Words& words, Command* out, std::string* error) {
  std::string scratchError;
  if (error == nullptr) error = &scratchError;
  if (words.empty()) {
    *error = "empty command";
    return false;
  }
  try {
    // Parsed into a local, so that a failure leaves *out untouched.
    Command parsed;
    if (!ParseAny(static_cast<Command*>(nullptr), words, &parsed, error)) return false;
    if (out != nullptr) *out = std::move(parsed);
    return true;
  } catch (const std::bad_alloc&) {
    *error = "out of memory";
  } catch (const std::exception& e) {
    *error = std::string("cannot parse command: ") + e.what();
  }
  return false;
}

std::vector<CommandHelp> CommandTable() { return HelpOf(static_cast<Command*>(nullptr)); }

}  // namespace hostscript
