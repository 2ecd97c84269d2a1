// The pop-up menu of the main window and the live view.
#pragma once

#include <QPoint>

inline constexpr int ID_PREFERENCES = 32771;
inline constexpr int ID_MINIMIZE = 32773;
inline constexpr int ID_SHOW_REC_CTRL = 32777;
inline constexpr int ID_APP_ABOUT = 57664;
inline constexpr int ID_APP_EXIT = 57665;

// Shows the menu at `globalPos`; the chosen command's id, 0 when the menu was dismissed. The
// caller carries the command out.
int ShowContextMenu(const QPoint& globalPos);
