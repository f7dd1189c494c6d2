#pragma once

#include <memory>
#include <string>

#include "bakkesmod/sdk_api.h"

// A handle to one console variable of the host.
class PLUGINSDK_API CVarWrapper {
 public:
  CVarWrapper(sdkhost::HostModel* model = nullptr, std::string name = {});

  bool IsNull() const;
  explicit operator bool() const { return !IsNull(); }

  // From now on the host keeps `var` equal to the variable (nonzero is true).
  void bindTo(std::shared_ptr<bool> var);
  void setValue(int value);
  void setValue(float value);
  void setValue(std::string value);

  std::string getStringValue() const;
  int getIntValue() const;
  float getFloatValue() const;
  bool getBoolValue() const;
  std::string getCVarName() const { return name_; }

 private:
  sdkhost::HostModel* model_;
  std::string name_;
};
