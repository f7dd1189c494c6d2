// A captured match waits here until the rating service has synced its new
// MMR: timed readings decide "exact" or, when they cannot, "unknown".
#include <fmt/format.h>

#include "export/Timestamp.h"
#include "plugin/TallyLoomMMR.h"

namespace {

constexpr float kFirstAttemptDelaySeconds = 7.0f;
constexpr float kNextAttemptDelaySeconds = 2.0f;
constexpr int kMaxAttempts = 7;
constexpr int kStableReadingsNeeded = 2;
constexpr float kDelayedExportSeconds = 15.0f;

}  // namespace

void TallyLoomMMR::QueuePendingMatchCapture(const TallyLoomPendingMatchCapture& capture) {
  pendingCaptures[capture.matchKey] = capture;
  AppendMatchHistory(capture, TallyLoomDeltaState::Pending, std::nullopt, false);
  SetGuardedTimeout([this, key = capture.matchKey] { AdvancePendingMatchCapture(key); },
                    kFirstAttemptDelaySeconds);
  Log(fmt::format("Queued ranked match capture for {} ({}-{}).", capture.playlistName,
                  capture.scoreBlue, capture.scoreOrange));
}

void TallyLoomMMR::AdvancePendingMatchCapture(const std::string& matchKey) {
  auto it = pendingCaptures.find(matchKey);
  if (it == pendingCaptures.end()) return;
  TallyLoomPendingMatchCapture& capture = it->second;
  ++capture.captureAttempts;

  std::int32_t mmr = 0;
  bool syncing = false;
  if (TryGetPlaylistMmr(capture.playlistId, mmr, &syncing)) {
    if (capture.lastObservedMmr && *capture.lastObservedMmr == mmr) {
      ++capture.stableReadings;
    } else {
      capture.lastObservedMmr = mmr;
      capture.stableReadings = 1;
    }
    const bool stable = capture.stableReadings >= kStableReadingsNeeded;
    if (!syncing) {
      if (capture.mmrBefore && *capture.mmrBefore != mmr) {
        // A changed value is the new rating at its first reading.
        FinalizePendingMatchCapture(matchKey, TallyLoomDeltaState::Exact, mmr);
        return;
      }
      if (capture.mmrBefore && stable) {
        FinalizePendingMatchCapture(matchKey, TallyLoomDeltaState::Exact, mmr);
        return;
      }
      if (!capture.mmrBefore && stable) {
        FinalizePendingMatchCapture(matchKey, TallyLoomDeltaState::Unknown, mmr);
        return;
      }
    }
  }

  if (capture.captureAttempts >= kMaxAttempts) {
    const std::optional<std::int32_t> lastObserved = capture.lastObservedMmr;
    FinalizePendingMatchCapture(matchKey, TallyLoomDeltaState::Unknown, lastObserved);
    return;
  }
  SetGuardedTimeout([this, key = matchKey] { AdvancePendingMatchCapture(key); },
                    kNextAttemptDelaySeconds);
}

void TallyLoomMMR::FinalizePendingMatchCapture(const std::string& matchKey,
                                               TallyLoomDeltaState state,
                                               const std::optional<std::int32_t>& mmrAfterIn) {
  auto it = pendingCaptures.find(matchKey);
  if (it == pendingCaptures.end()) return;
  // Copies first: the caller may pass a value that lives in the entry.
  const std::optional<std::int32_t> mmrAfter = mmrAfterIn;
  const TallyLoomPendingMatchCapture capture = it->second;
  pendingCaptures.erase(it);

  if (mmrAfter) {
    lastKnownMmr[capture.playlistId] = *mmrAfter;
  } else if (capture.mmrBefore) {
    lastKnownMmr[capture.playlistId] = *capture.mmrBefore;
  }

  AppendMatchHistory(capture, state, mmrAfter, true);
  lastMatchCapture = CurrentTimestamp();

  if (state == TallyLoomDeltaState::Exact && capture.mmrBefore && mmrAfter) {
    Log(fmt::format("Captured exact {} delta of {} for {}.", capture.isWin ? "win" : "loss",
                    *mmrAfter - *capture.mmrBefore, capture.playlistName));
  } else {
    Log(fmt::format("Captured {} match record for {}.", DeltaStateText(state),
                    capture.playlistName));
  }

  if (IsAutoExportOn()) {
    ExportSnapshot(false, "Post-match export");
    SetGuardedTimeout(
        [this] {
          if (IsEnabled() && IsAutoExportOn()) {
            ExportSnapshot(false, "Delayed post-match export (MMR sync retry)");
          }
        },
        kDelayedExportSeconds);
  }
}
