// The questions and file dialogs the windows ask, behind one small interface:
// the program shows real dialogs, headless tests answer them instead.
#pragma once

#include <string>

class QWidget;

namespace elo {

class IDialogs {
public:
    virtual ~IDialogs() = default;
    // The file dialogs (no filters, no default name); false when cancelled.
    // File names are the system's bytes (UTF-8 on Linux).
    virtual bool OpenFileName(QWidget* parent, std::string& fileName) = 0;
    virtual bool SaveFileName(QWidget* parent, std::string& fileName) = 0;
    // "Salvar as alterações?" with Sim / Não / Cancelar.
    enum class TAnswer { Yes, No, Cancel };
    virtual TAnswer AskSaveChanges(QWidget* parent) = 0;
};

// The dialogs in use (the real ones unless a test installed others).
IDialogs& Dialogs();
// Installs dialogs (null: the real ones again); returns the previous.
IDialogs* SetDialogs(IDialogs* dialogs);

} // namespace elo
