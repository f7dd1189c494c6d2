// The host SDK's version and plugin types.
#pragma once

// The plugin interface version this host speaks.
#define BAKKESMOD_PLUGIN_API_VERSION 95

enum {
  PLUGINTYPE_FREEPLAY = 0x01,
  PLUGINTYPE_CUSTOM_TRAINING = 0x02,
  PLUGINTYPE_SPECTATOR = 0x04,
  PLUGINTYPE_BOTAI = 0x08,
  PLUGINTYPE_REPLAY = 0x10,
  PLUGINTYPE_THREADED = 0x20
};
