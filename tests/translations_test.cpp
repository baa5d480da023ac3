// The translations: every text the sources hand to Qt's translation has a
// finished German and French translation with the same placeholders, the
// language follows the locale, and the program speaks it from the first line.
#include "app/Translations.h"
#include "support/ProgramRun.h"

#include <QDomDocument>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

// The numbered placeholders of a text, sorted ("%n" apart: a singular form may
// spell the number out).
static std::string placeholders(const QString &text)
{
    static const QRegularExpression numbered(u"%\\d+"_s);
    QStringList found;
    for (const auto &match : numbered.globalMatch(text))
        found.append(match.captured());
    found.sort();
    return found.join(u' ').toStdString();
}

TEST(TranslationsTest, EveryTextHasAFinishedTranslationWithItsPlaceholders)
{
    // Copies of the translations brought up to the texts as the sources have
    // them now: a text they lack comes in unfinished, one no longer used goes.
    QTemporaryDir scratch;
    QStringList arguments, copies;
    for (const QString &folder : QStringLiteral(SONABEL_TRANSLATED_FOLDERS).split(u','))
        arguments.append(QStringLiteral(SONABEL_SOURCE_DIR "/") + folder);
    arguments << u"-I"_s << QStringLiteral(SONABEL_SOURCE_DIR) << u"-locations"_s << u"none"_s
              << u"-no-obsolete"_s << u"-silent"_s << u"-ts"_s;
    for (const QString &language : {u"de"_s, u"fr"_s}) {
        copies.append(scratch.filePath(language + u".ts"_s));
        ASSERT_TRUE(QFile::copy(QStringLiteral(SONABEL_SOURCE_DIR "/translations/sonabel_") +
                                    language + u".ts"_s,
                                copies.last()));
    }
    QProcess lupdate;
    lupdate.start(QStringLiteral(SONABEL_LUPDATE), arguments + copies);
    ASSERT_TRUE(lupdate.waitForFinished(Patience)) << "lupdate hung";
    ASSERT_EQ(lupdate.exitCode(), 0) << lupdate.readAllStandardError().constData();
    for (const QString &copy : copies) {
        QFile file(copy);
        QDomDocument ts;
        ASSERT_TRUE(file.open(QIODevice::ReadOnly) && ts.setContent(&file)) << qPrintable(copy);
        const QDomNodeList messages = ts.elementsByTagName(u"message"_s);
        EXPECT_GT(messages.size(), 100) << "lupdate found too few texts";
        for (int i = 0; i < messages.size(); ++i) {
            const QDomElement message = messages.at(i).toElement();
            const QString source = message.firstChildElement(u"source"_s).text();
            const QDomElement translation = message.firstChildElement(u"translation"_s);
            SCOPED_TRACE(qPrintable(copy + u": "_s + source));
            // Unfinished, or marked otherwise.
            EXPECT_EQ(translation.attribute(u"type"_s).toStdString(), "");
            // The translation, or each of its plural forms.
            const QDomNodeList plurals = translation.elementsByTagName(u"numerusform"_s);
            for (int form = 0; form < (plurals.isEmpty() ? 1 : plurals.size()); ++form) {
                const QString text =
                    plurals.isEmpty() ? translation.text() : plurals.at(form).toElement().text();
                EXPECT_FALSE(text.trimmed().isEmpty()) << "empty";
                EXPECT_EQ(placeholders(text), placeholders(source)) << qPrintable(text);
            }
        }
    }
}

TEST(TranslationsTest, TheFirstPreferredLanguageWithATranslationOrEnglishWins)
{
    EXPECT_EQ(chooseTranslation({u"de-DE"_s, u"en-US"_s}), u"de"_s);
    EXPECT_EQ(chooseTranslation({u"fr-CA"_s, u"de"_s}), u"fr"_s);
    // English is the source: a user who prefers it over German reads English.
    EXPECT_EQ(chooseTranslation({u"en-GB"_s, u"de-DE"_s}), QString());
    // A language without a translation gives way to the next.
    EXPECT_EQ(chooseTranslation({u"it-IT"_s, u"fr-FR"_s}), u"fr"_s);
    EXPECT_EQ(chooseTranslation({u"C"_s}), QString());
}

TEST(TranslationsTest, TheCommandLineSpeaksTheUsersLanguage)
{
    ProgramRun run;
    run.environment.insert(u"LANGUAGE"_s, u"fr"_s);
    run.environment.insert(u"LANG"_s, u"C.UTF-8"_s);
    run.environment.remove(u"LC_ALL"_s);
    run.environment.remove(u"LC_MESSAGES"_s);
    QProcess *process = run.start({u"--help"_s});
    ASSERT_TRUE(process->waitForFinished(Patience));
    EXPECT_TRUE(process->readAllStandardOutput().startsWith("Utilisation : sonabel"));
}
