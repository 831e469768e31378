// The windows' splitters: bars 3 pixels wide that never collapse a side.
#pragma once

#include <QSplitter>

namespace elo {

inline QSplitter* NewSplitter(Qt::Orientation orientation, QWidget* parent, const char* name) {
    auto* splitter = new QSplitter(orientation, parent);
    splitter->setObjectName(name);
    splitter->setHandleWidth(3);
    splitter->setChildrenCollapsible(false);
    return splitter;
}

} // namespace elo
