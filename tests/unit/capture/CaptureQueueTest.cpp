// The capture queue's bookkeeping where no host session can reach it: keys
// that come twice, timers that outlive their capture, and an MMR after that
// lives in the very entry being finalised.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "capture/HistoryLine.h"
#include "tests/support/PluginHarness.h"

namespace {

using Access = TallyLoomMMRTestAccess;

class CaptureQueueTest : public ::testing::Test {
 protected:
  void SetUp() override {
    plugin_ = &harness_.Load();
    // No exports: the history file is the only file written.
    harness_.model().console().TypeIntoConsole({"tallyloom_auto_export", "0"});
    harness_.ClearConsole();
  }

  static TallyLoomPendingMatchCapture Capture(int scoreBlue) {
    TallyLoomPendingMatchCapture capture;
    capture.playlistId = 11;
    capture.playlistName = "Ranked Doubles 2v2";
    capture.scoreBlue = scoreBlue;
    capture.scoreOrange = 1;
    capture.isWin = scoreBlue > 1;
    capture.platform = "steam";
    capture.playerId = "76561198012345678";
    capture.timestamp = "2026-12-06T21:00:00";
    capture.matchKey = kKey;
    capture.mmrBefore = 1000;
    return capture;
  }

  std::string History() const {
    return PluginHarness::ReadFile(harness_.ExportFolder() / "bakkesmod_match_history.jsonl");
  }

  static constexpr const char* kKey = "11:76561198012345678:2026-12-06T21:00:00:3:1";
  PluginHarness harness_;
  TallyLoomMMR* plugin_ = nullptr;
};

TEST_F(CaptureQueueTest, PendingLineCreatesFolderAndFileWithOneWholeLine) {
  ASSERT_FALSE(std::filesystem::exists(harness_.ExportFolder()));
  Access::QueuePendingMatchCapture(*plugin_, Capture(3));
  EXPECT_EQ(
      History(),
      ComposeHistoryLine(Capture(3), TallyLoomDeltaState::Pending, std::nullopt, false) + "\r\n");
  EXPECT_EQ(plugin_->lastError, "");
  EXPECT_EQ(harness_.console(), std::vector<std::string>{"TallyLoom MMR: Queued ranked match "
                                                         "capture for Ranked Doubles 2v2 (3-1)."});
}

TEST_F(CaptureQueueTest, AnEqualKeyOverwritesTheEntry) {
  Access::QueuePendingMatchCapture(*plugin_, Capture(3));
  TallyLoomPendingMatchCapture second = Capture(4);
  second.mmrBefore.reset();
  Access::QueuePendingMatchCapture(*plugin_, second);

  ASSERT_EQ(plugin_->pendingCaptures.size(), 1u);
  const TallyLoomPendingMatchCapture& kept = plugin_->pendingCaptures.at(kKey);
  EXPECT_EQ(kept.scoreBlue, 4);
  EXPECT_FALSE(kept.mmrBefore);
}

TEST_F(CaptureQueueTest, TimersOfAFinishedCaptureDoNothing) {
  Access::QueuePendingMatchCapture(*plugin_, Capture(3));
  Access::FinalizePendingMatchCapture(*plugin_, kKey, TallyLoomDeltaState::Exact, 1009);
  const std::string history = History();
  const std::size_t timers = harness_.model().time().PendingTimerCount();
  harness_.ClearConsole();

  // The first attempt's timer still fires for the key; so might a stray one.
  Access::AdvancePendingMatchCapture(*plugin_, kKey);
  Access::AdvancePendingMatchCapture(*plugin_, "never queued");
  Access::FinalizePendingMatchCapture(*plugin_, kKey, TallyLoomDeltaState::Unknown, 1);

  EXPECT_EQ(harness_.model().time().PendingTimerCount(), timers);
  EXPECT_TRUE(harness_.console().empty());
  EXPECT_EQ(History(), history);
  EXPECT_EQ(plugin_->lastKnownMmr.at(11), 1009);
}

TEST_F(CaptureQueueTest, FinalisingWithTheEntrysOwnLastReading) {
  Access::QueuePendingMatchCapture(*plugin_, Capture(3));
  TallyLoomPendingMatchCapture& entry = plugin_->pendingCaptures.at(kKey);
  entry.captureAttempts = 7;
  entry.lastObservedMmr = 1015;

  // The MMR after is a reference into the entry that finalising removes.
  Access::FinalizePendingMatchCapture(*plugin_, kKey, TallyLoomDeltaState::Unknown,
                                      entry.lastObservedMmr);

  EXPECT_TRUE(plugin_->pendingCaptures.empty());
  EXPECT_EQ(plugin_->lastKnownMmr.at(11), 1015);
  TallyLoomPendingMatchCapture finished = Capture(3);
  finished.captureAttempts = 7;
  EXPECT_EQ(History(),
            ComposeHistoryLine(Capture(3), TallyLoomDeltaState::Pending, std::nullopt, false) +
                "\r\n" + ComposeHistoryLine(finished, TallyLoomDeltaState::Unknown, 1015, true) +
                "\r\n");
}

}  // namespace
