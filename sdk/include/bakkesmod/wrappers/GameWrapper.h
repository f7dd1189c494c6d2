#pragma once

#include <functional>
#include <string>

#include "bakkesmod/sdk_api.h"
#include "bakkesmod/wrappers/GameEvent/ServerWrapper.h"
#include "bakkesmod/wrappers/MMRWrapper.h"
#include "bakkesmod/wrappers/UniqueIDWrapper.h"
#include "bakkesmod/wrappers/canvaswrapper.h"

// The game as the host offers it to a plugin: hooks, drawables, timers and
// the game's state.
class PLUGINSDK_API GameWrapper {
 public:
  GameWrapper(sdkhost::HostModel* model, int owner);

  void HookEvent(std::string eventName, std::function<void(std::string eventName)> callback);
  void UnhookEvent(std::string eventName);
  void RegisterDrawable(std::function<void(CanvasWrapper)> callback);
  void UnregisterDrawables();
  // Runs `theLambda` once on the game thread, `time` seconds from now.
  void SetTimeout(std::function<void(GameWrapper*)> theLambda, float time);
  // Runs `theLambda` on the game thread as soon as it can; the way for code on
  // another thread (the settings tab's render thread) to reach the game.
  void Execute(std::function<void(GameWrapper*)> theLambda);

  // Game calls: only from the game thread.
  // Offline play (freeplay, training); an online match is IsInOnlineGame.
  bool IsInGame();
  bool IsInOnlineGame();
  bool IsInFreeplay();
  bool IsInReplay();

  UniqueIDWrapper GetUniqueID();
  MMRWrapper GetMMRWrapper();

  ServerWrapper GetCurrentGameState();
  ServerWrapper GetOnlineGame();
  ServerWrapper GetGameEventAsServer();

 private:
  sdkhost::HostModel* model_;
  int owner_;
};
