// Where the two files live: the folder ".tallyloom" of the user's profile.
// Computed afresh on every use, so a changed environment is followed.
#pragma once

#include <string>

#include "platform/Status.h"

inline constexpr const char* kSnapshotFileName = "bakkesmod_mmr.json";
inline constexpr const char* kMatchHistoryFileName = "bakkesmod_match_history.jsonl";
inline constexpr const char* kTemporarySuffix = ".tmp";

std::string GetExportFolder();
// The export folder followed by the file name, joined by the platform's separator.
std::string ExportFilePath(const char* fileName);

// Both writers open their file first, since the folder almost always exists,
// and come here only when that open failed. The folder is then made as it
// always was (so that a missing folder, a file in its place or a path that is
// too long is named as a folder failure); when the open said that the folder
// was missing and it is there now, the open is worth one more try.
enum class FolderAfterFailedOpen { kTryOpenAgain, kOpenFailed, kFolderFailed };
FolderAfterFailedOpen CheckFolderAfterFailedOpen(const platform::Status& open,
                                                 platform::Status* folder);
