// --clock is read strictly: no date that does not exist, and no local time
// that the time zone skips or passes twice.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>

#include "host/LocalClock.h"

namespace {

// Runs the test body in a time zone of its own and restores the process's.
class LocalClockTest : public ::testing::Test {
 protected:
  void InZone(const char* zone) {
    setenv("TZ", zone, 1);
    tzset();
  }
  void TearDown() override {
    if (saved_) {
      setenv("TZ", saved_->c_str(), 1);
    } else {
      unsetenv("TZ");
    }
    tzset();
  }
  std::optional<std::string> saved_ =
      std::getenv("TZ") ? std::optional<std::string>(std::getenv("TZ")) : std::nullopt;
};

TEST_F(LocalClockTest, ReadsAValidTimeInTheProcesssZone) {
  InZone("UTC");
  std::int64_t seconds = 0;
  std::string error;
  ASSERT_TRUE(host::ParseLocalClock("2026-12-06T21:00:00", &seconds, &error)) << error;
  EXPECT_EQ(seconds, 1796590800);
  ASSERT_TRUE(host::ParseLocalClock("2028-02-29T23:59:59", &seconds, &error)) << error;
  InZone("Europe/Berlin");
  ASSERT_TRUE(host::ParseLocalClock("2026-12-06T22:00:00", &seconds, &error)) << error;
  EXPECT_EQ(seconds, 1796590800);  // winter: one hour ahead of UTC
  ASSERT_TRUE(host::ParseLocalClock("2026-07-01T12:00:00", &seconds, &error)) << error;
  EXPECT_EQ(seconds, 1782900000);  // summer: two hours ahead
}

TEST_F(LocalClockTest, RefusesWhatIsNoDateOrTimeAndSaysWhy) {
  InZone("UTC");
  const struct {
    const char* text;
    const char* reason;
  } cases[] = {
      {"2026-13-45T25:61:61", "there is no such month"},
      {"2026-00-10T10:00:00", "there is no such month"},
      {"2026-02-29T10:00:00", "the month has no such day"},
      {"2026-04-31T10:00:00", "the month has no such day"},
      {"2026-04-00T10:00:00", "the month has no such day"},
      {"2026-04-30T24:00:00", "the hour is past 23"},
      {"2026-04-30T23:60:00", "the minute is past 59"},
      {"2026-04-30T23:59:60", "the second is past 59"},
      {"1969-12-31T23:59:59", "the year is before 1970"},
      {"2026-4-30T23:59:59", "expected YYYY-MM-DDTHH:MM:SS"},
      {"2026-04-30 23:59:59", "expected YYYY-MM-DDTHH:MM:SS"},
      {"2026-04-30T23:59:59Z", "expected YYYY-MM-DDTHH:MM:SS"},
      {"2026-04-30T+3:59:59", "expected YYYY-MM-DDTHH:MM:SS"},
      {"", "expected YYYY-MM-DDTHH:MM:SS"},
  };
  for (const auto& c : cases) {
    std::int64_t seconds = 7;
    std::string error;
    EXPECT_FALSE(host::ParseLocalClock(c.text, &seconds, &error)) << c.text;
    EXPECT_NE(error.find(c.reason), std::string::npos) << c.text << ": " << error;
    EXPECT_EQ(seconds, 7) << c.text;
  }
}

TEST_F(LocalClockTest, RefusesLocalTimesThatTheZoneSkipsOrRepeats) {
  InZone("Europe/Berlin");
  std::int64_t seconds = 0;
  std::string error;
  EXPECT_FALSE(host::ParseLocalClock("2026-03-29T02:30:00", &seconds, &error));
  EXPECT_NE(error.find("does not exist in TZ=Europe/Berlin"), std::string::npos) << error;
  EXPECT_FALSE(host::ParseLocalClock("2026-10-25T02:30:00", &seconds, &error));
  EXPECT_NE(error.find("happens twice in TZ=Europe/Berlin"), std::string::npos) << error;
  // Either side of the changes is one instant.
  EXPECT_TRUE(host::ParseLocalClock("2026-03-29T03:00:00", &seconds, &error)) << error;
  EXPECT_TRUE(host::ParseLocalClock("2026-10-25T03:00:00", &seconds, &error)) << error;
  EXPECT_TRUE(host::ParseLocalClock("2026-10-25T01:59:59", &seconds, &error)) << error;
}

}  // namespace
