// What the capture panel shows for a capture mode and an activity: the REC button's image and
// enabling, and the enabling of the MOV and PICT buttons (the REC mark simply follows a movie's
// activity). The panel keeps no state of
// its own; this table is the whole of its display logic.
#pragma once

#include <optional>

// Icon ids of the REC button's four images.
inline constexpr int kIconStop = 135;
inline constexpr int kIconRecord = 136;
inline constexpr int kIconShutter = 143;
inline constexpr int kIconShutterBusy = 145;

struct RecButtonState {
    int recIcon = kIconShutter;
    std::optional<bool> recEnabled; // nothing: the REC button keeps its enabling
    bool modeButtonsEnabled = true; // MOV and PICT together
};

// `mode` is CAMMODE_MOV for movies, anything else for stills; `activity` > 0 means busy (a still
// being saved or a movie recording), anything else idle. While recording, REC stays enabled so
// that it can stop the recording; while a still is saved it is disabled against a second press.
RecButtonState RecButtonStateFor(int mode, int activity);
