// Text cut into lines, for everything the host reads line by line: the
// settings tab's text log (CR LF on Windows), the plugin's files (CR LF
// everywhere) and scripts' option lines.
#pragma once

#include <string_view>
#include <vector>

namespace host {

// The lines of `text`, each without its LF and one CR before it; a last line
// without a line end counts, an empty text has none.
inline std::vector<std::string_view> SplitLines(std::string_view text) {
  std::vector<std::string_view> lines;
  while (!text.empty()) {
    const std::size_t lf = text.find('\n');
    std::string_view line = text.substr(0, lf);
    if (line.ends_with('\r')) line.remove_suffix(1);
    lines.push_back(line);
    text.remove_prefix(lf == std::string_view::npos ? text.size() : lf + 1);
  }
  return lines;
}

}  // namespace host
