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
  const platform::Status folder = env->CreateDirectories(GetExportFolder());
  if (!folder.ok()) {
    LogError(
        fmt::format("Failed to create TallyLoom folder for match history: {}", folder.message()));
    return;
  }
  // A failed write or close is rolled back to the previous length, so the
  // file only ever holds whole lines.
  if (!platform::AppendTextLine(env, ExportFilePath(kMatchHistoryFileName), line).ok()) {
    LogError("Failed to append TallyLoom match history.");
  }
}
