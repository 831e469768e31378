// TfrmKeyw: the keyword picker "Palavras - Chave". The person names an
// interface library, presses "Obter", and the names of its entries of kind 10
// are listed; a search text selects the first name that begins with it. The
// program creates it once, right after the main window; it keeps its contents
// for the whole run.
#pragma once

#include <QDialog>

#include <string>

class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace elo {

class TfrmKeyw : public QDialog {
    Q_OBJECT
public:
    explicit TfrmKeyw(QWidget* parent = nullptr);

    // Filling the list from the library named in Edit1 (through the registry).
    void Button1Click();
    // Searching: the first entry that begins with Edit2's text, letter case
    // ignored, looked for from the second entry on and the first entry last.
    void Edit2Change();
    // The link editor's "...": keywords in, the chosen entry out; false when
    // the dialog closed without OK or without a selected entry.
    bool Pick(QWidget* editor, std::string& keywords);
    // Escape and the window's close button cancel: result 2.
    void reject() override { done(2); }

private:
    // The controls, found from outside by their names (setObjectName).
    QLabel* Label1;
    QLineEdit* Edit1;
    QPushButton* Button1;
    QLineEdit* Edit2;
    QListWidget* ListBox1;
    QPushButton* Button2;
    QPushButton* Button3;
};

// The one picker of the program (null until it is created).
extern TfrmKeyw* frmKeyw;
// The "..." of a link editor: the picker when there is one.
bool PickKeywords(QWidget* editor, std::string& keywords);

} // namespace elo
