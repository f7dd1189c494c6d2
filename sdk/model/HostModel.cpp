#include "sdk/model/HostModel.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <deque>
#include <limits>
#include <queue>
#include <sstream>
#include <unordered_map>

#include <fmt/format.h>

#include "bakkesmod/wrappers/GameWrapper.h"
#include "bakkesmod/wrappers/canvaswrapper.h"
#include "bakkesmod/wrappers/cvarmanagerwrapper.h"

namespace sdkhost {
namespace {

constexpr std::int64_t kNanosPerSecond = 1'000'000'000;

// Wide enough to scale any float or frame number to nanoseconds exactly.
__extension__ typedef __int128 Int128;

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

struct Cvar {
  CvarInfo info;
  std::vector<std::shared_ptr<bool>> bindings;
};

struct Notifier {
  int owner = 0;
  std::function<void(std::vector<std::string>)> callback;
};

struct Hook {
  int owner = 0;
  std::string name;
  std::shared_ptr<std::function<void(std::string)>> callback;
};

struct Drawable {
  int owner = 0;
  std::shared_ptr<std::function<void(CanvasWrapper)>> callback;
};

struct Timer {
  std::int64_t due = 0;
  std::uint64_t sequence = 0;
  HostModel::Action action;
};

struct LaterFirst {
  bool operator()(const Timer& a, const Timer& b) const {
    return a.due != b.due ? a.due > b.due : a.sequence > b.sequence;
  }
};

// The bound flags are read by plugins on other threads without the host's
// lock, so the host writes them atomically.
void StoreFlag(const std::shared_ptr<bool>& flag, bool value) {
  std::atomic_ref<bool>(*flag).store(value, std::memory_order_release);
}

bool ParseNumber(const std::string& text, float* value) {
  if (text.empty()) return false;
  errno = 0;
  char* end = nullptr;
  const double parsed = std::strtod(text.c_str(), &end);
  if (end != text.c_str() + text.size() || std::isnan(parsed)) return false;
  *value = static_cast<float>(parsed);
  return true;
}

}  // namespace

struct HostModel::Impl {
  explicit Impl(platform::VirtualClock* c) : clock(c) {}

  platform::VirtualClock* clock;
  mutable std::mutex mutex;

  // Time.
  std::priority_queue<Timer, std::vector<Timer>, LaterFirst> timers;
  std::uint64_t next_sequence = 0;
  int fps = 60;
  std::int64_t next_frame = 1;
  std::atomic<std::uint64_t> frames_drawn{0};

  // Console.
  LogSink sink;
  std::map<std::string, Cvar> cvars;
  std::map<std::string, Notifier> notifiers;

  // Registrations.
  std::vector<Hook> hooks;
  std::vector<Drawable> drawables;
  // The drawables as the frame loop runs them, rebuilt only when they change.
  std::shared_ptr<const std::vector<std::shared_ptr<std::function<void(CanvasWrapper)>>>>
      frame_list = std::make_shared<
          const std::vector<std::shared_ptr<std::function<void(CanvasWrapper)>>>>();

  // The game.
  std::atomic<GameState> state{GameState::kMenu};
  std::optional<MatchSetup> match;
  std::vector<Link> dropped;
  std::unique_ptr<GameObjects> offline_game;
  std::unique_ptr<GameObjects> online_game;
  // Games replaced by a later one. While another thread draws the settings
  // tab, a plugin may still read one through a wrapper it took there (an
  // export clicked live while the script changes the game), so they are kept
  // for a while of real time; without such a thread nothing reads them.
  struct PastGame {
    std::chrono::steady_clock::time_point replaced;
    std::unique_ptr<GameObjects> game;
  };
  bool keep_past_games = false;
  std::deque<PastGame> past_games;
  Identity identity;
  std::string player_name;
  std::unordered_map<int, Rating> ratings;
  bool syncing = false;

  std::int64_t FrameDue(std::int64_t k) const {
    return static_cast<std::int64_t>((static_cast<Int128>(k) * kNanosPerSecond) / fps);
  }

  bool IsDropped(Link link) const {
    return std::find(dropped.begin(), dropped.end(), link) != dropped.end();
  }

  std::unique_ptr<GameObjects> BuildGame(const MatchSetup& setup, const HostModel* model) const {
    auto game = std::make_unique<GameObjects>();
    game->playlist = {setup.playlist_id, setup.ranked ? 1u : 0u};
    game->teams.push_back(std::make_unique<TeamObject>(TeamObject{0, setup.score_blue}));
    game->teams.push_back(std::make_unique<TeamObject>(TeamObject{1, setup.score_orange}));
    for (int i = 0; i < setup.extra_teams; ++i) {
      game->teams.push_back(
          std::make_unique<TeamObject>(TeamObject{static_cast<std::uint8_t>(2 + i), 0}));
    }
    game->pri = {model, setup.local_team};
    game->player.pri = IsDropped(Link::kPri) ? nullptr : &game->pri;
    ServerObject& server = game->server;
    server.playlist = IsDropped(Link::kPlaylist) ? nullptr : &game->playlist;
    if (IsDropped(Link::kTeams)) {
      server.teams.push_back(game->teams[0].get());
    } else {
      for (auto& team : game->teams) server.teams.push_back(team.get());
    }
    server.player = IsDropped(Link::kPlayer) ? nullptr : &game->player;
    if (setup.winner) {
      for (auto& team : game->teams) {
        if (team->team_num == *setup.winner) server.winner = team.get();
      }
      if (server.winner == nullptr) {
        game->teams.push_back(std::make_unique<TeamObject>(TeamObject{*setup.winner, 0}));
        server.winner = game->teams.back().get();
      }
    }
    return game;
  }

  void Retire(std::unique_ptr<GameObjects> game) {
    if (!game || !keep_past_games) return;
    const auto now = std::chrono::steady_clock::now();
    while (!past_games.empty() && now - past_games.front().replaced > std::chrono::seconds(2)) {
      past_games.pop_front();
    }
    past_games.push_back(PastGame{now, std::move(game)});
  }

  void Rebuild(const HostModel* model) {
    Retire(std::move(offline_game));
    Retire(std::move(online_game));
    const GameState current = state.load();
    if (current == GameState::kFreeplay || current == GameState::kTraining) {
      MatchSetup offline;
      offline.playlist_id = 0;
      offline.ranked = false;
      offline_game = BuildGame(offline, model);
    }
    if (match && current == GameState::kOnline) online_game = BuildGame(*match, model);
  }

  void RebuildFrameList() {
    auto list =
        std::make_shared<std::vector<std::shared_ptr<std::function<void(CanvasWrapper)>>>>();
    for (const Drawable& d : drawables) list->push_back(d.callback);
    frame_list = std::move(list);
  }
};

HostModel::HostModel(platform::VirtualClock* clock) : impl_(std::make_unique<Impl>(clock)) {}
HostModel::~HostModel() = default;

std::shared_ptr<CVarManagerWrapper> HostModel::NewCVarManager(int owner) {
  return std::make_shared<CVarManagerWrapper>(this, owner);
}

std::shared_ptr<GameWrapper> HostModel::NewGameWrapper(int owner) {
  return std::make_shared<GameWrapper>(this, owner);
}

void HostModel::KeepReplacedGames(bool keep) {
  std::lock_guard lock(impl_->mutex);
  impl_->keep_past_games = keep;
}

void HostModel::ForgetOwner(int owner) {
  std::lock_guard lock(impl_->mutex);
  for (auto it = impl_->notifiers.begin(); it != impl_->notifiers.end();) {
    it = it->second.owner == owner ? impl_->notifiers.erase(it) : std::next(it);
  }
  std::erase_if(impl_->hooks, [owner](const Hook& h) { return h.owner == owner; });
  std::erase_if(impl_->drawables, [owner](const Drawable& d) { return d.owner == owner; });
  impl_->RebuildFrameList();
}

// --- Time ---------------------------------------------------------------------

std::int64_t HostModel::NowNanos() const { return impl_->clock->NowNanos(); }

void HostModel::SetFramesPerSecond(int fps) {
  std::lock_guard lock(impl_->mutex);
  impl_->fps = std::max(fps, 0);
  impl_->next_frame = 1;
  if (impl_->fps > 0) {
    const std::int64_t now = impl_->clock->NowNanos();
    while (impl_->FrameDue(impl_->next_frame) <= now) ++impl_->next_frame;
  }
}

void HostModel::Advance(std::int64_t nanos) {
  const std::int64_t target = impl_->clock->NowNanos() + std::max<std::int64_t>(nanos, 0);
  for (;;) {
    std::unique_lock lock(impl_->mutex);
    const bool has_timer = !impl_->timers.empty() && impl_->timers.top().due <= target;
    const std::int64_t frame_due = impl_->fps > 0 ? impl_->FrameDue(impl_->next_frame)
                                                  : std::numeric_limits<std::int64_t>::max();
    const bool has_frame = frame_due <= target;
    if (!has_timer && !has_frame) break;
    if (has_timer && (!has_frame || impl_->timers.top().due <= frame_due)) {
      Timer timer = impl_->timers.top();
      impl_->timers.pop();
      lock.unlock();
      impl_->clock->AdvanceTo(timer.due);
      timer.action();
    } else {
      ++impl_->next_frame;
      lock.unlock();
      impl_->clock->AdvanceTo(frame_due);
      DrawFrame();
    }
  }
  impl_->clock->AdvanceTo(target);
}

void HostModel::ScheduleAction(std::int64_t delay_nanos, Action action) {
  std::lock_guard lock(impl_->mutex);
  const std::int64_t due = impl_->clock->NowNanos() + std::max<std::int64_t>(delay_nanos, 0);
  impl_->timers.push(Timer{due, impl_->next_sequence++, std::move(action)});
}

std::size_t HostModel::PendingTimerCount() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->timers.size();
}

std::uint64_t HostModel::FramesDrawn() const { return impl_->frames_drawn.load(); }

void HostModel::DrawFrame() {
  std::shared_ptr<const std::vector<std::shared_ptr<std::function<void(CanvasWrapper)>>>> list;
  {
    std::lock_guard lock(impl_->mutex);
    list = impl_->frame_list;
  }
  impl_->frames_drawn.fetch_add(1, std::memory_order_relaxed);
  for (const auto& callback : *list) (*callback)(CanvasWrapper(0));
}

// --- Console ------------------------------------------------------------------

void HostModel::SetLogSink(LogSink sink) {
  std::lock_guard lock(impl_->mutex);
  impl_->sink = std::move(sink);
}

void HostModel::Log(const std::string& text) {
  LogSink sink;
  {
    std::lock_guard lock(impl_->mutex);
    sink = impl_->sink;
  }
  if (sink) sink(text);
}

HostModel::ConsoleResult HostModel::TypeIntoConsole(const std::vector<std::string>& words) {
  if (words.empty()) return ConsoleResult::kDone;
  const std::string& name = words[0];
  if (CvarExists(name)) {
    if (words.size() == 1) {
      Log(fmt::format("{} = {}", name, CvarValue(name).value_or("")));
      return ConsoleResult::kDone;
    }
    if (words.size() != 2) return ConsoleResult::kBadValue;
    return SetCvarValue(name, words[1]) ? ConsoleResult::kDone : ConsoleResult::kBadValue;
  }
  std::function<void(std::vector<std::string>)> callback;
  {
    std::lock_guard lock(impl_->mutex);
    auto it = impl_->notifiers.find(name);
    if (it == impl_->notifiers.end()) return ConsoleResult::kUnknownName;
    callback = it->second.callback;
  }
  callback(words);
  return ConsoleResult::kDone;
}

std::optional<CvarInfo> HostModel::FindCvar(const std::string& name) const {
  std::lock_guard lock(impl_->mutex);
  auto it = impl_->cvars.find(name);
  if (it == impl_->cvars.end()) return std::nullopt;
  return it->second.info;
}

bool HostModel::HasCommand(const std::string& name) const {
  std::lock_guard lock(impl_->mutex);
  return impl_->notifiers.count(name) != 0;
}

void HostModel::RegisterCvar(const CvarInfo& info) {
  std::lock_guard lock(impl_->mutex);
  if (impl_->cvars.count(info.name) != 0) return;  // saved variables keep their value
  Cvar cvar;
  cvar.info = info;
  cvar.info.value_text = info.default_value;
  float value = 0;
  cvar.info.value = ParseNumber(info.default_value, &value) ? value : 0;
  impl_->cvars.emplace(info.name, std::move(cvar));
}

bool HostModel::CvarExists(const std::string& name) const {
  std::lock_guard lock(impl_->mutex);
  return impl_->cvars.count(name) != 0;
}

void HostModel::BindCvar(const std::string& name, std::shared_ptr<bool> flag) {
  if (!flag) return;
  std::lock_guard lock(impl_->mutex);
  auto it = impl_->cvars.find(name);
  if (it == impl_->cvars.end()) return;
  StoreFlag(flag, static_cast<int>(it->second.info.value) != 0);
  it->second.bindings.push_back(std::move(flag));
}

bool HostModel::SetCvarValue(const std::string& name, const std::string& text) {
  float value = 0;
  if (!ParseNumber(text, &value)) return false;
  std::lock_guard lock(impl_->mutex);
  auto it = impl_->cvars.find(name);
  if (it == impl_->cvars.end()) return false;
  CvarInfo& info = it->second.info;
  if (info.has_min) value = std::max(value, info.min);
  if (info.has_max) value = std::min(value, info.max);
  info.value = value;
  info.value_text = fmt::format("{}", value);
  const bool on = static_cast<int>(value) != 0;
  for (const auto& flag : it->second.bindings) StoreFlag(flag, on);
  return true;
}

std::optional<std::string> HostModel::CvarValue(const std::string& name) const {
  std::lock_guard lock(impl_->mutex);
  auto it = impl_->cvars.find(name);
  if (it == impl_->cvars.end()) return std::nullopt;
  return it->second.info.value_text;
}

void HostModel::RegisterNotifier(int owner, const std::string& name,
                                 std::function<void(std::vector<std::string>)> callback) {
  std::lock_guard lock(impl_->mutex);
  impl_->notifiers[name] = Notifier{owner, std::move(callback)};
}

void HostModel::ExecuteCommand(const std::string& command) {
  std::istringstream in(command);
  std::vector<std::string> words;
  for (std::string word; in >> word;) words.push_back(word);
  TypeIntoConsole(words);
}

void HostModel::HookEvent(int owner, const std::string& name,
                          std::function<void(std::string)> callback) {
  std::lock_guard lock(impl_->mutex);
  impl_->hooks.push_back(
      Hook{owner, name, std::make_shared<std::function<void(std::string)>>(std::move(callback))});
}

void HostModel::UnhookEvent(int owner, const std::string& name) {
  std::lock_guard lock(impl_->mutex);
  std::erase_if(impl_->hooks, [&](const Hook& h) { return h.owner == owner && h.name == name; });
}

void HostModel::RegisterDrawable(int owner, std::function<void(CanvasWrapper)> callback) {
  std::lock_guard lock(impl_->mutex);
  impl_->drawables.push_back(
      Drawable{owner, std::make_shared<std::function<void(CanvasWrapper)>>(std::move(callback))});
  impl_->RebuildFrameList();
}

void HostModel::UnregisterDrawables(int owner) {
  std::lock_guard lock(impl_->mutex);
  std::erase_if(impl_->drawables, [owner](const Drawable& d) { return d.owner == owner; });
  impl_->RebuildFrameList();
}

void HostModel::SetTimeout(GameWrapper* wrapper, std::function<void(GameWrapper*)> callback,
                           float seconds) {
  ScheduleAction(SecondsToNanos(seconds),
                 [wrapper, callback = std::move(callback)] { callback(wrapper); });
}

void HostModel::FireEvent(const std::string& name) {
  std::vector<std::shared_ptr<std::function<void(std::string)>>> callbacks;
  {
    std::lock_guard lock(impl_->mutex);
    for (const Hook& hook : impl_->hooks) {
      if (hook.name == name) callbacks.push_back(hook.callback);
    }
  }
  for (const auto& callback : callbacks) (*callback)(name);
}

// --- The game -----------------------------------------------------------------

void HostModel::SetState(GameState state) {
  std::lock_guard lock(impl_->mutex);
  impl_->state.store(state);
  impl_->dropped.clear();
  impl_->Rebuild(this);
}

GameState HostModel::State() const { return impl_->state.load(); }

void HostModel::SetMatch(const MatchSetup& match) {
  std::lock_guard lock(impl_->mutex);
  impl_->match = match;
  impl_->state.store(GameState::kOnline);
  impl_->dropped.clear();
  impl_->Rebuild(this);
}

bool HostModel::HasMatch() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->match.has_value();
}

bool HostModel::Drop(Link link) {
  std::lock_guard lock(impl_->mutex);
  if (!impl_->offline_game && !impl_->online_game) return false;
  impl_->dropped.push_back(link);
  impl_->Rebuild(this);
  return true;
}

void HostModel::SetAccountText(const std::string& id) {
  std::lock_guard lock(impl_->mutex);
  impl_->identity = Identity{id, 0};
}

void HostModel::SetAccountUid(std::uint64_t uid) {
  std::lock_guard lock(impl_->mutex);
  impl_->identity = Identity{std::string(), uid};
}

void HostModel::SetPlayerName(const std::string& name) {
  std::lock_guard lock(impl_->mutex);
  impl_->player_name = name;
}

std::string HostModel::PlayerName() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->player_name;
}

void HostModel::SetMmr(int playlist_id, float value) {
  std::lock_guard lock(impl_->mutex);
  impl_->ratings[playlist_id] = Rating{value, true};
}

void HostModel::SetMmrUnsynced(int playlist_id) {
  std::lock_guard lock(impl_->mutex);
  impl_->ratings[playlist_id].synced = false;
}

void HostModel::SetSyncing(bool syncing) {
  std::lock_guard lock(impl_->mutex);
  impl_->syncing = syncing;
}

HostModel::Identity HostModel::CurrentIdentity() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->identity;
}

bool HostModel::IsSyncing() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->syncing;
}

bool HostModel::IsSynced(int playlist_id) const {
  std::lock_guard lock(impl_->mutex);
  auto it = impl_->ratings.find(playlist_id);
  return it != impl_->ratings.end() && it->second.synced;
}

float HostModel::PlayerMmr(int playlist_id) const {
  std::lock_guard lock(impl_->mutex);
  auto it = impl_->ratings.find(playlist_id);
  return it != impl_->ratings.end() ? it->second.value : kUnknownMmr;
}

// The game's own answers: in an online match it reports neither a game nor
// freeplay nor a replay; only offline play counts as "in game".
bool HostModel::IsInGame() const {
  const GameState s = impl_->state.load(std::memory_order_relaxed);
  return s == GameState::kFreeplay || s == GameState::kTraining;
}

bool HostModel::IsInFreeplay() const {
  return impl_->state.load(std::memory_order_relaxed) == GameState::kFreeplay;
}

bool HostModel::IsInReplay() const {
  return impl_->state.load(std::memory_order_relaxed) == GameState::kReplay;
}

std::uintptr_t HostModel::OnlineGame() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->online_game ? reinterpret_cast<std::uintptr_t>(&impl_->online_game->server) : 0;
}

std::uintptr_t HostModel::GameEventAsServer() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->offline_game ? reinterpret_cast<std::uintptr_t>(&impl_->offline_game->server) : 0;
}

std::uintptr_t HostModel::CurrentGameState() const {
  std::lock_guard lock(impl_->mutex);
  if (impl_->online_game) return reinterpret_cast<std::uintptr_t>(&impl_->online_game->server);
  if (impl_->offline_game) return reinterpret_cast<std::uintptr_t>(&impl_->offline_game->server);
  return 0;
}

std::int64_t SecondsToNanos(float seconds) {
  if (!std::isfinite(seconds) || seconds <= 0) return 0;
  // A float is m * 2^e exactly; scale in integers so that no digit is lost.
  int exponent = 0;
  const float fraction = std::frexp(seconds, &exponent);  // seconds = fraction * 2^exponent
  const auto mantissa = static_cast<std::int64_t>(std::ldexp(fraction, 24));  // exact
  exponent -= 24;
  Int128 scaled = static_cast<Int128>(mantissa) * kNanosPerSecond;
  if (exponent >= 0) {
    if (exponent > 60) return std::numeric_limits<std::int64_t>::max();
    scaled <<= exponent;
  } else {
    const int shift = -exponent;
    if (shift > 120) return 0;
    const Int128 half = static_cast<Int128>(1) << (shift - 1);
    scaled = (scaled + half) >> shift;
  }
  if (scaled > std::numeric_limits<std::int64_t>::max()) {
    return std::numeric_limits<std::int64_t>::max();
  }
  return static_cast<std::int64_t>(scaled);
}

}  // namespace sdkhost
