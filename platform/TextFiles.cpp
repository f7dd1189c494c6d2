#include "platform/TextFiles.h"

#include <cstdint>
#include <memory>
#include <optional>

#include "platform/TextMode.h"

namespace platform {
namespace {

// Writes `bytes` and closes the file, naming the step that failed.
FileResult WriteAndClose(WritableFile& file, std::string_view bytes) {
  Status status = file.Append(bytes);
  if (!status.ok()) {
    file.Close();
    return {FileStep::kWrite, status};
  }
  status = file.Close();
  if (!status.ok()) return {FileStep::kClose, status};
  return {};
}

// What must come before a line appended to a file of `size` bytes so that
// the line starts a line of its own. The plugin's line ends are CR LF and a
// CR stands nowhere else, so a last CR is a line end that lacks only its LF.
std::string_view LineEndBefore(WritableFile& file, std::optional<std::uint64_t> size) {
  if (!size || *size == 0) return "";
  char last = 0;
  if (!file.ReadByteAt(*size - 1, &last).ok()) return "";  // no look possible
  if (last == '\n') return "";
  if (last == '\r') return "\n";
  return "\r\n";
}

}  // namespace

FileResult WriteTextFile(Env* env, const std::string& path, std::string_view content) {
  std::unique_ptr<WritableFile> file;
  const Status status = env->NewWritableFile(path, OpenMode::kTruncate, &file);
  if (!status.ok()) return {FileStep::kOpen, status};
  return WriteAndClose(*file, ToTextModeBytes(content));
}

FileResult AppendTextLine(Env* env, const std::string& path, std::string_view line) {
  std::unique_ptr<WritableFile> file;
  const Status status = env->NewWritableFile(path, OpenMode::kAppend, &file);
  if (!status.ok()) return {FileStep::kOpen, status};

  // The length before the append: what a failed write is cut back to.
  std::optional<std::uint64_t> size_before;
  if (std::uint64_t size = 0; file->Size(&size).ok()) size_before = size;

  std::string bytes(LineEndBefore(*file, size_before));
  bytes += ToTextModeBytes(line);
  bytes += "\r\n";
  FileResult result = WriteAndClose(*file, bytes);
  if (!result.ok() && size_before) {
    const Status cut = env->TruncateFile(path, *size_before);
    if (!cut.ok()) {
      result.status =
          Status::Error(result.status.message() + "; cutting back failed: " + cut.message());
    }
  }
  return result;
}

}  // namespace platform
