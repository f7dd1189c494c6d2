// The console, game and rating-service wrappers forward to the host model.
#include <cmath>

#include "bakkesmod/plugin/PluginSettingsWindow.h"
#include "bakkesmod/wrappers/GameWrapper.h"
#include "bakkesmod/wrappers/MMRWrapper.h"
#include "bakkesmod/wrappers/cvarmanagerwrapper.h"
#include "bakkesmod/wrappers/cvarwrapper.h"
#include "sdk/model/GameThread.h"
#include "sdk/model/HostModel.h"

#include <fmt/format.h>

namespace BakkesMod::Plugin {
PluginSettingsWindow::~PluginSettingsWindow() = default;
}

// --- CVarWrapper ----------------------------------------------------------------

CVarWrapper::CVarWrapper(sdkhost::HostModel* model, std::string name)
    : model_(model), name_(std::move(name)) {}

bool CVarWrapper::IsNull() const {
  return model_ == nullptr || !model_->console().CvarExists(name_);
}

void CVarWrapper::bindTo(std::shared_ptr<bool> var) {
  if (model_ != nullptr) model_->console().BindCvar(name_, std::move(var));
}

void CVarWrapper::setValue(int value) {
  if (model_ != nullptr) model_->console().SetCvarValue(name_, std::to_string(value));
}

void CVarWrapper::setValue(float value) {
  if (model_ != nullptr) model_->console().SetCvarValue(name_, fmt::format("{}", value));
}

void CVarWrapper::setValue(std::string value) {
  if (model_ != nullptr) model_->console().SetCvarValue(name_, value);
}

std::string CVarWrapper::getStringValue() const {
  return model_ != nullptr ? model_->console().CvarValue(name_).value_or("") : "";
}

float CVarWrapper::getFloatValue() const {
  if (model_ == nullptr) return 0;
  auto info = model_->console().FindCvar(name_);
  return info ? info->value : 0;
}

int CVarWrapper::getIntValue() const { return static_cast<int>(getFloatValue()); }

bool CVarWrapper::getBoolValue() const { return getIntValue() != 0; }

// --- CVarManagerWrapper ---------------------------------------------------------

CVarManagerWrapper::CVarManagerWrapper(sdkhost::HostModel* model, int owner)
    : model_(model), owner_(owner) {}

CVarWrapper CVarManagerWrapper::registerCvar(std::string cvar, std::string defaultValue,
                                             std::string desc, bool searchAble, bool hasMin,
                                             float min, bool hasMax, float max, bool saveToCfg) {
  sdkhost::CvarInfo info;
  info.name = cvar;
  info.default_value = std::move(defaultValue);
  info.description = std::move(desc);
  info.searchable = searchAble;
  info.has_min = hasMin;
  info.min = min;
  info.has_max = hasMax;
  info.max = max;
  info.save_to_config = saveToCfg;
  model_->console().RegisterCvar(owner_, info);
  return CVarWrapper(model_, std::move(cvar));
}

void CVarManagerWrapper::registerNotifier(std::string cvar,
                                          std::function<void(std::vector<std::string>)> notifier,
                                          std::string /*description*/,
                                          unsigned char /*permissions*/) {
  model_->console().RegisterNotifier(owner_, cvar, std::move(notifier));
}

CVarWrapper CVarManagerWrapper::getCvar(std::string cvar) {
  if (!model_->console().CvarExists(cvar)) return CVarWrapper();
  return CVarWrapper(model_, std::move(cvar));
}

void CVarManagerWrapper::executeCommand(std::string command, bool /*log*/) {
  model_->console().ExecuteCommand(command);
}

void CVarManagerWrapper::log(std::string text) { model_->console().Log(text); }

// --- GameWrapper ----------------------------------------------------------------

GameWrapper::GameWrapper(sdkhost::HostModel* model, int owner) : model_(model), owner_(owner) {}

void GameWrapper::HookEvent(std::string eventName, std::function<void(std::string)> callback) {
  model_->registrations().HookEvent(owner_, eventName, std::move(callback));
}

void GameWrapper::UnhookEvent(std::string eventName) {
  model_->registrations().UnhookEvent(owner_, eventName);
}

void GameWrapper::RegisterDrawable(std::function<void(CanvasWrapper)> callback) {
  model_->registrations().RegisterDrawable(owner_, std::move(callback));
}

void GameWrapper::UnregisterDrawables() { model_->registrations().UnregisterDrawables(owner_); }

void GameWrapper::SetTimeout(std::function<void(GameWrapper*)> theLambda, float time) {
  model_->time().ScheduleAction(sdkhost::SecondsToNanos(time),
                                [this, callback = std::move(theLambda)] { callback(this); });
}

void GameWrapper::Execute(std::function<void(GameWrapper*)> theLambda) {
  model_->time().Post([this, callback = std::move(theLambda)] { callback(this); });
}

// Everything below asks the game, which only its own thread may do.

bool GameWrapper::IsInGame() {
  sdkhost::RequireGameThread("GameWrapper::IsInGame");
  return model_->game().IsInGame();
}

bool GameWrapper::IsInOnlineGame() {
  sdkhost::RequireGameThread("GameWrapper::IsInOnlineGame");
  return model_->game().IsInOnlineGame();
}

bool GameWrapper::IsInFreeplay() {
  sdkhost::RequireGameThread("GameWrapper::IsInFreeplay");
  return model_->game().IsInFreeplay();
}

bool GameWrapper::IsInReplay() {
  sdkhost::RequireGameThread("GameWrapper::IsInReplay");
  return model_->game().IsInReplay();
}

UniqueIDWrapper GameWrapper::GetUniqueID() {
  sdkhost::RequireGameThread("GameWrapper::GetUniqueID");
  const sdkhost::Game::Identity identity = model_->game().CurrentIdentity();
  return UniqueIDWrapper(identity.text, identity.uid);
}

MMRWrapper GameWrapper::GetMMRWrapper() {
  sdkhost::RequireGameThread("GameWrapper::GetMMRWrapper");
  return MMRWrapper(model_);
}

ServerWrapper GameWrapper::GetCurrentGameState() {
  sdkhost::RequireGameThread("GameWrapper::GetCurrentGameState");
  return ServerWrapper(model_->game().CurrentGameState());
}

ServerWrapper GameWrapper::GetOnlineGame() {
  sdkhost::RequireGameThread("GameWrapper::GetOnlineGame");
  return ServerWrapper(model_->game().OnlineGame());
}

ServerWrapper GameWrapper::GetGameEventAsServer() {
  sdkhost::RequireGameThread("GameWrapper::GetGameEventAsServer");
  return ServerWrapper(model_->game().GameEventAsServer());
}

// --- MMRWrapper -----------------------------------------------------------------

bool MMRWrapper::IsSyncing(UniqueIDWrapper /*playerID*/) {
  sdkhost::RequireGameThread("MMRWrapper::IsSyncing");
  return model_ != nullptr && model_->game().IsSyncing();
}

bool MMRWrapper::IsSynced(UniqueIDWrapper /*playerID*/, int playlistID) {
  sdkhost::RequireGameThread("MMRWrapper::IsSynced");
  return model_ != nullptr && model_->game().IsSynced(playlistID);
}

float MMRWrapper::GetPlayerMMR(UniqueIDWrapper /*playerID*/, int playlistID) {
  sdkhost::RequireGameThread("MMRWrapper::GetPlayerMMR");
  return model_ != nullptr ? model_->game().PlayerMmr(playlistID) : 0.0f;
}
