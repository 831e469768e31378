// How the windows lay themselves out: splitters with bars 3 pixels wide that
// never collapse a side, and windows centred on the screen.
#pragma once

#include <QGuiApplication>
#include <QScreen>
#include <QSplitter>

namespace elo {

inline QSplitter* NewSplitter(Qt::Orientation orientation, QWidget* parent, const char* name) {
    auto* splitter = new QSplitter(orientation, parent);
    splitter->setObjectName(name);
    splitter->setHandleWidth(3);
    splitter->setChildrenCollapsible(false);
    return splitter;
}

inline void CentreOnScreen(QWidget* window) {
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        window->move(screen->availableGeometry().center() - window->rect().center());
}

} // namespace elo
