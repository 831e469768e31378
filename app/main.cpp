// elo: the links editor. Start-up brings up the process-wide services before
// any window, then the windows, then runs the event loop until the main window
// closes; shut-down goes the other way round.
#include <QApplication>
#include <QFile>
#include <QMessageBox>
#include <QMetaObject>
#include <QTimer>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "nlxintf/nlxintf.h"
#include "nlxstream/SharedMon.h"
#include "platform/MainThread.h"
#include "platform/MessageHook.h"
#include "platform/SafeSave.h"
#include "qtedge/EventBoundary.h"
#include "qtedge/QtText.h"
#include "ui/Images.h"
#include "ui/Main.h"
#include "ui/Translations.h"
#include "ui/keyw.h"

using namespace elo;

namespace {

const char* const kUsage = "Usage: elo [FILE [--path 'A\\B\\C']]\n"
                           "  Opens the links editor, with FILE when one is named; --path selects\n"
                           "  and shows the node of that path (its folders opened).\n"
                           "  --help      this text\n"
                           "  --version   the version\n";

// Answers --help and --version without a display; true when one was asked.
bool Informational(int argc, char** argv, int& status) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(kUsage, stdout);
            status = 0;
            return true;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("elo %s\n", ELO_VERSION);
            status = 0;
            return true;
        }
    }
    return false;
}

class TPaintWatch : public QObject {
public:
    using QObject::QObject;
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint && !FSeen) {
            FSeen = true;
            QTimer::singleShot(0, qApp, &QCoreApplication::quit); // once nothing else is waiting
        }
        return QObject::eventFilter(watched, event);
    }

private:
    bool FSeen = false;
};

void ExitWhenPaintedAndIdle(QWidget* window) {
    window->installEventFilter(new TPaintWatch(window));
}

// The step that failed, said clearly, on the terminal.
int StartFailed(const char* step, const std::exception& e) {
    std::fprintf(stderr, "elo: %s: %s\n", step, Cp1252ToUtf8(ExceptionMessage(e)).c_str());
    return 1;
}

} // namespace

int main(int argc, char** argv) {
    int status = 0;
    if (Informational(argc, argv, status)) return status;
    InstallSaveSignalHandlers();

    // The buffer pool and the counter monitor, then the libraries' named
    // mutex, switches and registry guard.
    try {
        NlxStreamStartup();
    } catch (const std::exception& e) {
        return StartFailed("buffer pool", e);
    }
    try {
        NlxInterfacesStartup();
    } catch (const std::exception& e) {
        NlxStreamShutdown();
        return StartFailed("interface libraries", e);
    }

    {
        QApplication app(argc, argv);
        QApplication::setApplicationName("elo");
        // No display name: Qt would append it to every window's title, and
        // the titles are the windows' own ("Editar Link", "Palavras - Chave").
        QApplication::setApplicationVersion(ELO_VERSION);
        // Qt's own dialogs and buttons in the person's language.
        InstallQtTranslations(app);
        QGuiApplication::setDesktopFileName(ELO_APP_ID); // the desktop entry its windows belong to
        QApplication::setWindowIcon(ProgramIcon());
        SetMainThread();
        // Calls other threads hand to this one are served by the event loop,
        // also while a modal dialog runs its own.
        SetSynchronizeWakeup([] {
            QMetaObject::invokeMethod(
                qApp, [] { CheckSynchronize(0); }, Qt::QueuedConnection);
        });
        SetMessageBoxHook([](const std::string& text, const std::string& caption) {
            QMessageBox::critical(QApplication::activeWindow(),
                                  caption.empty() ? QStringLiteral("Editor de links") : ToQString(caption),
                                  ToQString(text));
        });

        std::vector<std::string> files;
        QString path;
        // The arguments as bytes (QApplication took out its own): a file
        // name in any encoding opens the file it names.
        for (int i = 1; i < argc; ++i) {
            const std::string arg = argv[i];
            if (arg == "--path" && i + 1 < argc)
                path = QString::fromLocal8Bit(argv[++i]);
            else if (arg.starts_with("--path="))
                path = QString::fromLocal8Bit(arg.substr(7));
            else
                files.push_back(arg);
        }

        auto* main = new TfrmMain;
        frmKeyw = new TfrmKeyw(main);
        main->show();
        if (!files.empty() && Guard([&] { main->OpenFileNamed(files.front()); }) && !path.isEmpty())
            Guard([&] { main->SelectPath(FromQString(path)); });
        // For measuring start-up: the program ends as soon as the main window
        // has painted and the event loop has nothing left to do.
        if (qEnvironmentVariableIsSet("ELO_EXIT_WHEN_IDLE")) ExitWhenPaintedAndIdle(main);
        status = QApplication::exec();

        frmKeyw = nullptr;
        delete main;
        SetMessageBoxHook(nullptr);
        SetSynchronizeWakeup(nullptr);
    }

    NlxInterfacesShutdown(); // libraries freed, their watchers stopped
    CheckSynchronize(0);
    NlxStreamShutdown();
    return status;
}
