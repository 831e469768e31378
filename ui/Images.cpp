#include "Images.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

#include <array>

namespace elo {

namespace {

template <typename Draw> QIcon Drawn(Draw&& draw, int size = 16) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing, false);
    draw(p);
    return QIcon(pixmap);
}

void Folder(QPainter& p, bool open) {
    const QColor edge(150, 110, 20), face(250, 210, 90), back(230, 180, 60);
    p.setPen(edge);
    p.setBrush(back);
    p.drawRect(1, 3, 13, 10);
    p.drawRect(1, 2, 5, 1);
    p.setBrush(face);
    if (open) {
        const QPoint front[] = {{1, 13}, {4, 6}, {15, 6}, {12, 13}};
        p.drawPolygon(front, 4);
    } else {
        p.drawRect(1, 5, 13, 8);
    }
}

void Sheet(QPainter& p) {
    p.setPen(QColor(90, 90, 90));
    p.setBrush(Qt::white);
    const QPoint page[] = {{3, 1}, {10, 1}, {13, 4}, {13, 14}, {3, 14}};
    p.drawPolygon(page, 5);
    p.drawLine(10, 1, 10, 4);
    p.drawLine(10, 4, 13, 4);
}

void Chain(QPainter& p, const QColor& colour) {
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setPen(QPen(colour, 1.6));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(QRectF(2.5, 6.5, 7, 4), 2, 2);
    p.drawRoundedRect(QRectF(6.5, 5.5, 7, 4), 2, 2);
}

const std::array<QIcon, kMainImageCount>& MainImages() {
    static const std::array<QIcon, kMainImageCount> images = {
        Drawn([](QPainter& p) { Folder(p, false); }),
        Drawn([](QPainter& p) {
            Sheet(p);
            Chain(p, QColor(30, 90, 200));
        }),
        Drawn([](QPainter& p) { Folder(p, true); }),
        Drawn([](QPainter& p) {
            Sheet(p);
            p.setPen(QColor(0, 140, 0));
            p.drawLine(6, 9, 10, 9);
            p.drawLine(8, 7, 8, 11);
        }),
        Drawn([](QPainter& p) {
            Folder(p, true);
            p.setPen(QPen(QColor(0, 120, 0), 2));
            p.drawLine(10, 1, 14, 1);
            p.drawLine(14, 1, 14, 4);
        }),
        Drawn([](QPainter& p) {
            p.setPen(QColor(20, 40, 110));
            p.setBrush(QColor(50, 90, 190));
            p.drawRect(1, 1, 13, 13);
            p.setBrush(Qt::white);
            p.drawRect(4, 1, 7, 5);
            p.setBrush(QColor(200, 200, 200));
            p.drawRect(4, 9, 7, 5);
        }),
    };
    return images;
}

const std::array<QIcon, kTagImageCount>& TagImages() {
    static const std::array<QIcon, kTagImageCount> images = {
        Drawn([](QPainter& p) {
            p.setRenderHint(QPainter::Antialiasing, true);
            p.setPen(QColor(120, 90, 30));
            p.setBrush(QColor(245, 225, 150));
            const QPointF tag[] = {{2, 8}, {7, 3}, {14, 3}, {14, 13}, {7, 13}};
            p.drawPolygon(tag, 5);
            p.setBrush(Qt::white);
            p.drawEllipse(QPointF(6.5, 8), 1.3, 1.3);
        }),
        Drawn([](QPainter& p) { Chain(p, QColor(30, 90, 200)); }),
        Drawn([](QPainter& p) {
            p.setRenderHint(QPainter::Antialiasing, true);
            p.setPen(QColor(140, 30, 30));
            p.setBrush(QColor(220, 60, 60));
            const QPointF arrow[] = {{2, 6}, {9, 6}, {9, 2}, {15, 8}, {9, 14}, {9, 10}, {2, 10}};
            p.drawPolygon(arrow, 7);
        }),
    };
    return images;
}

} // namespace

const QIcon& MainImage(int index) {
    const auto& images = MainImages();
    return images[static_cast<size_t>(index >= 0 && index < kMainImageCount ? index : 0)];
}

const QIcon& TagImage(int index) {
    const auto& images = TagImages();
    return images[static_cast<size_t>(index >= 0 && index < kTagImageCount ? index : 0)];
}

QIcon ProgramIcon() {
    QIcon icon;
    for (int size : {16, 32, 48, 64, 128}) {
        icon.addPixmap(Drawn(
                           [size](QPainter& p) {
                               p.setRenderHint(QPainter::Antialiasing, true);
                               p.scale(size / 16.0, size / 16.0);
                               Folder(p, false);
                               p.setRenderHint(QPainter::Antialiasing, true);
                               Chain(p, QColor(30, 90, 200));
                           },
                           size)
                           .pixmap(size, size));
    }
    return icon;
}

QPixmap ArrowCursorPixmap() {
    // The tip at the image's centre: the platform puts a drag image's centre
    // on the pointer.
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.translate(16, 16);
    p.setPen(Qt::black);
    p.setBrush(Qt::white);
    const QPoint arrow[] = {{0, 0}, {0, 15}, {4, 11}, {7, 17}, {9, 16}, {6, 10}, {11, 10}};
    p.drawPolygon(arrow, 7);
    return pixmap;
}

} // namespace elo
