// The plugin object: the host's handles, and the glue that reads the game,
// hands it to the rules (capture/, export/) and carries out what they decide.
// Its members live in plugin/, each file calling only those below it:
// LifeCycle, ConsoleRegistration, ExportTriggers, MatchCapture,
// RenderSettings, RunExport, then TallyLoomMMR.cpp (log lines, timers, the
// switches and the guard). Hooks, timers, the drawable and console commands
// run on the game thread, which alone touches the capture rules; the tab runs
// on the render thread and reads only the switches and the tab's state, behind
// its own lock. No lock of the plugin's is held while it calls the host.
#pragma once

#include <atomic>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <tuple>
#include <utility>

#include "bakkesmod/plugin/bakkesmodplugin.h"
#include "capture/CaptureMachine.h"
#include "plugin/LivenessGuard.h"
#include "settings/SettingsWindowBase.h"
#include "settings/TabState.h"

// The two throttles of the library rather than of one plugin object: the
// library keeps them beside its object (EntryPoints.cpp); tests hand their
// own. They run on across an unload and a load while the library stays
// loaded, as the simulated host keeps it. The real host releases the library,
// so there both windows simply start again after a reload, which is allowed.
struct LibraryThrottles {
  Throttle matchEnd{kMatchEndRepeatWindow, std::nullopt};
  // Counts from the clock's zero, so the first qualifying frame after the
  // library is loaded exports at once.
  Throttle freeplayDraw{kFreeplayDrawExportInterval, std::chrono::nanoseconds::zero()};
};

class TallyLoomMMR : public BakkesMod::Plugin::BakkesModPlugin, public SettingsWindowBase {
 public:
  explicit TallyLoomMMR(LibraryThrottles& throttles) : throttles_(throttles) {}
  ~TallyLoomMMR() override = default;

  // Life cycle.
  void onLoad() override;
  void onUnload() override;

  // The settings tab.
  void RenderSettings() override;

  // Every console line of the plugin goes through these two; before onLoad
  // they only record the text.
  void Log(const std::string& message);
  void LogError(const std::string& message, ErrorKind kind = ErrorKind::kGeneral);

  // What the tab shows, copied; safe from any thread.
  TabRows Status() const { return tab_.Rows(); }

 private:
  void RegisterCvars();
  void RegisterHooks();
  void ScheduleStartupExport();
  void SchedulePeriodicExport();
  void OnFreeplayFrame();

  // Reads the game, remembers the ratings read and writes the snapshot.
  void ExportSnapshot(bool manual, const std::string& reason);

  void HandleMatchEnded();
  void AdvanceCapture(const std::string& matchKey);
  void CarryOut(const CaptureStep& step);

  // The two gates, read when a callback runs.
  bool IsEnabled() const;
  bool IsAutoExportOn() const;

  // Every callback handed to the host goes through Guarded: it does nothing
  // once this object is gone, and lets no exception reach the host.
  template <class Fn>
  auto Guarded(Fn fn) {
    return [this, alive = liveness_.token(), fn = std::move(fn)](auto&&... args) {
      if (!LivenessGuard::IsAlive(alive)) return;
      // The host's arguments travel as one tuple: older Visual C++ releases
      // reject a parameter pack expanded inside a nested lambda.
      auto arguments = std::forward_as_tuple(std::forward<decltype(args)>(args)...);
      // this->: clang takes an implicit member call in a generic lambda for
      // an unused capture.
      this->Shielded([&] { std::apply(fn, std::move(arguments)); });
    };
  }
  // Runs `body`; an exception that escapes it is logged as an unexpected
  // failure. Inline, as the frame callback runs through it every frame.
  template <class Body>
  void Shielded(Body&& body) {
    try {
      body();
    } catch (const std::exception& error) {
      ReportUnexpected(error.what());
    } catch (...) {
      ReportUnexpected(nullptr);
    }
  }
  void ReportUnexpected(const char* what) noexcept;
  void SetGuardedTimeout(std::function<void()> callback, TimerDelay delay);

  LibraryThrottles& throttles_;
  CaptureMachine captures_;
  TabState tab_;
  // The switches, bound to their console variables by onLoad; made here so
  // that the tab, which the host may draw while onLoad runs, reads the same
  // objects throughout. Until then the plugin counts as enabled, without
  // automatic export.
  std::shared_ptr<bool> enabled_ = std::make_shared<bool>(true);
  std::shared_ptr<bool> autoExportEnabled_ = std::make_shared<bool>(false);
  // Set by onLoad: from then on log lines reach the host's console.
  std::atomic<bool> consoleReady_{false};
  LivenessGuard liveness_;
};
