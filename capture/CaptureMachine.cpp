#include "capture/CaptureMachine.h"

#include <fmt/format.h>

#include <utility>

std::optional<std::int32_t> CaptureMachine::MmrBefore(
    std::int32_t playlistId, const std::function<std::optional<std::int32_t>()>& askService) const {
  if (auto known = remembered_.find(playlistId); known != remembered_.end()) return known->second;
  return askService();
}

CaptureStep CaptureMachine::Queue(const TallyLoomPendingMatchCapture& capture) {
  pending_[capture.matchKey] = capture;
  CaptureStep step;
  step.matchKey = capture.matchKey;
  step.append = HistoryRecord{capture, TallyLoomDeltaState::Pending, std::nullopt, false};
  step.readAgainIn = kFirstReadingDelay;
  step.say = fmt::format("Queued ranked match capture for {} ({}-{}).", capture.playlistName,
                         capture.scoreBlue, capture.scoreOrange);
  return step;
}

CaptureStep CaptureMachine::Advance(const std::string& matchKey, bool autoExport,
                                    const std::function<RatingReading(std::int32_t)>& read) {
  auto it = pending_.find(matchKey);
  if (it == pending_.end()) return {};
  TallyLoomPendingMatchCapture& capture = it->second;
  ++capture.captureAttempts;

  const RatingReading reading = read(capture.playlistId);
  if (reading.mmr) {
    const std::int32_t mmr = *reading.mmr;
    if (capture.lastObservedMmr == mmr) {
      ++capture.stableReadings;
    } else {
      capture.lastObservedMmr = mmr;
      capture.stableReadings = 1;
    }
    // Only a reading taken while the service is not syncing decides: a
    // changed value at once, the same value read twice in a row too.
    const bool stable = capture.stableReadings >= 2;
    if (!reading.syncing) {
      if (capture.mmrBefore && (*capture.mmrBefore != mmr || stable)) {
        return Finish(matchKey, TallyLoomDeltaState::Exact, mmr, autoExport);
      }
      if (!capture.mmrBefore && stable) {
        return Finish(matchKey, TallyLoomDeltaState::Unknown, mmr, autoExport);
      }
    }
  }

  if (capture.captureAttempts >= kMaxReadings) {
    return Finish(matchKey, TallyLoomDeltaState::Unknown, capture.lastObservedMmr, autoExport);
  }
  CaptureStep step;
  step.matchKey = matchKey;
  step.readAgainIn = kNextReadingDelay;
  return step;
}

CaptureStep CaptureMachine::Finish(const std::string& matchKey, TallyLoomDeltaState state,
                                   std::optional<std::int32_t> mmrAfter, bool autoExport) {
  auto it = pending_.find(matchKey);
  TallyLoomPendingMatchCapture capture = std::move(it->second);
  pending_.erase(it);

  if (mmrAfter) {
    remembered_[capture.playlistId] = *mmrAfter;
  } else if (capture.mmrBefore) {
    remembered_[capture.playlistId] = *capture.mmrBefore;
  }

  CaptureStep step;
  step.matchKey = matchKey;
  step.finished = true;
  step.exportNow = autoExport;
  if (autoExport) step.delayedExportIn = kDelayedPostMatchExportDelay;
  if (state == TallyLoomDeltaState::Exact && capture.mmrBefore && mmrAfter) {
    step.say = fmt::format("Captured exact {} delta of {} for {}.", capture.isWin ? "win" : "loss",
                           *mmrAfter - *capture.mmrBefore, capture.playlistName);
  } else {
    step.say = fmt::format("Captured {} match record for {}.", DeltaStateText(state),
                           capture.playlistName);
  }
  step.append = HistoryRecord{std::move(capture), state, mmrAfter, true};
  return step;
}

void CaptureMachine::Remember(const std::vector<TallyLoomPlaylistMmr>& ratings) {
  for (const TallyLoomPlaylistMmr& rating : ratings) remembered_[rating.playlistId] = rating.mmr;
}
