// What the settings tab shows of the plugin: its status, the rows of its last
// export and capture, and the failures that stand. The game thread writes it,
// the render thread copies it once a frame. Its lock is held only while the
// rows are copied or changed, never while anything else is called, so that
// neither thread ever waits for the other's host calls or file I/O.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>

enum class ErrorKind { kGeneral, kHistory };

struct TabRows {
  std::string statusMessage;  // the last line logged
  std::string lastError;      // the failure that stands, if any
  std::string loadedAt;
  std::string lastSnapshotExportAt;
  std::string lastExportReason;
  std::string lastMatchCapture;
  std::int32_t exportedPlaylists = 0;
  std::size_t pendingCaptures = 0;

  // A failure stands until a success of its kind: a written snapshot ends
  // every failure but the history file's, a written history line ends only
  // those. Of two that stand, the later shows.
  void Fail(const std::string& message, ErrorKind kind);
  void Succeed(ErrorKind kind);

 private:
  std::string standingGeneralError_;
  std::string standingHistoryError_;
};

class TabState {
 public:
  TabRows Rows() const {
    std::lock_guard lock(mutex_);
    return rows_;
  }
  // `change` may touch the rows only.
  template <class Change>
  void Update(Change&& change) {
    std::lock_guard lock(mutex_);
    change(rows_);
  }

 private:
  mutable std::mutex mutex_;
  TabRows rows_;
};
