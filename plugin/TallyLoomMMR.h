// The plugin object: the host's handles, all of the plugin's state, and every
// operation the host's callbacks end in. It is one class whose members are
// defined in the folder of their concern; this header is their one
// declaration, and this index says where each member is defined.
//
// LIFE CYCLE AND ENTRY                                  plugin/TallyLoomMMR.cpp
//   onLoad, onUnload              what the host calls when it loads and unloads
//   IsEnabled, IsAutoExportOn     the two switches, read when a callback runs
//   RunEntry, SetGuardedTimeout   every host callback's way in (Guarded: below)
// LOG                                                   plugin/PluginLog.cpp
//   Log, LogError                 every console line of the plugin
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

  // The failures that stand, one of each kind; lastError is the later of them.
  std::string standingGeneralError_;
  std::string standingHistoryError_;

  // Host entry points may come from the game thread and the host's render
  // thread; they are serialised here. Recursive, because a settings button
  // runs a console command of this plugin from inside RenderSettings.
  std::recursive_mutex entryMutex_;
  LivenessGuard liveness_;
};
