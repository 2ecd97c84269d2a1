// Dialog templates give their geometry in dialog units of the template's font. This file is the
// one place that says how many pixels a dialog unit is, so every template is converted alike.
#pragma once

#include <QFont>
#include <QRect>
#include <QSize>

// The font a template names, reduced to what layout needs: its dialog base units (the average
// character width and the character height in pixels at 96 DPI; a dialog unit is a quarter of
// the first horizontally and an eighth of the second vertically) and its pixel size.
struct DialogFont {
    int baseX;
    int baseY;
    int pixelSize;
};

// "MS Shell Dlg" 8 pt: 6 x 13 base units, so 1 dialog unit is 1.5 px across and 1.625 px down.
inline constexpr DialogFont kShellDlg8{6, 13, 11};
// The 9 pt Japanese Gothic fonts ("ＭＳ Ｐゴシック", "MS UI Gothic"): 6 x 12, 1.5 px each way.
inline constexpr DialogFont kGothic9{6, 12, 12};

// Converts edges the way the template's own platform does (each edge rounded on its own), so
// controls that touch in dialog units still touch in pixels.
QRect DluToPixels(const QRect& dlu, const DialogFont& font);
QSize DluToPixels(const QSize& dlu, const DialogFont& font);

// The font that stands in for a template font: a CJK sans-serif at the template's pixel size.
QFont TemplateFont(const DialogFont& font);
