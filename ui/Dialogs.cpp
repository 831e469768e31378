#include "Dialogs.h"

#include <QFile>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>

namespace elo {

namespace {

class TRealDialogs : public IDialogs {
public:
    bool OpenFileName(QWidget* parent, std::string& fileName) override {
        const QString chosen = QFileDialog::getOpenFileName(parent);
        if (chosen.isEmpty()) return false;
        fileName = QFile::encodeName(chosen).toStdString();
        return true;
    }
    bool SaveFileName(QWidget* parent, std::string& fileName) override {
        const QString chosen = QFileDialog::getSaveFileName(parent);
        if (chosen.isEmpty()) return false;
        fileName = QFile::encodeName(chosen).toStdString();
        return true;
    }
    TAnswer AskSaveChanges(QWidget* parent) override {
        QMessageBox box(QMessageBox::Question, QStringLiteral("Editor de links"),
                        QStringLiteral("Salvar as altera\u00E7\u00F5es?"), QMessageBox::NoButton, parent);
        QPushButton* yes = box.addButton(QStringLiteral("Sim"), QMessageBox::YesRole);
        QPushButton* no = box.addButton(QStringLiteral("N\u00E3o"), QMessageBox::NoRole);
        QPushButton* cancel = box.addButton(QStringLiteral("Cancelar"), QMessageBox::RejectRole);
        box.setDefaultButton(yes);
        box.setEscapeButton(cancel);
        box.exec();
        if (box.clickedButton() == yes) return TAnswer::Yes;
        if (box.clickedButton() == no) return TAnswer::No;
        return TAnswer::Cancel;
    }
};

TRealDialogs gReal;
IDialogs* gDialogs = nullptr;

} // namespace

IDialogs& Dialogs() {
    return gDialogs ? *gDialogs : gReal;
}

IDialogs* SetDialogs(IDialogs* dialogs) {
    IDialogs* previous = gDialogs;
    gDialogs = dialogs;
    return previous;
}

} // namespace elo
