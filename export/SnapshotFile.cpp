#include "export/SnapshotFile.h"

#include <fmt/format.h>

#include "export/JsonText.h"
#include "plugin/PluginVersion.h"

std::string ComposeSnapshot(const TallyLoomAccount& account,
                            const std::vector<TallyLoomPlaylistMmr>& playlists,
                            const std::string& timestamp) {
  std::string text;
  text.reserve(256 + playlists.size() * 96);
  text += "{\n";
  text += "  \"schema_version\": 2,\n";
  text += fmt::format("  \"plugin_version\": \"{}\",\n", kPluginVersion);
  text += fmt::format("  \"platform\": \"{}\",\n", account.platform);
  text += fmt::format("  \"player_id\": \"{}\",\n", JsonEscape(account.playerId));
  if (!account.displayName.empty()) {
    text += fmt::format("  \"display_name\": \"{}\",\n", JsonEscape(account.displayName));
  }
  text += fmt::format("  \"timestamp\": \"{}\",\n", timestamp);
  text += "  \"playlists\": [\n";
  for (std::size_t i = 0; i < playlists.size(); ++i) {
    const TallyLoomPlaylistMmr& playlist = playlists[i];
    text += fmt::format("    {{\"playlist_id\": \"{}\", \"playlist_name\": \"{}\", \"mmr\": {}}}",
                        playlist.playlistId, JsonEscape(playlist.playlistName), playlist.mmr);
    text += i + 1 < playlists.size() ? ",\n" : "\n";
  }
  text += "  ]\n";
  text += "}\n";
  return text;
}
