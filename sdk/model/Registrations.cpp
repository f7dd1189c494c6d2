#include "sdk/model/Registrations.h"

#include <algorithm>
#include <mutex>
#include <vector>

#include "bakkesmod/wrappers/canvaswrapper.h"

namespace sdkhost {
namespace {

using DrawCallback = std::function<void(CanvasWrapper)>;
using DrawList = std::vector<std::shared_ptr<DrawCallback>>;

struct Hook {
  int owner = 0;
  std::string name;
  std::shared_ptr<std::function<void(std::string)>> callback;
};

struct Drawable {
  int owner = 0;
  std::shared_ptr<DrawCallback> callback;
};

}  // namespace

struct Registrations::Impl {
  mutable std::mutex mutex;
  std::vector<Hook> hooks;
  std::vector<Drawable> drawables;
  // The drawables as the frame loop runs them, rebuilt only when they change,
  // so that a frame copies one pointer.
  std::shared_ptr<const DrawList> frame_list = std::make_shared<const DrawList>();

  void RebuildFrameList() {
    auto list = std::make_shared<DrawList>();
    for (const Drawable& d : drawables) list->push_back(d.callback);
    frame_list = std::move(list);
  }
};

Registrations::Registrations() : impl_(std::make_unique<Impl>()) {}
Registrations::~Registrations() = default;

void Registrations::HookEvent(int owner, const std::string& name,
                              std::function<void(std::string)> callback) {
  std::lock_guard lock(impl_->mutex);
  impl_->hooks.push_back(
      Hook{owner, name, std::make_shared<std::function<void(std::string)>>(std::move(callback))});
}

void Registrations::UnhookEvent(int owner, const std::string& name) {
  std::lock_guard lock(impl_->mutex);
  std::erase_if(impl_->hooks, [&](const Hook& h) { return h.owner == owner && h.name == name; });
}

void Registrations::RegisterDrawable(int owner, std::function<void(CanvasWrapper)> callback) {
  std::lock_guard lock(impl_->mutex);
  impl_->drawables.push_back(Drawable{owner, std::make_shared<DrawCallback>(std::move(callback))});
  impl_->RebuildFrameList();
}

void Registrations::UnregisterDrawables(int owner) {
  std::lock_guard lock(impl_->mutex);
  std::erase_if(impl_->drawables, [owner](const Drawable& d) { return d.owner == owner; });
  impl_->RebuildFrameList();
}

void Registrations::Forget(int owner) {
  std::lock_guard lock(impl_->mutex);
  std::erase_if(impl_->hooks, [owner](const Hook& h) { return h.owner == owner; });
  std::erase_if(impl_->drawables, [owner](const Drawable& d) { return d.owner == owner; });
  impl_->RebuildFrameList();
}

void Registrations::FireEvent(const std::string& name) {
  std::vector<std::shared_ptr<std::function<void(std::string)>>> callbacks;
  {
    std::lock_guard lock(impl_->mutex);
    for (const Hook& hook : impl_->hooks) {
      if (hook.name == name) callbacks.push_back(hook.callback);
    }
  }
  for (const auto& callback : callbacks) (*callback)(name);
}

void Registrations::DrawFrame() {
  std::shared_ptr<const DrawList> list;
  {
    std::lock_guard lock(impl_->mutex);
    list = impl_->frame_list;
  }
  for (const auto& callback : *list) (*callback)(CanvasWrapper(0));
}

}  // namespace sdkhost
