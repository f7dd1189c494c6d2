// The snapshot file's text for any account and any playlists: one strict
// JSON document with every member in its place, one line per playlist and
// no line break that did not belong to the layout, and every value read back
// as what went in (game text as its valid part).
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "export/SnapshotFile.h"
#include "fuzz/FuzzInput.h"
#include "fuzz/ValidText.h"
#include "plugin/PluginVersion.h"

using fuzzing::Require;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzzing::FuzzInput in(data, size);
  TallyLoomAccount account;
  account.platform = in.Bool() ? "steam" : "epic";
  account.playerId = in.String();
  account.displayName = in.String();
  const std::string timestamp = in.Timestamp();
  std::vector<TallyLoomPlaylistMmr> playlists(1 + in.Below(7));
  for (TallyLoomPlaylistMmr& playlist : playlists) {
    playlist.playlistId = in.Int32();
    playlist.playlistName = in.String();
    playlist.mmr = in.Mmr().value_or(1);
  }

  const std::string text = ComposeSnapshot(account, playlists, timestamp);
  Require(text.find('\r') == std::string::npos);  // CR LF comes from the text-mode write
  Require(text.ends_with("}\n"));
  const bool named = !account.displayName.empty();
  const auto lines = std::count(text.begin(), text.end(), '\n');
  Require(lines == static_cast<std::ptrdiff_t>(9 + playlists.size() + (named ? 1 : 0)));

  nlohmann::ordered_json document;
  try {
    document = nlohmann::ordered_json::parse(text);
  } catch (const nlohmann::json::exception&) {
    Require(false);
  }
  std::vector<std::string> keys;
  for (auto it = document.begin(); it != document.end(); ++it) keys.push_back(it.key());
  std::vector<std::string> expected = {"schema_version", "plugin_version", "platform", "player_id"};
  if (named) expected.push_back("display_name");
  expected.insert(expected.end(), {"timestamp", "playlists"});
  Require(keys == expected);

  Require(document["schema_version"] == 2);
  Require(document["plugin_version"] == kPluginVersion);
  Require(document["platform"] == account.platform);
  Require(document["player_id"] == fuzzing::ValidText(account.playerId));
  if (named) Require(document["display_name"] == fuzzing::ValidText(account.displayName));
  Require(document["timestamp"] == timestamp);
  const auto& list = document["playlists"];
  Require(list.size() == playlists.size());
  for (std::size_t i = 0; i < playlists.size(); ++i) {
    const auto& entry = list[i];
    std::vector<std::string> members;
    for (auto it = entry.begin(); it != entry.end(); ++it) members.push_back(it.key());
    Require(members == std::vector<std::string>{"playlist_id", "playlist_name", "mmr"});
    Require(entry["playlist_id"] == std::to_string(playlists[i].playlistId));
    Require(entry["playlist_name"] == fuzzing::ValidText(playlists[i].playlistName));
    Require(entry["mmr"] == playlists[i].mmr);
  }
  return 0;
}
