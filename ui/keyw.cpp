#include "keyw.h"

#include "Splitters.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressDialog>
#include <QPushButton>
#include <QScreen>
#include <QTimer>

#include <memory>

#include "nlxintf/nlxintf.h"
#include "platform/ScopeExit.h"
#include "platform/Text.h"
#include "qtedge/EventBoundary.h"
#include "qtedge/QtText.h"

namespace elo {

TfrmKeyw* frmKeyw = nullptr;

namespace {

// Keeps the window alive while the registry waits for a library: a busy
// cursor at once; after about a second a progress dialog whose "Cancelar"
// ends the wait with the error the registry raises at the end of it.
class TWaitFeedback {
public:
    explicit TWaitFeedback(QWidget* owner) : FOwner(owner), FPrevious(LibraryWaits.Pause) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        LibraryWaits.Pause = [this](const std::string& path, uint32_t ms, bool lock) { Pause(path, ms, lock); };
    }
    ~TWaitFeedback() {
        LibraryWaits.Pause = FPrevious;
        FDialog.reset();
        QApplication::restoreOverrideCursor();
    }
    TWaitFeedback(const TWaitFeedback&) = delete;
    TWaitFeedback& operator=(const TWaitFeedback&) = delete;

private:
    void Pause(const std::string& path, uint32_t ms, bool lock) {
        if (!FWaiting.isValid()) FWaiting.start();
        QElapsedTimer slept;
        slept.start();
        while (slept.elapsed() < ms) {
            if (!FDialog && FWaiting.elapsed() >= 1000) Show(path, lock);
            QEventLoop loop;
            QTimer::singleShot(std::min<qint64>(50, ms - slept.elapsed()), &loop, &QEventLoop::quit);
            loop.exec(); // the windows, and the calls other threads hand over, are served
            if (FDialog && FDialog->wasCanceled())
                throw TNLXInterfaceError(lock ? "N\xE3o foi poss\xEDvel obter a trava " + FileNameText(path)
                                              : "N\xE3o foi poss\xEDvel abrir " + FileNameText(path));
        }
    }
    void Show(const std::string& path, bool lock) {
        const QString what = lock ? QStringLiteral("Aguardando a trava das bibliotecas %1")
                                  : QStringLiteral("Aguardando a biblioteca %1");
        FDialog = std::make_unique<QProgressDialog>(what.arg(QFile::decodeName(path.c_str())),
                                                    QStringLiteral("Cancelar"), 0, 0, FOwner);
        FDialog->setObjectName("WaitDialog");
        FDialog->setWindowTitle(QStringLiteral("Palavras - Chave"));
        FDialog->setWindowModality(Qt::WindowModal);
        FDialog->setMinimumDuration(0);
        FDialog->show();
    }

    QWidget* FOwner;
    std::function<void(const std::string&, uint32_t, bool)> FPrevious;
    QElapsedTimer FWaiting;
    std::unique_ptr<QProgressDialog> FDialog;
};

} // namespace

TfrmKeyw::TfrmKeyw(QWidget* parent) : QDialog(parent) {
    setObjectName("frmKeyw");
    setWindowTitle(QStringLiteral("Palavras - Chave"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setFixedSize(260, 187);
    QFont small = font();
    small.setPointSize(8); // the layout is the form's, made for an 8-point font
    setFont(small);
    Label1 = new QLabel(QStringLiteral("Obter palavras chave de:"), this);
    Label1->setObjectName("Label1");
    Label1->move(4, 6);
    Label1->adjustSize();
    Edit1 = new QLineEdit(this);
    Edit1->setObjectName("Edit1");
    Edit1->setGeometry(4, 24, 210, 21);
    Button1 = new QPushButton(QStringLiteral("Obter"), this);
    Button1->setObjectName("Button1");
    Button1->setGeometry(216, 24, 39, 21);
    Button1->setAutoDefault(false);
    Edit2 = new QLineEdit(this);
    Edit2->setObjectName("Edit2");
    Edit2->setGeometry(4, 48, 251, 21);
    ListBox1 = new QListWidget(this);
    ListBox1->setObjectName("ListBox1");
    ListBox1->setGeometry(4, 72, 251, 79);
    Button2 = new QPushButton(QStringLiteral("OK"), this);
    Button2->setObjectName("Button2");
    Button2->setGeometry(109, 156, 71, 25);
    Button2->setDefault(true);
    Button3 = new QPushButton(QStringLiteral("Cancelar"), this);
    Button3->setObjectName("Button3");
    Button3->setGeometry(184, 156, 71, 25);
    Button3->setAutoDefault(false);
    setTabOrder(Edit1, ListBox1);
    setTabOrder(ListBox1, Button1);
    setTabOrder(Button1, Button2);
    setTabOrder(Button2, Button3);
    setTabOrder(Button3, Edit2);

    connect(Button1, &QPushButton::clicked, this, Guarded(this, &TfrmKeyw::Button1Click));
    connect(Edit2, &QLineEdit::textChanged, this, Guarded(this, &TfrmKeyw::Edit2Change));
    connect(ListBox1, &QListWidget::itemDoubleClicked, this, [this] { done(1); });
    connect(Button2, &QPushButton::clicked, this, [this] { done(1); });
    connect(Button3, &QPushButton::clicked, this, [this] { done(2); });
}

void TfrmKeyw::Button1Click() {
    // Exactly as typed, as a file name: the system's bytes.
    const std::string name = QFile::encodeName(Edit1->text()).toStdString();
    TWaitFeedback feedback(this);
    TNLXInterfaces& registry = NLXInterfaces();
    const TLibraryUse use = registry.UseLibrary(name); // a failing lock keeps the list
    ListBox1->clear();
    // The names reach the list together, also those found before an error.
    QStringList names;
    TScopeExit appended([&] { ListBox1->addItems(names); });
    const int count = registry.Count();
    for (int i = 0; i < count; ++i) {
        TNLXInterface* entry = registry.Items(i);
        if (entry->Kind == 10) names.push_back(ToQString(entry->Name()));
    }
}

void TfrmKeyw::Edit2Change() {
    const std::string text = FromQString(Edit2->text());
    const int count = ListBox1->count();
    // An empty text begins every name: it selects nothing new.
    if (text.empty() || count == 0) return;
    for (int k = 1; k <= count; ++k) {
        const int i = k % count; // from the second entry to the end, the first last
        const std::string name = FromQString(ListBox1->item(i)->text());
        if (name.size() >= text.size() && SameTextLocale(std::string_view(name).substr(0, text.size()), text)) {
            ListBox1->setCurrentRow(i);
            return;
        }
    }
}

bool TfrmKeyw::Pick(QWidget*, std::string& keywords) {
    Edit2->setText(ToQString(keywords));
    Edit2Change(); // once, also when the text did not change
    CentreOnScreen(this);
    if (exec() != 1) return false;
    QListWidgetItem* item = ListBox1->currentItem();
    if (!item || !item->isSelected()) return false;
    keywords = FromQString(item->text());
    return true;
}

bool PickKeywords(QWidget* editor, std::string& keywords) {
    return frmKeyw && frmKeyw->Pick(editor, keywords);
}

} // namespace elo
