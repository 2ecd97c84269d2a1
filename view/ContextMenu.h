// The pop-up menu of the main window and the live view.
#pragma once

#include <QPoint>

class QMenu;
class QWidget;

inline constexpr int ID_PREFERENCES = 32771;
inline constexpr int ID_MINIMIZE = 32773;
inline constexpr int ID_SHOW_REC_CTRL = 32777;
inline constexpr int ID_OPEN_FOLDER = 32796;
inline constexpr int ID_STAY_ON_TOP = 32797;
inline constexpr int ID_APP_ABOUT = 57664;
inline constexpr int ID_APP_EXIT = 57665;

// Fills `menu` with the items, each carrying its command id as data; the keep-on-top item shows
// the state of `mainWindow`.
void FillContextMenu(QMenu& menu, const QWidget& mainWindow);
// Shows the menu at `globalPos`; the chosen command's id, 0 when the menu was dismissed. The
// caller carries the command out.
int ShowContextMenu(const QPoint& globalPos, const QWidget& mainWindow);
