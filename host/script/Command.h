// The command language of tallyloom-host: every command, one struct each
// (CommandParts.h says what a command is made of), in the order `help` lists
// them. A new command is a struct in the header of its kind and its name in
// this list.
#pragma once

#include <string>
#include <variant>
#include <vector>

#include "script/CommandParts.h"
#include "script/FileCommands.h"
#include "script/GameCommands.h"
#include "script/SessionCommands.h"

namespace hostscript {

// ConsoleCommand, the last, takes every line that names no other command.
using Command = std::variant<WaitCommand, StateCommand, AccountCommand, NameCommand, MmrCommand,
                             SyncingCommand, MatchCommand, EventCommand, DropCommand, FaultCommand,
                             PluginCommand, SettingsCommand, ClickCommand, ScreenshotCommand,
                             HoldCommand, ReleaseCommand, HelpCommand, QuitCommand, ConsoleCommand>;

// Parses the words of one line (see SplitWords) into a command. `words` must
// not be empty: blank lines are no command. Never throws. On failure returns
// false with *error set to a message that names the command and the offending
// word, e.g. `wait: bad duration "abc"`; *out is then left unchanged.
bool ParseCommand(const std::vector<std::string>& words, Command* out, std::string* error);

}  // namespace hostscript
