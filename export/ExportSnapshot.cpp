#include <fmt/format.h>

#include "export/ExportFolder.h"
#include "export/SnapshotFile.h"
#include "export/Timestamp.h"
#include "plugin/TallyLoomMMR.h"

void TallyLoomMMR::ExportSnapshot(bool manual, const std::string& reason) {
  const std::optional<TallyLoomAccount> account = ResolveAccount();
  if (!account) {
    LogError(
        "Could not resolve the Rocket League account yet. Open freeplay, the main menu, or "
        "finish a ranked match.");
    return;
  }

  const std::vector<TallyLoomPlaylistMmr> playlists = CollectRankedPlaylists();
  if (playlists.empty()) {
    LogError(
        "No ranked MMR is available yet. Make sure BakkesMod MMR is synced and you have ranked "
        "data in at least one playlist.");
    return;
  }

  const std::string timestamp = CurrentTimestamp();
  const std::string content = ComposeSnapshot(*account, playlists, timestamp);
  if (!WriteFileAtomically(ExportFilePath(kSnapshotFileName), content)) return;

  ClearStandingError(ErrorKind::kGeneral);
  lastSnapshotExportAt = timestamp;
  lastExportReason = reason;
  lastExportedPlaylistCount = static_cast<std::int32_t>(playlists.size());
  Log(fmt::format("{} exported {} ranked playlists.",
                  manual ? "Manual test export" : "Automatic export", playlists.size()));
}
