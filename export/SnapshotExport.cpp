#include "export/SnapshotExport.h"

#include <fmt/format.h>

#include "export/ExportFiles.h"
#include "export/ExportFolder.h"
#include "export/RankedPlaylists.h"
#include "export/SnapshotFile.h"
#include "export/Timestamp.h"

SnapshotReading ReadSnapshot(GameSource& game) {
  SnapshotReading reading;
  reading.account = game.ResolveAccount();
  if (!reading.account) return reading;
  for (const RankedPlaylist& playlist : kRankedPlaylists) {
    if (const std::optional<std::int32_t> mmr = game.ReadRating(playlist.id).mmr) {
      reading.playlists.push_back({playlist.id, playlist.name, *mmr});
    }
  }
  return reading;
}

ExportOutcome WriteSnapshot(const SnapshotReading& reading, bool manual) {
  ExportOutcome outcome;
  if (!reading.account) {
    outcome.message =
        "Could not resolve the Rocket League account yet. Open freeplay, the main menu, or finish "
        "a ranked match.";
    return outcome;
  }
  if (reading.playlists.empty()) {
    outcome.message =
        "No ranked MMR is available yet. Make sure BakkesMod MMR is synced and you have ranked "
        "data in at least one playlist.";
    return outcome;
  }

  outcome.timestamp = CurrentTimestamp();
  const std::string content =
      ComposeSnapshot(*reading.account, reading.playlists, outcome.timestamp);
  if (std::optional<std::string> error =
          WriteFileAtomically(ExportFilePath(kSnapshotFileName), content)) {
    outcome.message = std::move(*error);
    return outcome;
  }
  outcome.written = true;
  outcome.message =
      fmt::format("{} exported {} ranked playlists.",
                  manual ? "Manual test export" : "Automatic export", reading.playlists.size());
  return outcome;
}
