// The host behind the SDK stand-in: its console, hooks, drawables, timers on
// virtual time, and the game as a script sets it up. A host program drives it;
// plugins see it only through the SDK's wrappers.
//
// Thread safety: every member may be called from any thread. Callbacks of a
// plugin are never run while the model's lock is held, so a callback may call
// back into the host (and a plugin may hold its own lock while calling in).
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "bakkesmod/sdk_api.h"
#include "platform/testing/VirtualClockEnv.h"

class CVarManagerWrapper;
class GameWrapper;
class CanvasWrapper;

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
  const class HostModel* model = nullptr;
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

struct CvarInfo {
  std::string name;
  std::string default_value;
  std::string description;
  bool searchable = false;
  bool has_min = false;
  float min = 0;
  bool has_max = false;
  float max = 0;
  bool save_to_config = false;
  std::string value_text;
  float value = 0;
};

class PLUGINSDK_API HostModel {
 public:
  using LogSink = std::function<void(const std::string& line)>;
  using Action = std::function<void()>;

  explicit HostModel(platform::VirtualClock* clock);
  ~HostModel();
  HostModel(const HostModel&) = delete;
  HostModel& operator=(const HostModel&) = delete;

  // The SDK handles given to one loaded plugin; registrations are its own.
  std::shared_ptr<CVarManagerWrapper> NewCVarManager(int owner);
  std::shared_ptr<GameWrapper> NewGameWrapper(int owner);
  // What a host does when it unloads a plugin: its commands go (its saved
  // variables stay, and so do timers it set).
  void ForgetOwner(int owner);
  // Keeps replaced game objects readable for a while, for hosts that draw the
  // settings tab on another thread than the one that changes the game.
  void KeepReplacedGames(bool keep);

  // --- Virtual time ---------------------------------------------------------
  std::int64_t NowNanos() const;
  void SetFramesPerSecond(int fps);
  // Runs everything due in (now, now + nanos]: timers and scheduled actions in
  // due order (ties in the order set) and, between them, one run of every
  // drawable per frame. A timer due at a frame's instant runs first.
  void Advance(std::int64_t nanos);
  void ScheduleAction(std::int64_t delay_nanos, Action action);
  std::size_t PendingTimerCount() const;
  std::uint64_t FramesDrawn() const;

  // --- Console --------------------------------------------------------------
  void SetLogSink(LogSink sink);
  void Log(const std::string& text);
  enum class ConsoleResult { kDone, kUnknownName, kBadValue };
  // Words typed into the console: a variable alone prints its value, a variable
  // and a number sets it, a command runs with the words as its arguments.
  ConsoleResult TypeIntoConsole(const std::vector<std::string>& words);
  std::optional<CvarInfo> FindCvar(const std::string& name) const;
  bool HasCommand(const std::string& name) const;

  // --- The game -------------------------------------------------------------
  void SetState(GameState state);
  GameState State() const;
  // Sets up an online match and switches to the online state.
  void SetMatch(const MatchSetup& match);
  bool HasMatch() const;
  // The current game loses a link until the next SetState or SetMatch; false
  // when there is no current game.
  bool Drop(Link link);
  void SetAccountText(const std::string& id);
  void SetAccountUid(std::uint64_t uid);
  void SetPlayerName(const std::string& name);
  std::string PlayerName() const;
  void SetMmr(int playlist_id, float value);
  void SetMmrUnsynced(int playlist_id);
  void SetSyncing(bool syncing);
  // The game runs function `name`: every callback hooked to it runs.
  void FireEvent(const std::string& name);
  // One frame: every drawable runs once.
  void DrawFrame();

  // --- Used by the SDK wrappers --------------------------------------------
  struct Identity {
    std::string text;
    std::uint64_t uid = 0;
  };
  Identity CurrentIdentity() const;
  bool IsSyncing() const;
  bool IsSynced(int playlist_id) const;
  float PlayerMmr(int playlist_id) const;
  bool IsInGame() const;
  bool IsInFreeplay() const;
  bool IsInReplay() const;
  std::uintptr_t OnlineGame() const;
  std::uintptr_t GameEventAsServer() const;
  std::uintptr_t CurrentGameState() const;

  void RegisterCvar(const CvarInfo& info);
  bool CvarExists(const std::string& name) const;
  void BindCvar(const std::string& name, std::shared_ptr<bool> flag);
  bool SetCvarValue(const std::string& name, const std::string& text);
  std::optional<std::string> CvarValue(const std::string& name) const;
  void RegisterNotifier(int owner, const std::string& name,
                        std::function<void(std::vector<std::string>)> callback);
  void ExecuteCommand(const std::string& command);
  void HookEvent(int owner, const std::string& name, std::function<void(std::string)> callback);
  void UnhookEvent(int owner, const std::string& name);
  void RegisterDrawable(int owner, std::function<void(CanvasWrapper)> callback);
  void UnregisterDrawables(int owner);
  void SetTimeout(GameWrapper* wrapper, std::function<void(GameWrapper*)> callback, float seconds);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// A timer's delay in single-precision seconds, converted exactly (rounding to
// the nearest nanosecond). Negative and non-finite delays count as zero.
PLUGINSDK_API std::int64_t SecondsToNanos(float seconds);

}  // namespace sdkhost
