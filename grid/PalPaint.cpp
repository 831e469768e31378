#include "PalPaint.h"

#include <QApplication>
#include <QGuiApplication>
#include <QLinearGradient>
#include <QLocale>
#include <QScreen>
#include <QStyle>
#include <QStyleOptionButton>

#include <algorithm>
#include <cmath>
#include <optional>

namespace elo {

namespace {
int RoundHalfEven(double v) {
    return static_cast<int>(std::nearbyint(v));
}

std::optional<bool>& LowColorSwitch() {
    static std::optional<bool> on;
    return on;
}
bool& GradientSwitch() {
    static bool on = true;
    return on;
}
} // namespace

QColor Lighten(const QColor& c, int p) {
    auto ch = [&](int x) { return std::clamp(x + RoundHalfEven((255 - x) * p / 100.0), 0, 255); };
    return QColor(ch(c.red()), ch(c.green()), ch(c.blue()));
}

QColor Darken(const QColor& c, int p) {
    auto ch = [&](int x) { return std::clamp(x - RoundHalfEven(x * p / 100.0), 0, 255); };
    return QColor(ch(c.red()), ch(c.green()), ch(c.blue()));
}

bool LowColor() {
    auto& on = LowColorSwitch();
    if (!on) {
        const QScreen* screen = QGuiApplication::primaryScreen();
        on = screen && screen->depth() <= 8;
    }
    return *on;
}

void SetLowColor(bool on) {
    LowColorSwitch() = on;
}

bool GradientFunctionAvailable() {
    return GradientSwitch();
}
void SetGradientFunctionAvailable(bool on) {
    GradientSwitch() = on;
}

void GradientRect(QPainter& painter, const QColor& from, const QColor& to, int direction, const QRect& rect) {
    if (rect.isEmpty()) return;
    if (GradientFunctionAvailable()) {
        QLinearGradient gradient(rect.topLeft(), direction == 0 ? rect.bottomLeft() : rect.topRight());
        gradient.setColorAt(0, from);
        gradient.setColorAt(1, to);
        painter.fillRect(rect, gradient);
        return;
    }
    // One line at a time: line i of n gets from + (to - from) * i / n.
    const int n = direction == 0 ? rect.height() : rect.width();
    for (int i = 0; i < n; ++i) {
        auto ch = [&](int a, int b) { return RoundHalfEven(a + (b - a) * static_cast<double>(i) / n); };
        const QColor c(ch(from.red(), to.red()), ch(from.green(), to.green()), ch(from.blue(), to.blue()));
        if (direction == 0)
            painter.fillRect(QRect(rect.left(), rect.top() + i, rect.width(), 1), c);
        else
            painter.fillRect(QRect(rect.left() + i, rect.top(), 1, rect.height()), c);
    }
}

namespace {
QImage MakeCheckBox(int state) {
    QImage image(13, 13, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setPen(QColor(28, 81, 128));
    p.setBrush(state == 2 ? QColor(224, 224, 224) : QColor(255, 255, 255));
    p.drawRect(0, 0, 12, 12);
    if (state == 1 || state == 2) {
        // A check mark of two strokes, three pixels thick.
        const QColor mark = state == 1 ? QColor(33, 161, 33) : QColor(150, 150, 150);
        for (int t = 0; t < 3; ++t) {
            for (int i = 0; i < 3; ++i) image.setPixelColor(3 + i, 5 + i + t, mark);
            for (int i = 0; i < 5; ++i) image.setPixelColor(5 + i, 7 - i + t, mark);
        }
    }
    return image;
}
} // namespace

const QImage& CheckBoxImage(int state) {
    static const QImage checked = MakeCheckBox(1);
    static const QImage unchecked = MakeCheckBox(0);
    static const QImage grayed = MakeCheckBox(2);
    return state == 1 ? checked : state == 2 ? grayed : unchecked;
}

void DrawCheckBox(QPainter& painter, const QRect& rect, int state) {
    if (state != 1 && state != 2) state = 0;
    if (LowColor()) {
        // The largest square centred in rect, the style's check box inside it.
        const int side = std::min(rect.width(), rect.height());
        const QRect square(rect.left() + (rect.width() - side) / 2, rect.top() + (rect.height() - side) / 2, side,
                           side);
        QStyleOptionButton option;
        option.rect = square.adjusted(2, 2, -2, -2);
        option.state = QStyle::State_Enabled | (state == 1 ? QStyle::State_On : QStyle::State_Off);
        if (state == 2) option.state = QStyle::State_On | QStyle::State_ReadOnly;
        painter.save();
        painter.setClipRect(option.rect);
        QApplication::style()->drawPrimitive(QStyle::PE_IndicatorCheckBox, &option, &painter);
        painter.restore();
        painter.setPen(QColor(128, 128, 128));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(square.adjusted(0, 0, -1, -1));
        return;
    }
    painter.drawImage(QPoint(rect.left() + (rect.width() - 13) / 2, rect.top() + (rect.height() - 13) / 2),
                      CheckBoxImage(state));
}

QString FormatByDrawStyle(const QString& text, int style, bool& rightAligned, const QLocale& system) {
    rightAligned =
        style == drsRight || style == drsFixed4 || style == drsCurrency || style == drsFixed2 || style == drsFixed6;
    int decimals = -1;
    switch (style) {
    case drsFixed4:
        decimals = 4;
        break;
    case drsFixed2:
        decimals = 2;
        break;
    case drsFixed6:
        decimals = 6;
        break;
    case drsCurrency:
        decimals = 2;
        break;
    default:
        return text;
    }
    QLocale locale = system;
    bool ok = false;
    const double value = locale.toDouble(text.trimmed(), &ok);
    if (text.trimmed().isEmpty() || !ok) return text;
    if (style == drsCurrency) return locale.toCurrencyString(value, QString(), 2);
    locale.setNumberOptions(QLocale::OmitGroupSeparator);
    return locale.toString(value, 'f', decimals);
}

QString VisiblePart(const QString& text, int width, bool right) {
    const qsizetype most = std::max(0, width) + 2;
    if (text.size() <= most) return text;
    return right ? text.right(most) : text.left(most);
}

} // namespace elo
