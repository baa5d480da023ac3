// The translations: every text the sources hand to Qt's translation has a
// finished German and French translation with the same placeholders, the
// language follows the locale, and the program speaks it from the first line.
#include "app/Translations.h"
#include "engine/MidiOutput.h"
#include "support/ProgramRun.h"

#include <QFile>
#include <QMap>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QXmlStreamReader>
#include <algorithm>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

struct Message
{
    QString type;         // "", "unfinished", "vanished", "obsolete"
    QStringList forms;    // the translation, or its plural forms
    bool numerus = false; // a "%n" text with plural forms
};

// Context, source text and disambiguation: what identifies a text.
using Key = std::tuple<QString, QString, QString>;

QMap<Key, Message> readTs(const QString &path)
{
    QMap<Key, Message> messages;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return messages;
    QXmlStreamReader xml(&file);
    QString context, source, comment;
    Message message;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement()) {
            const auto name = xml.name();
            if (name == u"name")
                context = xml.readElementText();
            else if (name == u"message") {
                source.clear();
                comment.clear();
                message = Message{};
                message.numerus = xml.attributes().value(u"numerus"_s) == u"yes";
            } else if (name == u"source")
                source = xml.readElementText();
            else if (name == u"comment")
                comment = xml.readElementText();
            else if (name == u"translation") {
                message.type = xml.attributes().value(u"type"_s).toString();
                if (!message.numerus)
                    message.forms = {xml.readElementText()};
            } else if (name == u"numerusform")
                message.forms.append(xml.readElementText());
        } else if (xml.isEndElement() && xml.name() == u"message") {
            messages.insert({context, source, comment}, message);
        }
    }
    EXPECT_FALSE(xml.hasError()) << qPrintable(path) << ": " << qPrintable(xml.errorString());
    return messages;
}

// The numbered placeholders of a text, sorted ("%n" apart: a singular form may
// spell the number out).
QStringList placeholders(const QString &text)
{
    static const QRegularExpression numbered(u"%(\\d+)"_s);
    QStringList found;
    for (const auto &match : numbered.globalMatch(text))
        found.append(match.captured());
    found.sort();
    return found;
}

} // namespace

TEST(TranslationsTest, EveryTextHasAFinishedTranslationWithItsPlaceholders)
{
    // The texts as the sources have them now, not as the .ts files remember.
    QTemporaryDir scratch;
    ASSERT_TRUE(scratch.isValid());
    const QString current = scratch.filePath(u"current.ts"_s);
    QStringList arguments;
    for (const QString &folder : QStringLiteral(SONABEL_TRANSLATED_FOLDERS).split(u','))
        arguments.append(QStringLiteral(SONABEL_SOURCE_DIR "/") + folder);
    arguments << u"-I"_s << QStringLiteral(SONABEL_SOURCE_DIR) << u"-locations"_s << u"none"_s
              << u"-no-obsolete"_s << u"-silent"_s << u"-ts"_s << current;
    QProcess lupdate;
    lupdate.start(QStringLiteral(SONABEL_LUPDATE), arguments);
    ASSERT_TRUE(lupdate.waitForFinished(Patience)) << "lupdate hung";
    ASSERT_EQ(lupdate.exitCode(), 0) << lupdate.readAllStandardError().constData();
    const QMap<Key, Message> texts = readTs(current);
    ASSERT_GT(texts.size(), 100) << "lupdate found too few texts";

    for (const QString &language : {u"de"_s, u"fr"_s}) {
        const QString path =
            QStringLiteral(SONABEL_SOURCE_DIR "/translations/sonabel_") + language + u".ts"_s;
        const QMap<Key, Message> translated = readTs(path);
        QStringList faults;
        for (auto it = texts.cbegin(); it != texts.cend(); ++it) {
            const auto &[context, source, comment] = it.key();
            const QString where = context + u": \""_s + source + u'"';
            const auto found = translated.constFind(it.key());
            if (found == translated.cend()) {
                faults.append(u"missing: "_s + where);
                continue;
            }
            if (!found->type.isEmpty()) {
                faults.append(found->type + u": "_s + where);
                continue;
            }
            if (found->forms.isEmpty() ||
                std::any_of(found->forms.cbegin(), found->forms.cend(),
                            [](const QString &form) { return form.trimmed().isEmpty(); }))
                faults.append(u"empty: "_s + where);
            for (const QString &form : found->forms) {
                if (placeholders(form) != placeholders(source))
                    faults.append(u"placeholders differ: "_s + where + u" -> \""_s + form + u'"');
            }
        }
        EXPECT_TRUE(faults.isEmpty()) << qPrintable(path) << ":\n"
                                      << qPrintable(faults.join(u'\n'));
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
    EXPECT_EQ(chooseTranslation({}), QString());
}

TEST(TranslationsTest, ArgumentsAreFilledInOnceAndKeptAsTheyAre)
{
    // A file name holding "%2" must not take the next argument's place.
    EXPECT_EQ(
        soundText(QT_TRANSLATE_NOOP("Sound", "The SoundFont %1 is gone; playing with %2 instead."),
                  {"/tmp/100%2.sf2", "/usr/share/sounds/sf2/FluidR3_GM.sf2"}),
        "The SoundFont /tmp/100%2.sf2 is gone; playing with "
        "/usr/share/sounds/sf2/FluidR3_GM.sf2 instead.");
}

TEST(TranslationsTest, TheCommandLineSpeaksTheUsersLanguage)
{
    ProgramRun run;
    const auto help = [&](const QString &language, const QString &lang) {
        run.environment.insert(u"LANGUAGE"_s, language);
        run.environment.insert(u"LANG"_s, lang);
        run.environment.remove(u"LC_ALL"_s);
        run.environment.remove(u"LC_MESSAGES"_s);
        QProcess *process = run.start({u"--help"_s});
        EXPECT_TRUE(process->waitForFinished(Patience));
        return QString::fromUtf8(process->readAllStandardOutput());
    };
    EXPECT_TRUE(help(QString(), u"C.UTF-8"_s).startsWith(u"Usage: sonabel"_s));
    // Without the locale generated, as on a fresh system.
    EXPECT_TRUE(help(QString(), u"de_DE.UTF-8"_s).startsWith(u"Aufruf: sonabel"_s));
    EXPECT_TRUE(help(u"fr"_s, u"C.UTF-8"_s).startsWith(u"Utilisation : sonabel"_s));
}
