#include "export/SnapshotFile.h"

#include <fmt/format.h>

#include "export/JsonText.h"
#include "plugin/PluginVersion.h"

// Composed piece by piece rather than through format strings: it runs at
// every export, and this is a fraction of what format strings cost.
std::string ComposeSnapshot(const TallyLoomAccount& account,
                            const std::vector<TallyLoomPlaylistMmr>& playlists,
                            const std::string& timestamp) {
  std::string text;
  text.reserve(256 + playlists.size() * 96);
  text.append("{\n");
  text.append("  \"schema_version\": 2,\n");
  text.append("  \"plugin_version\": \"").append(kPluginVersion).append("\",\n");
  text.append("  \"platform\": \"").append(account.platform).append("\",\n");
  text.append("  \"player_id\": \"");
  AppendJsonEscaped(text, account.playerId);
  text.append("\",\n");
  if (!account.displayName.empty()) {
    text.append("  \"display_name\": \"");
    AppendJsonEscaped(text, account.displayName);
    text.append("\",\n");
  }
  text.append("  \"timestamp\": \"").append(timestamp).append("\",\n");
  text.append("  \"playlists\": [\n");
  for (std::size_t i = 0; i < playlists.size(); ++i) {
    const TallyLoomPlaylistMmr& playlist = playlists[i];
    const fmt::format_int id(playlist.playlistId);
    const fmt::format_int mmr(playlist.mmr);
    text.append("    {\"playlist_id\": \"").append(id.data(), id.size());
    text.append("\", \"playlist_name\": \"");
    AppendJsonEscaped(text, playlist.playlistName);
    text.append("\", \"mmr\": ").append(mmr.data(), mmr.size()).append("}");
    text.append(i + 1 < playlists.size() ? ",\n" : "\n");
  }
  text.append("  ]\n");
  text.append("}\n");
  return text;
}
