// The game functions that plugins hook, with the short names scripts use for
// them and what each means in the game. The one list of them on the host's
// side (a plugin keeps its own).
#pragma once

#include <array>
#include <string_view>

namespace sdkhost {

struct GameFunction {
  std::string_view short_name;  // as a script writes it: `event match-ended`
  std::string_view name;        // as the game runs it, and plugins hook it
  std::string_view meaning;     // what has happened in the game when it runs
};

inline constexpr std::array<GameFunction, 4> kHookedFunctions{{
    {"match-ended", "Function TAGame.GameEvent_Soccar_TA.OnMatchEnded", "the match ends"},
    {"winner-set", "Function TAGame.GameEvent_Soccar_TA.OnGameWinnerSet",
     "the match's winner is set"},
    {"freeplay-init", "Function TAGame.Mutator_Freeplay_TA.Init", "freeplay starts"},
    {"training-start", "Function TAGame.GameEvent_TrainingEditor_TA.StartPlayTest",
     "a training pack starts"},
}};

}  // namespace sdkhost
