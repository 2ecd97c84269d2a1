// The program's icons by their resource ids, and how buttons wear them. The icons are scalable
// pictures, so buttons and labels stay sharp at any size and screen scale.
#pragma once

#include <QIcon>
#include <QString>

class QAbstractButton;
class QWidget;

// The resource path of icon `id` (":/icons/135-stop.svg"); empty text for an unknown id.
QString ProgramIconPath(int id);

// Icon `id`, or a null icon for an unknown id. `keepWhenDisabled` draws a disabled button's icon
// unchanged instead of greyed, for pictures that themselves tell the state.
QIcon ProgramIcon(int id, bool keepWhenDisabled = false);

// Puts icon `id` on `button`, as large as fits inside the button's frame.
void PutIcon(QAbstractButton* button, int id, bool keepWhenDisabled = false);

// A light button face with dark text: dark icons stay visible on the dialogs' black panels.
void GiveLightFace(QWidget* button);
