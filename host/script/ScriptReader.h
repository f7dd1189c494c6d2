#pragma once

#include <cstddef>
#include <istream>
#include <string>

#include "script/Command.h"

namespace hostscript {

struct ScriptError {
  std::string source;  // File name, or "-" for standard input.
  int line = 0;        // 1-based.
  std::string message;
};

// Reads a script one line at a time and turns each non-blank, non-comment line into a Command.
// Lines are read only as far as the next newline, so a script typed on a terminal runs as it is
// typed. A trailing CR is dropped (CRLF scripts work) and the last line needs no newline.
// The reader never throws; a stream that fails or throws mid-read ends the script with an error.
class ScriptReader {
 public:
  enum class Result { kCommand, kEnd, kError };

  // Longer lines are reported as errors rather than buffered: a runaway input (a binary file, a
  // pipe with no newlines) must not exhaust memory.
  static constexpr std::size_t kMaxLineBytes = std::size_t{1} << 20;

  // `in` must outlive the reader. `sourceName` only labels errors.
  ScriptReader(std::istream& in, std::string sourceName);
  ScriptReader(const ScriptReader&) = delete;
  ScriptReader& operator=(const ScriptReader&) = delete;

  // Reads the next command, skipping blank and comment-only lines.
  //  kCommand: *command holds it and *line its line number.
  //  kError: *error describes the bad line (*line is set to it too); *command is untouched. The
  //          next call goes on with the following line, unless the stream itself failed.
  //  kEnd: no more input; every later call returns kEnd as well.
  // Any of the pointers may be null when the caller does not need that part.
  Result Next(Command* command, int* line, ScriptError* error);

 private:
  enum class LineStatus { kLine, kTooLong, kEnd, kReadError };

  LineStatus ReadLine();

  std::istream& in_;
  std::string sourceName_;
  std::string buffer_;  // The current line, reused to avoid reallocating for every line.
  int lineNumber_ = 0;
  bool ended_ = false;
};

// "SOURCE:LINE: MESSAGE", the form compilers use, so editors can jump to the line.
std::string FormatError(const ScriptError& error);

}  // namespace hostscript
