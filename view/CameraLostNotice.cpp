// The lost-camera notice over the live picture.
#include "view/CameraLostNotice.h"

#include "capture/Shutter.h"
#include "platform/StringTable.h"

#include <QFont>
#include <QFontMetrics>
#include <QPainter>

void PaintCameraLostNotice(QPainter& painter, const QRect& area) {
    painter.save();
    painter.fillRect(area, QColor(0, 0, 0, 150));
    const QString text =
        LoadStringOr(IDS_CAMERA_LOST, QStringLiteral("The camera stopped sending pictures. "
                                                     "Waiting for it to come back..."));
    QFont font = painter.font();
    font.setPixelSize(qBound(10, area.height() / 18, 22));
    painter.setFont(font);
    const int margin = area.width() / 12;
    const QRect box = area.adjusted(margin, 0, -margin, 0);
    const QRect used =
        painter.fontMetrics().boundingRect(box, Qt::AlignCenter | Qt::TextWordWrap, text);
    painter.fillRect(used.adjusted(-12, -8, 12, 8), QColor(0, 0, 0, 170));
    painter.setPen(Qt::white);
    painter.drawText(box, Qt::AlignCenter | Qt::TextWordWrap, text);
    painter.restore();
}
