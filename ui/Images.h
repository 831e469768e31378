// The windows' small images, drawn once: the main window's list of six
// (folder, link item, open folder, New, Open, Save) and the link editor's
// list of three (a tag, a "link" tag, a "pointer" tag). 16 x 16 each.
#pragma once

#include <QIcon>
#include <QPixmap>

namespace elo {

enum TMainImage { imgFolder = 0, imgLinkItem = 1, imgOpenFolder = 2, imgNew = 3, imgOpen = 4, imgSave = 5 };
inline constexpr int kMainImageCount = 6;
const QIcon& MainImage(int index);

enum TTagImage { imgTag = 0, imgLinkTag = 1, imgPointerTag = 2 };
inline constexpr int kTagImageCount = 3;
const QIcon& TagImage(int index);

// The program's own icon (for the desktop entry and the window frame).
QIcon ProgramIcon();

// The arrow pointer, drawn: Qt has no image of a shape cursor, and a drag
// shows the image it is given (or the platform's move cursor without one).
QPixmap ArrowCursorPixmap();

} // namespace elo
