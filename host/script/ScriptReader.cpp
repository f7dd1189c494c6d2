#include "script/ScriptReader.h"

#include <climits>
#include <exception>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "script/ScriptWords.h"

namespace hostscript {

ScriptReader::ScriptReader(std::istream& in, std::string sourceName)
    : in_(in), sourceName_(std::move(sourceName)) {}

// Like std::getline, but keeps at most kMaxLineBytes (+1 for a CR) of a line: the rest of an
// overlong line is read and dropped, so the next call starts on the following line.
ScriptReader::LineStatus ScriptReader::ReadLine() {
  using Traits = std::istream::traits_type;
  buffer_.clear();
  bool readAny = false;
  bool tooLong = false;
  try {
    const std::istream::sentry sentry(in_, /*noskipws=*/true);
    if (!sentry) return in_.bad() ? LineStatus::kReadError : LineStatus::kEnd;
    std::streambuf* const buffer = in_.rdbuf();
    for (;;) {
      const Traits::int_type c = buffer->sbumpc();
      if (Traits::eq_int_type(c, Traits::eof())) {
        try {
          in_.setstate(std::ios::eofbit);
        } catch (const std::exception&) {
          // The caller asked for exceptions on end of file; the reader reports the end itself.
        }
        break;
      }
      readAny = true;
      const char ch = Traits::to_char_type(c);
      if (ch == '\n') break;
      if (buffer_.size() <= kMaxLineBytes) {
        buffer_.push_back(ch);
      } else {
        tooLong = true;
      }
    }
  } catch (...) {
    // A throwing stream buffer (or stream with exceptions enabled) is a read error, whatever it
    // threw; nothing may escape into the host's command loop.
    return LineStatus::kReadError;
  }
  if (!readAny) return LineStatus::kEnd;
  if (!buffer_.empty() && buffer_.back() == '\r') buffer_.pop_back();
  if (tooLong || buffer_.size() > kMaxLineBytes) return LineStatus::kTooLong;
  return LineStatus::kLine;
}

ScriptReader::Result ScriptReader::Next(Command* command, int* line, ScriptError* error) {
  std::string message;
  try {
    for (;;) {
      if (ended_) return Result::kEnd;
      const LineStatus status = ReadLine();
      if (status == LineStatus::kEnd) {
        ended_ = true;
        return Result::kEnd;
      }
      if (lineNumber_ < INT_MAX) ++lineNumber_;  // Saturate rather than overflow on huge input.
      if (line != nullptr) *line = lineNumber_;

      if (status == LineStatus::kReadError) {
        ended_ = true;
        message = "read error";
        break;
      }
      if (status == LineStatus::kTooLong) {
        message = "line too long (more than " + std::to_string(kMaxLineBytes) + " bytes)";
        break;
      }
      std::vector<std::string> words;
      if (!SplitWords(buffer_, &words, &message)) break;
      if (words.empty()) continue;
      Command parsed;
      if (!ParseCommand(words, &parsed, &message)) break;
      if (command != nullptr) *command = std::move(parsed);
      return Result::kCommand;
    }
  } catch (const std::bad_alloc&) {
    message = "out of memory";
  } catch (const std::exception& e) {
    message = e.what();
  }
  if (message.empty()) message = "unreadable line";
  if (line != nullptr) *line = lineNumber_;
  if (error != nullptr) {
    try {
      error->source = sourceName_;
      error->line = lineNumber_;
      error->message = std::move(message);
    } catch (const std::exception&) {
      // Out of memory while copying the name; the line number is still right.
      error->line = lineNumber_;
    }
  }
  return Result::kError;
}

std::string FormatError(const ScriptError& error) {
  try {
    return error.source + ":" + std::to_string(error.line) + ": " + error.message;
  } catch (const std::exception&) {
    return std::string();
  }
}

}  // namespace hostscript
