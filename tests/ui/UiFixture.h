// What the windows' tests share: the standard error display captured, scripted
// answers to the windows' questions, and the mouse pointer placed where a
// person's would be.
#pragma once

#include <QApplication>
#include <QCursor>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "platform/MessageHook.h"
#include "support/ShownMessages.h"
#include "ui/Dialogs.h"
#include "ui/LkEdit.h"

namespace elo::test {

// Answers the windows' questions from a script; an unexpected question fails
// the test instead of blocking it.
struct TestDialogs : IDialogs {
    TestDialogs() { previous = SetDialogs(this); }
    ~TestDialogs() override { SetDialogs(previous); }
    bool OpenFileName(QWidget*, std::string& fileName) override { return Next(openNames, fileName, "open"); }
    bool SaveFileName(QWidget*, std::string& fileName) override { return Next(saveNames, fileName, "save"); }
    TAnswer AskSaveChanges(QWidget*) override {
        ++asked;
        if (answers.empty()) {
            ADD_FAILURE() << "unexpected question: save the changes?";
            return TAnswer::Cancel;
        }
        const TAnswer a = answers.front();
        answers.pop_front();
        return a;
    }
    static bool Next(std::deque<std::string>& names, std::string& name, const char* what) {
        if (names.empty()) {
            ADD_FAILURE() << "unexpected " << what << " dialog";
            return false;
        }
        name = names.front();
        names.pop_front();
        return !name.empty(); // an empty name: the person cancelled
    }
    std::deque<std::string> openNames, saveNames;
    std::deque<TAnswer> answers;
    int asked = 0;
    IDialogs* previous = nullptr;
};

// A control of a window, found by the name the window gives it (the
// controls are the window's own: the tests reach them as tools do).
template <typename T = QWidget, typename W> T* Child(const W& window, const char* name) {
    T* child = (&*window)->template findChild<T*>(QString::fromLatin1(name));
    if (!child) ADD_FAILURE() << "no control named " << name;
    return child;
}
// The link editor embedded in a main window.
template <typename W> TfrmLkEdit* Ed(const W& window) {
    return Child<TfrmLkEdit>(window, "frmLkEdit");
}

// Puts the mouse pointer over point of widget (the tag list's selection rule
// looks where the pointer rests).
inline void PointerAt(QWidget* widget, QPoint point) {
    QCursor::setPos(widget->mapToGlobal(point));
}
inline void PointerAway() {
    QCursor::setPos(QPoint(-1000, -1000));
}

// Runs action once a modal dialog is up (after exec has started).
inline void WhenModal(std::function<void(QWidget* dialog)> action) {
    QTimer::singleShot(0, [action] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal) {
            ADD_FAILURE() << "no modal dialog";
            return;
        }
        action(modal);
    });
}

} // namespace elo::test
