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

  std::uint64_t size_before = 0;
  const bool size_known = env->GetFileSize(path, &size_before).ok();

  std::unique_ptr<WritableFile> file;
  Status status = env->NewTextFile(path, OpenMode::kAppend, &file);
  if (!status.ok()) return {FileStep::kOpen, status};

  FileStep failed = FileStep::kNone;
  status = file->Append(text);
  if (!status.ok()) {
    failed = FileStep::kWrite;
    file->Close();
  } else {
    status = file->Close();
    if (!status.ok()) failed = FileStep::kClose;
  }
  if (failed != FileStep::kNone && size_known) env->TruncateFile(path, size_before);
  return {failed, status};
}

}  // namespace platform
