// The plugin object: the host's handles, all of the plugin's state, and every
// operation the host's callbacks end in. It is one class whose members are
// defined in the folder of their concern; this header is their one
// declaration, and this index says where each member is defined.
//
// LIFE CYCLE AND ENTRY                                  plugin/TallyLoomMMR.cpp
//   onLoad, onUnload              what the host calls when it loads and unloads
//   IsEnabled, IsAutoExportOn     the two switches, read when a callback runs
//   RunEntry, SetGuardedTimeout   every host callback's way in (Guarded: below)
//   RunUnlocked                   the settings tab's way in: it locks by itself
// LOG                                                   plugin/PluginLog.cpp
//   Log, LogError                 every console line of the plugin
//   RecordStatus, RecordError, RecordUnexpectedFailure
//                                 the same, written once the entry lock is released
//   ClearStandingError            a success that ends a failure of its kind
// CONSOLE                                               plugin/ConsoleRegistration.cpp
//   RegisterCvars                 the two variables and two commands
// EXPORT TRIGGERS                                       plugin/ExportTriggers.cpp
//   RegisterHooks                 freeplay, training and match-end hooks; the frame
//   ScheduleStartupExport, SchedulePeriodicExport, OnFreeplayFrame
// SNAPSHOT EXPORT                                       export/
//   ExportSnapshot                export/ExportSnapshot.cpp
//   WriteFileAtomically           export/WriteFileAtomically.cpp
//   ResolveAccount, TryGetPlaylistMmr, CollectRankedPlaylists
//                                 export/AccountLookup.cpp
// MATCH CAPTURE                                         capture/
//   HandleMatchEnded              capture/MatchDetection.cpp
//   QueuePendingMatchCapture, AdvancePendingMatchCapture, FinalizePendingMatchCapture
//                                 capture/PendingCaptureQueue.cpp
//   AppendMatchHistory            capture/AppendMatchHistory.cpp
// SETTINGS TAB                                          settings/
//   RenderSettings                settings/SettingsTab.cpp
//   GetPluginName, SetImGuiContext  (of SettingsWindowBase) settings/SettingsWindowBase.cpp
//
// The pure routines that members call, which keep no plugin state, stand
// beside them: JSON text (export/JsonText.h), the snapshot's and the history
// line's text (export/SnapshotFile.h, capture/HistoryLine.h), timestamps
// (export/Timestamp.h), the export folder (export/ExportFolder.h), the ranked
// playlists (export/RankedPlaylists.h).
#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <tuple>
#include <unordered_map>
#include <utility>
#include <vector>

#include "bakkesmod/plugin/bakkesmodplugin.h"
#include "capture/TallyLoomPendingMatchCapture.h"
#include "export/TallyLoomAccount.h"
#include "plugin/LivenessGuard.h"
#include "plugin/PluginLog.h"
#include "settings/SettingsWindowBase.h"

class TallyLoomMMR : public BakkesMod::Plugin::BakkesModPlugin, public SettingsWindowBase {
 public:
  TallyLoomMMR() = default;
  ~TallyLoomMMR() override = default;

  // Life cycle.
  void onLoad() override;
  void onUnload() override;

  // The settings tab.
  void RenderSettings() override;

  // Every console line of the plugin goes through these two.
  void Log(const std::string& message);
  // A failure stands in lastError, which the tab shows, until a success of its
  // kind: a written snapshot ends every failure but the history file's, a
  // written history line ends only those. Of two that stand, the later shows.
  enum class ErrorKind { kGeneral, kHistory };
  void LogError(const std::string& message, ErrorKind kind = ErrorKind::kGeneral);
  void ClearStandingError(ErrorKind kind);

  // Files.
  bool WriteFileAtomically(const std::string& targetPath, const std::string& content);
  void ExportSnapshot(bool manual, const std::string& reason);
  void AppendMatchHistory(const TallyLoomPendingMatchCapture& capture, TallyLoomDeltaState state,
                          const std::optional<std::int32_t>& mmrAfter, bool complete);

  // The game's view of the local player.
  std::optional<TallyLoomAccount> ResolveAccount();
  bool TryGetPlaylistMmr(std::int32_t playlistId, std::int32_t& mmr, bool* syncing = nullptr);
  std::vector<TallyLoomPlaylistMmr> CollectRankedPlaylists();

  // The end of a match, as the two match-end hooks report it.
  void HandleMatchEnded();

  // --- State ------------------------------------------------------------------
  std::unordered_map<std::int32_t, std::int32_t> lastKnownMmr;
  std::unordered_map<std::string, TallyLoomPendingMatchCapture> pendingCaptures;
  std::shared_ptr<bool> enabled;
  std::shared_ptr<bool> autoExportEnabled;
  std::string statusMessage;
  std::string lastError;
  std::string loadedAt;
  std::string lastSnapshotExportAt;
  std::string lastExportReason;
  std::string lastMatchCapture;
  std::int32_t lastExportedPlaylistCount = 0;

 private:
  friend struct TallyLoomMMRTestAccess;

  void RegisterCvars();
  void RegisterHooks();
  void ScheduleStartupExport();
  void SchedulePeriodicExport();

  void QueuePendingMatchCapture(const TallyLoomPendingMatchCapture& capture);
  void AdvancePendingMatchCapture(const std::string& matchKey);
  void FinalizePendingMatchCapture(const std::string& matchKey, TallyLoomDeltaState state,
                                   const std::optional<std::int32_t>& mmrAfter);

  // The two gates, read when a callback runs.
  bool IsEnabled() const;
  bool IsAutoExportOn() const;

  // The freeplay-frame callback, run on every drawn frame.
  void OnFreeplayFrame();

  // Every callback handed to the host goes through one of these: it does
  // nothing once this object is gone, runs under the entry lock, and lets no
  // exception reach the host.
  template <class Fn>
  auto Guarded(Fn fn) {
    return [this, alive = liveness_.token(), fn = std::move(fn)](auto&&... args) {
      if (!LivenessGuard::IsAlive(alive)) return;
      // The host's arguments travel as one tuple: older Visual C++ releases
      // reject a parameter pack expanded inside a nested lambda.
      auto arguments = std::forward_as_tuple(std::forward<decltype(args)>(args)...);
      RunEntry([&] { std::apply(fn, std::move(arguments)); });
    };
  }
  // The plugin's one way of setting a timer.
  void SetGuardedTimeout(std::function<void()> callback, float seconds);
  // Runs `body` under the entry lock, reporting an escaping exception.
  void RunEntry(const std::function<void()>& body);
  // Runs `body` without the entry lock, which it takes by itself where it
  // touches state; an escaping exception is reported like RunEntry's, but its
  // console line is written once the lock is released.
  void RunUnlocked(const std::function<void()>& body);

  // Log and LogError in two steps, for code that must not call the host while
  // it holds the entry lock: these record under the lock, and the line they
  // return is written after it is released.
  PendingConsoleLine RecordStatus(const std::string& message);
  PendingConsoleLine RecordError(const std::string& message, ErrorKind kind = ErrorKind::kGeneral);
  PendingConsoleLine RecordUnexpectedFailure(const std::exception_ptr& failure);

  // The failures that stand, one of each kind; lastError is the later of them.
  std::string standingGeneralError_;
  std::string standingHistoryError_;

  // Host entry points may come from the game thread and the host's render
  // thread; they are serialised here. The settings tab never calls the host
  // while holding it: a host may hold a lock of its own around this plugin's
  // callbacks (a console command, a cvar change) and take that lock inside
  // the calls the tab makes. Recursive, because the periodic timer runs an
  // entry of its own inside its callback's, and because the game thread's
  // callbacks call the host under it (the game, the log, timers): a host that
  // runs another of this plugin's callbacks from inside such a call, on the
  // same thread, must find it open rather than freeze the game.
  std::recursive_mutex entryMutex_;
  LivenessGuard liveness_;
};
