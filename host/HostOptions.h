#pragma once

#include <optional>
#include <string>
#include <vector>

namespace host {

struct HostOptions {
  std::string plugin_path;             // empty: the library beside the program
  std::optional<std::string> profile;  // handed to the plugin as USERPROFILE
  std::optional<std::string> clock;    // local wall-clock time at virtual time 0
  int fps = 60;
  bool demo = false;
  bool narrate = false;  // print the game events a script causes
  bool render_thread = false;
  bool window = false;
  std::vector<std::string> scripts;  // "-" is standard input
};

// Parses the command line's arguments (without the program's name); false
// with `error` (or `help` set) when the program should not run a session.
bool ParseHostOptions(const std::vector<std::string>& arguments, HostOptions* options, bool* help,
                      std::string* error);

const char* HostUsage();

}  // namespace host
