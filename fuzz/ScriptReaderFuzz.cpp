// Feeds arbitrary bytes to the script reader as a whole script. Beyond "no crash, no sanitizer
// report", it checks what the host relies on: every error can be shown to the user (message and
// line present), lines only move forward, reading always terminates, and quoting any word the
// splitter produced reads back as that word (the host echoes commands with QuoteWord).
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "script/ScriptReader.h"
#include "script/ScriptWords.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

void CheckQuotingRoundTrips(std::string_view script) {
  std::size_t start = 0;
  while (start <= script.size()) {
    std::size_t end = script.find('\n', start);
    if (end == std::string_view::npos) end = script.size();
    const std::string_view line = script.substr(start, end - start);
    start = end + 1;

    std::vector<std::string> words;
    std::string error;
    if (!hostscript::SplitWords(line, &words, &error)) {
      Check(!error.empty());
      continue;
    }
    std::string requoted;
    for (const std::string& word : words) requoted += hostscript::QuoteWord(word) + " ";
    std::vector<std::string> again;
    Check(hostscript::SplitWords(requoted, &again, &error));
    Check(again == words);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string script(reinterpret_cast<const char*>(data), size);
  std::istringstream in(script);
  hostscript::ScriptReader reader(in, "fuzz");

  // Each call consumes at least one line, so the reader must be done within lines + 1 calls.
  const auto lines = static_cast<std::size_t>(std::count(script.begin(), script.end(), '\n')) + 1;
  int lastLine = 0;
  for (std::size_t calls = 0;; ++calls) {
    Check(calls <= lines);
    hostscript::Command command;
    int line = 0;
    hostscript::ScriptError error;
    const auto result = reader.Next(&command, &line, &error);
    if (result == hostscript::ScriptReader::Result::kEnd) break;
    Check(line >= 1 && line > lastLine);
    lastLine = line;
    if (result == hostscript::ScriptReader::Result::kError) {
      Check(!error.message.empty());
      Check(error.line >= 1 && error.line == line);
      Check(error.source == "fuzz");
      Check(!hostscript::FormatError(error).empty());
    } else {
      // A line that names no command goes to the console, never empty.
      if (const auto* console = std::get_if<hostscript::ConsoleCommand>(&command)) {
        Check(!console->words.empty());
      }
    }
  }
  Check(reader.Next(nullptr, nullptr, nullptr) == hostscript::ScriptReader::Result::kEnd);

  CheckQuotingRoundTrips(script);
  return 0;
}
