// When the snapshot exports by itself, as plain tables: what the 20-second
// timer does in each place of the game, and the throttles.
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "capture/CaptureMachine.h"
#include "export/ExportSchedule.h"

namespace {

using std::chrono::nanoseconds;

TEST(ExportScheduleTest, WhatThePeriodicTimerDoesInEachPlace) {
  // The place as the answers that are true: game (offline play), online,
  // freeplay, replay; and the questions asked, in order, up to the first true
  // one, then freeplay again and the online match when needed.
  const struct {
    const char* place;
    std::string truths;
    bool enabled;
    bool autoExport;
    PeriodicWork work;
    std::string reason;
    std::string asked;
  } cases[] = {
      {"menus", "", true, true, PeriodicWork::kExport, "Menu export", "gfro"},
      {"freeplay", "gf", true, true, PeriodicWork::kExport, "Freeplay poll export", "gf"},
      {"training", "g", true, true, PeriodicWork::kNothing, "", "gfo"},
      {"replay", "r", true, true, PeriodicWork::kNothing, "", "gfrfo"},
      // No file changes during an online match, but the ratings are read
      // into memory; with either switch off the game is not asked at all.
      {"online match", "o", true, true, PeriodicWork::kReadRatings, "", "gfro"},
      {"online match, automatic export off", "o", true, false, PeriodicWork::kNothing, "", ""},
      {"online match, plugin off", "o", false, true, PeriodicWork::kNothing, "", ""},
      {"menus, automatic export off", "", true, false, PeriodicWork::kNothing, "", ""},
      {"freeplay, plugin off", "gf", false, true, PeriodicWork::kNothing, "", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.place);
    std::string asked;
    const auto answer = [&](char q) {
      return [&, q] {
        asked += q;
        return c.truths.find(q) != std::string::npos;
      };
    };
    const PeriodicDecision run = DecidePeriodicRun(
        c.enabled, c.autoExport, {answer('g'), answer('o'), answer('f'), answer('r')});
    EXPECT_EQ(run.work, c.work);
    EXPECT_EQ(run.reason ? std::string(run.reason) : std::string(), c.reason);
    EXPECT_EQ(asked, c.asked);
  }
}

TEST(ExportScheduleTest, SessionStartsAndFramesExportWithBothSwitchesOnWhenTheyCome) {
  for (const bool enabled : {false, true}) {
    for (const bool autoExport : {false, true}) {
      EXPECT_EQ(SessionStartExports(enabled, autoExport), enabled && autoExport);
      int asked = 0;
      const bool frame = FrameMayExport(enabled, autoExport, [&] {
        ++asked;
        return true;
      });
      EXPECT_EQ(frame, enabled && autoExport);
      EXPECT_EQ(asked, frame ? 1 : 0);  // the game is asked only with both on
    }
  }
  EXPECT_FALSE(FrameMayExport(true, true, [] { return false; }));
}

TEST(ExportScheduleTest, ThrottlesCountFromTheLastEventLetThrough) {
  const nanoseconds start{1'000'000'000'000'000};  // a machine up for a while
  Throttle window{kMatchEndRepeatWindow, std::nullopt};
  EXPECT_TRUE(window.Pass(start));
  EXPECT_FALSE(window.Pass(start + nanoseconds(7'900'000'000)));
  // A refused event does not move the window.
  EXPECT_TRUE(window.Pass(start + nanoseconds(8'000'000'000)));
  EXPECT_FALSE(window.Pass(start + nanoseconds(8'000'000'001)));

  // The frame throttle counts from the clock's zero, and compares in
  // single-precision seconds: 9.999999999 s is 10.0f and lets a frame pass.
  Throttle frames{kFreeplayDrawExportInterval, nanoseconds::zero()};
  EXPECT_FALSE(frames.Pass(nanoseconds(9'000'000'000)));
  EXPECT_TRUE(frames.Pass(start));
  EXPECT_FALSE(frames.Pass(start + nanoseconds(9'900'000'000)));
  EXPECT_TRUE(frames.Pass(start + nanoseconds(9'999'999'999)));
}

}  // namespace
