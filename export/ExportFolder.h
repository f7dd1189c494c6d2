// Where the two files live: the folder ".tallyloom" of the user's profile.
// Computed afresh on every use, so a changed environment is followed.
#pragma once

#include <string>

inline constexpr const char* kSnapshotFileName = "bakkesmod_mmr.json";
inline constexpr const char* kMatchHistoryFileName = "bakkesmod_match_history.jsonl";
inline constexpr const char* kTemporarySuffix = ".tmp";

std::string GetExportFolder();
// The export folder followed by the file name, joined by the platform's separator.
std::string ExportFilePath(const char* fileName);
