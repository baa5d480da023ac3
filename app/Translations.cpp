// Picks and installs the translations: Sonabel's are built into the program
// (":/i18n/sonabel_LANG.qm"), Qt's come from the system's Qt where installed.
#include "app/Translations.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

using namespace Qt::StringLiterals;

namespace {

QString ownTranslationFile(const QString &language)
{
    return u":/i18n/sonabel_"_s + language + u".qm"_s;
}

void install(QCoreApplication &app, const QString &file)
{
    auto *translator = new QTranslator(&app);
    if (translator->load(file))
        QCoreApplication::installTranslator(translator);
    else
        delete translator;
}

} // namespace

QString chooseTranslation(const QStringList &uiLanguages)
{
    for (const QString &name : uiLanguages) {
        const QLocale locale(name);
        if (locale.language() == QLocale::English)
            return {};
        if (locale.language() == QLocale::C)
            continue;
        // "de-DE" -> "de": one translation serves every country.
        const QString language = QLocale::languageToCode(locale.language());
        if (QFileInfo::exists(ownTranslationFile(language)))
            return language;
    }
    return {};
}

void installTranslations(QCoreApplication &app)
{
    const QString language = chooseTranslation(QLocale::system().uiLanguages());
    if (language.isEmpty())
        return;
    install(app, ownTranslationFile(language));
    install(app, QLibraryInfo::path(QLibraryInfo::TranslationsPath) + u"/qtbase_"_s + language +
                     u".qm"_s);
}
