#include "export/JsonText.h"

#include <fmt/format.h>

namespace {

constexpr std::string_view kReplacementCharacter = "\xEF\xBF\xBD";
// The five escaped bytes, and what each becomes.
constexpr std::string_view kEscaped = "\t\n\r\"\\";
constexpr const char* kEscapes[] = {"\\t", "\\n", "\\r", "\\\"", "\\\\"};

// The length of the well-formed UTF-8 sequence starting at text[i], or 0 when
// it is ill-formed; then `consumed` is the length of its maximal subpart
// (at least 1), the bytes that one replacement character stands for.
std::size_t WellFormedLength(std::string_view text, std::size_t i, std::size_t* consumed) {
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned char lead = byte(i);
  std::size_t length = 0;
  unsigned char low = 0x80, high = 0xBF;  // range of the first continuation byte
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;   // no overlong forms
    if (lead == 0xED) high = 0x9F;  // no surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;   // no overlong forms
    if (lead == 0xF4) high = 0x8F;  // nothing above U+10FFFF
  } else {
    *consumed = 1;
    return 0;
  }
  for (std::size_t k = 1; k < length; ++k) {
    const unsigned char lo = k == 1 ? low : 0x80;
    const unsigned char hi = k == 1 ? high : 0xBF;
    if (i + k >= text.size() || byte(i + k) < lo || byte(i + k) > hi) {
      *consumed = k;
      return 0;
    }
  }
  *consumed = length;
  return length;
}

}  // namespace

std::string JsonEscape(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 8);
  AppendJsonEscaped(out, text);
  return out;
}

void AppendJsonEscaped(std::string& out, std::string_view text) {
  std::size_t i = 0;
  while (i < text.size()) {
    // Most text needs nothing: copy printable ASCII a run at a time.
    std::size_t run = i;
    while (run < text.size()) {
      const auto b = static_cast<unsigned char>(text[run]);
      if (b < 0x20 || b >= 0x80 || b == '"' || b == '\\') break;
      ++run;
    }
    if (run > i) {
      out.append(text.substr(i, run - i));
      i = run;
      continue;
    }
    const auto c = static_cast<unsigned char>(text[i]);
    if (c < 0x80) {
      // Every other control byte is dropped.
      if (const std::size_t e = kEscaped.find(static_cast<char>(c)); e != kEscaped.npos) {
        out += kEscapes[e];
      } else if (c >= 0x20) {
        out.push_back(static_cast<char>(c));
      }
      ++i;
      continue;
    }
    std::size_t consumed = 0;
    if (WellFormedLength(text, i, &consumed) != 0) {
      out.append(text.substr(i, consumed));
    } else {
      out.append(kReplacementCharacter);
    }
    i += consumed;
  }
}

std::string OptionalIntToJson(const std::optional<std::int32_t>& value) {
  if (!value) return "null";
  return fmt::format_int(*value).str();
}
