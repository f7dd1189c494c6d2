// Appends one line to the match history file. The file is opened and closed
// for every line and never rewritten, so the desktop app may keep it open.
#include <fmt/format.h>

#include "capture/HistoryLine.h"
#include "export/ExportFolder.h"
#include "platform/Env.h"
#include "platform/TextFiles.h"
#include "plugin/TallyLoomMMR.h"

void TallyLoomMMR::AppendMatchHistory(const TallyLoomPendingMatchCapture& capture,
                                      TallyLoomDeltaState state,
                                      const std::optional<std::int32_t>& mmrAfter, bool complete) {
  const std::string line = ComposeHistoryLine(capture, state, mmrAfter, complete);

  platform::Env* env = platform::Env::Default();
  const std::string path = ExportFilePath(kMatchHistoryFileName);
  // A failed write or close is rolled back to the previous length, and a file
  // that ends in a partial line gets a line end first, so every line the
  // plugin writes is whole. The folder is made only when the open fails.
  platform::FileResult appended = platform::AppendTextLine(env, path, line);
  if (appended.failed == platform::FileStep::kOpen) {
    platform::Status folder;
    switch (CheckFolderAfterFailedOpen(appended.status, &folder)) {
      case FolderAfterFailedOpen::kFolderFailed:
        LogError(fmt::format("Failed to create TallyLoom folder for match history: {}",
                             folder.message()),
                 ErrorKind::kHistory);
        return;
      case FolderAfterFailedOpen::kTryOpenAgain:
        appended = platform::AppendTextLine(env, path, line);
        break;
      case FolderAfterFailedOpen::kOpenFailed:
        break;
    }
  }
  if (!appended.ok()) {
    LogError("Failed to append TallyLoom match history.", ErrorKind::kHistory);
    return;
  }
  ClearStandingError(ErrorKind::kHistory);
}
