// What a Windows text-mode stream does to the bytes it writes, for systems
// whose streams have no text mode.
#pragma once

#include <string>
#include <string_view>

namespace platform {

inline std::string ToTextModeBytes(std::string_view text) {
  std::string bytes;
  bytes.reserve(text.size() + text.size() / 16 + 2);
  for (char c : text) {
    if (c == '\n') bytes.push_back('\r');
    bytes.push_back(c);
  }
  return bytes;
}

}  // namespace platform
