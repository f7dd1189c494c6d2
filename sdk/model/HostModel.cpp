#include "sdk/model/HostModel.h"

#include "bakkesmod/wrappers/GameWrapper.h"
#include "bakkesmod/wrappers/cvarmanagerwrapper.h"

namespace sdkhost {

HostModel::HostModel(platform::VirtualClock* clock)
    : time_(clock, [this] { registrations_.DrawFrame(); }) {}

HostModel::~HostModel() = default;

std::shared_ptr<CVarManagerWrapper> HostModel::NewCVarManager(int owner) {
  return std::make_shared<CVarManagerWrapper>(this, owner);
}

std::shared_ptr<GameWrapper> HostModel::NewGameWrapper(int owner) {
  return std::make_shared<GameWrapper>(this, owner);
}

void HostModel::ForgetOwner(int owner) {
  console_.Forget(owner);
  registrations_.Forget(owner);
}

}  // namespace sdkhost
