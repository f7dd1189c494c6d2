// The capture rules: a ranked match on its way from its end to its history
// lines. Match ends and rating readings go in; history records to append,
// readings to schedule and lines to say come out, for the plugin to carry out
// in that order. It keeps the memory of the last MMR seen per playlist, from
// which the next match takes its MMR before. It knows nothing of the host,
// sets no timer and takes no lock: the plugin calls it on the game thread.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "capture/TallyLoomPendingMatchCapture.h"
#include "export/ExportSchedule.h"
#include "export/GameSource.h"
#include "export/TallyLoomAccount.h"

// Both match-end events fire for one match: a second end within this window
// is the same match.
inline constexpr TimerDelay kMatchEndRepeatWindow{8.0f};
inline constexpr TimerDelay kFirstReadingDelay{7.0f};
inline constexpr TimerDelay kNextReadingDelay{2.0f};
inline constexpr int kMaxReadings = 7;

// One history line to append.
struct HistoryRecord {
  TallyLoomPendingMatchCapture capture;
  TallyLoomDeltaState state = TallyLoomDeltaState::Pending;
  std::optional<std::int32_t> mmrAfter;
  bool complete = false;
};

// What the plugin does after a step of the machine, in this order.
struct CaptureStep {
  std::string matchKey;
  std::optional<HistoryRecord> append;    // 1. this history line
  bool finished = false;                  // 2. a capture ended
  std::optional<TimerDelay> readAgainIn;  // 3. a timer that calls Advance
  std::string say;                        // 4. a console line, when not empty
  // 5. With automatic export on when a capture ends, an export at once (the
  // plugin's switch is not asked), and 6. a timer for the delayed one.
  bool exportNow = false;
  std::optional<TimerDelay> delayedExportIn;
};

class CaptureMachine {
 public:
  // The MMR before a match in `playlistId`: the memory comes first, since the
  // service may already report the new rating by the time the match ends;
  // `askService` is called only when the memory has nothing for the playlist.
  std::optional<std::int32_t> MmrBefore(
      std::int32_t playlistId,
      const std::function<std::optional<std::int32_t>()>& askService) const;

  // A match that ended; a capture with the same key takes the place of the old.
  CaptureStep Queue(const TallyLoomPendingMatchCapture& capture);

  // One timed reading for the capture of `matchKey`. `read` is called only
  // while that capture is pending; after it has ended the step is empty.
  // `autoExport` is the switch as it is now.
  CaptureStep Advance(const std::string& matchKey, bool autoExport,
                      const std::function<RatingReading(std::int32_t playlistId)>& read);

  // Ratings read from the service (by an export, or the timer's read during
  // an online match) replace what the memory holds for their playlists.
  void Remember(const std::vector<TallyLoomPlaylistMmr>& ratings);

  const std::unordered_map<std::int32_t, std::int32_t>& remembered() const { return remembered_; }
  std::size_t pendingCount() const { return pending_.size(); }

 private:
  CaptureStep Finish(const std::string& matchKey, TallyLoomDeltaState state,
                     std::optional<std::int32_t> mmrAfter, bool autoExport);

  std::unordered_map<std::int32_t, std::int32_t> remembered_;
  std::unordered_map<std::string, TallyLoomPendingMatchCapture> pending_;
};
