// Whole-file and whole-line writes on top of the seam, telling the caller which
// step failed so that it can name the failure.
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

// Creates or truncates `path` and writes `content` in one piece (text mode).
FileResult WriteTextFile(Env* env, const std::string& path, std::string_view content);

// Appends `line` and its line feed in one piece (text mode). When the write or
// the close fails, the file is cut back to the length it had before, so that a
// reader never finds a partial line followed by the next one.
FileResult AppendTextLine(Env* env, const std::string& path, std::string_view line);

}  // namespace platform
