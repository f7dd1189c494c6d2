#include "capture/HistoryLine.h"

#include "export/JsonText.h"
#include "plugin/PluginVersion.h"

namespace {

const char* Boolean(bool value) { return value ? "true" : "false"; }

}  // namespace

// Member by member, in the fixed order of the format.
std::string ComposeHistoryLine(const TallyLoomPendingMatchCapture& capture,
                               TallyLoomDeltaState state,
                               const std::optional<std::int32_t>& mmrAfter, bool complete) {
  const std::optional<std::int32_t> current = mmrAfter ? mmrAfter : capture.mmrBefore;
  const bool exact = state == TallyLoomDeltaState::Exact;
  std::optional<std::int32_t> delta;
  if (exact && mmrAfter && capture.mmrBefore) delta = *mmrAfter - *capture.mmrBefore;

  std::string line;
  line.append("{\"timestamp\":\"").append(capture.timestamp);
  line.append("\",\"playlist_id\":\"").append(std::to_string(capture.playlistId));
  line.append("\",\"playlist_name\":\"");
  AppendJsonEscaped(line, capture.playlistName);
  line.append("\",\"schema_version\":3,\"plugin_version\":\"").append(kPluginVersion);
  line.append("\",\"match_key\":\"");
  AppendJsonEscaped(line, capture.matchKey);
  line.append("\",\"score_blue\":").append(std::to_string(capture.scoreBlue));
  line.append(",\"score_orange\":").append(std::to_string(capture.scoreOrange));
  line.append(",\"is_win\":").append(Boolean(capture.isWin));
  line.append(",\"mmr\":").append(OptionalIntToJson(current));
  line.append(",\"mmr_before\":").append(OptionalIntToJson(capture.mmrBefore));
  line.append(",\"mmr_after\":").append(OptionalIntToJson(mmrAfter));
  line.append(",\"mmr_delta\":").append(OptionalIntToJson(delta));
  line.append(",\"mmr_delta_valid\":").append(Boolean(exact));
  line.append(",\"delta_state\":\"").append(DeltaStateText(state));
  line.append("\",\"capture_attempts\":").append(std::to_string(capture.captureAttempts));
  line.append(",\"capture_complete\":").append(Boolean(complete));
  line.append(",\"platform\":\"").append(capture.platform);
  line.append("\",\"player_id\":\"");
  AppendJsonEscaped(line, capture.playerId);
  line.append("\"}");
  return line;
}
