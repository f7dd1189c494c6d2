#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace hostscript {

// Splits one script line into words, the way a much simplified POSIX shell would:
//  - unquoted spaces and tabs separate words; one CR at the very end of the line is dropped (so
//    CRLF scripts work), any other unquoted CR is an error;
//  - an unquoted `#` at the start of a word comments out the rest of the line (`a#b` is one word);
//  - "double quotes" take the escapes \" \\ \t \n \r and \xHH (exactly two hex digits, any byte,
//    NUL included); any other escape is an error;
//  - 'single quotes' are literal;
//  - outside quotes a backslash makes the next character literal;
//  - adjacent pieces join into one word (`ab"c d"'e'` is `abc de`), and `""` is an empty word.
// Bytes >= 0x80 are ordinary characters. Never throws.
// On success *words holds the words (none for a blank or comment-only line) and true is returned.
// On failure *error holds a short lower-case message and *words is unspecified.
bool SplitWords(std::string_view line, std::vector<std::string>* words, std::string* error);

// Returns `word` in double quotes, escaped so that SplitWords reads it back as exactly `word`, and
// printable: control bytes are written as escapes. Used to show words in messages and traces.
// Never throws; returns an empty string only when memory runs out.
std::string QuoteWord(std::string_view word);

}  // namespace hostscript
