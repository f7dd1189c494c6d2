#pragma once

#include <string>
#include <vector>

#include "export/TallyLoomAccount.h"

// The snapshot file's text, with single line feeds (the text-mode write makes
// them CR LF on disk). `playlists` is never empty.
std::string ComposeSnapshot(const TallyLoomAccount& account,
                            const std::vector<TallyLoomPlaylistMmr>& playlists,
                            const std::string& timestamp);
