// The pure rules behind the snapshot's numbers and names: which rating readings
// count as data and how they become whole MMR, which ids are Steam ids, and the
// playlists that are not ranked.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "export/RankedPlaylists.h"

namespace {

TEST(RoundMmrReadingTest, RoundsHalfAwayFromZeroAndKeepsAtLeastOne) {
  EXPECT_EQ(RoundMmrReading(1234.5f), 1235);
  EXPECT_EQ(RoundMmrReading(1234.49f), 1234);
  EXPECT_EQ(RoundMmrReading(0.5f), 1);
  EXPECT_EQ(RoundMmrReading(1.0f), 1);
  EXPECT_EQ(RoundMmrReading(2.5f), 3);  // not to even
  EXPECT_EQ(RoundMmrReading(0.4f), std::nullopt);
  EXPECT_EQ(RoundMmrReading(0.0f), std::nullopt);
  EXPECT_EQ(RoundMmrReading(-0.0f), std::nullopt);
  EXPECT_EQ(RoundMmrReading(-1.0f), std::nullopt);
  EXPECT_EQ(RoundMmrReading(-0.4f), std::nullopt);
}

TEST(RoundMmrReadingTest, TheBandAroundOneHundredIsNoData) {
  EXPECT_EQ(RoundMmrReading(98.9f), 99);
  EXPECT_EQ(RoundMmrReading(std::nextafter(99.0f, 0.0f)), 99);
  EXPECT_EQ(RoundMmrReading(99.0f), std::nullopt);
  EXPECT_EQ(RoundMmrReading(100.0f), std::nullopt);
  EXPECT_EQ(RoundMmrReading(100.99f), std::nullopt);
  EXPECT_EQ(RoundMmrReading(std::nextafter(101.0f, 0.0f)), std::nullopt);
  EXPECT_EQ(RoundMmrReading(101.0f), 101);
}

TEST(RoundMmrReadingTest, ReadingsNoIntegerCanHoldFailWithoutOverflow) {
  constexpr float kInfinity = std::numeric_limits<float>::infinity();
  EXPECT_EQ(RoundMmrReading(std::numeric_limits<float>::quiet_NaN()), std::nullopt);
  EXPECT_EQ(RoundMmrReading(-std::numeric_limits<float>::quiet_NaN()), std::nullopt);
  EXPECT_EQ(RoundMmrReading(kInfinity), std::nullopt);
  EXPECT_EQ(RoundMmrReading(-kInfinity), std::nullopt);
  EXPECT_EQ(RoundMmrReading(std::numeric_limits<float>::max()), std::nullopt);
  EXPECT_EQ(RoundMmrReading(2147483648.0f), std::nullopt);  // 2^31
  // The largest float below 2^31 still fits.
  EXPECT_EQ(RoundMmrReading(std::nextafter(2147483648.0f, 0.0f)), 2147483520);
}

TEST(PlatformOfPlayerIdTest, FifteenToTwentyDigitsAreSteamAnythingElseEpic) {
  EXPECT_EQ(PlatformOfPlayerId("76561198012345678"), "steam");
  EXPECT_EQ(PlatformOfPlayerId("100000000000000"), "steam");       // 15 digits
  EXPECT_EQ(PlatformOfPlayerId("12345678901234567890"), "steam");  // 20 digits
  EXPECT_EQ(PlatformOfPlayerId("10000000000000"), "epic");         // 14 digits
  EXPECT_EQ(PlatformOfPlayerId("123456789012345678901"), "epic");  // 21 digits
  EXPECT_EQ(PlatformOfPlayerId("0123456789abcdef0123456789abcdef"), "epic");
  EXPECT_EQ(PlatformOfPlayerId("00"), "epic");
  EXPECT_EQ(PlatformOfPlayerId("7656119801234567 "), "epic");  // no trimming
  EXPECT_EQ(PlatformOfPlayerId("+7656119801234567"), "epic");
  EXPECT_EQ(PlatformOfPlayerId("7656119801234567\xd9\xa1"), "epic");  // Arabic-Indic digit
}

// The seven names and their order are in the snapshot-all-playlists scenario,
// byte for byte; every other id, negative and extreme ones included, is Unknown.
TEST(RankedPlaylistsTest, AnyOtherPlaylistIsUnknown) {
  for (std::int32_t other : {12, 0, -1, 6, 34, std::numeric_limits<std::int32_t>::min(),
                             std::numeric_limits<std::int32_t>::max()}) {
    EXPECT_EQ(GetPlaylistName(other), "Unknown") << other;
  }
}

}  // namespace
