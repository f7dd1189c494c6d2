// What a Windows text-mode stream does to the bytes it writes, for systems
// whose streams have no text mode.
#pragma once

#include <string>
#include <string_view>

namespace platform {

// Sets `bytes` to `text` in text mode, reusing its storage.
inline void SetTextModeBytes(std::string& bytes, std::string_view text) {
  bytes.clear();
  bytes.reserve(text.size() + text.size() / 32 + 2);
  // Whole runs between line feeds at a time: a history line is one run.
  std::size_t start = 0;
  for (std::size_t lf = text.find('\n'); lf != std::string_view::npos;
       start = lf + 1, lf = text.find('\n', start)) {
    bytes.append(text.data() + start, lf - start);
    bytes.append("\r\n", 2);
  }
  bytes.append(text.data() + start, text.size() - start);
}

inline std::string ToTextModeBytes(std::string_view text) {
  std::string bytes;
  SetTextModeBytes(bytes, text);
  return bytes;
}

}  // namespace platform
