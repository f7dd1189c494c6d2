// What a Windows text-mode stream does to the bytes it writes, done the same
// way on every system: the plugin's files have CR LF line ends everywhere.
#pragma once

#include <string>
#include <string_view>

namespace platform {

// `text` with every line feed stored as CR LF.
inline std::string ToTextModeBytes(std::string_view text) {
  std::string bytes;
  bytes.reserve(text.size() + 16);
  std::size_t start = 0;
  for (std::size_t lf = text.find('\n'); lf != std::string_view::npos;
       start = lf + 1, lf = text.find('\n', start)) {
    bytes.append(text.substr(start, lf - start)).append("\r\n");
  }
  bytes.append(text.substr(start));
  return bytes;
}

}  // namespace platform
