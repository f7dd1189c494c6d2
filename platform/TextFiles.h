// Whole-file and whole-line writes on top of the seam, telling the caller which
// step failed so that it can name the failure.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/Env.h"

namespace platform {

enum class FileStep { kNone, kOpen, kWrite, kClose };

struct FileResult {
  FileStep failed = FileStep::kNone;
  Status status;
  bool ok() const { return failed == FileStep::kNone; }
};

// Creates or truncates `path` and writes `content` in one piece (text mode).
FileResult WriteTextFile(Env* env, const std::string& path, std::string_view content);

// Where an append of this process left a file's end: a file of that size ends
// with a line end that this process wrote, so it needs no look.
struct KnownLineEnd {
  std::string path;
  std::uint64_t size = 0;
  bool known = false;
};

// Appends `line` and its line feed in one piece (text mode). A file that does
// not end with a line end (the game died in the middle of an append, or a
// failed write could not be cut back) gets one first, so that the partial line
// stands alone and this line is whole; the partial line itself stays. When the
// write or the close fails, the file is cut back to the length it had before.
// `known` (may be null) remembers the file's end between appends, so that in
// the steady state the check reads nothing: open, size, write, close.
FileResult AppendTextLine(Env* env, const std::string& path, std::string_view line,
                          KnownLineEnd* known = nullptr);

}  // namespace platform
