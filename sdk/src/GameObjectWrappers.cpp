// The game object wrappers read the objects that the host model keeps for the
// current game; a wrapper's address is the object's address.
#include "bakkesmod/wrappers/GameEvent/GameSettingPlaylistWrapper.h"
#include "bakkesmod/wrappers/GameEvent/ServerWrapper.h"
#include "bakkesmod/wrappers/GameObject/PlayerReplicationInfoWrapper.h"
#include "bakkesmod/wrappers/GameObject/TeamInfoWrapper.h"
#include "bakkesmod/wrappers/PlayerControllerWrapper.h"
#include "sdk/model/Game.h"
#include "sdk/model/GameThread.h"

namespace {

template <class T>
T* Object(std::uintptr_t address) {
  return reinterpret_cast<T*>(address);
}

template <class T>
std::uintptr_t Address(T* object) {
  return reinterpret_cast<std::uintptr_t>(object);
}

}  // namespace

int GameSettingPlaylistWrapper::GetPlaylistId() {
  sdkhost::RequireGameThread("GameSettingPlaylistWrapper::GetPlaylistId");
  return IsNull() ? 0 : Object<sdkhost::PlaylistObject>(memory_address)->id;
}

std::uint32_t GameSettingPlaylistWrapper::GetbRanked() {
  sdkhost::RequireGameThread("GameSettingPlaylistWrapper::GetbRanked");
  return IsNull() ? 0 : Object<sdkhost::PlaylistObject>(memory_address)->ranked;
}

unsigned char TeamInfoWrapper::GetTeamNum() {
  sdkhost::RequireGameThread("TeamInfoWrapper::GetTeamNum");
  return IsNull() ? 0 : Object<sdkhost::TeamObject>(memory_address)->team_num;
}

int TeamInfoWrapper::GetScore() {
  sdkhost::RequireGameThread("TeamInfoWrapper::GetScore");
  return IsNull() ? 0 : Object<sdkhost::TeamObject>(memory_address)->score;
}

UnrealStringWrapper PlayerReplicationInfoWrapper::GetPlayerName() {
  sdkhost::RequireGameThread("PlayerReplicationInfoWrapper::GetPlayerName");
  if (IsNull()) return UnrealStringWrapper();
  return UnrealStringWrapper(Object<sdkhost::PriObject>(memory_address)->game->PlayerName());
}

unsigned char PlayerReplicationInfoWrapper::GetTeamNum() {
  sdkhost::RequireGameThread("PlayerReplicationInfoWrapper::GetTeamNum");
  return IsNull() ? 0 : Object<sdkhost::PriObject>(memory_address)->team_num;
}

PriWrapper PlayerControllerWrapper::GetPRI() {
  sdkhost::RequireGameThread("PlayerControllerWrapper::GetPRI");
  if (IsNull()) return PriWrapper(0);
  return PriWrapper(Address(Object<sdkhost::PlayerControllerObject>(memory_address)->pri));
}

PlayerControllerWrapper GameEventWrapper::GetLocalPrimaryPlayer() {
  sdkhost::RequireGameThread("GameEventWrapper::GetLocalPrimaryPlayer");
  if (IsNull()) return PlayerControllerWrapper(0);
  return PlayerControllerWrapper(Address(Object<sdkhost::ServerObject>(memory_address)->player));
}

GameSettingPlaylistWrapper GameEventWrapper::GetPlaylist() {
  sdkhost::RequireGameThread("GameEventWrapper::GetPlaylist");
  if (IsNull()) return GameSettingPlaylistWrapper(0);
  return GameSettingPlaylistWrapper(
      Address(Object<sdkhost::ServerObject>(memory_address)->playlist));
}

ArrayWrapper<TeamWrapper> TeamGameEventWrapper::GetTeams() {
  sdkhost::RequireGameThread("TeamGameEventWrapper::GetTeams");
  std::vector<std::uintptr_t> teams;
  if (!IsNull()) {
    for (sdkhost::TeamObject* team : Object<sdkhost::ServerObject>(memory_address)->teams) {
      teams.push_back(Address(team));
    }
  }
  return ArrayWrapper<TeamWrapper>(std::move(teams));
}

TeamWrapper ServerWrapper::GetGameWinner() {
  sdkhost::RequireGameThread("ServerWrapper::GetGameWinner");
  if (IsNull()) return TeamWrapper(0);
  return TeamWrapper(Address(Object<sdkhost::ServerObject>(memory_address)->winner));
}
