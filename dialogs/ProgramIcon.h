// The program's icons by their resource ids. They are scalable pictures, so buttons and labels
// stay sharp at any size and screen scale.
#pragma once

#include <QIcon>
#include <QString>

// The resource path of icon `id` (":/icons/135-stop.svg"); empty text for an unknown id.
QString ProgramIconPath(int id);

// Icon `id`, or a null icon for an unknown id.
QIcon ProgramIcon(int id);
