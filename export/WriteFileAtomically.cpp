// Write-then-replace: the content goes to a temporary file beside the target,
// which is moved over the target in one step, so that a reader never sees a
// half-written file.
#include <fmt/format.h>

#include "export/ExportFolder.h"
#include "platform/Env.h"
#include "platform/TextFiles.h"
#include "plugin/TallyLoomMMR.h"

bool TallyLoomMMR::WriteFileAtomically(const std::string& targetPath, const std::string& content) {
  platform::Env* env = platform::Env::Default();

  // The folder almost always exists: the file is opened first, and the
  // folder is looked at only when that fails.
  const std::string temporaryPath = targetPath + kTemporarySuffix;
  platform::FileResult written = platform::WriteTextFile(env, temporaryPath, content);
  if (written.failed == platform::FileStep::kOpen) {
    platform::Status folder;
    switch (CheckFolderAfterFailedOpen(written.status, &folder)) {
      case FolderAfterFailedOpen::kFolderFailed:
        LogError(fmt::format("Failed to create TallyLoom folder: {}", folder.message()));
        return false;
      case FolderAfterFailedOpen::kTryOpenAgain:
        written = platform::WriteTextFile(env, temporaryPath, content);
        break;
      case FolderAfterFailedOpen::kOpenFailed:
        break;
    }
  }
  if (written.failed == platform::FileStep::kOpen) {
    LogError(fmt::format("Failed to open {}", targetPath));
    return false;
  }
  if (!written.ok()) {
    // A temporary file that may be incomplete is never moved onto the target.
    LogError(fmt::format("Failed to write {}", targetPath));
    return false;
  }

  if (!env->RenameFile(temporaryPath, targetPath).ok()) {
    LogError("Failed to replace TallyLoom export file.");
    return false;
  }
  ClearStandingError(ErrorKind::kGeneral);
  return true;
}
