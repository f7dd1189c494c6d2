// What a JSON string read back from one of the files must hold for a piece
// of game text: tab, line feed, carriage return and every byte from 0x20 on
// kept, the other control bytes gone, valid UTF-8 unchanged, and each
// maximal ill-formed UTF-8 subsequence replaced by one U+FFFD (Unicode's
// recommended practice). Written from the Unicode standard's table of
// well-formed byte sequences, apart from the plugin's own code, so that the
// two can be compared.
#pragma once

#include <cstdlib>
#include <string>
#include <string_view>

namespace fuzzing {

inline std::string ValidText(std::string_view raw) {
  // Table 3-7: lead bytes, sequence length, and the range of the second byte
  // (every later byte is 80..BF).
  struct Form {
    unsigned char first, last;
    std::size_t length;
    unsigned char low, high;
  };
  static constexpr Form kForms[] = {
      {0xC2, 0xDF, 2, 0x80, 0xBF}, {0xE0, 0xE0, 3, 0xA0, 0xBF}, {0xE1, 0xEC, 3, 0x80, 0xBF},
      {0xED, 0xED, 3, 0x80, 0x9F}, {0xEE, 0xEF, 3, 0x80, 0xBF}, {0xF0, 0xF0, 4, 0x90, 0xBF},
      {0xF1, 0xF3, 4, 0x80, 0xBF}, {0xF4, 0xF4, 4, 0x80, 0x8F},
  };
  std::string text;
  std::size_t i = 0;
  while (i < raw.size()) {
    const auto lead = static_cast<unsigned char>(raw[i]);
    if (lead < 0x80) {
      if (lead >= 0x20 || lead == '\t' || lead == '\n' || lead == '\r') text.push_back(raw[i]);
      ++i;
      continue;
    }
    const Form* form = nullptr;
    for (const Form& f : kForms) {
      if (lead >= f.first && lead <= f.last) form = &f;
    }
    std::size_t matched = 1;
    if (form != nullptr) {
      while (matched < form->length && i + matched < raw.size()) {
        const auto next = static_cast<unsigned char>(raw[i + matched]);
        const unsigned char low = matched == 1 ? form->low : 0x80;
        const unsigned char high = matched == 1 ? form->high : 0xBF;
        if (next < low || next > high) break;
        ++matched;
      }
    }
    if (form != nullptr && matched == form->length) {
      text.append(raw.substr(i, matched));
    } else {
      text.append("\xEF\xBF\xBD");
    }
    i += matched;
  }
  return text;
}

// Stops the fuzzer (or the replay) on a broken promise.
inline void Require(bool condition) {
  if (!condition) std::abort();
}

}  // namespace fuzzing
