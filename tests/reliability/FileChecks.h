// What the desktop app may rely on whenever it opens one of the two files:
// the snapshot is one complete JSON document, the history file holds nothing
// but whole lines of JSON. Parsed strictly (valid UTF-8, no raw control
// characters, no NaN) and with every key in its place, so that a duplicated
// or missing member is caught as well as a torn one.
#pragma once

#include <nlohmann/json.hpp>

#include <string>
#include <vector>

namespace reliability {

inline const std::vector<std::string> kHistoryKeys = {
    "timestamp",        "playlist_id",      "playlist_name", "schema_version",  "plugin_version",
    "match_key",        "score_blue",       "score_orange",  "is_win",          "mmr",
    "mmr_before",       "mmr_after",        "mmr_delta",     "mmr_delta_valid", "delta_state",
    "capture_attempts", "capture_complete", "platform",      "player_id"};

inline std::vector<std::string> KeysOf(const nlohmann::ordered_json& object) {
  std::vector<std::string> keys;
  for (auto it = object.begin(); it != object.end(); ++it) keys.push_back(it.key());
  return keys;
}

// Empty when `bytes` is a whole snapshot file, otherwise what is wrong.
inline std::string SnapshotProblem(const std::string& bytes) {
  nlohmann::ordered_json document;
  try {
    document = nlohmann::ordered_json::parse(bytes);
  } catch (const nlohmann::json::exception& error) {
    return std::string("not JSON: ") + error.what();
  }
  if (bytes.size() < 3 || bytes.compare(bytes.size() - 3, 3, "}\r\n") != 0) {
    return "does not end with a closing brace and CR LF";
  }
  if (!document.is_object()) return "not an object";
  std::vector<std::string> expected = {"schema_version", "plugin_version", "platform", "player_id"};
  if (document.contains("display_name")) expected.push_back("display_name");
  expected.insert(expected.end(), {"timestamp", "playlists"});
  if (KeysOf(document) != expected) return "members missing, repeated or out of order";
  const auto& playlists = document["playlists"];
  if (!playlists.is_array() || playlists.empty()) return "no playlists";
  for (const auto& playlist : playlists) {
    if (!playlist.is_object() ||
        KeysOf(playlist) != std::vector<std::string>{"playlist_id", "playlist_name", "mmr"}) {
      return "a playlist with the wrong members";
    }
  }
  return "";
}

// Empty when `bytes` is a history file of whole lines only (or empty).
inline std::string HistoryProblem(const std::string& bytes) {
  std::size_t start = 0;
  int number = 0;
  while (start < bytes.size()) {
    ++number;
    const std::size_t end = bytes.find("\r\n", start);
    if (end == std::string::npos) return "line " + std::to_string(number) + " has no line end";
    const std::string line = bytes.substr(start, end - start);
    start = end + 2;
    if (line.find_first_of("\r\n") != std::string::npos) {
      return "line " + std::to_string(number) + " holds a stray line break";
    }
    nlohmann::ordered_json document;
    try {
      document = nlohmann::ordered_json::parse(line);
    } catch (const nlohmann::json::exception& error) {
      return "line " + std::to_string(number) + " is not JSON: " + error.what();
    }
    if (!document.is_object() || KeysOf(document) != kHistoryKeys) {
      return "line " + std::to_string(number) + " has members missing, repeated or out of order";
    }
  }
  return "";
}

}  // namespace reliability
