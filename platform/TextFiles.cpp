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

FileResult AppendTextLine(Env* env, const std::string& path, std::string_view line) {
  std::string text;
  text.reserve(line.size() + 1);
  text.append(line);
  text.push_back('\n');

  std::unique_ptr<WritableFile> file;
  Status status = env->NewTextFile(path, OpenMode::kAppend, &file);
  if (!status.ok()) return {FileStep::kOpen, status};
  // Without the length before the append, a failed write could not be cut
  // back, so nothing is written at all.
  std::uint64_t size_before = 0;
  status = file->Size(&size_before);
  if (!status.ok()) {
    file->Close();
    return {FileStep::kOpen, status};
  }

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
    const Status cut = env->TruncateFile(path, size_before);
    if (!cut.ok())
      status = Status::Error(status.message() + "; cutting back failed: " + cut.message());
  }
  return {failed, status};
}

}  // namespace platform
