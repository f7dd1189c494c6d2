#include "platform/TextFiles.h"

#include <cstdint>
#include <memory>

namespace platform {

FileResult WriteTextFile(Env* env, const std::string& path, std::string_view content) {
  std::unique_ptr<WritableFile> file;
  Status status = env->NewTextFile(path, OpenMode::kTruncate, &file);
  if (!status.ok()) return {FileStep::kOpen, status};
  status = file->Append(content);
  if (!status.ok()) {
    file->Close();
    return {FileStep::kWrite, status};
  }
  status = file->Close();
  if (!status.ok()) return {FileStep::kClose, status};
  return {};
}

namespace {

// What `text` takes on disk in text mode: every line feed becomes CR LF.
std::uint64_t TextModeSize(std::string_view text) {
  std::uint64_t size = text.size();
  for (const char c : text) size += c == '\n' ? 1 : 0;
  return size;
}

}  // namespace

FileResult AppendTextLine(Env* env, const std::string& path, std::string_view line,
                          KnownLineEnd* known) {
  std::unique_ptr<WritableFile> file;
  Status status = env->NewTextFile(path, OpenMode::kAppend, &file);
  if (!status.ok()) return {FileStep::kOpen, status};
  // Without the length before the append, a failed write could not be cut
  // back, so nothing is written at all.
  std::uint64_t size_before = 0;
  status = file->Size(&size_before);
  bool line_end_first = false;
  if (status.ok() && size_before > 0 &&
      !(known != nullptr && known->known && known->path == path && known->size == size_before)) {
    // Not the end this process's last append left: look at the last byte.
    char last = 0;
    status = env->ReadByteAt(path, size_before - 1, &last);
    line_end_first = last != '\n';
  }
  if (!status.ok()) {
    file->Close();
    if (known != nullptr) known->known = false;
    return {FileStep::kOpen, status};
  }

  // Reused from append to append: a line is hundreds of bytes, twice a match.
  thread_local std::string text;
  text.clear();
  if (line_end_first) text.push_back('\n');
  text.append(line);
  text.push_back('\n');

  FileStep failed = FileStep::kNone;
  status = file->Append(text);
  if (!status.ok()) {
    failed = FileStep::kWrite;
    file->Close();
  } else {
    status = file->Close();
    if (!status.ok()) failed = FileStep::kClose;
  }
  if (failed != FileStep::kNone) {
    if (known != nullptr) known->known = false;
    const Status cut = env->TruncateFile(path, size_before);
    if (!cut.ok())
      status = Status::Error(status.message() + "; cutting back failed: " + cut.message());
    return {failed, status};
  }
  if (known != nullptr) *known = KnownLineEnd{path, size_before + TextModeSize(text), true};
  return {};
}

}  // namespace platform
