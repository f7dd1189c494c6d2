#include "sdk/model/Game.h"

#include <algorithm>
#include <mutex>
#include <unordered_map>

namespace sdkhost {
namespace {

// The game's rating service answers 100 for a playlist it knows nothing of.
constexpr float kUnknownMmr = 100.0f;

// The objects of one game (freeplay's offline server or an online match).
struct GameObjects {
  PlaylistObject playlist;
  std::vector<std::unique_ptr<TeamObject>> teams;
  PriObject pri;
  PlayerControllerObject player;
  ServerObject server;
};

struct Rating {
  float value = kUnknownMmr;
  bool synced = false;
};

}  // namespace

struct Game::Impl {
  mutable std::mutex mutex;
  std::atomic<GameState> state{GameState::kMenu};
  std::optional<MatchSetup> match;
  std::vector<Link> dropped;
  // Only the game thread reads these objects (GameThread.h), and it is the
  // thread that replaces them, so a replaced game can go at once.
  std::unique_ptr<GameObjects> offline_game;
  std::unique_ptr<GameObjects> online_game;
  Identity identity;
  std::string player_name;
  std::unordered_map<int, Rating> ratings;
  bool syncing = false;

  bool IsDropped(Link link) const {
    return std::find(dropped.begin(), dropped.end(), link) != dropped.end();
  }

  std::unique_ptr<GameObjects> BuildGame(const MatchSetup& setup, const Game* game) const {
    auto objects = std::make_unique<GameObjects>();
    objects->playlist = {setup.playlist_id, setup.ranked ? 1u : 0u};
    objects->teams.push_back(std::make_unique<TeamObject>(TeamObject{0, setup.score_blue}));
    objects->teams.push_back(std::make_unique<TeamObject>(TeamObject{1, setup.score_orange}));
    for (int i = 0; i < setup.extra_teams; ++i) {
      objects->teams.push_back(
          std::make_unique<TeamObject>(TeamObject{static_cast<std::uint8_t>(2 + i), 0}));
    }
    objects->pri = {game, setup.local_team};
    objects->player.pri = IsDropped(Link::kPri) ? nullptr : &objects->pri;
    ServerObject& server = objects->server;
    server.playlist = IsDropped(Link::kPlaylist) ? nullptr : &objects->playlist;
    if (IsDropped(Link::kTeams)) {
      server.teams.push_back(objects->teams[0].get());
    } else {
      for (auto& team : objects->teams) server.teams.push_back(team.get());
    }
    server.player = IsDropped(Link::kPlayer) ? nullptr : &objects->player;
    if (setup.winner) {
      for (auto& team : objects->teams) {
        if (team->team_num == *setup.winner) server.winner = team.get();
      }
      if (server.winner == nullptr) {
        objects->teams.push_back(std::make_unique<TeamObject>(TeamObject{*setup.winner, 0}));
        server.winner = objects->teams.back().get();
      }
    }
    return objects;
  }

  void Rebuild(const Game* game) {
    offline_game.reset();
    online_game.reset();
    const GameState current = state.load();
    if (current == GameState::kFreeplay || current == GameState::kTraining) {
      MatchSetup offline;
      offline.playlist_id = 0;
      offline.ranked = false;
      offline_game = BuildGame(offline, game);
    }
    if (match && current == GameState::kOnline) online_game = BuildGame(*match, game);
  }
};

Game::Game() : impl_(std::make_unique<Impl>()) {}
Game::~Game() = default;

void Game::SetState(GameState state) {
  std::lock_guard lock(impl_->mutex);
  impl_->state.store(state);
  impl_->dropped.clear();
  impl_->Rebuild(this);
}

void Game::SetMatch(const MatchSetup& match) {
  std::lock_guard lock(impl_->mutex);
  impl_->match = match;
  impl_->state.store(GameState::kOnline);
  impl_->dropped.clear();
  impl_->Rebuild(this);
}

bool Game::HasMatch() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->match.has_value();
}

bool Game::Drop(Link link) {
  std::lock_guard lock(impl_->mutex);
  if (!impl_->offline_game && !impl_->online_game) return false;
  impl_->dropped.push_back(link);
  impl_->Rebuild(this);
  return true;
}

void Game::SetAccountText(const std::string& id) {
  std::lock_guard lock(impl_->mutex);
  impl_->identity = Identity{id, 0};
}

void Game::SetAccountUid(std::uint64_t uid) {
  std::lock_guard lock(impl_->mutex);
  impl_->identity = Identity{std::string(), uid};
}

void Game::SetPlayerName(const std::string& name) {
  std::lock_guard lock(impl_->mutex);
  impl_->player_name = name;
}

void Game::SetMmr(int playlist_id, float value) {
  std::lock_guard lock(impl_->mutex);
  impl_->ratings[playlist_id] = Rating{value, true};
}

void Game::SetMmrUnsynced(int playlist_id) {
  std::lock_guard lock(impl_->mutex);
  impl_->ratings[playlist_id].synced = false;
}

void Game::SetSyncing(bool syncing) {
  std::lock_guard lock(impl_->mutex);
  impl_->syncing = syncing;
}

Game::Identity Game::CurrentIdentity() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->identity;
}

std::string Game::PlayerName() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->player_name;
}

bool Game::IsSyncing() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->syncing;
}

bool Game::IsSynced(int playlist_id) const {
  std::lock_guard lock(impl_->mutex);
  auto it = impl_->ratings.find(playlist_id);
  return it != impl_->ratings.end() && it->second.synced;
}

float Game::PlayerMmr(int playlist_id) const {
  std::lock_guard lock(impl_->mutex);
  auto it = impl_->ratings.find(playlist_id);
  return it != impl_->ratings.end() ? it->second.value : kUnknownMmr;
}

// The game's own answers: only offline play counts as "in game"; an online
// match is an online game, and neither a game nor freeplay nor a replay.
bool Game::IsInGame() const {
  const GameState s = impl_->state.load(std::memory_order_relaxed);
  return s == GameState::kFreeplay || s == GameState::kTraining;
}

bool Game::IsInOnlineGame() const {
  return impl_->state.load(std::memory_order_relaxed) == GameState::kOnline;
}

bool Game::IsInFreeplay() const {
  return impl_->state.load(std::memory_order_relaxed) == GameState::kFreeplay;
}

bool Game::IsInReplay() const {
  return impl_->state.load(std::memory_order_relaxed) == GameState::kReplay;
}

std::uintptr_t Game::OnlineGame() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->online_game ? reinterpret_cast<std::uintptr_t>(&impl_->online_game->server) : 0;
}

std::uintptr_t Game::GameEventAsServer() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->offline_game ? reinterpret_cast<std::uintptr_t>(&impl_->offline_game->server) : 0;
}

std::uintptr_t Game::CurrentGameState() const {
  std::lock_guard lock(impl_->mutex);
  if (impl_->online_game) return reinterpret_cast<std::uintptr_t>(&impl_->online_game->server);
  if (impl_->offline_game) return reinterpret_cast<std::uintptr_t>(&impl_->offline_game->server);
  return 0;
}

}  // namespace sdkhost
