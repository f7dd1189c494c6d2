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

inline constexpr GameFunction kMatchEnded{
    "match-ended", "Function TAGame.GameEvent_Soccar_TA.OnMatchEnded", "the match ends"};
inline constexpr GameFunction kWinnerSet{"winner-set",
                                         "Function TAGame.GameEvent_Soccar_TA.OnGameWinnerSet",
                                         "the match's winner is set"};
inline constexpr GameFunction kFreeplayInit{
    "freeplay-init", "Function TAGame.Mutator_Freeplay_TA.Init", "freeplay starts"};
inline constexpr GameFunction kTrainingStart{
    "training-start", "Function TAGame.GameEvent_TrainingEditor_TA.StartPlayTest",
    "a training pack starts"};

inline constexpr std::array<GameFunction, 4> kHookedFunctions{kMatchEnded, kWinnerSet,
                                                              kFreeplayInit, kTrainingStart};

}  // namespace sdkhost
