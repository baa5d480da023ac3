// The user's language: Sonabel's own texts and Qt's, chosen from the locale.
#pragma once

#include <QString>
#include <QStringList>

class QCoreApplication;

// The language code ("de", "fr") of the translation to use for the languages
// the user prefers, in order (QLocale::uiLanguages(): "de-DE", "fr", ...):
// the first that is English (the source) or has a translation wins, so a user
// who puts English before German reads English. Empty for English.
QString chooseTranslation(const QStringList &uiLanguages);

// Installs Sonabel's translation for the system locale, and Qt's own where the
// system has it, on app. Does nothing for English.
void installTranslations(QCoreApplication &app);
