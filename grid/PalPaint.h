// Colour and drawing helpers of the palette grid: lightening and darkening,
// gradient fills, check box images, the display facts painting depends on, and
// the number formats of the draw styles.
#pragma once

#include <QColor>
#include <QImage>
#include <QLocale>
#include <QPainter>
#include <QRect>
#include <QString>

namespace elo {

// Per channel: x + round((255 - x) * p / 100), halves to even.
QColor Lighten(const QColor& colour, int percent);
// Per channel: x - round(x * p / 100), halves to even.
QColor Darken(const QColor& colour, int percent);

// The screen has 8 bits per pixel or fewer: flat system colours instead of
// gradients, and the style's own check boxes. Read once from the screen;
// switchable so that both paths can be tried.
bool LowColor();
void SetLowColor(bool on);

// Whether gradients are filled in one call (Qt's linear gradient, the
// counterpart of the system's gradient function) or line by line.
bool GradientFunctionAvailable();
void SetGradientFunctionAvailable(bool on);

// direction 0: top (from) to bottom (to); 1: left to right.
void GradientRect(QPainter& painter, const QColor& from, const QColor& to, int direction, const QRect& rect);

// The three 13 x 13 check box images: checked (state 1), unchecked (any
// other state), grayed (state 2).
const QImage& CheckBoxImage(int state);
// state 0 unchecked, 1 checked, 2 grayed, anything else as 0.
void DrawCheckBox(QPainter& painter, const QRect& rect, int state);

// The part of a cell's text that a rect of width can show, from its start
// (or, right aligned, its end): no character is narrower than a pixel, and
// laying out a text of a megabyte to draw its first words takes a second.
QString VisiblePart(const QString& text, int width, bool right = false);

enum TDrawStyle : int {
    drsText = 0,
    drsRight = 1,
    drsFixed4 = 2,
    drsCurrency = 3,
    drsNone = 4,
    drsFixed2 = 5,
    drsFixed6 = 6,
};
// The text of a cell in a draw style, with the system's number conventions; a
// text that is no number is kept as it is. rightAligned tells the alignment.
// Numbers follow the given locale's conventions (the system's when painting).
QString FormatByDrawStyle(const QString& text, int style, bool& rightAligned,
                          const QLocale& locale = QLocale::system());

// The amber of the band under the current column's title.
inline QColor AmberBand() {
    return QColor(255, 203, 47);
}
// The colour of the grid's 1-pixel border.
inline QColor BorderColour() {
    return QColor(127, 157, 185);
}

} // namespace elo
