// The grid's painting, checked on pixels of grab().
#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QLocale>

#include "grid/PalGrid.h"

using namespace elo;

namespace {

TPalGrid* MakeGrid() {
    auto* grid = new TPalGrid;
    grid->SetColCount(3);
    grid->SetFixedCols(0);
    grid->SetRowCount(3);
    grid->SetFixedRows(1);
    grid->SetGridLineWidth(0);
    grid->SetColWidths(0, 23);
    grid->SetColWidths(1, 85);
    grid->SetColWidths(2, 120);
    grid->SetOptions(dgeEditing | dgeArrowKeyActive);
    grid->OnGetEditStyle = [](TPalGrid&, int col, int, TEditStyle& style, bool&) {
        if (col == 0) style = edsCheckBox;
    };
    grid->resize(260, 120);
    grid->show();
    QApplication::processEvents();
    return grid;
}

// Colours compared as 8-bit red, green and blue.
QRgb Pixel(const QImage& image, QPoint p) {
    return image.pixelColor(p).rgb();
}
QRgb Rgb(const QColor& c) {
    return c.rgb();
}

} // namespace

TEST(PalPaint, LightenAndDarken) {
    EXPECT_EQ(Lighten(QColor(0, 0, 0), 40), QColor(102, 102, 102));
    EXPECT_EQ(Darken(QColor(255, 255, 255), 20), QColor(204, 204, 204));
    EXPECT_EQ(Lighten(QColor(192, 192, 192), 60), QColor(230, 230, 230)); // odd rows
    EXPECT_EQ(Lighten(QColor(192, 192, 192), 90), QColor(249, 249, 249)); // even rows
    EXPECT_EQ(Lighten(QColor(255, 255, 255), 60), QColor(255, 255, 255)); // a white fixed colour stays white
    EXPECT_EQ(Lighten(QColor(1, 1, 1), 50), QColor(128, 128, 128));       // 127 halves to even
}

TEST(PalPaint, DrawStylesUseTheSystemsNumberFormats) {
    // The test names the locale it checks, whatever the machine's is.
    const QLocale c = QLocale::c();
    bool right = false;
    EXPECT_EQ(FormatByDrawStyle("3.14159", drsFixed2, right, c), "3.14");
    EXPECT_TRUE(right);
    EXPECT_EQ(FormatByDrawStyle("abc", drsFixed2, right, c), "abc");
    EXPECT_TRUE(right);
    EXPECT_EQ(FormatByDrawStyle("2", drsFixed4, right, c), "2.0000");
    EXPECT_EQ(FormatByDrawStyle("", drsFixed6, right, c), "");
    EXPECT_EQ(FormatByDrawStyle("x", drsText, right, c), "x");
    EXPECT_FALSE(right);
    // A Portuguese system (the program's audience) reads and writes a comma.
    const QLocale pt(QLocale::Portuguese, QLocale::Brazil);
    EXPECT_EQ(FormatByDrawStyle("3,14159", drsFixed2, right, pt), "3,14");
    EXPECT_EQ(FormatByDrawStyle("1234,5", drsFixed6, right, pt), "1234,500000");
    EXPECT_EQ(FormatByDrawStyle("3.14159", drsFixed2, right, pt), "3.14159"); // no number there: unchanged
}

TEST(PalPaint, TheAmberBandFollowsTheCurrentColumn) {
    SetLowColor(false);
    SetGradientFunctionAvailable(false); // line by line: exact colours
    std::unique_ptr<TPalGrid> grid(MakeGrid());
    grid->FocusCell(1, 1);
    QApplication::processEvents();
    const QColor face = grid->palette().color(QPalette::Button);
    const QRect title1 = grid->CellRect(1, 0);
    const QRect title2 = grid->CellRect(2, 0);
    // The band's third line of four is half of the way to its colour (its last
    // line carries the cell's bottom edge).
    auto bandColour = [&](const QColor& to) {
        auto ch = [](int a, int b) { return static_cast<int>(std::nearbyint(a + (b - a) * 0.5)); };
        return QColor(ch(face.red(), to.red()), ch(face.green(), to.green()), ch(face.blue(), to.blue())).rgb();
    };
    QImage image = grid->grab().toImage();
    const QPoint band1(title1.center().x(), title1.bottom() - 1);
    const QPoint band2(title2.center().x(), title2.bottom() - 1);
    EXPECT_EQ(Pixel(image, band1), bandColour(AmberBand()));
    EXPECT_EQ(Pixel(image, band2), bandColour(Darken(face, 20)));
    grid->FocusCell(2, 1);
    QApplication::processEvents();
    image = grid->grab().toImage();
    EXPECT_EQ(Pixel(image, band2), bandColour(AmberBand()));
    EXPECT_EQ(Pixel(image, band1), bandColour(Darken(face, 20)));
    SetGradientFunctionAvailable(true);
}

TEST(PalPaint, CheckBoxesAreDrawnCentredAndTheBorderHasItsColour) {
    SetLowColor(false);
    std::unique_ptr<TPalGrid> grid(MakeGrid());
    grid->SetCells(0, 1, "1");
    grid->SetCells(0, 2, "");
    grid->FocusCell(2, 2);
    QApplication::processEvents();
    const QImage image = grid->grab().toImage();
    EXPECT_EQ(Pixel(image, QPoint(0, 0)), Rgb(BorderColour()));
    EXPECT_EQ(Pixel(image, QPoint(grid->width() - 1, grid->height() / 2)), Rgb(BorderColour()));
    // The cell's inner rect (without its line) shrunk by 1, then 13 high centred;
    // the image's top-left corner is its frame colour.
    const QRect cell = grid->CellRect(0, 1);
    QRect box = cell.adjusted(0, 0, -1, -1).adjusted(1, 1, -1, -1);
    box.adjust(0, (box.height() - 13) / 2, 0, -(box.height() - 13) / 2);
    const QPoint corner(box.left() + (box.width() - 13) / 2, box.top() + (box.height() - 13) / 2);
    const QImage& checked = CheckBoxImage(1);
    EXPECT_EQ(Pixel(image, corner), checked.pixelColor(0, 0).rgb());
    EXPECT_EQ(Pixel(image, corner + QPoint(6, 6)), checked.pixelColor(6, 6).rgb());
    // An empty check box cell shows no box at all.
    const QRect empty = grid->CellRect(0, 2);
    const QPoint emptyCorner(empty.left() + 1 + (empty.width() - 4 - 13) / 2, corner.y() - cell.top() + empty.top());
    EXPECT_NE(Pixel(image, emptyCorner), checked.pixelColor(0, 0).rgb());
}

TEST(PalPaint, LowColourDisplaysPaintFlat) {
    SetLowColor(true);
    std::unique_ptr<TPalGrid> grid(MakeGrid());
    grid->SetCells(1, 2, "");
    grid->FocusCell(2, 1);
    QApplication::processEvents();
    const QImage image = grid->grab().toImage();
    const QRect body = grid->CellRect(1, 2);
    const QColor window = grid->palette().color(QPalette::Base);
    EXPECT_EQ(Pixel(image, body.topLeft() + QPoint(3, 3)), Rgb(window));
    EXPECT_EQ(Pixel(image, body.bottomLeft() + QPoint(3, -3)), Rgb(window)); // no gradient
    EXPECT_EQ(Pixel(image, QPoint(0, 0)), Rgb(grid->palette().color(QPalette::Dark)));
    SetLowColor(false);
}
