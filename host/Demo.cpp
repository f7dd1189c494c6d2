#include "host/Demo.h"

namespace host {

const char* DemoScript() {
  return R"(# TallyLoom MMR demo: a short evening of Rocket League on virtual time.
account 76561198012345678
name "Demo Player"
mmr 10 1012.4
mmr 11 1000
mmr 13 1187.5
mmr 27 640
wait 1.5
# The menus: the periodic export runs every 20 seconds.
wait 40
# Freeplay for a while: an export after it starts, then at most every 10 s.
state freeplay
event freeplay-init
wait 25
state menu
# A won ranked doubles match; the new MMR syncs a few seconds later.
match 11 3 1
event match-ended
event winner-set
mmr 11 1009 after 5
wait 25
state menu
# A ranked duel lost while the rating service keeps syncing: never settles.
syncing on
match 10 1 2
event match-ended
mmr 10 1003 after 3
wait 25
syncing off
state menu
tallyloom_export_mmr
tallyloom_status
settings
)";
}

}  // namespace host
