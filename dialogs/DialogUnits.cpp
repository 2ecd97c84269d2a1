// Dialog units to pixels, and the stand-in font of the templates.
#include "dialogs/DialogUnits.h"

#include <QStringList>

#include <cmath>

namespace {

// a * b / c rounded half away from zero, as the template's platform rounds.
int MulDiv(int a, int b, int c) {
    return static_cast<int>(std::lround(static_cast<double>(a) * b / c));
}

int ToPixelsX(int dlu, const DialogFont& font) {
    return MulDiv(dlu, font.baseX, 4);
}

int ToPixelsY(int dlu, const DialogFont& font) {
    return MulDiv(dlu, font.baseY, 8);
}

} // namespace

QRect DluToPixels(const QRect& dlu, const DialogFont& font) {
    const int left = ToPixelsX(dlu.x(), font);
    const int top = ToPixelsY(dlu.y(), font);
    const int right = ToPixelsX(dlu.x() + dlu.width(), font);
    const int bottom = ToPixelsY(dlu.y() + dlu.height(), font);
    return QRect(left, top, right - left, bottom - top);
}

QSize DluToPixels(const QSize& dlu, const DialogFont& font) {
    return QSize(ToPixelsX(dlu.width(), font), ToPixelsY(dlu.height(), font));
}

QFont TemplateFont(const DialogFont& font) {
    QFont result;
    result.setFamilies({QStringLiteral("Noto Sans CJK JP"), QStringLiteral("Noto Sans JP"),
                        QStringLiteral("IPAPGothic"), QStringLiteral("sans-serif")});
    result.setPixelSize(font.pixelSize);
    return result;
}
