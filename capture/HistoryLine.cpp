#include "capture/HistoryLine.h"

#include <fmt/format.h>

#include "export/JsonText.h"
#include "plugin/PluginVersion.h"

std::string ComposeHistoryLine(const TallyLoomPendingMatchCapture& capture,
                               TallyLoomDeltaState state,
                               const std::optional<std::int32_t>& mmrAfter, bool complete) {
  const std::optional<std::int32_t> current = mmrAfter ? mmrAfter : capture.mmrBefore;
  const bool exact = state == TallyLoomDeltaState::Exact;
  std::optional<std::int32_t> delta;
  if (exact && mmrAfter && capture.mmrBefore) delta = *mmrAfter - *capture.mmrBefore;
  const auto boolean = [](bool value) { return value ? "true" : "false"; };

  std::string line;
  line.reserve(512);
  fmt::format_to(std::back_inserter(line),
                 "{{\"timestamp\":\"{}\",\"playlist_id\":\"{}\",\"playlist_name\":\"{}\","
                 "\"schema_version\":3,\"plugin_version\":\"{}\",\"match_key\":\"{}\","
                 "\"score_blue\":{},\"score_orange\":{},\"is_win\":{},",
                 capture.timestamp, capture.playlistId, JsonEscape(capture.playlistName),
                 kPluginVersion, JsonEscape(capture.matchKey), capture.scoreBlue,
                 capture.scoreOrange, boolean(capture.isWin));
  fmt::format_to(std::back_inserter(line),
                 "\"mmr\":{},\"mmr_before\":{},\"mmr_after\":{},\"mmr_delta\":{},"
                 "\"mmr_delta_valid\":{},\"delta_state\":\"{}\",\"capture_attempts\":{},"
                 "\"capture_complete\":{},\"platform\":\"{}\",\"player_id\":\"{}\"}}",
                 OptionalIntToJson(current), OptionalIntToJson(capture.mmrBefore),
                 OptionalIntToJson(mmrAfter), OptionalIntToJson(delta), boolean(exact),
                 DeltaStateText(state), capture.captureAttempts, boolean(complete),
                 capture.platform, JsonEscape(capture.playerId));
  return line;
}
