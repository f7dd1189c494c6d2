// The capture rules as plain tables: no host, no harness, no files. A match
// ends with an MMR before, the rating service answers each timed reading,
// and the machine decides the final line and what it remembers.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "capture/CaptureMachine.h"
#include "capture/MatchEnd.h"

namespace {

constexpr std::int32_t kDoubles = 11;

TallyLoomPendingMatchCapture Match(std::optional<std::int32_t> before, int scoreBlue = 3) {
  TallyLoomPendingMatchCapture capture;
  capture.playlistId = kDoubles;
  capture.playlistName = "Ranked Doubles 2v2";
  capture.scoreBlue = scoreBlue;
  capture.scoreOrange = 1;
  capture.isWin = scoreBlue > 1;
  capture.platform = "steam";
  capture.playerId = "76561198012345678";
  capture.timestamp = "2026-12-06T21:00:00";
  capture.matchKey = "11:76561198012345678:2026-12-06T21:00:00:3:1";
  capture.mmrBefore = before;
  return capture;
}

// A reading: a trusted value or none, and whether the service was syncing.
RatingReading Read(std::optional<std::int32_t> mmr, bool syncing = false) { return {mmr, syncing}; }
const RatingReading kNoData = Read(std::nullopt);

struct Outcome {
  TallyLoomDeltaState state = TallyLoomDeltaState::Pending;
  std::optional<std::int32_t> mmrAfter;
  int attempts = 0;
  std::optional<std::int32_t> remembered;
  std::string said;
};

// Queues the match and answers each reading from `readings` until the
// capture ends (or the readings run out, which the test reports).
Outcome Play(CaptureMachine& machine, const TallyLoomPendingMatchCapture& match,
             const std::vector<RatingReading>& readings, CaptureStep* last = nullptr,
             bool autoExport = true) {
  CaptureStep step = machine.Queue(match);
  Outcome outcome;
  std::size_t next = 0;
  while (!step.finished) {
    if (next == readings.size()) {
      ADD_FAILURE() << "still pending after " << next << " readings";
      return outcome;
    }
    // The first reading 7 s after the match's end, the others 2 s apart.
    EXPECT_EQ(step.readAgainIn, TimerDelay(next == 0 ? 7.0f : 2.0f));
    step = machine.Advance(match.matchKey, autoExport, [&](std::int32_t playlistId) {
      EXPECT_EQ(playlistId, match.playlistId);
      return readings[next++];
    });
  }
  if (last) *last = step;
  EXPECT_EQ(next, readings.size()) << "readings left over";
  EXPECT_FALSE(step.readAgainIn);
  EXPECT_EQ(machine.pendingCount(), 0u);
  outcome.state = step.append->state;
  outcome.mmrAfter = step.append->mmrAfter;
  outcome.attempts = step.append->capture.captureAttempts;
  EXPECT_TRUE(step.append->complete);
  if (auto it = machine.remembered().find(match.playlistId); it != machine.remembered().end()) {
    outcome.remembered = it->second;
  }
  outcome.said = step.say;
  return outcome;
}

TEST(CaptureMachineTest, ResolutionRules) {
  using State = TallyLoomDeltaState;
  const auto times = [](int count, RatingReading reading) {
    return std::vector<RatingReading>(count, reading);
  };
  const auto then = [](std::vector<RatingReading> readings, RatingReading last) {
    readings.push_back(last);
    return readings;
  };
  const std::optional<std::int32_t> none;
  const struct Case {
    const char* rule;
    std::optional<std::int32_t> before;
    std::vector<RatingReading> readings;
    State state;
    std::optional<std::int32_t> after;
    int attempts;
    std::optional<std::int32_t> remembered;
  } cases[] = {
      // clang-format off
      {"a changed value decides at its first reading",
       1000, {Read(1009)}, State::Exact, 1009, 1, 1009},
      {"two equal readings settle a change of 0",
       1000, {Read(1000), Read(1000)}, State::Exact, 1000, 2, 1000},
      {"a failed reading between two equal ones breaks nothing",
       1000, {Read(1000), kNoData, Read(1000)}, State::Exact, 1000, 3, 1000},
      {"a reading while syncing decides nothing",
       1000, {Read(1000, true), Read(1009, true), Read(1009)}, State::Exact, 1009, 3, 1009},
      {"a syncing reading still counts as the first of two equal ones",
       1000, {Read(1000, true), Read(1000)}, State::Exact, 1000, 2, 1000},
      {"a new value starts the count again",
       1000, {Read(1009, true), Read(1000, true), Read(1009)}, State::Exact, 1009, 3, 1009},
      {"the seventh reading still decides a change",
       1000, then(times(6, kNoData), Read(1009)), State::Exact, 1009, 7, 1009},
      {"the seventh reading still settles a 0",
       1000, then(times(6, Read(1000, true)), Read(1000)), State::Exact, 1000, 7, 1000},
      {"seven readings while syncing end unknown with the last",
       1000, times(7, Read(1000, true)), State::Unknown, 1000, 7, 1000},
      {"seven failed readings end unknown without a value",
       1000, times(7, kNoData), State::Unknown, none, 7, 1000},
      {"without an MMR before, two equal readings end unknown with the value",
       none, {Read(1009), Read(1009)}, State::Unknown, 1009, 2, 1009},
      {"without an MMR before, a single reading decides nothing",
       none, {Read(1009), Read(1012), kNoData, Read(1012, true), kNoData, kNoData, kNoData},
       State::Unknown, 1012, 7, 1012},
      {"without an MMR before or a reading, nothing is remembered",
       none, times(7, kNoData), State::Unknown, none, 7, none},
      // clang-format on
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.rule);
    CaptureMachine machine;
    const Outcome got = Play(machine, Match(c.before), c.readings);
    EXPECT_EQ(got.state, c.state);
    EXPECT_EQ(got.mmrAfter, c.after);
    EXPECT_EQ(got.attempts, c.attempts);
    EXPECT_EQ(got.remembered, c.remembered);
  }
}

TEST(CaptureMachineTest, WhatEachStepAsksThePluginToDo) {
  CaptureMachine machine;
  const TallyLoomPendingMatchCapture match = Match(1000);
  CaptureStep queued = machine.Queue(match);
  EXPECT_EQ(queued.matchKey, match.matchKey);
  ASSERT_TRUE(queued.append);
  EXPECT_EQ(queued.append->state, TallyLoomDeltaState::Pending);
  EXPECT_FALSE(queued.append->complete);
  EXPECT_FALSE(queued.append->mmrAfter);
  EXPECT_FALSE(queued.finished);
  EXPECT_EQ(queued.readAgainIn, TimerDelay(7.0f));
  EXPECT_EQ(queued.say, "Queued ranked match capture for Ranked Doubles 2v2 (3-1).");
  EXPECT_EQ(machine.pendingCount(), 1u);

  // An undecided reading: only the next timer.
  const CaptureStep waiting =
      machine.Advance(match.matchKey, true, [](std::int32_t) { return Read(1000, true); });
  EXPECT_FALSE(waiting.exportNow);
  EXPECT_FALSE(waiting.append);
  EXPECT_FALSE(waiting.finished);
  EXPECT_EQ(waiting.readAgainIn, TimerDelay(2.0f));
  EXPECT_EQ(waiting.say, "");

  const struct {
    std::optional<std::int32_t> before;
    std::vector<RatingReading> readings;
    int scoreBlue;
    const char* said;
  } lines[] = {
      {1000, {Read(1009)}, 3, "Captured exact win delta of 9 for Ranked Doubles 2v2."},
      {1000, {Read(991)}, 0, "Captured exact loss delta of -9 for Ranked Doubles 2v2."},
      {1000, {Read(1000), Read(1000)}, 3, "Captured exact win delta of 0 for Ranked Doubles 2v2."},
      {std::nullopt,
       {Read(9), Read(9)},
       3,
       "Captured unknown match record for Ranked Doubles 2v2."},
  };
  for (const auto& line : lines) {
    CaptureMachine fresh;
    EXPECT_EQ(Play(fresh, Match(line.before, line.scoreBlue), line.readings).said, line.said);
  }

  // The exports after the end: at once with automatic export on; 15 s later
  // only with both switches on when that timer fires.
  const struct {
    bool autoAtEnd, enabledAtFire, autoAtFire, now, delayed;
  } exports[] = {{true, true, true, true, true},
                 {true, false, true, true, false},
                 {true, true, false, true, false},
                 {false, true, true, false, false}};
  for (const auto& e : exports) {
    CaptureMachine fresh;
    CaptureStep ended;
    Play(fresh, Match(1000), {Read(1009)}, &ended, e.autoAtEnd);
    EXPECT_EQ(ended.exportNow, e.now);
    EXPECT_EQ(ended.delayedExportIn == TimerDelay(15.0f) &&
                  DelayedPostMatchExportRuns(e.enabledAtFire, e.autoAtFire),
              e.delayed);
  }
}

TEST(CaptureMachineTest, WhichMatchEndIsCapturedAndHow) {
  const TallyLoomAccount player{"epic", "42", ""};
  MatchEndFacts facts{true, true, 3, true, player, 11, 3, 1, std::nullopt, 0};
  EXPECT_EQ(SkipOf(facts), std::nullopt);
  // Each reason to skip, taking the facts away from the last one asked back to
  // the first: an earlier reason wins over a later one.
  MatchEndFacts gone = facts;
  const std::pair<void (*)(MatchEndFacts&), MatchEndSkip> reasons[] = {
      {[](MatchEndFacts& f) { f.account.reset(); }, MatchEndSkip::kNoAccount},
      {[](MatchEndFacts& f) { f.localPlayer = false; }, MatchEndSkip::kNoLocalPlayer},
      {[](MatchEndFacts& f) { f.teams = 1; }, MatchEndSkip::kFewerThanTwoTeams},
      {[](MatchEndFacts& f) { f.ranked = false; }, MatchEndSkip::kNotRanked},
      {[](MatchEndFacts& f) { f.match = false; }, MatchEndSkip::kNoMatch}};
  for (const auto& [takeAway, skip] : reasons) {
    takeAway(gone);
    EXPECT_EQ(SkipOf(gone), skip);
  }
  const TallyLoomPendingMatchCapture doubles = CaptureOf(facts, "2026-12-06T21:14:05");
  EXPECT_EQ(doubles.matchKey, "11:42:2026-12-06T21:14:05:3:1");
  EXPECT_EQ(doubles.playlistName, "Ranked Doubles 2v2");
  facts.playlistId = -7;
  EXPECT_EQ(CaptureOf(facts, "t").playlistName, "Unknown");

  // The winner the game names, else the goals from the local player's side.
  const std::optional<std::uint8_t> none;
  const struct {
    std::optional<std::uint8_t> winner;
    std::uint8_t local;
    int blue, orange;
    bool win;
  } results[] = {{0, 0, 1, 3, true},     {1, 0, 3, 1, false},    {1, 1, 3, 1, true},
                 {none, 0, 3, 1, true},  {none, 0, 1, 3, false}, {none, 1, 1, 3, true},
                 {none, 1, 3, 1, false}, {none, 0, 2, 2, false}, {none, 1, 2, 2, false}};
  for (const auto& r : results) {
    facts.winnerTeam = r.winner;
    facts.localTeam = r.local;
    facts.scoreBlue = r.blue;
    facts.scoreOrange = r.orange;
    EXPECT_EQ(CaptureOf(facts, "t").isWin, r.win)
        << r.blue << "-" << r.orange << " on " << +r.local;
  }
}

TEST(CaptureMachineTest, TheMmrBeforeComesFromMemoryFirst) {
  CaptureMachine machine;
  int asked = 0;
  const auto service = [&asked] {
    ++asked;
    return std::optional<std::int32_t>(1012);
  };
  // Nothing remembered yet: the service is asked.
  EXPECT_EQ(machine.MmrBefore(kDoubles, service), 1012);
  EXPECT_EQ(asked, 1);

  // An export's reading is remembered and wins over what the service says
  // by the time the match ends (it may already hold the new rating).
  machine.Remember({{kDoubles, "Ranked Doubles 2v2", 1000}, {13, "Ranked Standard 3v3", 1500}});
  EXPECT_EQ(machine.MmrBefore(kDoubles, service), 1000);
  EXPECT_EQ(asked, 1);

  // A finished capture leaves its MMR after; ratings read later replace it.
  Play(machine, Match(1000), {Read(1009)});
  EXPECT_EQ(machine.MmrBefore(kDoubles, service), 1009);
  machine.Remember({{kDoubles, "Ranked Doubles 2v2", 1021}});
  EXPECT_EQ(machine.MmrBefore(kDoubles, service), 1021);
  // A reading leaves the playlists it did not find as they were.
  EXPECT_EQ(machine.remembered().at(13), 1500);
  EXPECT_EQ(asked, 1);
}

// The slow sync that an online match hides: a capture ends "unknown" on the
// old rating, the new one arrives while the player is in the next match.
// Only a read of the ratings in between (the periodic timer's, during an
// online match) keeps the next change to one match.
TEST(CaptureMachineTest, ARatingReadBetweenMatchesKeepsTheNextChangeToOneMatch) {
  for (const bool readBetween : {false, true}) {
    SCOPED_TRACE(readBetween ? "read between" : "no read between");
    CaptureMachine machine;
    machine.Remember({{kDoubles, "Ranked Doubles 2v2", 1000}});
    const std::vector<RatingReading> sevenSyncing(7, Read(1000, true));
    EXPECT_EQ(Play(machine, Match(machine.MmrBefore(kDoubles, {})), sevenSyncing).state,
              TallyLoomDeltaState::Unknown);

    if (readBetween) machine.Remember({{kDoubles, "Ranked Doubles 2v2", 1009}});
    TallyLoomPendingMatchCapture next = Match(machine.MmrBefore(kDoubles, {}), 2);
    next.matchKey = "the next match";
    const Outcome got = Play(machine, next, {Read(1018)});
    EXPECT_EQ(*got.mmrAfter - *next.mmrBefore, readBetween ? 9 : 18);
  }
}

TEST(CaptureMachineTest, KeysThatComeTwiceAndReadingsForEndedCaptures) {
  CaptureMachine machine;
  const TallyLoomPendingMatchCapture first = Match(1000);
  machine.Queue(first);
  // An equal key takes the place of the entry: without an MMR before, one
  // changed reading no longer decides.
  machine.Queue(Match(std::nullopt, 4));
  EXPECT_EQ(machine.pendingCount(), 1u);
  const auto read1009 = [](std::int32_t) { return Read(1009); };
  EXPECT_FALSE(machine.Advance(first.matchKey, true, read1009).finished);
  const CaptureStep ended = machine.Advance(first.matchKey, true, read1009);
  ASSERT_TRUE(ended.finished);
  EXPECT_EQ(ended.append->state, TallyLoomDeltaState::Unknown);
  EXPECT_EQ(ended.append->capture.scoreBlue, 4);

  // The timer of an ended capture, or a stray one, reads nothing and does nothing.
  int reads = 0;
  for (const std::string& key : {first.matchKey, std::string("never queued")}) {
    const CaptureStep nothing = machine.Advance(key, true, [&](std::int32_t) {
      ++reads;
      return Read(1);
    });
    EXPECT_FALSE(nothing.append);
    EXPECT_FALSE(nothing.finished);
    EXPECT_FALSE(nothing.readAgainIn);
    EXPECT_EQ(nothing.say, "");
  }
  EXPECT_EQ(reads, 0);
  EXPECT_EQ(machine.pendingCount(), 0u);
}

}  // namespace
