#include "export/ExportFiles.h"

#include <fmt/format.h>

#include <functional>

#include "export/ExportFolder.h"
#include "platform/Env.h"
#include "platform/TextFiles.h"

namespace {

struct FolderWrite {
  platform::FileResult file;
  std::optional<platform::Status> folderFailure;
};

// The folder almost always exists, so the file is opened first. Only when
// that open fails is the folder made, as it always was, so that a missing
// folder, a file in its place or a path that is too long is named as a folder
// failure; when the open said the folder was missing and it is there now, the
// write is worth one more try.
FolderWrite WriteInExportFolder(const std::function<platform::FileResult()>& write) {
  FolderWrite result{write(), std::nullopt};
  if (result.file.failed != platform::FileStep::kOpen) return result;
  platform::Status folder = platform::Env::Default()->CreateDirectories(GetExportFolder());
  if (!folder.ok()) {
    result.folderFailure = std::move(folder);
  } else if (result.file.status.IsNotFound()) {
    result.file = write();
  }
  return result;
}

}  // namespace

std::optional<std::string> WriteFileAtomically(const std::string& targetPath,
                                               const std::string& content) {
  platform::Env* env = platform::Env::Default();
  const std::string temporaryPath = targetPath + kTemporarySuffix;
  const FolderWrite written =
      WriteInExportFolder([&] { return platform::WriteTextFile(env, temporaryPath, content); });
  if (written.folderFailure) {
    return fmt::format("Failed to create TallyLoom folder: {}", written.folderFailure->message());
  }
  if (written.file.failed == platform::FileStep::kOpen) {
    return fmt::format("Failed to open {}", targetPath);
  }
  // A temporary file that may be incomplete is never moved onto the target.
  if (!written.file.ok()) return fmt::format("Failed to write {}", targetPath);
  if (!env->RenameFile(temporaryPath, targetPath).ok()) {
    return "Failed to replace TallyLoom export file.";
  }
  return std::nullopt;
}

std::optional<std::string> AppendMatchHistoryLine(const std::string& line) {
  platform::Env* env = platform::Env::Default();
  const std::string path = ExportFilePath(kMatchHistoryFileName);
  // A failed write or close is rolled back to the previous length, and a file
  // that ends in a partial line gets a line end first, so every line the
  // plugin writes is whole.
  const FolderWrite appended =
      WriteInExportFolder([&] { return platform::AppendTextLine(env, path, line); });
  if (appended.folderFailure) {
    return fmt::format("Failed to create TallyLoom folder for match history: {}",
                       appended.folderFailure->message());
  }
  if (!appended.file.ok()) return "Failed to append TallyLoom match history.";
  return std::nullopt;
}
