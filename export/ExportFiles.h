// The plugin's two writes into the export folder. Each returns nothing when
// it succeeded, or the text of its failure.
#pragma once

#include <optional>
#include <string>

// Write-then-replace: the content goes to a temporary file beside the target,
// which is moved over the target in one step, so that a reader never sees a
// half-written file.
std::optional<std::string> WriteFileAtomically(const std::string& targetPath,
                                               const std::string& content);

// Appends one line to the match history file. The file is opened and closed
// for every line and never rewritten, so the desktop app may keep it open.
std::optional<std::string> AppendMatchHistoryLine(const std::string& line);
