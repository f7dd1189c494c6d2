#include "script/ScriptWords.h"

#include <cctype>
#include <charconv>
#include <exception>
#include <new>
#include <optional>
#include <utility>

namespace hostscript {
namespace {

constexpr char kHexDigits[] = "0123456789abcdef";

// The byte that exactly two hex digits at the start of `text` stand for.
std::optional<unsigned char> HexPair(std::string_view text) {
  if (text.size() < 2 || !std::isxdigit(static_cast<unsigned char>(text[0])) ||
      !std::isxdigit(static_cast<unsigned char>(text[1]))) {
    return std::nullopt;
  }
  unsigned char byte = 0;
  std::from_chars(text.data(), text.data() + 2, byte, 16);
  return byte;
}

std::string HexByte(unsigned char byte) {
  std::string text = "\\x";
  text.push_back(kHexDigits[byte >> 4]);
  text.push_back(kHexDigits[byte & 0xf]);
  return text;
}

// The character after a backslash, as the user would recognise it: `\q`, or `\` plus the byte in
// hex when the character would not print.
std::string DescribeEscape(char c) {
  const auto byte = static_cast<unsigned char>(c);
  if (byte > 0x20 && byte < 0x7f) return std::string("\\") + c;
  return "\\ followed by byte 0" + HexByte(byte).substr(1);
}

bool Fail(std::string* error, std::string message, std::size_t index) {
  *error = std::move(message) + " (column " + std::to_string(index + 1) + ")";
  return false;
}

// Reads a double-quoted piece starting at line[*index] == '"' and appends it to *word.
bool ReadDoubleQuoted(std::string_view line, std::size_t* index, std::string* word,
                      std::string* error) {
  const std::size_t open = *index;
  std::size_t i = open + 1;
  const std::size_t n = line.size();
  while (i < n) {
    const char c = line[i];
    if (c == '"') {
      *index = i + 1;
      return true;
    }
    if (c != '\\') {
      word->push_back(c);
      ++i;
      continue;
    }
    if (i + 1 >= n) break;  // The line ends inside the quotes.
    const char escaped = line[i + 1];
    switch (escaped) {
      case '"':
      case '\\':
        word->push_back(escaped);
        break;
      case 't':
        word->push_back('\t');
        break;
      case 'n':
        word->push_back('\n');
        break;
      case 'r':
        word->push_back('\r');
        break;
      case 'x': {
        const std::optional<unsigned char> byte = HexPair(line.substr(i + 2));
        if (!byte) return Fail(error, "\\x needs two hex digits", i);
        word->push_back(static_cast<char>(*byte));
        i += 2;
        break;
      }
      default:
        return Fail(error, "unknown escape " + DescribeEscape(escaped) + " in quoted word", i);
    }
    i += 2;
  }
  return Fail(error, "unterminated double quote", open);
}

bool Split(std::string_view line, std::vector<std::string>* words, std::string* error) {
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);

  std::string word;
  bool inWord = false;  // Separate from word.empty(): `""` starts a word that stays empty.
  std::size_t i = 0;
  const std::size_t n = line.size();
  while (i < n) {
    const char c = line[i];
    if (c == ' ' || c == '\t') {
      if (inWord) {
        words->push_back(std::move(word));
        word.clear();
        inWord = false;
      }
      ++i;
      continue;
    }
    // A CR anywhere but the end is most likely a file with old Mac line endings read as a single
    // line; treating it as a separator would silently run several commands together.
    if (c == '\r') return Fail(error, "stray carriage return", i);
    if (c == '#' && !inWord) break;

    inWord = true;
    if (c == '\\') {
      if (i + 1 >= n) return Fail(error, "trailing backslash", i);
      word.push_back(line[i + 1]);
      i += 2;
    } else if (c == '\'') {
      const std::size_t close = line.find('\'', i + 1);
      if (close == std::string_view::npos) return Fail(error, "unterminated single quote", i);
      word.append(line.substr(i + 1, close - i - 1));
      i = close + 1;
    } else if (c == '"') {
      if (!ReadDoubleQuoted(line, &i, &word, error)) return false;
    } else {
      word.push_back(c);
      ++i;
    }
  }
  if (inWord) words->push_back(std::move(word));
  return true;
}

std::string Quote(std::string_view word) {
  std::string quoted = "\"";
  for (const char c : word) {
    const auto byte = static_cast<unsigned char>(c);
    switch (c) {
      case '"':
        quoted += "\\\"";
        break;
      case '\\':
        quoted += "\\\\";
        break;
      case '\t':
        quoted += "\\t";
        break;
      case '\n':
        quoted += "\\n";
        break;
      case '\r':
        quoted += "\\r";
        break;
      default:
        if (byte < 0x20 || byte == 0x7f) {
          quoted += HexByte(byte);
        } else {
          quoted.push_back(c);
        }
    }
  }
  quoted.push_back('"');
  return quoted;
}

}  // namespace

bool SplitWords(std::string_view line, std::vector<std::string>* words, std::string* error) {
  std::vector<std::string> scratchWords;
  std::string scratchError;
  if (words == nullptr) words = &scratchWords;
  if (error == nullptr) error = &scratchError;
  try {
    words->clear();
    return Split(line, words, error);
  } catch (const std::bad_alloc&) {
    *error = "out of memory";
  } catch (const std::exception& e) {
    *error = std::string("cannot split line: ") + e.what();
  }
  return false;
}

std::string QuoteWord(std::string_view word) {
  try {
    return Quote(word);
  } catch (const std::exception&) {
    return std::string();
  }
}

}  // namespace hostscript
