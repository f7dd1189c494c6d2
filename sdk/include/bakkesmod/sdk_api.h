// Visibility of the host SDK library's symbols. Plugins hide everything of
// their own, so the SDK's classes must say explicitly what they share.
#pragma once

#if defined(_WIN32)
#if defined(PLUGINSDK_BUILD)
#define PLUGINSDK_API __declspec(dllexport)
#else
#define PLUGINSDK_API __declspec(dllimport)
#endif
#else
#define PLUGINSDK_API __attribute__((visibility("default")))
#endif

namespace sdkhost {
class HostModel;
}
