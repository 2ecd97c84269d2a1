// Maps icon ids onto the bundled picture files, and sizes them for their buttons.
#include "dialogs/ProgramIcon.h"

#include <QAbstractButton>
#include <QPalette>
#include <QRadioButton>

#include <algorithm>
#include <array>
#include <utility>

namespace {

constexpr std::array<std::pair<int, const char*>, 12> kIconFiles{{
    {135, "135-stop.svg"},
    {136, "136-record.svg"},
    {138, "138-movie-outline.svg"},
    {139, "139-still-outline.svg"},
    {140, "140-rec-mark.svg"},
    {141, "141-wrench.svg"},
    {142, "142-close.svg"},
    {143, "143-shutter.svg"},
    {144, "144-reset.svg"},
    {145, "145-shutter-busy.svg"},
    {146, "146-movie.svg"},
    {147, "147-still.svg"},
}};

// The icons leave a margin of their own around the picture, so they may fill a push button up
// to just inside its frame.
constexpr int kButtonFrame = 1;

const QColor kLightFace(224, 224, 224);
const QColor kDarkText(0, 0, 0);
const QColor kGreyText(112, 112, 112);

} // namespace

QString ProgramIconPath(int id) {
    for (const auto& [iconId, file] : kIconFiles) {
        if (iconId == id)
            return QLatin1String(":/icons/") + QLatin1String(file);
    }
    return {};
}

QIcon ProgramIcon(int id, bool keepWhenDisabled) {
    const QString path = ProgramIconPath(id);
    if (path.isEmpty())
        return {};
    QIcon icon(path);
    if (keepWhenDisabled)
        icon.addFile(path, QSize(), QIcon::Disabled);
    return icon;
}

void PutIcon(QAbstractButton* button, int id, bool keepWhenDisabled) {
    int side = button->height();
    if (!qobject_cast<QRadioButton*>(button))
        side = std::min(button->width(), button->height()) - 2 * kButtonFrame;
    button->setIcon(ProgramIcon(id, keepWhenDisabled));
    button->setIconSize(QSize(side, side));
}

void GiveLightFace(QWidget* button) {
    QPalette palette = button->palette();
    for (const auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        palette.setColor(group, QPalette::Button, kLightFace);
        palette.setColor(group, QPalette::ButtonText,
                         group == QPalette::Disabled ? kGreyText : kDarkText);
    }
    button->setPalette(palette);
}
