#include "view/ContextMenu.h"

#include "platform/StringTable.h"
#include "platform/WindowShape.h"

#include <QMenu>
#include <QWidget>

void FillContextMenu(QMenu& menu, const QWidget& mainWindow) {
    menu.setTitle(MenuText(128));
    const auto add = [&](int id) { menu.addAction(MenuText(id))->setData(id); };
    add(ID_PREFERENCES);
    add(ID_SHOW_REC_CTRL);
    add(ID_APP_ABOUT);
    menu.addSeparator();
    add(ID_MINIMIZE);
    add(ID_OPEN_FOLDER);
    // Where the window system cannot keep a window above others (Wayland), the item is left out
    // rather than offered without effect.
    if (StayOnTopSupported()) {
        QAction* onTop = menu.addAction(MenuText(ID_STAY_ON_TOP));
        onTop->setData(ID_STAY_ON_TOP);
        onTop->setCheckable(true);
        onTop->setChecked(mainWindow.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    }
    menu.addSeparator();
    add(ID_APP_EXIT);
}

int ShowContextMenu(const QPoint& globalPos, const QWidget& mainWindow) {
    QMenu menu;
    FillContextMenu(menu, mainWindow);
    const QAction* chosen = menu.exec(globalPos);
    return chosen ? chosen->data().toInt() : 0;
}
