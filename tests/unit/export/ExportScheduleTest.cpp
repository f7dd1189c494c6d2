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
  const GamePlace menu{};
  const GamePlace freeplay{true, false, true, false};
  const GamePlace training{true, false, false, false};
  const GamePlace online{false, true, false, false};
  const GamePlace replay{false, false, false, true};
  const struct {
    const char* place;
    GamePlace where;
    bool enabled;
    bool autoExport;
    PeriodicWork work;
    std::string reason;
  } cases[] = {
      {"menus", menu, true, true, PeriodicWork::kExport, "Menu export"},
      {"freeplay", freeplay, true, true, PeriodicWork::kExport, "Freeplay poll export"},
      {"training", training, true, true, PeriodicWork::kNothing, ""},
      {"replay", replay, true, true, PeriodicWork::kNothing, ""},
      // No file changes during an online match, but the ratings are read
      // into memory; with either switch off nothing is read.
      {"online match", online, true, true, PeriodicWork::kReadRatings, ""},
      {"online match, automatic export off", online, true, false, PeriodicWork::kNothing, ""},
      {"online match, plugin off", online, false, true, PeriodicWork::kNothing, ""},
      {"menus, automatic export off", menu, true, false, PeriodicWork::kNothing, ""},
      {"freeplay, plugin off", freeplay, false, true, PeriodicWork::kNothing, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.place);
    int asked = 0;
    const PeriodicDecision run = DecidePeriodicRun(c.enabled, c.autoExport, [&] {
      ++asked;
      return c.where;
    });
    EXPECT_EQ(run.work, c.work);
    EXPECT_EQ(run.reason ? std::string(run.reason) : std::string(), c.reason);
    // With a switch off the game is not asked at all.
    EXPECT_EQ(asked, c.enabled && c.autoExport ? 1 : 0);
  }
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
