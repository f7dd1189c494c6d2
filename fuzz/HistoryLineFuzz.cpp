// One match-history line for any capture record: a single line (no raw line
// break anywhere), no space outside string values, one strict JSON object
// with its nineteen members in order, and every value what the record, the
// state and the MMR after say (game text as its valid part).
#include <nlohmann/json.hpp>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "capture/HistoryLine.h"
#include "fuzz/FuzzInput.h"
#include "fuzz/ValidText.h"
#include "plugin/PluginVersion.h"

using fuzzing::Require;

namespace {

nlohmann::ordered_json Optional(const std::optional<std::int32_t>& value) {
  return value ? nlohmann::ordered_json(*value) : nlohmann::ordered_json(nullptr);
}

// No space, tab or line break between the members.
bool CompactOutsideStrings(const std::string& line) {
  bool inString = false;
  for (std::size_t i = 0; i < line.size(); ++i) {
    const char c = line[i];
    if (inString) {
      if (c == '\\') {
        ++i;
      } else if (c == '"') {
        inString = false;
      }
    } else if (c == '"') {
      inString = true;
    } else if (c == ' ' || c == '\t' || c == '\n' || c == '\r') {
      return false;
    }
  }
  return !inString;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzzing::FuzzInput in(data, size);
  TallyLoomPendingMatchCapture capture;
  capture.playlistId = in.Int32();
  capture.playlistName = in.String();
  capture.scoreBlue = in.Int32();
  capture.scoreOrange = in.Int32();
  capture.isWin = in.Bool();
  capture.platform = in.Bool() ? "steam" : "epic";
  capture.playerId = in.String();
  capture.timestamp = in.Timestamp();
  capture.matchKey = in.String();
  capture.mmrBefore = in.Mmr();
  capture.lastObservedMmr = in.Mmr();
  capture.captureAttempts = in.Int32();
  capture.stableReadings = in.Int32();
  // 3 is no state at all, which reads as "unknown".
  const auto state = static_cast<TallyLoomDeltaState>(in.Below(4));
  const std::optional<std::int32_t> after = in.Mmr();
  const bool complete = in.Bool();

  const std::string line = ComposeHistoryLine(capture, state, after, complete);
  Require(line.find_first_of("\r\n") == std::string::npos);
  Require(line.starts_with("{\"timestamp\":") && line.ends_with("\"}"));
  Require(CompactOutsideStrings(line));

  nlohmann::ordered_json document;
  try {
    document = nlohmann::ordered_json::parse(line);
  } catch (const nlohmann::json::exception&) {
    Require(false);
  }
  std::vector<std::string> keys;
  for (auto it = document.begin(); it != document.end(); ++it) keys.push_back(it.key());
  Require(keys == std::vector<std::string>{
                      "timestamp", "playlist_id", "playlist_name", "schema_version",
                      "plugin_version", "match_key", "score_blue", "score_orange", "is_win", "mmr",
                      "mmr_before", "mmr_after", "mmr_delta", "mmr_delta_valid", "delta_state",
                      "capture_attempts", "capture_complete", "platform", "player_id"});

  const bool exact = state == TallyLoomDeltaState::Exact;
  std::optional<std::int32_t> delta;
  if (exact && after && capture.mmrBefore) delta = *after - *capture.mmrBefore;
  const char* stateText = state == TallyLoomDeltaState::Pending ? "pending"
                          : exact                               ? "exact"
                                                                : "unknown";
  Require(document["timestamp"] == capture.timestamp);
  Require(document["playlist_id"] == std::to_string(capture.playlistId));
  Require(document["playlist_name"] == fuzzing::ValidText(capture.playlistName));
  Require(document["schema_version"] == 3);
  Require(document["plugin_version"] == kPluginVersion);
  Require(document["match_key"] == fuzzing::ValidText(capture.matchKey));
  Require(document["score_blue"] == capture.scoreBlue);
  Require(document["score_orange"] == capture.scoreOrange);
  Require(document["is_win"] == capture.isWin);
  Require(document["mmr"] == Optional(after ? after : capture.mmrBefore));
  Require(document["mmr_before"] == Optional(capture.mmrBefore));
  Require(document["mmr_after"] == Optional(after));
  Require(document["mmr_delta"] == Optional(delta));
  Require(document["mmr_delta_valid"] == exact);
  Require(document["delta_state"] == stateText);
  Require(document["capture_attempts"] == capture.captureAttempts);
  Require(document["capture_complete"] == complete);
  Require(document["platform"] == capture.platform);
  Require(document["player_id"] == fuzzing::ValidText(capture.playerId));
  return 0;
}
