// The end of a match as the capture rules judge it: the facts the game
// offers, why a match end is skipped, and the capture it makes otherwise.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "capture/TallyLoomPendingMatchCapture.h"
#include "export/TallyLoomAccount.h"

// Why a match end leaves no capture, in the order the game is asked.
enum class MatchEndSkip { kNoMatch, kNotRanked, kFewerThanTwoTeams, kNoLocalPlayer, kNoAccount };

// What the game offers at the end of a match, asked in the order of the
// fields. The plugin asks no further once SkipOf names the fact just read, so
// the facts after it keep their defaults.
struct MatchEndFacts {
  bool match = false;   // a game: the online one, else the game event, else the game state
  bool ranked = false;  // it has a playlist, and that is ranked
  std::int32_t teams = 0;
  bool localPlayer = false;  // the local player, with its replication info
  std::optional<TallyLoomAccount> account;
  std::int32_t playlistId = 0;
  std::int32_t scoreBlue = 0;  // team 0
  std::int32_t scoreOrange = 0;
  std::optional<std::uint8_t> winnerTeam;  // when the game names one
  std::uint8_t localTeam = 0;
};

// The first fact, in the order they are read, that skips the match end.
std::optional<MatchEndSkip> SkipOf(const MatchEndFacts& facts);

// The capture of a match end that SkipOf lets through, ended at `timestamp`.
// Its MMR before is the capture rules' to find (CaptureMachine::MmrBefore).
TallyLoomPendingMatchCapture CaptureOf(const MatchEndFacts& facts, const std::string& timestamp);
