#include "view/ContextMenu.h"

#include "app/MainFrame.h"
#include "app/VistrelCVApp.h"
#include "platform/StringTable.h"
#include "platform/WindowShape.h"
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
    case ID_OPEN_FOLDER:
        if (theApp.View())
            theApp.View()->OpenOutputFolder();
        break;
    case ID_STAY_ON_TOP:
        if (theApp.Frame())
            theApp.Frame()->SetStayOnTop(!theApp.Frame()->IsStayOnTop());
        break;
    case ID_APP_EXIT:
        if (theApp.Frame())
            theApp.Frame()->close();
        break;
    default:
        break;
    }
}

void FillContextMenu(QMenu& menu) {
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
    if (StayOnTopSupported() && theApp.Frame()) {
        QAction* onTop = menu.addAction(MenuText(ID_STAY_ON_TOP));
        onTop->setData(ID_STAY_ON_TOP);
        onTop->setCheckable(true);
        onTop->setChecked(theApp.Frame()->IsStayOnTop());
    }
    menu.addSeparator();
    add(ID_APP_EXIT);
}

void ShowContextMenu(const QPoint& globalPos) {
    QMenu menu;
    FillContextMenu(menu);
    if (const QAction* chosen = menu.exec(globalPos))
        RunMenuCommand(chosen->data().toInt());
}
