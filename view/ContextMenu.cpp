#include "view/ContextMenu.h"

#include "app/MainFrame.h"
#include "app/VistrelCVApp.h"
#include "platform/StringTable.h"
#include "view/VistrelCVView.h"

#include <QMenu>

void RunMenuCommand(int commandId) {
    switch (commandId) {
    case ID_PREFERENCES:
        theApp.OnPreferences();
        break;
    case ID_SHOW_REC_CTRL:
        if (theApp.View())
            theApp.View()->ShowRecCtrlDlg();
        break;
    case ID_APP_ABOUT:
        theApp.OnAbout();
        break;
    case ID_MINIMIZE:
        if (theApp.Frame())
            theApp.Frame()->Minimize();
        break;
    case ID_APP_EXIT:
        if (theApp.Frame())
            theApp.Frame()->close();
        break;
    default:
        break;
    }
}

void ShowContextMenu(const QPoint& globalPos) {
    QMenu menu(MenuText(128));
    const auto add = [&](int id) { menu.addAction(MenuText(id))->setData(id); };
    add(ID_PREFERENCES);
    add(ID_SHOW_REC_CTRL);
    add(ID_APP_ABOUT);
    menu.addSeparator();
    add(ID_MINIMIZE);
    menu.addSeparator();
    add(ID_APP_EXIT);
    if (const QAction* chosen = menu.exec(globalPos))
        RunMenuCommand(chosen->data().toInt());
}
