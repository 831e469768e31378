// Qt's own texts (the file dialogs, the message boxes' buttons) in the
// person's language: Qt's translations for a locale, from the system's
// translations directory.
#pragma once

#include <QCoreApplication>
#include <QLocale>

class QTranslator;

namespace elo {

// Installs Qt's translation for locale into app (which owns it); null when
// the system has none for it (the texts stay English).
QTranslator* InstallQtTranslations(QCoreApplication& app, const QLocale& locale = QLocale::system());

} // namespace elo
