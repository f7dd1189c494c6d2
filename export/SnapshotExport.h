// One export of the snapshot, in two steps: read what the game knows, then
// write it. The plugin remembers the ratings read in between, so that a read
// without a write (during an online match) refreshes that memory the same way.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "export/GameSource.h"
#include "export/TallyLoomAccount.h"

struct SnapshotReading {
  std::optional<TallyLoomAccount> account;
  // Every ranked playlist with data, in table order; none without an account.
  std::vector<TallyLoomPlaylistMmr> playlists;
};

// The account once, then the seven ratings.
SnapshotReading ReadSnapshot(GameSource& game);

struct ExportOutcome {
  bool written = false;
  // The console text: the success line when written, the error otherwise.
  std::string message;
  std::string timestamp;  // of the written snapshot
};

// Composes the snapshot from `reading` and replaces the file; `manual` names
// the export in its success line.
ExportOutcome WriteSnapshot(const SnapshotReading& reading, bool manual);
