// The game functions the plugin hooks, in the order it hooks them.
#pragma once

inline constexpr const char* kMatchEndedEvent = "Function TAGame.GameEvent_Soccar_TA.OnMatchEnded";
inline constexpr const char* kGameWinnerSetEvent =
    "Function TAGame.GameEvent_Soccar_TA.OnGameWinnerSet";
inline constexpr const char* kFreeplayInitEvent = "Function TAGame.Mutator_Freeplay_TA.Init";
inline constexpr const char* kTrainingStartEvent =
    "Function TAGame.GameEvent_TrainingEditor_TA.StartPlayTest";

inline constexpr const char* kHookedEvents[] = {kMatchEndedEvent, kGameWinnerSetEvent,
                                                kFreeplayInitEvent, kTrainingStartEvent};
