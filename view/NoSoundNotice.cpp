// The no-sound notice over the live picture.
#include "view/NoSoundNotice.h"

#include "platform/StringTable.h"

#include <QFont>
#include <QPainter>

namespace {

constexpr int IDS_RECORDING_WITHOUT_SOUND = 32808;

} // namespace

QString NoSoundNoticeText() {
    return LoadStringOr(IDS_RECORDING_WITHOUT_SOUND,
                        QStringLiteral("The microphone cannot be recorded; recording without "
                                       "sound."));
}

void PaintNoSoundNotice(QPainter& painter, const QRect& area) {
    painter.save();
    QFont font = painter.font();
    font.setPixelSize(qBound(10, area.height() / 22, 18));
    painter.setFont(font);
    const QString text = NoSoundNoticeText();
    const int margin = area.width() / 16;
    const QRect box = area.adjusted(margin, 0, -margin, -area.height() / 16);
    const int flags = Qt::AlignHCenter | Qt::AlignBottom | Qt::TextWordWrap;
    const QRect used = painter.fontMetrics().boundingRect(box, flags, text);
    painter.fillRect(used.adjusted(-10, -6, 10, 6), QColor(0, 0, 0, 170));
    painter.setPen(Qt::white);
    painter.drawText(box, flags, text);
    painter.restore();
}
