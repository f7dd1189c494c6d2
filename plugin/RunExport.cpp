// One export of the snapshot, whatever asked for it: the game read once, the
// ratings read remembered for the capture rules, the file written, and the
// outcome logged and shown in the tab.
#include <cstdint>

#include "export/SnapshotExport.h"
#include "plugin/SdkGameSource.h"
#include "plugin/TallyLoomMMR.h"

void TallyLoomMMR::ExportSnapshot(bool manual, const std::string& reason) {
  SdkGameSource source(*gameWrapper);
  const SnapshotReading reading = ReadSnapshot(source);
  // Remembered whatever becomes of the write: the ratings were read.
  captures_.Remember(reading.playlists);
  const ExportOutcome outcome = WriteSnapshot(reading, manual);
  if (!outcome.written) {
    LogError(outcome.message);
    return;
  }
  tab_.Update([&](TabRows& rows) {
    rows.Succeed(ErrorKind::kGeneral);
    rows.lastSnapshotExportAt = outcome.timestamp;
    rows.lastExportReason = reason;
    rows.exportedPlaylists = static_cast<std::int32_t>(reading.playlists.size());
  });
  Log(outcome.message);
}
