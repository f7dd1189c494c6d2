// The few things the host program itself needs from the operating system,
// for Linux and for Windows (where the program runs under Wine in tests).
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace host {

// The program's arguments as UTF-8 (Windows hands them over in UTF-16).
std::vector<std::string> Utf8Arguments(int argc, char** argv);
// Sets USERPROFILE inside this process, where the plugin reads it.
void SetProfileVariable(const std::string& folder);
// A new, empty folder under the system's temporary folder.
std::optional<std::string> MakeScratchFolder(const std::string& prefix);
bool StdinIsTerminal();
// Console lines end in a bare line feed on every system.
void UseBinaryStdout();
// The folder of this program (for the plugin library beside it).
std::string ProgramFolder();

}  // namespace host
