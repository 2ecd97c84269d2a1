// The capture panel's state table.
#include "dialogs/RecButtonState.h"

#include "output_files/MediaKind.h"

RecButtonState RecButtonStateFor(int mode, int activity) {
    const bool busy = activity > 0;
    RecButtonState state;
    state.modeButtonsEnabled = !busy;
    if (IsMovieKind(mode)) {
        state.recIcon = busy ? kIconStop : kIconRecord;
    } else {
        state.recIcon = busy ? kIconShutterBusy : kIconShutter;
        state.recEnabled = !busy;
    }
    return state;
}
