#include "view/ContextMenu.h"

#include "platform/StringTable.h"
#include "platform/WindowShape.h"

#include <QActionGroup>
#include <QMenu>
#include <QWidget>

#include <algorithm>

namespace {

constexpr int IDS_AUTO = 32776;

void AddSizeMenu(QMenu& menu, const CaptureSizeChoices& sizes) {
    QMenu* submenu = menu.addMenu(MenuText(ID_CAPTURE_SIZE_MENU));
    submenu->setEnabled(sizes.enabled);
    auto* group = new QActionGroup(submenu);
    const auto add = [&](const QString& text, int id, bool checked) {
        QAction* action = submenu->addAction(text);
        action->setData(id);
        action->setCheckable(true);
        action->setChecked(checked);
        group->addAction(action);
    };
    const bool offered =
        std::any_of(sizes.sizes.begin(), sizes.sizes.end(),
                    [&](const CameraMode& m) { return sizes.chosen && m.size == *sizes.chosen; });
    add(LoadStringOr(IDS_AUTO, QStringLiteral("Auto")), ID_CAPTURE_SIZE_AUTO, !offered);
    for (int i = 0; i < sizes.sizes.size(); ++i)
        add(DescribeCameraSize(sizes.sizes[i]), ID_CAPTURE_SIZE_AUTO + 1 + i,
            offered && sizes.sizes[i].size == *sizes.chosen);
}

} // namespace

void FillContextMenu(QMenu& menu, const QWidget& mainWindow, const CaptureSizeChoices& sizes) {
    menu.setTitle(MenuText(128));
    const auto add = [&](int id) { menu.addAction(MenuText(id))->setData(id); };
    add(ID_PREFERENCES);
    add(ID_SHOW_REC_CTRL);
    add(ID_APP_ABOUT);
    AddSizeMenu(menu, sizes);
    add(ID_CAMERA_CONTROLS);
    menu.actions().constLast()->setEnabled(sizes.controls);
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

int ShowContextMenu(const QPoint& globalPos, const QWidget& mainWindow,
                    const CaptureSizeChoices& sizes) {
    QMenu menu;
    FillContextMenu(menu, mainWindow, sizes);
    const QAction* chosen = menu.exec(globalPos);
    return chosen ? chosen->data().toInt() : 0;
}

bool CaptureSizeCommand(int commandId, const CaptureSizeChoices& sizes,
                        std::optional<QSize>& size) {
    const int index = commandId - ID_CAPTURE_SIZE_AUTO - 1;
    if (commandId < ID_CAPTURE_SIZE_AUTO || index >= sizes.sizes.size())
        return false;
    size = index < 0 ? std::nullopt : std::optional<QSize>(sizes.sizes[index].size);
    return true;
}
