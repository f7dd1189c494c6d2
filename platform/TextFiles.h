// Whole-file and whole-line writes on top of the seam, in text mode (CR LF
// line ends), telling the caller which step failed so that it can name the
// failure.
#pragma once

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

// Creates or truncates `path` and writes `content` in one piece.
FileResult WriteTextFile(Env* env, const std::string& path, std::string_view content);

// Appends `line` and its line end in one write. The file's last byte is read
// first, through the handle that appends: a file that does not end with a
// line end (a crash in the middle of an append, a failed write that could
// not be cut back, someone else's bytes) gets one before the line, so that
// its partial last line stands alone and this line is whole; the partial line
// itself stays. Where the last byte cannot be read (reading is refused, or
// the file is a pipe or a device), the line is appended without the look.
// When the write or the close fails, the file is cut back to the length it
// had before, where that length is known.
FileResult AppendTextLine(Env* env, const std::string& path, std::string_view line);

}  // namespace platform
