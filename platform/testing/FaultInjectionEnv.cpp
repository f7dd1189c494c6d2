#include "platform/testing/FaultInjectionEnv.h"

#include <cstdio>
#include <cstdlib>
#include <system_error>

namespace platform {
namespace {

Status Injected(std::errc error) { return Status::Error(std::make_error_code(error).message()); }

class FaultyFile final : public WritableFile {
 public:
  FaultyFile(FaultInjectionEnv* env, std::unique_ptr<WritableFile> file)
      : env_(env), file_(std::move(file)) {}

  Status Append(std::string_view bytes) override {
    env_->WaitIfHeld();
    if (env_->ShouldFail(FaultOp::kCrash)) {
      file_->Append(bytes.substr(0, bytes.size() / 2));
      // What the process printed so far is kept; nothing of it runs on.
      std::fflush(nullptr);
      std::_Exit(kCrashExitCode);
    }
    if (env_->ShouldFail(FaultOp::kWrite)) {
      // A torn write: half of the bytes reach the file.
      file_->Append(bytes.substr(0, bytes.size() / 2));
      return Injected(std::errc::no_space_on_device);
    }
    return file_->Append(bytes);
  }

  Status Size(std::uint64_t* size) override { return file_->Size(size); }
  Status ReadByteAt(std::uint64_t offset, char* byte) override {
    return file_->ReadByteAt(offset, byte);
  }

  Status Close() override {
    Status status = file_->Close();
    if (env_->ShouldFail(FaultOp::kClose)) return Injected(std::errc::io_error);
    return status;
  }

 private:
  FaultInjectionEnv* env_;
  std::unique_ptr<WritableFile> file_;
};

}  // namespace

void FaultInjectionEnv::Fail(FaultOp op, bool always) {
  std::lock_guard lock(mutex_);
  armed_[static_cast<int>(op)] = always ? Armed::kAlways : Armed::kOnce;
}

void FaultInjectionEnv::Clear() {
  std::lock_guard lock(mutex_);
  armed_.fill(Armed::kNo);
}

int FaultInjectionEnv::InjectedCount() const {
  std::lock_guard lock(mutex_);
  return injected_;
}

void FaultInjectionEnv::HoldNextWrite() {
  std::lock_guard lock(mutex_);
  hold_ = Hold::kArmed;
}

bool FaultInjectionEnv::WaitForHeldWrite() {
  std::unique_lock lock(mutex_);
  hold_changed_.wait(lock, [this] { return hold_ == Hold::kWaiting || hold_ == Hold::kReleased; });
  return hold_ == Hold::kWaiting;
}

void FaultInjectionEnv::ReleaseHeldWrite() {
  std::lock_guard lock(mutex_);
  if (hold_ == Hold::kNone) return;  // released already, and the write went on
  hold_ = Hold::kReleased;
  hold_changed_.notify_all();
}

void FaultInjectionEnv::WaitIfHeld() {
  std::unique_lock lock(mutex_);
  if (hold_ != Hold::kArmed) return;
  hold_ = Hold::kWaiting;
  hold_changed_.notify_all();
  hold_changed_.wait(lock, [this] { return hold_ == Hold::kReleased; });
  hold_ = Hold::kNone;
}

bool FaultInjectionEnv::ShouldFail(FaultOp op) {
  std::lock_guard lock(mutex_);
  Armed& armed = armed_[static_cast<int>(op)];
  if (armed == Armed::kNo) return false;
  if (armed == Armed::kOnce) armed = Armed::kNo;
  ++injected_;
  return true;
}

Status FaultInjectionEnv::CreateDirectories(const std::string& path) {
  if (ShouldFail(FaultOp::kMkdir)) return Injected(std::errc::io_error);
  return EnvWrapper::CreateDirectories(path);
}

Status FaultInjectionEnv::NewWritableFile(const std::string& path, OpenMode mode,
                                          std::unique_ptr<WritableFile>* result) {
  if (ShouldFail(FaultOp::kOpen)) return Injected(std::errc::permission_denied);
  std::unique_ptr<WritableFile> file;
  Status status = EnvWrapper::NewWritableFile(path, mode, &file);
  if (!status.ok()) return status;
  *result = std::make_unique<FaultyFile>(this, std::move(file));
  return Status::Ok();
}

Status FaultInjectionEnv::RenameFile(const std::string& from, const std::string& to) {
  if (ShouldFail(FaultOp::kReplace)) return Injected(std::errc::permission_denied);
  return EnvWrapper::RenameFile(from, to);
}

}  // namespace platform
