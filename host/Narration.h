// What the game and the host do, told in words: with --narrate (and in the
// demo) each game event a script causes is printed between the plugin's
// console lines, marked as the host's, so a session reads as a story.
#pragma once

#include <string>

#include "script/ScriptCommand.h"

namespace host {

// The line for a command that changes the game, the console or the files, or
// an empty text for one that does not (wait, settings, quit).
std::string Narration(const hostscript::Command& command);

// The line for a rating that a `mmr P V after S` change brings in.
std::string RatingNarration(int playlist, float value);

}  // namespace host
