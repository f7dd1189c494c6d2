// The game as a script sets it up: what it reports (menu, freeplay, an online
// match...), the objects behind the game wrappers, the local player's identity
// and name, and the rating service.
//
// Thread safety: every member may be called from any thread. Whether a plugin
// may call the game from its thread is the SDK's concern (GameThread.h).
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "bakkesmod/sdk_api.h"

namespace sdkhost {

enum class GameState { kMenu, kFreeplay, kTraining, kOnline, kReplay };
enum class Link { kPlaylist, kTeams, kPlayer, kPri };

struct MatchSetup {
  int playlist_id = 0;
  bool ranked = true;
  int score_blue = 0;
  int score_orange = 0;
  std::uint8_t local_team = 0;
  std::optional<std::uint8_t> winner;  // the winning team's number, or none
  int extra_teams = 0;                 // teams beyond the two sides
};

// The winner of a match by its goals: the side with more (blue is team 0,
// orange team 1), nobody on a draw.
inline std::optional<std::uint8_t> WinnerByGoals(int blue, int orange) {
  if (blue == orange) return std::nullopt;
  return blue > orange ? 0 : 1;
}

class Game;

// The objects behind the game wrappers. A wrapper's address points at one.
struct PlaylistObject {
  int id = 0;
  std::uint32_t ranked = 0;
};
struct TeamObject {
  std::uint8_t team_num = 0;
  int score = 0;
};
struct PriObject {
  const Game* game = nullptr;
  std::uint8_t team_num = 0;
};
struct PlayerControllerObject {
  PriObject* pri = nullptr;
};
struct ServerObject {
  PlaylistObject* playlist = nullptr;
  std::vector<TeamObject*> teams;
  PlayerControllerObject* player = nullptr;
  TeamObject* winner = nullptr;
};

class PLUGINSDK_API Game {
 public:
  Game();
  ~Game();
  Game(const Game&) = delete;
  Game& operator=(const Game&) = delete;

  // --- Set up by the script ---------------------------------------------------
  void SetState(GameState state);
  // Sets up an online match and switches to the online state.
  void SetMatch(const MatchSetup& match);
  bool HasMatch() const;
  // The current game loses a link until the next SetState or SetMatch; false
  // when there is no current game.
  bool Drop(Link link);
  void SetAccountText(const std::string& id);
  void SetAccountUid(std::uint64_t uid);
  void SetPlayerName(const std::string& name);
  void SetMmr(int playlist_id, float value);
  void SetMmrUnsynced(int playlist_id);
  void SetSyncing(bool syncing);

  // --- What the game answers ----------------------------------------------------
  struct Identity {
    std::string text;
    std::uint64_t uid = 0;
  };
  Identity CurrentIdentity() const;
  std::string PlayerName() const;
  bool IsSyncing() const;
  bool IsSynced(int playlist_id) const;
  float PlayerMmr(int playlist_id) const;
  bool IsInGame() const;
  bool IsInOnlineGame() const;
  bool IsInFreeplay() const;
  bool IsInReplay() const;
  // Server objects' addresses, 0 when there is none.
  std::uintptr_t OnlineGame() const;
  std::uintptr_t GameEventAsServer() const;
  std::uintptr_t CurrentGameState() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace sdkhost
