#include "export/SnapshotFile.h"

#include "export/JsonText.h"
#include "plugin/PluginVersion.h"

// Line by line, in the fixed layout of the format.
std::string ComposeSnapshot(const TallyLoomAccount& account,
                            const std::vector<TallyLoomPlaylistMmr>& playlists,
                            const std::string& timestamp) {
  std::string text;
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
    text.append("    {\"playlist_id\": \"").append(std::to_string(playlist.playlistId));
    text.append("\", \"playlist_name\": \"");
    AppendJsonEscaped(text, playlist.playlistName);
    text.append("\", \"mmr\": ").append(std::to_string(playlist.mmr)).append("}");
    text.append(i + 1 < playlists.size() ? ",\n" : "\n");
  }
  text.append("  ]\n");
  text.append("}\n");
  return text;
}
