// One match-history line as it is composed in memory: the members and their
// order, what stands in for a missing MMR, and which texts are escaped.
#include <gtest/gtest.h>

#include <climits>
#include <locale>
#include <optional>
#include <string>

#include "capture/HistoryLine.h"
#include "capture/TallyLoomPendingMatchCapture.h"

namespace {

constexpr const char* kPendingDoubles =
    R"({"timestamp":"2026-12-06T21:14:05","playlist_id":"11","playlist_name":"Ranked Doubles 2v2",)"
    R"("schema_version":3,"plugin_version":"2.0.0.7",)"
    R"("match_key":"11:76561198012345678:2026-12-06T21:14:05:3:1","score_blue":3,"score_orange":1,)"
    R"("is_win":true,"mmr":1000,"mmr_before":1000,"mmr_after":null,"mmr_delta":null,)"
    R"("mmr_delta_valid":false,"delta_state":"pending","capture_attempts":0,)"
    R"("capture_complete":false,"platform":"steam","player_id":"76561198012345678"})";

constexpr const char* kExactDoubles =
    R"({"timestamp":"2026-12-06T21:14:05","playlist_id":"11","playlist_name":"Ranked Doubles 2v2",)"
    R"("schema_version":3,"plugin_version":"2.0.0.7",)"
    R"("match_key":"11:76561198012345678:2026-12-06T21:14:05:3:1","score_blue":3,"score_orange":1,)"
    R"("is_win":true,"mmr":1009,"mmr_before":1000,"mmr_after":1009,"mmr_delta":9,)"
    R"("mmr_delta_valid":true,"delta_state":"exact","capture_attempts":1,)"
    R"("capture_complete":true,"platform":"steam","player_id":"76561198012345678"})";

// A won doubles match, 3 to 1, with 1000 MMR before.
TallyLoomPendingMatchCapture WonDoubles() {
  TallyLoomPendingMatchCapture capture;
  capture.playlistId = 11;
  capture.playlistName = "Ranked Doubles 2v2";
  capture.scoreBlue = 3;
  capture.scoreOrange = 1;
  capture.isWin = true;
  capture.platform = "steam";
  capture.playerId = "76561198012345678";
  capture.timestamp = "2026-12-06T21:14:05";
  capture.matchKey = "11:76561198012345678:2026-12-06T21:14:05:3:1";
  capture.mmrBefore = 1000;
  return capture;
}

// The raw text of one member's value: a string with its quotes, or a bare
// value up to the next comma or the closing brace.
std::string Member(const std::string& line, const std::string& key) {
  const std::string opener = "\"" + key + "\":";
  const std::size_t start = line.find(opener);
  if (start == std::string::npos) return "<missing>";
  std::size_t pos = start + opener.size();
  std::size_t end = pos;
  if (line[pos] == '"') {
    for (end = pos + 1; end < line.size() && line[end] != '"'; ++end) {
      if (line[end] == '\\') ++end;
    }
    ++end;
  } else {
    end = line.find_first_of(",}", pos);
  }
  return line.substr(pos, end - pos);
}

TEST(HistoryLineTest, BothLinesOfAnExactCaptureByteForByte) {
  TallyLoomPendingMatchCapture capture = WonDoubles();
  EXPECT_EQ(ComposeHistoryLine(capture, TallyLoomDeltaState::Pending, std::nullopt, false),
            kPendingDoubles);

  // What the attempts leave in the record must not leak into the line beyond
  // the attempt count.
  capture.captureAttempts = 1;
  capture.lastObservedMmr = 1009;
  capture.stableReadings = 1;
  EXPECT_EQ(ComposeHistoryLine(capture, TallyLoomDeltaState::Exact, 1009, true), kExactDoubles);
}

TEST(HistoryLineTest, MissingValuesAreNullAndMmrFallsBack) {
  TallyLoomPendingMatchCapture capture = WonDoubles();
  capture.captureAttempts = 7;

  // Given up without a reading: "mmr" falls back to the MMR before.
  std::string line = ComposeHistoryLine(capture, TallyLoomDeltaState::Unknown, std::nullopt, true);
  EXPECT_EQ(Member(line, "mmr"), "1000");
  EXPECT_EQ(Member(line, "mmr_before"), "1000");
  EXPECT_EQ(Member(line, "mmr_after"), "null");
  EXPECT_EQ(Member(line, "mmr_delta"), "null");
  EXPECT_EQ(Member(line, "mmr_delta_valid"), "false");
  EXPECT_EQ(Member(line, "delta_state"), "\"unknown\"");
  EXPECT_EQ(Member(line, "capture_attempts"), "7");
  EXPECT_EQ(Member(line, "capture_complete"), "true");

  // No MMR before and none after: every MMR member is null.
  capture.mmrBefore.reset();
  line = ComposeHistoryLine(capture, TallyLoomDeltaState::Unknown, std::nullopt, true);
  EXPECT_EQ(Member(line, "mmr"), "null");
  EXPECT_EQ(Member(line, "mmr_before"), "null");

  // No MMR before, a settled reading of 1200: a value but no delta.
  capture.captureAttempts = 2;
  line = ComposeHistoryLine(capture, TallyLoomDeltaState::Unknown, 1200, true);
  EXPECT_EQ(Member(line, "mmr"), "1200");
  EXPECT_EQ(Member(line, "mmr_before"), "null");
  EXPECT_EQ(Member(line, "mmr_after"), "1200");
  EXPECT_EQ(Member(line, "mmr_delta"), "null");

  // "unknown" with both values still has no delta.
  capture.mmrBefore = 1000;
  line = ComposeHistoryLine(capture, TallyLoomDeltaState::Unknown, 1015, true);
  EXPECT_EQ(Member(line, "mmr_delta"), "null");
  EXPECT_EQ(Member(line, "mmr_delta_valid"), "false");

  // "exact" names the state, even where a value for the delta is missing.
  capture.mmrBefore.reset();
  line = ComposeHistoryLine(capture, TallyLoomDeltaState::Exact, 1015, true);
  EXPECT_EQ(Member(line, "mmr_delta"), "null");
  EXPECT_EQ(Member(line, "mmr_delta_valid"), "true");
}

TEST(HistoryLineTest, DeltaIsAfterMinusBeforeWithItsSign) {
  TallyLoomPendingMatchCapture capture = WonDoubles();
  capture.isWin = false;
  capture.scoreBlue = 0;
  capture.scoreOrange = 2;
  capture.captureAttempts = 1;
  std::string line = ComposeHistoryLine(capture, TallyLoomDeltaState::Exact, 991, true);
  EXPECT_EQ(Member(line, "is_win"), "false");
  EXPECT_EQ(Member(line, "mmr"), "991");
  EXPECT_EQ(Member(line, "mmr_delta"), "-9");

  line = ComposeHistoryLine(capture, TallyLoomDeltaState::Exact, 1000, true);
  EXPECT_EQ(Member(line, "mmr_delta"), "0");
  EXPECT_EQ(Member(line, "mmr_delta_valid"), "true");

  // The widest change two valid ratings can have does not overflow.
  capture.mmrBefore = 1;
  line = ComposeHistoryLine(capture, TallyLoomDeltaState::Exact, INT_MAX, true);
  EXPECT_EQ(Member(line, "mmr_delta"), "2147483646");
  capture.mmrBefore = INT_MAX;
  line = ComposeHistoryLine(capture, TallyLoomDeltaState::Exact, 1, true);
  EXPECT_EQ(Member(line, "mmr_delta"), "-2147483646");
}

TEST(HistoryLineTest, NumbersAreSignedDecimalsWithoutGrouping) {
  TallyLoomPendingMatchCapture capture = WonDoubles();
  capture.playlistId = -3;
  capture.scoreBlue = INT_MIN;
  capture.scoreOrange = 0;
  capture.mmrBefore = 1234567;

  // A user locale that groups digits must not reach the file.
  struct Grouping : std::numpunct<char> {
    char do_thousands_sep() const override { return '.'; }
    std::string do_grouping() const override { return "\3"; }
  };
  const std::locale previous =
      std::locale::global(std::locale(std::locale::classic(), new Grouping));
  const std::string line =
      ComposeHistoryLine(capture, TallyLoomDeltaState::Pending, std::nullopt, false);
  std::locale::global(previous);

  EXPECT_EQ(Member(line, "playlist_id"), "\"-3\"");
  EXPECT_EQ(Member(line, "score_blue"), "-2147483648");
  EXPECT_EQ(Member(line, "score_orange"), "0");
  EXPECT_EQ(Member(line, "mmr_before"), "1234567");
  EXPECT_EQ(Member(line, "schema_version"), "3");
}

TEST(HistoryLineTest, GameTextsAreEscapedMachineTextsAreNot) {
  TallyLoomPendingMatchCapture capture = WonDoubles();
  capture.playlistName = "Q\"B\\T\tL\nR\r\x01\x1f\x7f\xc3\xa9";
  capture.playerId = "ab\"c\\d";
  capture.matchKey = "11:ab\"c\\d:2026-12-06T21:14:05:3:1";
  // Made by the plugin itself, so written as they are, whatever they hold.
  capture.platform = "ep\"ic";
  capture.timestamp = "2026\\12";

  const std::string line =
      ComposeHistoryLine(capture, TallyLoomDeltaState::Pending, std::nullopt, false);
  EXPECT_EQ(Member(line, "playlist_name"), "\"Q\\\"B\\\\T\\tL\\nR\\r\x7f\xc3\xa9\"");
  EXPECT_EQ(Member(line, "player_id"), "\"ab\\\"c\\\\d\"");
  EXPECT_EQ(Member(line, "match_key"), "\"11:ab\\\"c\\\\d:2026-12-06T21:14:05:3:1\"");
  EXPECT_NE(line.find(",\"platform\":\"ep\"ic\","), std::string::npos) << line;
  EXPECT_EQ(line.rfind("{\"timestamp\":\"2026\\12\",", 0), 0u) << line;
}

// The three texts are in every scenario's history file; what only this
// checks is a value outside the three.
TEST(HistoryLineTest, AnyOtherStateIsUnknown) {
  EXPECT_STREQ(DeltaStateText(static_cast<TallyLoomDeltaState>(3)), "unknown");
  EXPECT_STREQ(DeltaStateText(static_cast<TallyLoomDeltaState>(-1)), "unknown");

  // A state outside the three is written as "unknown", without a delta.
  const std::string line =
      ComposeHistoryLine(WonDoubles(), static_cast<TallyLoomDeltaState>(7), 1009, true);
  EXPECT_EQ(Member(line, "delta_state"), "\"unknown\"");
  EXPECT_EQ(Member(line, "mmr_delta"), "null");
  EXPECT_EQ(Member(line, "mmr_delta_valid"), "false");
}

}  // namespace
