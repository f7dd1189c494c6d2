// The operations that the benchmarks time and tallyloom-opcount counts: each
// of the plugin's hot paths beside its floor, the least that any code doing
// that work must do. Each is set up once and then run as often as wanted.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class Operation {
 public:
  virtual ~Operation() = default;
  virtual void Run() = 0;
  // Empty while the operation works; otherwise why it does not.
  virtual std::string Problem() { return {}; }
};

// "frame" (the plugin's drawable on a freeplay frame inside its throttle),
// "frame-gated-off" (the same with automatic export off), "frame-floor";
// "export" (a snapshot export of seven playlists), "export-write" (its writer
// alone), "export-floor"; "append" (a history line), "append-write" (its
// writer alone), "append-floor". `file_bytes` fills the history file first.
std::unique_ptr<Operation> MakeOperation(const std::string& name, std::int64_t file_bytes = 0);

// Every name MakeOperation knows, each floor right after what it is the floor of.
const std::vector<std::string>& OperationNames();
