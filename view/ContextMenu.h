// The pop-up menu of the main window and the live view.
#pragma once

#include "camera/CameraMode.h"

#include <QList>
#include <QPoint>

#include <optional>

class QMenu;
class QWidget;

inline constexpr int ID_PREFERENCES = 32771;
inline constexpr int ID_MINIMIZE = 32773;
inline constexpr int ID_SHOW_REC_CTRL = 32777;
inline constexpr int ID_OPEN_FOLDER = 32796;
inline constexpr int ID_STAY_ON_TOP = 32797;
inline constexpr int ID_APP_ABOUT = 57664;
inline constexpr int ID_APP_EXIT = 57665;
// The camera's resolution submenu; its items carry ID_CAPTURE_SIZE_AUTO and, for size i of the
// list, ID_CAPTURE_SIZE_AUTO + 1 + i.
inline constexpr int ID_CAPTURE_SIZE_MENU = 32798;
inline constexpr int ID_CAPTURE_SIZE_AUTO = 0x10000;
// The camera's controls window.
inline constexpr int ID_CAMERA_CONTROLS = 32850;

// What the resolution submenu offers: the camera's sizes, the one chosen (nothing: automatic),
// and whether a choice may be made now (not while recording); and whether the camera has
// controls, for the item that opens them below the submenu.
struct CaptureSizeChoices {
    QList<CameraMode> sizes;
    std::optional<QSize> chosen;
    bool enabled = true;
    bool controls = false;
};

// Fills `menu` with the items, each carrying its command id as data; the keep-on-top item shows
// the state of `mainWindow`.
void FillContextMenu(QMenu& menu, const QWidget& mainWindow, const CaptureSizeChoices& sizes = {});
// Shows the menu at `globalPos`; the chosen command's id, 0 when the menu was dismissed. The
// caller carries the command out.
int ShowContextMenu(const QPoint& globalPos, const QWidget& mainWindow,
                    const CaptureSizeChoices& sizes = {});
// The size a resolution command asks for: nothing for automatic; false when `commandId` is not
// one of them.
bool CaptureSizeCommand(int commandId, const CaptureSizeChoices& sizes, std::optional<QSize>& size);
