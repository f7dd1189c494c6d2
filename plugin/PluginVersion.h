// Names and version of the plugin, shared by the library record, both files
// and the settings tab.
#pragma once

inline constexpr const char* kPluginVersion = "2.0.0.7";
inline constexpr const char* kPluginDisplayName = "TallyLoom MMR";
inline constexpr const char* kPluginClassName = "TallyLoomMMR";
inline constexpr const char* kPluginTitle =
    "TallyLoom ranked sync with automatic export, menu settings, and per-match MMR tracking";
