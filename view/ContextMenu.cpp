#include "view/ContextMenu.h"

#include "platform/StringTable.h"

#include <QMenu>

int ShowContextMenu(const QPoint& globalPos) {
    QMenu menu(MenuText(128));
    const auto add = [&](int id) { menu.addAction(MenuText(id))->setData(id); };
    add(ID_PREFERENCES);
    add(ID_SHOW_REC_CTRL);
    add(ID_APP_ABOUT);
    menu.addSeparator();
    add(ID_MINIMIZE);
    menu.addSeparator();
    add(ID_APP_EXIT);
    const QAction* chosen = menu.exec(globalPos);
    return chosen ? chosen->data().toInt() : 0;
}
